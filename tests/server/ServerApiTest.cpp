// The leaderboard server's requests on a private in-memory database: the three
// requests and their shapes, the merge rule, every way an upload is refused
// without changing anything, and the routing errors.
#include "net/LeaderboardProtocol.h"
#include "server/Api.h"
#include "server/LeaderboardStore.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>
#include <sqlite3.h>


using nlohmann::json;

namespace {

class ServerApi : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        store = openLeaderboardStore(":memory:", 4, error);
        ASSERT_TRUE(store) << error;
    }

    ApiReply call(const std::string& method, const std::string& target, const std::string& body = "") {
        return handleApiRequest(*store, method, target, body);
    }
    ApiReply post(const json& document) { return call("POST", "/api/leaderboard", document.dump()); }
    json     leaderboard() { return json::parse(call("GET", "/api/leaderboard").body); }

    std::unique_ptr<LeaderboardStore> store;
};

json entry(const std::string& player, int score, int time = 1, const std::string& layer = "1/8", int combo = 2) {
    return {{"player", player}, {"score", score}, {"time", time}, {"highestLayer", layer}, {"highestCombo", combo}};
}

json level(const std::string& name, std::vector<json> scores) { return {{"name", name}, {"scores", scores}}; }

json upload(std::vector<json> levels) { return {{"levels", levels}}; }

void expectRefusal(const ApiReply& reply, int status, const std::string& error) {
    EXPECT_EQ(reply.status, status) << reply.body;
    const json body = json::parse(reply.body);
    EXPECT_EQ(body["success"], false);
    EXPECT_NE(body["error"].get<std::string>().find(error), std::string::npos) << body["error"];
}

TEST_F(ServerApi, TheThreeRequestsAnswerInTheirShapes) {
    EXPECT_EQ(call("GET", "/api/leaderboard").body, R"({"levels":[]})");
    const ApiReply stored = post(upload({level("Song A", {entry("Ann", 10, 61, "3/8", 12)})}));
    EXPECT_EQ(stored.status, 200);
    EXPECT_EQ(stored.body, R"({"success":true})");
    EXPECT_EQ(call("GET", "/api/leaderboard").body,
              R"({"levels":[{"name":"Song A","scores":[{"highestCombo":12,"highestLayer":"3/8","player":"Ann","score":10,"time":61}]}]})");
    EXPECT_EQ(call("GET", "/api/player/Song%20A/Ann").body, R"({"score":10})");
    expectRefusal(call("GET", "/api/player/Song%20A/Bob"), 404, "no score");
    expectRefusal(call("GET", "/api/player/Song%20B/Ann"), 404, "no score");
    EXPECT_EQ(call("GET", "/api/leaderboard?fresh=1").status, 200) << "a query string is ignored";
}

TEST_F(ServerApi, UploadsMergeTheBestPerPlayerPerLevelInFirstSeenOrder) {
    post(upload({level("L1", {entry("Ann", 100, 10, "1/8", 1)}), level("Empty", {})}));
    post(upload({level("L2", {entry("Bob", 50), entry("Bob", 80, 8), entry("Bob", 60)}),
                 level("L1", {entry("Cy", 5), entry("Ann", 100, 99, "8/8", 99)})}));
    post(upload({level("L1", {entry("Ann", 90), entry("Cy", 6, 6, "6/8", 6)})}));
    const json expected = upload({level("L1", {entry("Ann", 100, 10, "1/8", 1), entry("Cy", 6, 6, "6/8", 6)}),
                                  level("L2", {entry("Bob", 80, 8)})});
    EXPECT_EQ(leaderboard(), expected) << "levels without entries are not kept";
}

TEST_F(ServerApi, OptionalMembersDefaultAndUnknownOnesAreIgnored) {
    post({{"levels", {{{"name", "L"}, {"extra", 1}, {"scores", {{{"player", "Ann"}, {"score", 4}, {"note", "x"}}}}}}},
          {"owner", "me"}});
    EXPECT_EQ(leaderboard(), upload({level("L", {entry("Ann", 4, 0, "0/0", 0)})}));
}

struct BadUpload {
    std::string name;
    std::string body;
    std::string error;
};

class ServerApiRefusal : public ServerApi, public ::testing::WithParamInterface<BadUpload> {};

TEST_P(ServerApiRefusal, IsABadRequestAndChangesNothing) {
    post(upload({level("Kept", {entry("Ann", 7)})}));
    const json before = leaderboard();
    expectRefusal(call("POST", "/api/leaderboard", GetParam().body), 400, GetParam().error);
    EXPECT_EQ(leaderboard(), before);
}

const std::string kLongName(kMaxNameBytes + 1, 'n');
const std::string kGood = R"({"name": "New", "scores": [{"player": "Bob", "score": 9}]})";

std::string caseName(const ::testing::TestParamInfo<BadUpload>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(
    Bodies, ServerApiRefusal,
    ::testing::Values(
        BadUpload{"Empty", "", "not JSON"}, BadUpload{"CutShort", "{\"levels\": [", "not JSON"},
        BadUpload{"TopLevelArray", "[1]", "\"levels\" is an array"},
        BadUpload{"LevelsObject", R"({"levels": {}})", "\"levels\" is an array"},
        BadUpload{"LevelNotObject", R"({"levels": [3]})", "levels[0] must be an object"},
        BadUpload{"NameNumber", R"({"levels": [{"name": 5, "scores": []}]})", "levels[0].name must be a string"},
        BadUpload{"NameTooLong", R"({"levels": [{"name": ")" + kLongName + R"(", "scores": []}]})", "at most 64 bytes"},
        BadUpload{"NoScores", R"({"levels": [{"name": "L"}]})", "levels[0].scores must be an array"},
        BadUpload{"EntryNotObject", R"({"levels": [{"name": "L", "scores": ["x"]}]})", "levels[0].scores[0] must be an object"},
        BadUpload{"NoPlayer", R"({"levels": [{"name": "L", "scores": [{"score": 1}]}]})", "scores[0].player must be a string"},
        BadUpload{"PlayerTooLong", R"({"levels": [{"name": "L", "scores": [{"player": ")" + kLongName + R"(", "score": 1}]}]})",
                  "player must be a string of at most 64 bytes"},
        BadUpload{"NoScore", R"({"levels": [{"name": "L", "scores": [{"player": "A"}]}]})", "score must be an integer"},
        BadUpload{"NegativeScore", R"({"levels": [{"name": "L", "scores": [{"player": "A", "score": -1}]}]})",
                  "score must be an integer from 0"},
        BadUpload{"FractionalScore", R"({"levels": [{"name": "L", "scores": [{"player": "A", "score": 1.5}]}]})",
                  "score must be an integer"},
        BadUpload{"TextScore", R"({"levels": [{"name": "L", "scores": [{"player": "A", "score": "5"}]}]})",
                  "score must be an integer"},
        BadUpload{"ScoreOverInt32", R"({"levels": [{"name": "L", "scores": [{"player": "A", "score": 2147483648}]}]})",
                  "to 2147483647"},
        BadUpload{"NegativeTime", R"({"levels": [{"name": "L", "scores": [{"player": "A", "score": 1, "time": -3}]}]})",
                  "time must be"},
        BadUpload{"FloatCombo",
                  R"({"levels": [{"name": "L", "scores": [{"player": "A", "score": 1, "highestCombo": 2.0}]}]})",
                  "highestCombo must be"},
        BadUpload{"LayerNumber",
                  R"({"levels": [{"name": "L", "scores": [{"player": "A", "score": 1, "highestLayer": 3}]}]})",
                  "highestLayer must be a string"},
        // All or nothing: the good level before the bad one is not stored either.
        BadUpload{"GoodThenBad", R"({"levels": [)" + kGood + R"(, {"name": "L", "scores": [{"player": "A", "score": -2}]}]})",
                  "levels[1].scores[0].score"}),
    caseName);

TEST_F(ServerApi, ABodyOverTheLimitIsRefusedUnread) {
    const std::string body = upload({level("L", {entry(std::string(60, 'p'), 1)})}).dump() + std::string(kMaxUploadBytes, ' ');
    expectRefusal(call("POST", "/api/leaderboard", body), 413, "larger than 1048576 bytes");
    EXPECT_EQ(leaderboard(), upload({}));
}

TEST_F(ServerApi, RoutingErrors) {
    expectRefusal(call("GET", "/api/unknown"), 404, "no such request");
    expectRefusal(call("GET", "/leaderboard"), 404, "no such request");
    expectRefusal(call("PUT", "/api/leaderboard"), 405, "method not allowed");
    expectRefusal(call("POST", "/api/player/a/b"), 405, "method not allowed");
    expectRefusal(call("GET", "/api/player/onlyone"), 400, "expected /api/player/<level>/<player>");
    expectRefusal(call("GET", "/api/player/a/b/c"), 400, "expected /api/player/<level>/<player>");
    expectRefusal(call("GET", "/api/player/%zz/b"), 400, "malformed percent-encoding");
    expectRefusal(call("GET", "/api/player/a/b%2"), 400, "malformed percent-encoding");
    expectRefusal(call("GET", "/api/player/" + std::string(65, 'l') + "/b"), 400, "at most 64 bytes");
}

TEST_F(ServerApi, NamesAreMatchedAsExactBytesAfterDecoding) {
    const std::vector<std::string> names = {"a/b", "100%", "two words", "Zoë", "line\nbreak", std::string("nul\0byte", 8),
                                            "+plus", ""};
    for (const std::string& text : names) {
        ASSERT_EQ(post(upload({level(text, {entry(text, 3)})})).status, 200) << text;
        EXPECT_EQ(call("GET", "/api/player/" + percentEncodeSegment(text) + "/" + percentEncodeSegment(text)).body,
                  R"({"score":3})")
            << text;
    }
    expectRefusal(call("GET", "/api/player/a%2Fb/a"), 404, "no score");
    expectRefusal(call("GET", "/api/player/Zo%C3%AB/zo%C3%AB"), 404, "no score");
}

TEST(ServerStore, ANewerSchemaIsRefusedAndAnUnreadableFileNamed) {
    testsupport::TempDir dir;
    const std::string path = (dir.path() / "newer.sqlite").string();
    sqlite3* db = nullptr;
    ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
    sqlite3_exec(db, "PRAGMA user_version = 9", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    std::string error;
    EXPECT_FALSE(openLeaderboardStore(path, 2, error));
    EXPECT_EQ(error, "database schema version 9 is newer than this server's 1");

    testsupport::writeFile(dir.path() / "text.sqlite", std::string(4096, 'x'));
    EXPECT_FALSE(openLeaderboardStore((dir.path() / "text.sqlite").string(), 2, error));
    EXPECT_NE(error.find("not a database"), std::string::npos) << error;
}

}  // namespace
