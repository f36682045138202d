// Adding a level to a levels folder: free folder names, the list keeps what it
// held, the new entry reads back through the game's own list reader, and every
// failure leaves the folder and the list exactly as they were.
#include "level/LevelCopies.h"
#include "level/LevelInstall.h"
#include "level/LevelList.h"
#include "persistence/FileSave.h"
#include "support/FolderSnapshot.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <functional>

namespace fs = std::filesystem;
using testsupport::folderSnapshot;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

class Install : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    fs::path             levels = dir.path() / "levels";
    std::string          error;

    // A staging folder holding one file, as a caller would leave it.
    std::string stage(const std::string& content) {
        const std::string staging = makeStagingFolder(levels.string(), error);
        EXPECT_FALSE(staging.empty()) << error;
        writeFile(fs::path(staging) / "level.json", content);
        return staging;
    }

    bool install(const std::string& wanted, LevelInfo& entry) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const bool ok = installLevel(levels.string(), stage(wanted + " manifest"), wanted, entry, error);
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        return ok;
    }

    void expectNoStagingLeft() {
        for (const fs::directory_entry& item : fs::directory_iterator(levels))
            EXPECT_NE(item.path().filename().string().rfind(".incoming-", 0), 0u) << item.path();
    }
};

TEST_F(Install, TakesTheFirstFreeNameAndKeepsEveryEntryOfTheList) {
    writeFile(levels / "song" / "mine.txt", "not ours");  // a folder nobody listed
    // "song-2" is listed although its folder is gone: taken as well.
    writeFile(levels / "levels.json", R"({"levels": [{"name": "Old", "file": "old", "difficulty": 2, "extra": "kept"},
        {"name": "Gone", "file": "song-2"}], "version": 3})");

    LevelInfo first{"My Song", "", 3, "From a friend"};
    ASSERT_TRUE(install("Song!", first)) << error;
    EXPECT_EQ(first.file, "song-3");
    LevelInfo second{"My Song", "", 3, ""};
    ASSERT_TRUE(install("song", second)) << error;
    EXPECT_EQ(second.file, "song-4");

    EXPECT_EQ(readFile(levels / "song-3" / "level.json"), "Song! manifest");
    EXPECT_EQ(readFile(levels / "song" / "mine.txt"), "not ours");
    expectNoStagingLeft();

    const nlohmann::json document = nlohmann::json::parse(readFile(levels / "levels.json"));
    EXPECT_EQ(document["version"], 3);
    ASSERT_EQ(document["levels"].size(), 4u);
    EXPECT_EQ(document["levels"][0]["extra"], "kept");

    const std::vector<LevelInfo> listed = readLevelList(readFile(levels / "levels.json"));
    ASSERT_EQ(listed.size(), 4u);
    EXPECT_EQ(listed[2].name, "My Song");
    EXPECT_EQ(listed[2].file, "song-3");
    EXPECT_EQ(listed[2].difficulty, 3);
    EXPECT_EQ(listed[2].description, "From a friend");
    EXPECT_EQ(listed[3].file, "song-4");
}

TEST_F(Install, StartsAListWhenThereIsNoneAndKeepsTheTitleReadable) {
    LevelInfo entry{"Say \"hi\" {now}\\\nplease", "", 9, "tab\there"};
    ASSERT_TRUE(install("x", entry)) << error;

    const std::vector<LevelInfo> listed = readLevelList(readFile(levels / "levels.json"));
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].name, "Say 'hi' (now)/ please");
    EXPECT_EQ(listed[0].description, "tab here");
    EXPECT_EQ(listed[0].difficulty, 5) << "shown out of five";
    EXPECT_EQ(listed[0].file, "x");
    EXPECT_TRUE(fs::is_directory(levels / "x"));
}

TEST_F(Install, AnyFailureLeavesTheFolderAndTheListAsTheyWere) {
    const fs::path list = levels / "levels.json";
    // The list's temporary file cannot be made when a folder holds its name.
    const auto blockWrite = [&] { fs::create_directories(temporaryPathFor(list.string())); };
    const struct {
        const char*           what;
        std::string           listText;
        std::function<void()> prepare;
    } cases[] = {
        {"list not JSON", "[{\"name\": \"A\", \"file\": \"a\"}", [] {}},
        {"list not a list", "42", [] {}},
        {"list cannot be written", R"([{"name": "A", "file": "a"}])", blockWrite},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(levels);
        writeFile(list, c.listText);
        fs::create_directories(levels / "a");
        c.prepare();
        const auto before = folderSnapshot(levels);

        LevelInfo entry{"New", "", 1, ""};
        EXPECT_FALSE(install("new", entry));
        EXPECT_FALSE(error.empty());
        auto after = folderSnapshot(levels);
        after.erase(".levels.lock");  // the install lock's file stays, empty, for the next one
        EXPECT_EQ(after, before);
    }
}

// A level made of one stem's audio and chart, listed under name.
void writeLevel(const fs::path& levels, const std::string& folder, const std::string& audio, const std::string& chart) {
    writeFile(levels / folder / "level.json", R"({"stems": [{"file": "a.wav", "midi": "a.mid"}]})");
    writeFile(levels / folder / "a.wav", audio);
    writeFile(levels / folder / "a.mid", chart);
}

TEST_F(Install, AnInstalledCopyIsFoundByItsChartsAndStemsAndOnlyThePlayersLevelsAreDeleted) {
    writeLevel(levels, "shipped", "wave", "chart");
    writeFile(levels / "levels.json", R"([{"name": "Shipped", "file": "shipped"}, {"name": "Gone", "file": "gone"}])");
    LevelInfo copy{"Copy", "", 1, ""};
    ASSERT_TRUE(install("copy", copy)) << error;
    EXPECT_TRUE(copy.imported) << "the table's entry may be deleted";
    writeLevel(levels, copy.file, "wave", "chart");
    LevelInfo other{"Other", "", 1, ""};
    ASSERT_TRUE(install("other", other)) << error;
    writeLevel(levels, other.file, "wave", "chart, one note more");

    EXPECT_EQ(installedCopyOf(levels.string(), copy.file), "Shipped");
    EXPECT_EQ(installedCopyOf(levels.string(), "shipped"), "Copy");
    EXPECT_EQ(installedCopyOf(levels.string(), other.file), "") << "a chart of the same size differs";
    EXPECT_EQ(installedCopyOf(levels.string(), "gone"), "");

    const std::string before = readFile(levels / "levels.json");
    EXPECT_FALSE(removeLevel(levels.string(), "shipped", error)) << "a shipped level stays";
    EXPECT_FALSE(removeLevel(levels.string(), "../levels", error));
    EXPECT_EQ(readFile(levels / "levels.json"), before);
    EXPECT_TRUE(fs::exists(levels / "shipped" / "a.wav"));

    testing::internal::CaptureStdout();
    ASSERT_TRUE(removeLevel(levels.string(), copy.file, error)) << error;
    EXPECT_NE(testing::internal::GetCapturedStdout().find("Deleted level 'Copy'"), std::string::npos);
    EXPECT_FALSE(fs::exists(levels / copy.file));
    const std::vector<LevelInfo> left = readLevelList(readFile(levels / "levels.json"));
    ASSERT_EQ(left.size(), 3u);
    EXPECT_EQ(left[0].name, "Shipped");
    EXPECT_FALSE(left[0].imported);
    EXPECT_EQ(left[2].name, "Other");
    EXPECT_TRUE(left[2].imported);
    for (const fs::directory_entry& item : fs::directory_iterator(levels))
        EXPECT_NE(item.path().filename().string().rfind(".removing-", 0), 0u) << item.path();
}

TEST(LevelSlug, KeepsLettersAndDigitsJoinedBySingleDashes) {
    EXPECT_EQ(levelSlug("  Hello, World! "), "hello-world");
    EXPECT_EQ(levelSlug("../../etc/passwd"), "etc-passwd");
    EXPECT_EQ(levelSlug(".hidden"), "hidden");
    EXPECT_EQ(levelSlug("Caf\xc3\xa9 Nr 5"), "caf-nr-5");
    EXPECT_EQ(levelSlug("!!!"), "level");
    EXPECT_EQ(levelSlug(""), "level");
    const std::string longTitle = std::string(47, 'a') + " bbb";
    EXPECT_EQ(levelSlug(longTitle), std::string(47, 'a')) << "no dash left at the cut";
}

}  // namespace
