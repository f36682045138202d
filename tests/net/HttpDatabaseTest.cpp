// The online leaderboard client against our real server on loopback (a fresh
// database each test) and against a canned server for the replies ours never
// gives: the round trips, the merge rule, names that need encoding, the merge of
// runs saved offline, and every fallback to the local file.
#include "leaderboard/LeaderboardProtocol.h"
#include "net/CannedServer.h"
#include "persistence/LeaderboardFixture.h"
#include "support/ServerProcess.h"

using nlohmann::json;

namespace {

json entry(const std::string& player, int score, int time = 30, const std::string& layer = "2/8", int combo = 9) {
    return {{"player", player}, {"score", score}, {"time", time}, {"highestLayer", layer}, {"highestCombo", combo}};
}

json document(std::initializer_list<std::pair<std::string, std::vector<json>>> levels) {
    json list = json::array();
    for (const auto& [name, scores] : levels) list.push_back({{"name", name}, {"scores", scores}});
    return {{"levels", list}};
}

class Client : public LeaderboardFolder {
protected:
    struct Fetched {
        json           document;
        int            calls = 0;
        CapturedOutput output;
    };

    static Fetched fetch() {
        Fetched fetched;
        fetched.output = capture([&] {
            HttpDatabase::loadLeaderboard([&](const json& document) {
                fetched.document = document;
                ++fetched.calls;
            });
        });
        return fetched;
    }

    struct Score {
        int            value = -1;
        CapturedOutput output;
    };

    static Score score(const std::string& level, const std::string& player) {
        Score score;
        score.output =
            capture([&] { HttpDatabase::getPlayerScore(level, player, [&](int value) { score.value = value; }); });
        return score;
    }

    static CapturedOutput upload(const json& document) {
        return capture([&] { HttpDatabase::uploadLeaderboard(document); });
    }
};

class ClientAndServer : public Client {
protected:
    void SetUp() override {
        Client::SetUp();
        ASSERT_TRUE(server.started());
        HttpDatabase::baseUrl = server.baseUrl();
    }

    testsupport::ServerProcess server;
};

TEST_F(ClientAndServer, UploadFetchAndPlayerScoreRoundTrip) {
    const json sent = document({{"Song A", {entry("Ann", 120), entry("Bob", 80)}}, {"Song B", {entry("Ann", 5)}}});
    const CapturedOutput uploaded = upload(sent);
    EXPECT_TRUE(testsupport::containsInOrder(
        uploaded.out, {"Successfully uploaded leaderboard to HTTP server\n", "Server confirmed leaderboard upload\n"}));

    const Fetched fetched = fetch();
    EXPECT_NE(fetched.output.out.find("Loaded leaderboard from HTTP server (2 levels)\n"), std::string::npos);
    EXPECT_EQ(fetched.calls, 1);
    EXPECT_EQ(fetched.document, sent);
    EXPECT_EQ(fileDocument(), sent) << "the fetched copy is cached in the local file";

    const Score bob = score("Song A", "Bob");
    EXPECT_EQ(bob.value, 80);
    EXPECT_NE(bob.output.out.find("Loaded player score from server: Bob on Song A = 80\n"), std::string::npos);
}

TEST_F(ClientAndServer, TheServerKeepsTheBestPerPlayerPerLevel) {
    upload(document({{"L1", {entry("Ann", 100, 10, "1/8", 1)}}, {"L2", {entry("Bob", 50)}}}));
    upload(document(
        {{"L2", {entry("Bob", 70, 40, "3/8", 7), entry("Ann", 5)}}, {"L1", {entry("Ann", 90), entry("Bob", 1)}}}));
    upload(document({{"L1", {entry("Ann", 100, 99, "8/8", 99)}}}));  // equal: nothing changes
    const json expected = document({{"L1", {entry("Ann", 100, 10, "1/8", 1), entry("Bob", 1)}},
                                    {"L2", {entry("Bob", 70, 40, "3/8", 7), entry("Ann", 5)}}});
    EXPECT_EQ(fetch().document, expected);
}

TEST_F(ClientAndServer, NamesWithSpacesSlashesPercentAndNonAsciiReachTheServerAsTheyAre) {
    const std::vector<std::pair<std::string, std::string>> names = {
        {"Song / Remix", "Ann Lee"}, {"100% Groove", "50%25"}, {"Zoë's Tänze", "日本語"}, {"a?b#c", "x+y&z=1"}};
    json sent = json{{"levels", json::array()}};
    for (size_t i = 0; i < names.size(); ++i) {
        sent["levels"].push_back({{"name", names[i].first}, {"scores", {entry(names[i].second, 10 + int(i))}}});
    }
    upload(sent);
    for (size_t i = 0; i < names.size(); ++i) {
        const Score found = score(names[i].first, names[i].second);
        EXPECT_EQ(found.value, 10 + int(i)) << names[i].first << " / " << names[i].second;
        EXPECT_EQ(found.output.out.find("Falling back"), std::string::npos) << found.output.out << found.output.err;
    }
    EXPECT_EQ(fetch().document, sent);
    EXPECT_EQ(score("Song", "Remix/Ann Lee").value, 0) << "a '/' inside a name never splits it";
}

TEST_F(ClientAndServer, RunsSavedWhileTheServerWasDownSurviveAFetchAndGoUpAgain) {
    upload(document({{"Song A", {entry("Ann", 100)}}, {"Song C", {entry("Cy", 7)}}}));
    HttpDatabase::baseUrl        = kNoServer;
    const CapturedOutput offline = save(run("Song A", "Bob", 30));
    save(run("Song B", "Ann", 300));
    save(run("Song C", "Cy", 9));
    EXPECT_TRUE(saved);
    HttpDatabase::shutdown();  // the failed uploads have ended
    HttpDatabase::init();

    HttpDatabase::baseUrl = server.baseUrl();
    const Fetched fetched = fetch();
    EXPECT_NE(fetched.output.out.find("Local leaderboard holds runs the server has not seen; uploading them\n"),
              std::string::npos)
        << fetched.output.out;
    EXPECT_NE(fetched.output.out.find("Server confirmed leaderboard upload\n"), std::string::npos);
    const json merged = fileDocument();
    EXPECT_EQ(fetched.document, merged) << "the panel gets what the file now holds";
    std::vector<std::string> levels;
    for (const json& level : merged["levels"]) levels.push_back(level["name"]);
    EXPECT_EQ(levels, (std::vector<std::string>{"Song A", "Song B", "Song C"}));
    EXPECT_EQ(merged["levels"][0]["scores"].size(), 2u) << "Ann from the server, Bob from the offline run";

    EXPECT_EQ(score("Song A", "Bob").value, 30);
    EXPECT_EQ(score("Song B", "Ann").value, 300);
    EXPECT_EQ(score("Song C", "Cy").value, 9);
    const Fetched again = fetch();
    EXPECT_EQ(again.output.out.find("uploading them"), std::string::npos) << "nothing left that the server lacks";
    EXPECT_EQ(again.document, merged);
}

// A level the server cuts short hides entries below its lowest sent score: those
// of the file are not taken for runs the server lacks (the next run's upload
// carries them), while one above it is.
TEST_F(ClientAndServer, AsksOnlyForItsLevelsAndDoesNotResendWhatACutShortLevelMayHold) {
    std::vector<json> crowded;
    for (int p = 0; p < 1200; ++p) crowded.push_back(entry("p" + std::to_string(p), 1000 + p));
    testsupport::ServerProcess roomy({}, {"--names-per-address", "5000"});  // 1200 players from one address
    ASSERT_TRUE(roomy.started());
    HttpDatabase::baseUrl = roomy.baseUrl();
    upload(document({{"Crowded", crowded}, {"Other", {entry("Ann", 5)}}, {"Mine", {entry("Ann", 7)}}}));
    Leaderboard::setInstalledLevels(std::vector<std::string>{"Crowded", "Mine"});
    HttpDatabase::useLocalCopy({Leaderboard::loadLocal, Leaderboard::loadLocalScore, Leaderboard::mergeIntoFile,
                                Leaderboard::installedLevelNames});
    writeLeaderboard(document({{"Crowded", {entry("p3", 1003), entry("Zed", 1)}}}).dump());
    const Fetched hidden = fetch();
    Leaderboard::setInstalledLevels(std::nullopt);
    EXPECT_NE(hidden.output.out.find("Loaded leaderboard from HTTP server (2 levels)\n"), std::string::npos)
        << hidden.output.out;
    EXPECT_EQ(hidden.output.out.find("uploading them"), std::string::npos) << hidden.output.out;
    std::vector<std::string> names;
    for (const json& level : hidden.document["levels"]) names.push_back(level["name"]);
    EXPECT_EQ(names, (std::vector<std::string>{"Crowded", "Mine"})) << "never the level the game lacks";
    EXPECT_EQ(hidden.document["levels"][0]["scores"].size(), kPageLevelScores + 2) << "the best 1000, p3 and Zed";

    Leaderboard::setInstalledLevels(std::vector<std::string>{"Crowded", "Mine"});
    writeLeaderboard(document({{"Crowded", {entry("Top", 5000)}}}).dump());
    const Fetched shown = fetch();
    Leaderboard::setInstalledLevels(std::nullopt);
    EXPECT_NE(shown.output.out.find("uploading them"), std::string::npos) << "a score the server would have shown";
    EXPECT_EQ(score("Crowded", "Top").value, 5000);
}

TEST_F(ClientAndServer, EntriesTheServerWouldRefuseStayLocalAndAreNeverSent) {
    const std::string longName(65, 'n');
    json              bad = entry("Cy", 12);
    bad["time"]           = 1.5;
    writeLeaderboard(
        document({{"Song A", {entry(longName, 50), entry("Bob", -3), entry("Ann", 10)}}, {"Song B", {bad}}}).dump(4));
    json saved;
    capture([&] { Leaderboard::saveRun("Song B", run("Song B", "Dee", 7).leaderboardEntry(), saved); });
    const CapturedOutput output = upload(saved);
    EXPECT_NE(output.out.find("Server confirmed leaderboard upload\n"), std::string::npos) << output.err;
    const std::string notSent = "Not uploading a leaderboard entry the server would refuse (kept locally): ";
    EXPECT_NE(output.err.find(notSent + "levels[0].scores[0].player must be a string of at most 64 bytes\n"),
              std::string::npos)
        << output.err;
    EXPECT_NE(output.err.find(notSent + "levels[0].scores[1].score must be"), std::string::npos);
    EXPECT_NE(output.err.find(notSent + "levels[1].scores[0].time must be"), std::string::npos);
    EXPECT_EQ(output.err.find("HTTP request failed"), std::string::npos) << "nothing the server refuses went up";

    std::string body;
    ASSERT_TRUE(HttpDatabase::request(server.baseUrl() + "/leaderboard", "GET", "", body));
    EXPECT_EQ(json::parse(body),
              document({{"Song A", {entry("Ann", 10)}}, {"Song B", {entry("Dee", 7, 61, "3/8", 12)}}}));
    const json file = fileDocument();
    EXPECT_EQ(file["levels"][0]["scores"].size(), 3u);
    EXPECT_EQ(file["levels"][1]["scores"].size(), 2u);

    const Fetched fetched = fetch();
    EXPECT_EQ(fetched.output.out.find("uploading them"), std::string::npos)
        << "the refused entries alone do not make every fetch upload again";
}

TEST_F(ClientAndServer, AFetchKeepsOnlyInstalledLevelsInTheFileButShowsThemAll) {
    json many = document({{"Song A", {entry("Ann", 10)}}});
    for (int i = 0; i < 200; ++i)
        many["levels"].push_back({{"name", "Elsewhere " + std::to_string(i)}, {"scores", {entry("Eve", i)}}});
    upload(many);
    writeLeaderboard(document({{"Song B", {entry("Bob", 5)}}}).dump(4));

    Leaderboard::setInstalledLevels(std::vector<std::string>{"Song A", "Song B"});
    const Fetched fetched = fetch();
    Leaderboard::setInstalledLevels(std::nullopt);
    EXPECT_EQ(fileDocument(), document({{"Song B", {entry("Bob", 5)}}, {"Song A", {entry("Ann", 10)}}}));
    ASSERT_EQ(fetched.document["levels"].size(), 202u) << "the panel gets every level the server sent";
    EXPECT_EQ(fetched.document["levels"][201], many["levels"][200]);
}

TEST_F(ClientAndServer, WithTheServerStoppedBothFetchesFallBackToTheLocalFile) {
    server.stop();
    const Fetched nothing = fetch();
    EXPECT_TRUE(testsupport::containsInOrder(nothing.output.out, {"Falling back to local leaderboard file\n",
                                                                  "No local leaderboard found, returning empty\n"}));
    EXPECT_NE(nothing.output.err.find("HTTP request failed: "), std::string::npos);
    EXPECT_TRUE(nothing.document.is_null());
    EXPECT_EQ(nothing.calls, 1);
    const Score none = score("Song A", "Ann");
    EXPECT_EQ(none.value, 0);

    const json local = document({{"Song A", {entry("Ann", 44)}}});
    writeLeaderboard(local.dump(4));
    const Fetched fetched = fetch();
    EXPECT_NE(fetched.output.out.find("Loaded leaderboard from local file\n"), std::string::npos);
    EXPECT_EQ(fetched.document, local);
    const Score ann = score("Song A", "Ann");
    EXPECT_EQ(ann.value, 44);
    EXPECT_TRUE(
        testsupport::containsInOrder(ann.output.out, {"Falling back to local file for player score: Ann on Song A\n",
                                                      "Found local player score: Ann on Song A = 44\n"}));
    EXPECT_EQ(score("Song A", "Nobody").value, 0);
    EXPECT_NE(score("Song A", "Nobody").output.out.find("Found local player score: Nobody on Song A = 0\n"),
              std::string::npos);

    writeLeaderboard("{broken");
    const Fetched broken = fetch();
    EXPECT_NE(broken.output.err.find("Failed to parse local leaderboard JSON: "), std::string::npos);
    EXPECT_TRUE(broken.document.is_null());
    const Score brokenScore = score("Song A", "Ann");
    EXPECT_EQ(brokenScore.value, 0);
    EXPECT_NE(brokenScore.output.err.find("Failed to parse local leaderboard JSON for high score: "),
              std::string::npos);
}

class ClientAndCannedServer : public Client {
protected:
    void SetUp() override {
        Client::SetUp();
        HttpDatabase::baseUrl = canned.baseUrl();
        writeLeaderboard(local.dump(4));
    }

    CannedServer canned;
    const json   local = document({{"Song A", {entry("Ann", 44)}}});
};

TEST_F(ClientAndCannedServer, ANotFoundReplyFallsBackToTheLocalFile) {
    canned.set({404, R"({"success": false})"});
    const Fetched fetched = fetch();
    EXPECT_NE(fetched.output.err.find("HTTP request failed with status: 404\n"), std::string::npos);
    EXPECT_NE(fetched.output.out.find("Loaded leaderboard from local file\n"), std::string::npos);
    EXPECT_EQ(fetched.document, local);
    EXPECT_EQ(score("Song A", "Ann").value, 44);
}

TEST_F(ClientAndCannedServer, AnEmptyReplyFallsBackWithoutAParseMessage) {
    canned.set({200, ""});
    const Fetched fetched = fetch();
    EXPECT_EQ(fetched.output.err.find("parse"), std::string::npos) << fetched.output.err;
    EXPECT_EQ(fetched.document, local);
    const Score ann = score("Song A", "Ann");
    EXPECT_EQ(ann.value, 44);
    EXPECT_EQ(ann.output.err.find("parse"), std::string::npos) << ann.output.err;
}

TEST_F(ClientAndCannedServer, MalformedRepliesFallBack) {
    canned.set({200, "{\"levels\": ["});
    const Fetched fetched = fetch();
    EXPECT_NE(fetched.output.err.find("Failed to parse server response: "), std::string::npos);
    EXPECT_EQ(fetched.document, local);
    EXPECT_EQ(fileDocument(), local) << "an unreadable reply leaves the file alone";
    const Score unreadable = score("Song A", "Ann");
    EXPECT_NE(unreadable.output.err.find("Failed to parse server response for player score: "), std::string::npos);
    EXPECT_EQ(unreadable.value, 44);

    for (const char* reply : {R"({"score": "12"})", R"({"score": true})", R"([12])", R"({"best": 12})"}) {
        canned.set({200, reply});
        const Score wrong = score("Song A", "Ann");
        EXPECT_EQ(wrong.value, 44) << reply;
        EXPECT_NE(wrong.output.out.find("Falling back to local file for player score: Ann on Song A"),
                  std::string::npos);
    }
    canned.set({200, R"({"score": 12.9})"});
    EXPECT_EQ(score("Song A", "Ann").value, 12);
}

TEST_F(ClientAndCannedServer, TheUploadIsOneCompactJsonBodyAndItsReplyIsJudged) {
    const json                                             sent    = document({{"Song A", {entry("Ann", 44)}}});
    const std::vector<std::pair<std::string, std::string>> replies = {
        {R"({"success": true})", "Server confirmed leaderboard upload"},
        {R"({"success": false})", "Server rejected leaderboard upload"},
        {R"({})", "Server rejected leaderboard upload"},
        {R"([true])", "Server rejected leaderboard upload"},
        {R"({"success": "yes"})", "Failed to parse upload response: "},
        {"not json", "Failed to parse upload response: "}};
    for (const auto& [reply, message] : replies) {
        canned.set({200, reply});
        const CapturedOutput output = upload(sent);
        EXPECT_NE((output.out + output.err).find(message), std::string::npos) << reply << "\n" << output.err;
    }
    const SeenRequest request = canned.seen().back();
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.target, "/api/leaderboard");
    EXPECT_EQ(request.contentType, "application/json");
    EXPECT_EQ(request.body, sent.dump());

    canned.set({500, ""});
    EXPECT_NE(upload(sent).err.find("Failed to upload leaderboard to HTTP server, data saved locally only\n"),
              std::string::npos);
}

TEST_F(ClientAndCannedServer, ThePlayerPathCarriesEachNameAsOneEncodedSegment) {
    canned.set({200, R"({"score": 3})"});
    EXPECT_EQ(score("Song A/2", "Zoë 100%").value, 3);
    EXPECT_EQ(canned.seen().back().target, "/api/player/Song%20A%2F2/Zo%C3%AB%20100%25");
}

TEST_F(ClientAndCannedServer, UrlRules) {
    std::string    body;
    CapturedOutput output = capture([&] { EXPECT_FALSE(HttpDatabase::request("no-scheme", "GET", "", body)); });
    EXPECT_NE(output.err.find("Invalid URL format: no-scheme\n"), std::string::npos);

    output = capture([&] { EXPECT_FALSE(HttpDatabase::request(canned.baseUrl(), "PUT", "", body)); });
    EXPECT_NE(output.err.find("Unsupported HTTP method: PUT\n"), std::string::npos);

    output = capture([&] { EXPECT_FALSE(HttpDatabase::request("http://127.0.0.1:port/api", "GET", "", body)); });
    EXPECT_NE(output.err.find("HTTP request exception: "), std::string::npos);

    // https with an explicit port: plain HTTP to that port.
    canned.set({200, "hello"});
    const std::string https = "https://127.0.0.1:" + std::to_string(canned.port()) + "/api/x:y";
    output                  = capture([&] { EXPECT_TRUE(HttpDatabase::request(https, "GET", "", body)); });
    EXPECT_NE(output.out.find("Converting HTTPS to HTTP for local development: " + https + "\n"), std::string::npos);
    EXPECT_EQ(body, "hello");
    EXPECT_EQ(canned.seen().back().target, "/api/x:y");
}

TEST(ClientBaseUrl, ComesFromTheEnvironmentOrNamesOurLocalServer) {
    unsetenv("LUMOKA_SERVER_URL");
    EXPECT_EQ(HttpDatabase::configuredBaseUrl(), "http://127.0.0.1:" + std::to_string(kLeaderboardServerPort) + "/api");
    setenv("LUMOKA_SERVER_URL", "", 1);
    EXPECT_EQ(HttpDatabase::configuredBaseUrl(), kDefaultServerUrl);
    setenv("LUMOKA_SERVER_URL", "http://scores.example:8080/api//", 1);
    EXPECT_EQ(HttpDatabase::configuredBaseUrl(), "http://scores.example:8080/api");
    unsetenv("LUMOKA_SERVER_URL");
}

}  // namespace
