// The leaderboard server on PostgreSQL, each test on a fresh database of the test's
// own cluster: the schema made once and a newer one refused, a failed statement
// undoing its whole upload, two lumoka-server instances under many clients at
// once, a database that goes away and comes back under a running server, and the
// failures named at start.
#include "server/LeaderboardStore.h"
#include "support/PostgresCluster.h"
#include "support/ServerProcess.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <thread>

using nlohmann::json;
using namespace std::chrono_literals;
using testsupport::postgresCluster;

namespace {

class Postgres : public ::testing::Test {
protected:
    void SetUp() override {
        LUMOKA_REQUIRE_POSTGRES();
        database = postgresCluster().createDatabase();
        ASSERT_FALSE(database.empty());
        location = postgresCluster().conninfo(database);
    }

    std::unique_ptr<LeaderboardStore> open(std::string& error, int connections = 2) {
        return openLeaderboardStore(location, connections, error);
    }

    std::string database;
    std::string location;
};

json level(const std::string& name, const std::vector<json>& entries) { return {{"name", name}, {"scores", entries}}; }

json entry(const std::string& player, int score) {
    return {{"player", player}, {"score", score}, {"time", score}, {"highestLayer", "2/8"}, {"highestCombo", 3}};
}

std::vector<LeaderboardLevel> levelsOf(const json& document) {
    std::vector<LeaderboardLevel> levels;
    for (const json& stored : document["levels"]) {
        levels.push_back({stored["name"].get<std::string>(), {}});
        for (const json& e : stored["scores"]) {
            levels.back().scores.push_back(
                {e["player"].get<std::string>(), e["score"].get<int32_t>(), e["time"].get<int32_t>(), "", 0});
        }
    }
    return levels;
}

// The status of a reply, -1 when none came.
int post(httplib::Client& client, const json& document) {
    const httplib::Result reply = client.Post("/api/leaderboard", document.dump(), "application/json");
    return reply ? reply->status : -1;
}

json fetch(httplib::Client& client) {
    const httplib::Result reply = client.Get("/api/leaderboard");
    return reply && reply->status == 200 ? json::parse(reply->body) : json();
}

int countLines(const std::string& text, const std::string& start) {
    int count = 0;
    for (size_t at = 0; (at = text.find(start, at)) != std::string::npos; ++at)
        count += at == 0 || text[at - 1] == '\n';
    return count;
}

TEST_F(Postgres, TheSchemaIsMadeOnceAndANewerOneOrForeignTablesRefused) {
    std::string error;
    ASSERT_TRUE(open(error)) << error;
    ASSERT_TRUE(open(error)) << error;
    EXPECT_EQ(postgresCluster().queryValue(database, "SELECT count(*) || ' ' || max(version) FROM schema_version"),
              "1 1");

    ASSERT_TRUE(postgresCluster().execute(database, "UPDATE schema_version SET version = 9"));
    EXPECT_FALSE(open(error));
    EXPECT_EQ(error, "database schema version 9 is newer than this server's 1");

    const std::string other = postgresCluster().createDatabase();
    ASSERT_TRUE(postgresCluster().execute(other, "CREATE TABLE levels (title TEXT)"));
    EXPECT_FALSE(openLeaderboardStore(postgresCluster().conninfo(other), 1, error));
    EXPECT_NE(error.find("relation \"levels\" already exists"), std::string::npos) << error;
}

TEST_F(Postgres, AFailedStatementUndoesItsWholeUploadAndTheConnectionServesOn) {
    std::string error;
    const auto  store = open(error, 1);
    ASSERT_TRUE(store) << error;
    ASSERT_TRUE(postgresCluster().execute(database, R"sql(
        CREATE FUNCTION refuse() RETURNS trigger LANGUAGE plpgsql AS $$
        BEGIN IF NEW.player = 'Mallory'::bytea THEN RAISE EXCEPTION 'refused by the test'; END IF; RETURN NEW; END $$;
        CREATE TRIGGER refuse BEFORE INSERT OR UPDATE ON scores FOR EACH ROW EXECUTE FUNCTION refuse();)sql"));
    // Mallory's row fails the statement that writes all 302 scores, after the levels were written.
    LeaderboardLevel many{"Many", {}};
    for (int p = 0; p < 300; ++p) many.scores.push_back({"p" + std::to_string(p), p, 1, "1/8", 1});
    many.scores.push_back({"Mallory", 1, 1, "1/8", 1});

    ::testing::internal::CaptureStderr();
    EXPECT_EQ(store->merge({{"First", {{"Ann", 5, 1, "1/8", 1}}}, many}), StoreStatus::Unavailable);
    const std::string logged = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(logged.rfind("Leaderboard database error: ERROR: refused by the test", 0), 0u) << logged;
    EXPECT_EQ(std::count(logged.begin(), logged.end(), '\n'), 1) << logged;

    std::vector<LeaderboardLevel> stored;
    ASSERT_EQ(store->readAll(stored), StoreStatus::Ok);
    EXPECT_TRUE(stored.empty()) << "nothing of the failed upload is kept";
    many.scores.pop_back();
    EXPECT_EQ(store->merge({many}), StoreStatus::Ok);
    int32_t score = 0;
    EXPECT_EQ(store->playerScore("Many", "p299", score), StoreStatus::Ok);
    EXPECT_EQ(score, 299);
}

// The server's sessions ended by the database while its tables are away: the
// reconnection cannot prepare its statements, and must be tried again once they are back.
TEST_F(Postgres, AConnectionEndedByTheDatabaseIsOpenedAgainOnceItsTablesAreBack) {
    std::string error;
    const auto  store = open(error, 1);
    ASSERT_TRUE(store) << error;
    ASSERT_EQ(store->merge({{"Kept", {{"Ann", 5, 1, "1/8", 1}}}}), StoreStatus::Ok);
    ASSERT_TRUE(postgresCluster().execute(database,
                                          "ALTER TABLE scores RENAME TO scores_away; SELECT "
                                          "pg_terminate_backend(pid) FROM pg_stat_activity WHERE "
                                          "application_name = 'lumoka-server'"));
    std::vector<LeaderboardLevel> levels;
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(store->readAll(levels), StoreStatus::Unavailable);
    const std::string logged = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(logged.find("relation \"scores\" does not exist"), std::string::npos) << logged;

    ASSERT_TRUE(postgresCluster().execute(database, "ALTER TABLE scores_away RENAME TO scores"));
    StoreStatus status = StoreStatus::Unavailable;
    for (const auto end = std::chrono::steady_clock::now() + 10s;
         status != StoreStatus::Ok && std::chrono::steady_clock::now() < end;) {
        std::this_thread::sleep_for(200ms);
        ::testing::internal::CaptureStderr();
        status = store->readAll(levels);
        ::testing::internal::GetCapturedStderr();
    }
    ASSERT_EQ(status, StoreStatus::Ok);
    ASSERT_EQ(levels.size(), 1u);
    EXPECT_EQ(levels[0].scores[0].score, 5);
}

// Eight clients, each sending twelve uploads of rising scores for the same ten
// players in its own order, to both instances in turn. Each round adds a level
// that every client creates at the same moment.
TEST_F(Postgres, TwoServerInstancesKeepTheHighestScoreOfManyClients) {
    constexpr int                               kClients = 8, kRounds = 12, kPlayers = 10;
    std::unique_ptr<testsupport::ServerProcess> servers[2];
    // Every client is on loopback, one address: its upload rate is not what is tested here.
    const std::vector<std::string> options = {"--threads", "4", "--uploads-per-minute", "100000"};
    {
        std::thread second([&] { servers[1] = std::make_unique<testsupport::ServerProcess>(location, options); });
        servers[0] = std::make_unique<testsupport::ServerProcess>(location, options);
        second.join();
    }
    ASSERT_TRUE(servers[0]->started() && servers[1]->started())
        << servers[0]->process().wait(1s).err << servers[1]->process().wait(1s).err;

    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            httplib::Client instances[2] = {httplib::Client("127.0.0.1", servers[0]->port()),
                                            httplib::Client("127.0.0.1", servers[1]->port())};
            for (int round = 1; round <= kRounds; ++round) {
                std::vector<json> entries;
                for (int p = 0; p < kPlayers; ++p)
                    entries.push_back(entry("p" + std::to_string((p + c) % kPlayers), round * kClients + c));
                const json body = {{"levels",
                                    {level("Race", entries), level("Round " + std::to_string(round), entries),
                                     level("Client " + std::to_string(c), entries)}}};
                EXPECT_EQ(post(instances[(c + round) % 2], body), 200);
            }
        });
    }
    for (std::thread& client : clients) client.join();

    const auto best = [&](const std::string& name) {
        if (name == "Race") return kRounds * kClients + kClients - 1;
        if (name.starts_with("Round ")) return std::stoi(name.substr(6)) * kClients + kClients - 1;
        return kRounds * kClients + std::stoi(name.substr(7));
    };
    json documents[2];
    for (int i = 0; i < 2; ++i) {
        httplib::Client client("127.0.0.1", servers[i]->port());
        documents[i] = fetch(client);
        ASSERT_TRUE(documents[i].is_object());
        const std::vector<LeaderboardLevel> levels = levelsOf(documents[i]);
        EXPECT_EQ(levels.size(), 1u + kRounds + kClients);
        for (const LeaderboardLevel& stored : levels) {
            EXPECT_EQ(stored.scores.size(), static_cast<size_t>(kPlayers)) << stored.name;
            for (const LeaderboardEntry& e : stored.scores) {
                EXPECT_EQ(e.score, best(stored.name)) << stored.name << " " << e.player;
                EXPECT_EQ(e.time, e.score) << "one upload's values in a row";
            }
        }
    }
    EXPECT_EQ(documents[0], documents[1]);
    for (auto& server : servers) {
        const testsupport::ProcessResult result = server->stop();
        EXPECT_EQ(result.exitCode, 0);
        EXPECT_EQ(result.err, "");
    }
    EXPECT_EQ(postgresCluster().queryValue(database, "SELECT count(*) FROM schema_version"), "1");
}

TEST_F(Postgres, AServerAnswers503WhileTheDatabaseIsDownAndServesAgainWithNothingLost) {
    const auto healthStatus = [](httplib::Client& client) {
        const httplib::Result health = client.Get("/healthz");
        return health ? health->status : -1;
    };
    testsupport::ServerProcess server(postgresCluster().uri(database), {"--threads", "2"});
    ASSERT_TRUE(server.started());
    httplib::Client client("127.0.0.1", server.port());
    const json      first = {{"levels", {level("Song A", {entry("Ann", 10)})}}};
    ASSERT_EQ(post(client, first), 200);

    EXPECT_EQ(healthStatus(client), 200);

    ASSERT_TRUE(postgresCluster().stop());
    EXPECT_EQ(healthStatus(client), 503);
    const httplib::Result refused[] = {client.Get("/api/leaderboard"), client.Get("/api/player/Song%20A/Ann"),
                                       client.Post("/api/leaderboard", first.dump(), "application/json")};
    for (const httplib::Result& reply : refused) {
        ASSERT_TRUE(reply);
        EXPECT_EQ(reply->status, 503);
        EXPECT_EQ(json::parse(reply->body),
                  json::parse(R"({"success":false,"error":"leaderboard storage unavailable"})"));
    }
    const std::string errors = server.process().stderrText();
    EXPECT_EQ(countLines(errors, "Leaderboard database error: "), 4) << errors;
    EXPECT_EQ(std::count(errors.begin(), errors.end(), '\n'), 4) << errors;
    EXPECT_NE(client.Get("/metrics")->body.find("\nlumoka_database_errors_total 4\n"), std::string::npos);

    ASSERT_TRUE(postgresCluster().start()) << postgresCluster().problem();
    json back;
    for (const auto end = std::chrono::steady_clock::now() + 20s;
         back.is_null() && std::chrono::steady_clock::now() < end;) {
        std::this_thread::sleep_for(100ms);
        back = fetch(client);
    }
    EXPECT_EQ(back, first);
    EXPECT_EQ(healthStatus(client), 200);
    EXPECT_EQ(client.Get("/metrics")->body.find("\nlumoka_database_reconnections_total 0\n"), std::string::npos);
    const json second = {{"levels", {level("Song A", {entry("Ann", 12), entry("Bob", 3)})}}};
    EXPECT_EQ(post(client, second), 200);
    EXPECT_EQ(fetch(client), second);
    const testsupport::ProcessResult result = server.stop();
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find("Reconnected to the leaderboard database\n"), std::string::npos) << result.out;
}

TEST_F(Postgres, AdminCommandsRemoveEntriesUnderARunningServerButDoNotBackUp) {
    testsupport::ServerProcess server(location);
    ASSERT_TRUE(server.started());
    httplib::Client client("127.0.0.1", server.port());
    ASSERT_EQ(post(client, {{"levels",
                             {level("A", {entry("Eve", 2147483647), entry("Ann", 3)}),
                              level("B", {entry("Eve", 4), entry("Ann", 9)})}}}),
              200);
    const auto admin = [&](const std::vector<std::string>& args) {
        std::vector<std::string> all = {"admin", "--db", location};
        all.insert(all.end(), args.begin(), args.end());
        testsupport::TempDir     dir;
        testsupport::GameProcess process(LUMOKA_SERVER_BINARY, all, dir.path());
        return process.wait(20s);
    };
    EXPECT_EQ(admin({"cap-score", "A", "100"}).out, "Removed 1 entries (scores above 100 on A)\n");
    EXPECT_EQ(admin({"remove-player", "Eve"}).out, "Removed 1 entries (player Eve on every level)\n");
    EXPECT_EQ(admin({"remove-entry", "B", "Ann"}).out, "Removed 1 entries (player Ann on B)\n");
    EXPECT_EQ(admin({"list"}).out, "A\tAnn\t3\t3\t2/8\t3\n");
    EXPECT_EQ(fetch(client), (json{{"levels", {level("A", {entry("Ann", 3)})}}}));
    const testsupport::ProcessResult backup = admin({"backup", "x.sqlite"});
    EXPECT_EQ(backup.exitCode, 1);
    EXPECT_NE(backup.err.find("needs an SQLite database"), std::string::npos) << backup.err;
}

testsupport::ProcessResult runServer(const std::string& where) {
    testsupport::TempDir     dir;
    testsupport::GameProcess server(LUMOKA_SERVER_BINARY, {"--db", where, "--port", "0"}, dir.path());
    return server.wait(20s);
}

void expectOneLineFailure(const testsupport::ProcessResult& result, const std::string& start,
                          const std::string& reason) {
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.err.rfind("Failed to open leaderboard database " + start + ": ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find(reason), std::string::npos) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
}

TEST(PostgresServer, ADatabaseItCannotReachEndsItWithOneLine) {
    expectOneLineFailure(runServer("host=/nonexistent/lumoka dbname=lumoka"), "host=/nonexistent/lumoka dbname=lumoka",
                         "connection to server on socket \"/nonexistent/lumoka/.s.PGSQL.5432\" failed");
    expectOneLineFailure(runServer("host=/tmp dbname"), "host=/tmp dbname", "missing \"=\" after \"dbname\"");
}

TEST_F(Postgres, TheLineOfAFailedStartHidesThePassword) {
    std::string uri = postgresCluster().uri("no_such_database");
    uri.insert(uri.find('@'), ":hunter2");
    std::string shown = uri;
    shown.replace(shown.find("hunter2"), 7, "***");
    const testsupport::ProcessResult result = runServer(uri);
    expectOneLineFailure(result, shown, "database \"no_such_database\" does not exist");
    EXPECT_EQ(result.err.find("hunter2"), std::string::npos);
}

}  // namespace
