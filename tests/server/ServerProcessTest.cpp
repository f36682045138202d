// lumoka-server as a program: its command line, its request log, stopping on
// SIGTERM and SIGINT with every score kept, and the failures it names at start.
#include "leaderboard/LeaderboardProtocol.h"
#include "support/ServerProcess.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <sqlite3.h>

#include <csignal>

namespace fs = std::filesystem;
using nlohmann::json;
using namespace std::chrono_literals;

namespace {

const std::string kUpload =
    R"({"levels": [{"name": "Song A", "scores": [{"player": "Ann", "score": 12, "time": 3, "highestLayer": "2/8", "highestCombo": 4}]}]})";

httplib::Result get(int port, const std::string& path) { return httplib::Client("127.0.0.1", port).Get(path.c_str()); }

httplib::Result post(int port, const std::string& body) {
    return httplib::Client("127.0.0.1", port).Post("/api/leaderboard", body, "application/json");
}

TEST(ServerProcess, StopsOnSigtermOrSigintWithEveryScoreKept) {
    testsupport::TempDir dir;
    const fs::path       database = dir.path() / "scores.sqlite";
    for (const int signal : {SIGTERM, SIGINT}) {
        testsupport::ServerProcess server(database);
        ASSERT_TRUE(server.started());
        const httplib::Result stored = post(server.port(), kUpload);
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->status, 200);
        const testsupport::ProcessResult result = server.stop(signal);
        EXPECT_EQ(result.exitCode, 0) << result.err;
        EXPECT_NE(result.out.find("Leaderboard server stopped\n"), std::string::npos);
        EXPECT_FALSE(fs::exists(database.string() + "-wal")) << "the log was folded into the database at close";
    }
    testsupport::ServerProcess reopened(database);
    const httplib::Result      fetched = get(reopened.port(), "/api/leaderboard");
    ASSERT_TRUE(fetched);
    EXPECT_EQ(json::parse(fetched->body), json::parse(kUpload));
}

TEST(ServerProcess, LogsOneLinePerRequestOnlyWhenAsked) {
    testsupport::ServerProcess quiet;
    testsupport::ServerProcess logging({}, {"--log"});
    for (const testsupport::ServerProcess* server : {&quiet, &logging}) {
        get(server->port(), "/api/leaderboard");
        post(server->port(), "{}");
        get(server->port(), "/api/player/Song%20A/Ann");
    }
    const std::string quietOut   = quiet.stop().out;
    const std::string loggingOut = logging.stop().out;
    EXPECT_EQ(std::count(quietOut.begin(), quietOut.end(), '\n'), 2) << quietOut;  // listening, stopped
    // A line is written once its reply has gone, so replies handled on different
    // server threads may log in either order.
    for (const std::string line :
         {"GET /api/leaderboard 200\n", "POST /api/leaderboard 400\n", "GET /api/player/Song%20A/Ann 404\n"}) {
        const size_t at = loggingOut.find(line);
        EXPECT_NE(at, std::string::npos) << line << loggingOut;
        EXPECT_EQ(loggingOut.find(line, at + 1), std::string::npos) << "logged twice: " << line << loggingOut;
    }
    EXPECT_EQ(std::count(loggingOut.begin(), loggingOut.end(), '\n'), 5) << loggingOut;
}

TEST(ServerProcess, RefusalsFromTheHttpLayerCarryTheSameErrorShape) {
    testsupport::ServerProcess server;
    const httplib::Result      big = post(server.port(), std::string(kMaxUploadBytes + 1, ' '));
    ASSERT_TRUE(big);
    EXPECT_EQ(big->status, 413);
    EXPECT_EQ(json::parse(big->body)["success"], false);
    const httplib::Result bad = post(server.port(), "[]");
    ASSERT_TRUE(bad);
    EXPECT_EQ(bad->status, 400);
    EXPECT_EQ(json::parse(bad->body)["error"], "body must be an object whose \"levels\" is an array");
}

TEST(ServerProcess, TheDefaultDatabaseLivesInTheUsersDataFolder) {
    testsupport::TempDir     dir;
    testsupport::GameProcess server(LUMOKA_SERVER_BINARY, {"--port", "0"}, dir.path(),
                                    {{"XDG_DATA_HOME", (dir.path() / "data").string()}});
    ASSERT_TRUE(server.waitForOutput("Leaderboard server listening on", 20s));
    const fs::path database = dir.path() / "data" / "lumoka" / "leaderboard.sqlite";
    EXPECT_NE(server.stdoutText().find("(database " + database.string() + ")"), std::string::npos);
    EXPECT_TRUE(fs::exists(database));
    server.signal(SIGTERM);
    EXPECT_EQ(server.wait(20s).exitCode, 0);
}

TEST(ServerProcess, StartFailuresAreOneLineAndANonZeroExit) {
    testsupport::TempDir dir;
    const auto           run = [&](const std::vector<std::string>& args) {
        testsupport::GameProcess server(LUMOKA_SERVER_BINARY, args, dir.path());
        return server.wait(20s);
    };
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--bogus"}, {"--port"}, {"--port", "70000"}, {"--threads", "0"}, {"--port", "12x"}}) {
        const testsupport::ProcessResult result = run(args);
        EXPECT_EQ(result.exitCode, 2) << args[0];
        EXPECT_TRUE(result.err.starts_with("Usage: lumoka-server")) << result.err;
    }
    const testsupport::ProcessResult missing =
        run({"--db", (dir.path() / "no" / "such" / "x.sqlite").string(), "--port", "0"});
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_NE(missing.err.find("Failed to open leaderboard database "), std::string::npos) << missing.err;

    testsupport::ServerProcess       first;
    const std::string                port  = std::to_string(first.port());
    const testsupport::ProcessResult taken = run({"--db", (dir.path() / "y.sqlite").string(), "--port", port});
    EXPECT_EQ(taken.exitCode, 1);
    EXPECT_NE(taken.err.find("Failed to listen on 127.0.0.1:" + port + "\n"), std::string::npos) << taken.err;
}

}  // namespace

namespace {

testsupport::ProcessResult admin(const fs::path& cwd, const std::vector<std::string>& args) {
    std::vector<std::string> all = {"admin"};
    all.insert(all.end(), args.begin(), args.end());
    testsupport::GameProcess process(LUMOKA_SERVER_BINARY, all, cwd);
    return process.wait(20s);
}

TEST(ServerProcess, AdminCommandsModerateTheDatabaseOfARunningServer) {
    testsupport::TempDir       dir;
    const std::string          database = (dir.path() / "scores.sqlite").string();
    testsupport::ServerProcess server(database);
    ASSERT_TRUE(server.started());
    const std::string forged =
        R"({"levels": [{"name": "Song A", "scores": [{"player": "Ann", "score": 12}, {"player": "Eve", "score": 2147483647}, {"player": "Bob", "score": 40}]},
                       {"name": "Song B", "scores": [{"player": "Eve", "score": 5}, {"player": "Bob", "score": 7}]}]})";
    ASSERT_EQ(post(server.port(), forged)->status, 200);

    const testsupport::ProcessResult listed = admin(dir.path(), {"--db", database, "list", "Song B"});
    EXPECT_EQ(listed.exitCode, 0);
    EXPECT_EQ(listed.out, "Song B\tEve\t5\t0\t0/0\t0\nSong B\tBob\t7\t0\t0/0\t0\n");
    EXPECT_EQ(admin(dir.path(), {"--db", database, "cap-score", "Song A", "1000"}).out,
              "Removed 1 entries (scores above 1000 on Song A)\n");
    EXPECT_EQ(admin(dir.path(), {"remove-player", "Eve", "--db", database}).out,
              "Removed 1 entries (player Eve on every level)\n");
    EXPECT_EQ(admin(dir.path(), {"--db", database, "remove-player", "Bob", "--level", "Song B"}).out,
              "Removed 1 entries (player Bob on Song B)\n");
    EXPECT_EQ(admin(dir.path(), {"--db", database, "remove-entry", "Song A", "Ann"}).out,
              "Removed 1 entries (player Ann on Song A)\n");
    const json left = {
        {"levels",
         {{{"name", "Song A"},
           {"scores",
            {{{"player", "Bob"}, {"score", 40}, {"time", 0}, {"highestLayer", "0/0"}, {"highestCombo", 0}}}}}}}};
    EXPECT_EQ(json::parse(get(server.port(), "/api/leaderboard")->body), left);

    const fs::path                   copy   = dir.path() / "copy.sqlite";
    const testsupport::ProcessResult backup = admin(dir.path(), {"--db", database, "backup", copy.string()});
    EXPECT_EQ(backup.exitCode, 0) << backup.err;
    EXPECT_EQ(backup.out, "Backed up " + database + " to " + copy.string() + "\n");
    EXPECT_EQ(admin(dir.path(), {"--db", copy.string(), "list"}).out, "Song A\tBob\t40\t0\t0/0\t0\n");

    const testsupport::ProcessResult wrong = admin(dir.path(), {"--db", database, "cap-score", "Song A", "lots"});
    EXPECT_EQ(wrong.exitCode, 2);
    EXPECT_TRUE(wrong.err.starts_with("Usage: lumoka-server admin")) << wrong.err;
    const testsupport::ProcessResult unwritable =
        admin(dir.path(), {"--db", database, "backup", "/nonexistent/x.sqlite"});
    EXPECT_EQ(unwritable.exitCode, 1);
    EXPECT_EQ(std::count(unwritable.err.begin(), unwritable.err.end(), '\n'), 1) << unwritable.err;
}

// Names an older server stored before control characters were refused, written
// straight into the database: listed escaped, one row each, and removed by the
// escaped form the list shows.
TEST(ServerProcess, AdminPrintsNamesEscapedAndMatchesThemByteForByte) {
    testsupport::TempDir dir;
    const std::string    database = (dir.path() / "scores.sqlite").string();
    {
        testsupport::ServerProcess server(database);
        ASSERT_TRUE(server.started());
        ASSERT_EQ(
            post(
                server.port(),
                R"({"levels": [{"name": "Song", "scores": [{"player": "a", "score": 1}, {"player": "b", "score": 2}, {"player": "c", "score": 3}]}]})")
                ->status,
            200);
    }
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(database.c_str(), &db), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(db,
                           "UPDATE scores SET player = 'E' || char(0) || char(27) || '[2J' || char(10) || 'x' || "
                           "char(9) || 'y' WHERE player = 'a'; UPDATE scores SET player = 'Zoë\\' WHERE player = 'b'",
                           nullptr, nullptr, nullptr),
              SQLITE_OK);
    sqlite3_close(db);

    const testsupport::ProcessResult listed = admin(dir.path(), {"--db", database, "list"});
    EXPECT_EQ(listed.out,
              "Song\tE\\x00\\x1b[2J\\x0ax\\x09y\t1\t0\t0/0\t0\nSong\tZoë\\\\\t2\t0\t0/0\t0\nSong\tc\t3\t0\t0/0\t0\n");
    EXPECT_EQ(admin(dir.path(), {"--db", database, "remove-entry", "Song", "E\\x00\\x1b[2J\\x0ax\\x09y"}).out,
              "Removed 1 entries (player E\\x00\\x1b[2J\\x0ax\\x09y on Song)\n");
    EXPECT_EQ(admin(dir.path(), {"--db", database, "remove-player", "Zoë\\\\"}).out,
              "Removed 1 entries (player Zoë\\\\ on every level)\n");
    const testsupport::ProcessResult malformed = admin(dir.path(), {"--db", database, "remove-player", "a\\q"});
    EXPECT_EQ(malformed.exitCode, 1);
    EXPECT_EQ(std::count(malformed.err.begin(), malformed.err.end(), '\n'), 1) << malformed.err;
    EXPECT_EQ(admin(dir.path(), {"--db", database, "list"}).out, "Song\tc\t3\t0\t0/0\t0\n");

    const fs::path                   missing = dir.path() / "typo.sqlite";
    const testsupport::ProcessResult refused = admin(dir.path(), {"--db", missing.string(), "list"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(refused.err, "No leaderboard database at " + missing.string() + "\n");
    EXPECT_FALSE(fs::exists(missing)) << "no empty database made";
}

}  // namespace
