// The level list is read by pattern, not parsed: what it accepts, what it skips,
// and the samples that stand in when nothing usable is there.
#include "level/LevelList.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> names(const std::vector<LevelInfo>& levels) {
    std::vector<std::string> out;
    for (const LevelInfo& level : levels) out.push_back(level.name);
    return out;
}

TEST(LevelList, EntriesAreFlatBraceGroupsInFileOrderWrappedOrNot) {
    const std::string              entries  = R"({"name": "One", "file": "one.zip"},
        {"file": "two", "name": "Two", "difficulty": 4, "description": "Fast"},
        {"name":"Three","file":"three"})";
    const std::vector<std::string> expected = {"One", "Two", "Three"};
    EXPECT_EQ(names(readLevelList("[" + entries + "]")), expected);
    EXPECT_EQ(names(readLevelList(R"({"levels": [)" + entries + "]}")), expected);

    const std::vector<LevelInfo> levels = readLevelList(entries);
    ASSERT_EQ(levels.size(), 3u);
    EXPECT_EQ(levels[1].file, "two");
    EXPECT_EQ(levels[1].difficulty, 4);
    EXPECT_EQ(levels[1].description, "Fast");
    EXPECT_EQ(levels[0].difficulty, 1);
    EXPECT_EQ(levels[0].description, "");
}

TEST(LevelList, EntriesWithoutNameOrFileAreSkippedAndANestedObjectSplitsOne) {
    const std::vector<LevelInfo> levels = readLevelList(R"([
        {"name": "No file"},
        {"name": "", "file": "empty-name"},
        {"name": "Nested", "file": "n", "extra": {"a": 1}, "difficulty": 3},
        {"name": "Kept", "file": "k"}])");
    EXPECT_EQ(names(levels), (std::vector<std::string>{"Nested", "Kept"}));
    EXPECT_EQ(levels[0].difficulty, 1) << "the difficulty came after the inner closing brace";
}

TEST(LevelList, ValuesAreTakenAsWrittenUpToTheFirstQuoteOrNonDigit) {
    EXPECT_EQ(extractStringField(R"({"name": "Say \"hi\"", "file": "f"})", "name"), "Say \\");
    EXPECT_EQ(extractStringField(R"({"name" :
        "Spaced"})",
                                 "name"),
              "Spaced");
    EXPECT_EQ(extractStringField(R"({"name": "", "name": "Second"})", "name"), "Second");
    EXPECT_EQ(extractIntField(R"({"difficulty": 2.5})", "difficulty", 1), 2);
    EXPECT_EQ(extractIntField(R"({"difficulty": "2"})", "difficulty", 1), 1);
    EXPECT_EQ(extractIntField(R"({"difficulty": -2})", "difficulty", 1), 1);
    EXPECT_EQ(extractIntField(R"({"difficulty": 2147483647})", "difficulty", 1), 2147483647);
    EXPECT_EQ(extractIntField(R"({"difficulty": 12345678901})", "difficulty", 1), 1) << "too long for an int32";
}

TEST(LevelList, AnEntryFarTooLongForARegexEngineStillReads) {
    const std::string            description(300000, 'x');
    const std::vector<LevelInfo> levels =
        readLevelList(R"([{"name": "Long", "file": "l", "description": ")" + description + "\"}]");
    ASSERT_EQ(levels.size(), 1u);
    EXPECT_EQ(levels[0].description.size(), description.size());
}

// loadLevelList reads the file once per process, so one case covers the fallback.
TEST(LevelList, AMissingFileGivesTheThreeSamplesOnce) {
    testsupport::TempDir          dir;
    testsupport::WorkingDirectory cwd(dir.path());
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(loadLevelList());
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Level list not found\n");
    ASSERT_EQ(levelList.size(), 3u);
    EXPECT_EQ(levelList[0].file, "sample_a.zip");
    EXPECT_EQ(levelList[2].difficulty, 3);
    EXPECT_EQ(levelList[2].description, "Hard \xE2\x80\x93 lots of notes");

    testsupport::writeFile(dir.path() / "levels" / "levels.json", R"([{"name": "Late", "file": "late"}])");
    EXPECT_TRUE(loadLevelList());
    EXPECT_EQ(levelList.size(), 3u) << "the list is never reloaded";
}

}  // namespace
