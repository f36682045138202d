// Sharing a level through the real game under the test display: a generated
// level exported with "Export..." into the game's folder, deleted from levels/,
// imported again through "Import Package..." and its dialog, played (its stems
// load and circles spawn), and still listed after a restart, its files the
// same byte for byte. Escape on an open dialog closes the dialog, not the game.
// A package whose shader never finishes a frame imports on a worker while the
// menu keeps drawing its progress bar.
#include "support/GuiGame.h"
#include "support/LevelFiles.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <thread>

using namespace std::chrono_literals;
using testsupport::clickUntil;
using testsupport::GameProcess;
using testsupport::readFile;
namespace menu = testsupport::menu;
namespace fs   = std::filesystem;

namespace {

const fs::path kGenerated = fs::path(LUMOKA_ASSETS_DIR) / "levels" / "sample_a.zip";

class PackageGui : public testsupport::GuiGameTest {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(kGenerated / "level.json")) << "run tools/generate-levels.sh first";
        GuiGameTest::SetUp();
        fs::create_directories(levels());
        fs::copy(kGenerated, levels() / "sample_a.zip", fs::copy_options::recursive);
        testsupport::writeFile(levels() / "levels.json", R"([{"name": "Sample Level A", "file": "sample_a.zip",
            "difficulty": 1, "description": "Generated"}, {"name": "Elsewhere", "file": "elsewhere"}])");
    }

    // Clicks a button that opens a dialog, then the dialog's row (or none), then "ok".
    ::testing::AssertionResult chooseInDialog(GameProcess& game, float buttonX, int row, const std::string& line) {
        testsupport::clickAt(buttonX, menu::kActionsY);
        std::this_thread::sleep_for(1500ms);
        for (int twice = 0; row >= 0 && twice < 2; ++twice) {  // selecting again changes nothing
            testsupport::clickAt(menu::kDialogRowX, menu::dialogRowY(row));
            std::this_thread::sleep_for(1000ms);
        }
        return clickUntil(game, menu::kDialogOkX, menu::kDialogOkY, line);
    }
};

// The dialog lists ".." and the folders first, then the one .zip file.
int zipRowIn(const fs::path& folder) {
    int row = 1;
    for (const fs::directory_entry& item : fs::directory_iterator(folder)) row += item.is_directory() ? 1 : 0;
    return row;
}

TEST_F(PackageGui, ExportDeleteImportPlayAndRestart) {
    const fs::path zip = dir.path() / "sample_a.zip";
    {
        auto game = start();
        ASSERT_TRUE(chooseInDialog(*game, menu::kExportX, -1, "Exported level \"Sample Level A\" to " + zip.string()));

        // Escape while the import dialog is open closes it and the game goes on.
        testsupport::clickAt(menu::kImportPackageX, menu::kActionsY);
        std::this_thread::sleep_for(1500ms);
        ASSERT_TRUE(testsupport::pressKey("Escape"));
        std::this_thread::sleep_for(1500ms);
        EXPECT_FALSE(game->waitForOutput("Game logic thread ended", 500ms)) << "Escape quit the game";
        quit(*game);
    }
    ASSERT_TRUE(fs::exists(zip));
    fs::remove_all(levels() / "sample_a.zip");
    testsupport::writeFile(levels() / "levels.json", R"([{"name": "Elsewhere", "file": "elsewhere"}])");

    {
        auto game = start();
        ASSERT_TRUE(chooseInDialog(*game, menu::kImportPackageX, zipRowIn(dir.path()),
                                   "Added level 'Sample Level A' in levels/sample-level-a"));
        // The new row is selected: start it.
        ASSERT_TRUE(clickUntil(*game, menu::kMenuX, menu::buttonY(menu::kStart), "Miss registered (1/3)"));
        EXPECT_NE(game->stdoutText().find("Loaded 4 stem(s) from level JSON: levels/sample-level-a/level.json"),
                  std::string::npos);
        EXPECT_NE(game->stdoutText().find("Custom shader compiled and loaded successfully"), std::string::npos);
        quit(*game);
    }
    {
        auto game = start();
        for (int twice = 0; twice < 2; ++twice) {  // selecting is idempotent; a slow frame may miss one click
            testsupport::clickAt(menu::kLevelX, menu::levelRowY(1));
            std::this_thread::sleep_for(700ms);
        }
        ASSERT_TRUE(clickUntil(*game, menu::kMenuX, menu::buttonY(menu::kStart),
                               "Loaded 4 stem(s) from level JSON: levels/sample-level-a"));
        quit(*game);
    }

    for (const char* name : {"drums.ogg", "bass.ogg", "pad.ogg", "lead.ogg", "drums.mid", "bass.mid", "pad.mid",
                             "lead.mid", "background.frag"})
        EXPECT_EQ(readFile(levels() / "sample-level-a" / name), readFile(kGenerated / name)) << name;
    const nlohmann::json manifest = nlohmann::json::parse(readFile(levels() / "sample-level-a" / "level.json"));
    EXPECT_EQ(manifest["package"]["title"], "Sample Level A");
    EXPECT_EQ(manifest["stems"], nlohmann::json::parse(readFile(kGenerated / "level.json"))["stems"]);
}

// sample_a as endless.zip in the test's folder, its shader one that never finishes a frame.
void writeEndlessPackage(const fs::path& folder) {
    const fs::path package = folder / "staged";
    fs::copy(kGenerated, package, fs::copy_options::recursive);
    testsupport::writeFile(package / "background.frag", levelfiles::kEndlessShader);
    const std::string zip =
        "cd '" + package.string() + "' && zip -q -r ../endless.zip . && rm -rf '" + package.string() + "'";
    ASSERT_EQ(std::system(zip.c_str()), 0);
}

// The shader check takes its whole 5 s. Were the import on the main thread, a
// click meanwhile would be seen only after the level was added.
TEST_F(PackageGui, TheMenuAnswersWhileAPackageWithAnEndlessShaderImports) {
    writeEndlessPackage(dir.path());
    auto game = start();
    ASSERT_TRUE(chooseInDialog(*game, menu::kImportPackageX, zipRowIn(dir.path()), "Importing level package"));
    const size_t importing = game->stdoutText().size();
    ASSERT_TRUE(
        clickUntil(*game, menu::kMenuX, menu::buttonY(menu::kLeaderboard), "Falling back to local leaderboard file"));
    const std::string added = "Added level 'endless' in levels/endless";
    EXPECT_EQ(game->stdoutText().find(added, importing), std::string::npos) << "the menu waited for the import";

    testsupport::clickAt(960, 1080 - 40 - 8 - menu::kButtonItem * 0.5f);  // the leaderboard's "Back"
    ASSERT_TRUE(game->waitForOutput(added, 60s, importing)) << game->stdoutText() << game->stderrText();
    EXPECT_NE(game->stderrText().find("did not finish a frame within 5 s"), std::string::npos) << game->stderrText();
    EXPECT_FALSE(fs::exists(levels() / "endless" / "background.frag"));
    EXPECT_TRUE(fs::exists(levels() / "endless" / "drums.ogg"));
    quit(*game);
}

// Quitting does not wait for the import to finish: it is cancelled, and
// nothing of it is installed or left behind.
TEST_F(PackageGui, QuittingDuringAnImportCancelsIt) {
    writeEndlessPackage(dir.path());
    const std::string before = readFile(levels() / "levels.json");
    auto              game   = start();
    ASSERT_TRUE(chooseInDialog(*game, menu::kImportPackageX, zipRowIn(dir.path()), "Importing level package"));
    quit(*game);
    EXPECT_EQ(game->stdoutText().find("Added level"), std::string::npos) << game->stdoutText();
    EXPECT_EQ(readFile(levels() / "levels.json"), before);
    for (const fs::directory_entry& entry : fs::directory_iterator(levels()))
        EXPECT_EQ(entry.path().filename().string().rfind(".incoming-", 0), std::string::npos) << entry.path();
}

}  // namespace
