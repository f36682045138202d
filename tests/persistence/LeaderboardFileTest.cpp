// The local leaderboard file: what a saved run writes (format, merge rule,
// messages), how unreadable files and entries are survived, and how a document
// becomes the panel's list.
#include "persistence/LeaderboardFixture.h"

#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

using LeaderboardSave = LeaderboardFolder;

json entry(const std::string& player, int score, int time, const std::string& layer, int combo) {
    return {{"player", player}, {"score", score}, {"time", time}, {"highestLayer", layer}, {"highestCombo", combo}};
}

std::vector<fs::path> filesBeside(const fs::path& file, const std::string& prefix) {
    std::vector<fs::path> found;
    for (const auto& item : fs::directory_iterator(file.parent_path())) {
        if (item.path().filename().string().starts_with(prefix)) found.push_back(item.path());
    }
    return found;
}

TEST_F(LeaderboardSave, FirstRunCreatesTheFileInTheFixedFormat) {
    const CapturedOutput output = save(run("Song A", "Ann", 1234, 61.9, 3, 8, 12));
    EXPECT_TRUE(saved);
    EXPECT_TRUE(testsupport::containsInOrder(
        output.out, {"Leaderboard file not found or empty. Creating a new one at levels/leaderboard.json\n",
                     "Leaderboard successfully saved to levels/leaderboard.json\n"}));
    EXPECT_EQ(fileText(),
              "{\n"
              "    \"levels\": [\n"
              "        {\n"
              "            \"name\": \"Song A\",\n"
              "            \"scores\": [\n"
              "                {\n"
              "                    \"highestCombo\": 12,\n"
              "                    \"highestLayer\": \"3/8\",\n"
              "                    \"player\": \"Ann\",\n"
              "                    \"score\": 1234,\n"
              "                    \"time\": 61\n"
              "                }\n"
              "            ]\n"
              "        }\n"
              "    ]\n"
              "}");
    EXPECT_TRUE(filesBeside(file(), "leaderboard.json.").empty()) << "no temporary file is left behind";
}

TEST_F(LeaderboardSave, OneEntryPerPlayerPerLevelReplacedOnlyByAHigherScore) {
    save(run("Song A", "Ann", 100, 10.0, 1, 8, 5));
    save(run("Song A", "Bob", 50));
    save(run("Song B", "Ann", 70));
    save(run("Song A", "Ann", 300, 20.5, 4, 8, 30));
    const CapturedOutput equal = save(run("Song A", "Ann", 300, 99.0, 8, 8, 99));
    const CapturedOutput lower = save(run("Song A", "Bob", 10, 99.0, 8, 8, 99));

    EXPECT_NE(equal.out.find("Score less than high score. High score: 300\n"), std::string::npos);
    EXPECT_NE(lower.out.find("Score less than high score. High score: 10\n"), std::string::npos);
    EXPECT_TRUE(saved) << "an unchanged document is still written";
    const json expected = {
        {"levels",
         {{{"name", "Song A"}, {"scores", {entry("Ann", 300, 20, "4/8", 30), entry("Bob", 50, 61, "3/8", 12)}}},
          {{"name", "Song B"}, {"scores", {entry("Ann", 70, 61, "3/8", 12)}}}}}};
    EXPECT_EQ(fileDocument(), expected);
}

TEST_F(LeaderboardSave, OtherMembersSurviveAndABadLevelsMemberIsReplaced) {
    writeLeaderboard(R"({"owner": "me", "levels": "not a list"})");
    save(run("Song A", "Ann", 5));
    EXPECT_EQ(fileDocument()["owner"], "me");
    EXPECT_EQ(fileDocument()["levels"],
              json::array({{{"name", "Song A"}, {"scores", {entry("Ann", 5, 61, "3/8", 12)}}}}));

    writeLeaderboard(
        R"({"levels": [7, {"name": "Song A", "tag": 1, "scores": [{"player": "Ann", "score": 1, "note": "x"}]}]})");
    save(run("Song A", "Ann", 9, 1.0, 1, 1, 1));
    const json level = fileDocument()["levels"][1];
    EXPECT_EQ(fileDocument()["levels"][0], 7);
    EXPECT_EQ(level["tag"], 1);
    EXPECT_EQ(level["scores"][0]["note"], "x");
    EXPECT_EQ(level["scores"][0]["score"], 9);
}

TEST_F(LeaderboardSave, AStoredEntryWithoutANumericScoreIsReplacedInPlace) {
    for (const char* score : {R"("score": "lots", )", ""}) {
        writeLeaderboard(std::string(R"({"levels": [{"name": "Song A", "scores": [{)") + score +
                         R"("player": "Ann", "note": "kept"}, {"player": "Bob", "score": 3}]}]})");
        const CapturedOutput output = save(run("Song A", "Ann", 40));
        const json           scores = fileDocument()["levels"][0]["scores"];
        ASSERT_EQ(scores.size(), 2u) << score;
        EXPECT_EQ(scores[0]["score"], 40);
        EXPECT_EQ(scores[0]["note"], "kept");
        EXPECT_EQ(scores[1]["player"], "Bob");
        EXPECT_TRUE(saved);
    }
    writeLeaderboard(R"({"levels": [{"name": "Song A", "scores": [{"player": "Ann", "score": true}]}]})");
    save(run("Song A", "Ann", 1));
    EXPECT_EQ(fileDocument()["levels"][0]["scores"][0]["score"], true) << "a boolean score reads as 0 or 1";
}

TEST_F(LeaderboardSave, AnUnreadableFileIsKeptAsideNeverOverwritten) {
    const std::vector<std::string> unreadable = {"{\"levels\": [", "[1, 2, 3]", "\"text\""};
    for (const std::string& old : unreadable) {
        writeLeaderboard(old);
        const CapturedOutput output = save(run("Song A", "Ann", 10));
        EXPECT_NE(output.err.find(old[0] == '{' ? "Failed to parse existing leaderboard JSON: "
                                                : "Existing leaderboard JSON is not an object. Creating new file."),
                  std::string::npos)
            << output.err;
        EXPECT_NE(output.err.find("Kept the unreadable leaderboard file as levels/leaderboard.json.corrupt-"),
                  std::string::npos)
            << output.err;
        EXPECT_EQ(fileDocument()["levels"][0]["scores"].size(), 1u);
    }
    // Three in the same second or not: each old content is kept in a file of its own.
    std::vector<std::string> kept;
    for (const fs::path& aside : filesBeside(file(), "leaderboard.json.corrupt-"))
        kept.push_back(testsupport::readFile(aside));
    std::sort(kept.begin(), kept.end());
    std::vector<std::string> expected = unreadable;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(kept, expected);
}

TEST_F(LeaderboardSave, AFailedWriteLeavesTheOldFileWhole) {
    writeLeaderboard(R"({"levels": []})");
    // The temporary file's name is taken by a folder, so it cannot be written.
    fs::create_directory(fs::path(file().string() + "." + std::to_string(getpid()) + ".tmp"));
    const CapturedOutput output = save(run("Song A", "Ann", 10));
    EXPECT_FALSE(saved);
    EXPECT_NE(output.err.find("Failed to save leaderboard file: "), std::string::npos) << output.err;
    EXPECT_EQ(fileText(), R"({"levels": []})");
}

TEST_F(LeaderboardSave, InvalidUtf8InANameIsWrittenWithAReplacementCharacter) {
    save(run("Song A", "Zo\xC3", 10));  // a name cut in the middle of "ë"
    EXPECT_TRUE(saved);
    EXPECT_EQ(fileDocument()["levels"][0]["scores"][0]["player"], "Zo\xEF\xBF\xBD");
}

using LeaderboardLoad = LeaderboardFolder;

std::vector<LeaderboardLevel> loadAndTake(const json& document, CapturedOutput* output = nullptr) {
    const CapturedOutput captured = capture([&] { Leaderboard::loadFromJson(document); });
    if (output) *output = captured;
    Leaderboard::takeLoadedLevels();
    return leaderboardLevels;
}

TEST_F(LeaderboardLoad, EntriesGetDefaultsForMissingMembers) {
    const json                          document = {{"levels",
                                                     {{{"name", "Song A"},
                                                       {"scores",
                                                        {{{"player", "Ann"}, {"score", 12.9}},
                                                         entry("Bob", 7, 65, "2/8", 4),
                                                         {{"player", "Cy"}, {"score", 3}, {"time", 9.7}, {"highestLayer", 5}}}}}}}};
    const std::vector<LeaderboardLevel> levels   = loadAndTake(document);
    ASSERT_EQ(levels.size(), 1u);
    ASSERT_EQ(levels[0].scores.size(), 3u);
    const LeaderboardEntry& ann = levels[0].scores[0];
    EXPECT_EQ(std::tie(ann.player, ann.score, ann.time, ann.highestLayer, ann.highestCombo),
              std::make_tuple(std::string("Ann"), 12, 0, std::string("0/0"), 0));
    const LeaderboardEntry& bob = levels[0].scores[1];
    EXPECT_EQ(std::tie(bob.score, bob.time, bob.highestLayer, bob.highestCombo),
              std::make_tuple(7, 65, std::string("2/8"), 4));
    EXPECT_EQ(levels[0].scores[2].time, 9);
    EXPECT_EQ(levels[0].scores[2].highestLayer, "0/0");
}

TEST_F(LeaderboardLoad, UnreadableLevelsAndEntriesAreSkippedTheRestKept) {
    const json document = {
        {"levels",
         {{{"name", "First"},
           {"scores", {entry("Ann", 1, 0, "1/8", 0), "junk", {{"player", 4}, {"score", 1}}, {{"player", "Bob"}}}}},
          {{"name", 5}, {"scores", json::array()}},
          "not a level",
          {{"name", "No scores"}},
          {{"name", "Last"}, {"scores", {entry("Cy", 2, 0, "1/8", 0)}}}}}};
    CapturedOutput                      output;
    const std::vector<LeaderboardLevel> levels = loadAndTake(document, &output);
    ASSERT_EQ(levels.size(), 2u);
    EXPECT_EQ(levels[0].name, "First");
    ASSERT_EQ(levels[0].scores.size(), 1u);
    EXPECT_EQ(levels[1].name, "Last");
    EXPECT_TRUE(testsupport::containsInOrder(
        output.err, {"Skipped unreadable leaderboard data: entry 1 of level \"First\" is not an object\n",
                     "entry 2 of level \"First\" has no \"player\" string\n",
                     "entry 3 of level \"First\" has no numeric \"score\"\n", "level 1 has no \"name\" string\n",
                     "level 2 is not an object\n", "level \"No scores\" has no \"scores\" array\n"}));
}

TEST_F(LeaderboardLoad, DocumentsWithoutALevelsListGiveAnEmptyList) {
    for (const json& document : {json(), json::array({1}), json{{"levels", 5}}, json{{"other", 1}}}) {
        leaderboardLevels = {{"Old", {}}};
        EXPECT_TRUE(loadAndTake(document).empty()) << document.dump();
    }
}

TEST_F(LeaderboardLoad, ThePanelsListChangesOnlyWhenTheMainThreadTakesIt) {
    leaderboardLevels = {{"Shown", {}}};
    std::thread worker([] {
        Leaderboard::loadFromJson({{"levels", {{{"name", "First"}, {"scores", json::array()}}}}});
        Leaderboard::loadFromJson({{"levels", {{{"name", "Second"}, {"scores", json::array()}}}}});
    });
    worker.join();
    EXPECT_EQ(leaderboardLevels[0].name, "Shown");
    EXPECT_TRUE(Leaderboard::takeLoadedLevels());
    ASSERT_EQ(leaderboardLevels.size(), 1u);
    EXPECT_EQ(leaderboardLevels[0].name, "Second") << "the latest delivery wins";
    EXPECT_FALSE(Leaderboard::takeLoadedLevels());
    EXPECT_EQ(leaderboardLevels[0].name, "Second");
}

}  // namespace
