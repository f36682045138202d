// Sharing a level through the real game under the test display: a generated
// level exported with "Export..." into the game's folder, deleted from levels/,
// imported again through "Import Package..." and its dialog, played (its stems
// load and circles spawn), and still listed after a restart, its files the
// same byte for byte. Escape on an open dialog closes the dialog, not the game.
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <thread>

using namespace std::chrono_literals;
using testsupport::clickUntil;
using testsupport::GameProcess;
using testsupport::readFile;
namespace fs = std::filesystem;

namespace {

// Where things are for a 1920 x 1080 window at scale 1 (see GuiProcessTest for
// the rules): the start button, the table's rows, the two package buttons
// under the table, and in the centred 700 x 450 dialog its rows and "ok".
constexpr float kStartX = 600, kStartY = 351;
inline float    levelRowY(int i) { return 450.0f + 40 * (i + 1) + 20; }
constexpr float kImportX = 1263, kExportX = 1456, kPackageButtonsY = 692;
constexpr float kDialogRowX = 700, kDialogOkX = 648, kDialogOkY = 738;
inline float    dialogRowY(int i) { return 438.0f + 40 * i; }

const fs::path kGenerated = fs::path(LUMOKA_ASSETS_DIR) / "levels" / "sample_a.zip";

class PackageGui : public ::testing::Test {
protected:
    testsupport::TempDir dir, home;
    fs::path             levels = dir.path() / "levels";

    void SetUp() override {
        ASSERT_TRUE(fs::exists(kGenerated / "level.json")) << "run tools/generate-levels.sh first";
        testsupport::copyAssets(dir.path());
        fs::create_directories(levels);
        fs::copy(kGenerated, levels / "sample_a.zip", fs::copy_options::recursive);
        testsupport::writeFile(levels / "levels.json", R"([{"name": "Sample Level A", "file": "sample_a.zip",
            "difficulty": 1, "description": "Generated"}, {"name": "Elsewhere", "file": "elsewhere"}])");
    }

    std::unique_ptr<GameProcess> start() {
        auto game = std::make_unique<GameProcess>(
            dir.path(),
            std::vector<std::pair<std::string, std::string>>{{"HOME", home.path().string()},
                                                             {"XDG_DATA_HOME", (home.path() / ".local/share").string()},
                                                             {"LUMOKA_SERVER_URL", "http://127.0.0.1:9/api"}});
        EXPECT_TRUE(game->waitForOutput("Game logic thread started", 60s)) << game->stdoutText();
        std::this_thread::sleep_for(1500ms);
        return game;
    }

    // Clicks a button that opens a dialog, then the dialog's row (or none), then "ok".
    ::testing::AssertionResult chooseInDialog(GameProcess& game, float buttonX, int row, const std::string& line) {
        testsupport::clickAt(buttonX, kPackageButtonsY);
        std::this_thread::sleep_for(1500ms);
        for (int twice = 0; row >= 0 && twice < 2; ++twice) {  // selecting again changes nothing
            testsupport::clickAt(kDialogRowX, dialogRowY(row));
            std::this_thread::sleep_for(1000ms);
        }
        return clickUntil(game, kDialogOkX, kDialogOkY, line);
    }

    void quit(GameProcess& game) {
        ASSERT_TRUE(testsupport::pressKey("Escape"));
        EXPECT_EQ(game.wait(30s).exitCode, 0);
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
        ASSERT_TRUE(chooseInDialog(*game, kExportX, -1, "Exported level \"Sample Level A\" to " + zip.string()));

        // Escape while the import dialog is open closes it and the game goes on.
        testsupport::clickAt(kImportX, kPackageButtonsY);
        std::this_thread::sleep_for(1500ms);
        ASSERT_TRUE(testsupport::pressKey("Escape"));
        std::this_thread::sleep_for(1500ms);
        EXPECT_FALSE(game->waitForOutput("Game logic thread ended", 500ms)) << "Escape quit the game";
        quit(*game);
    }
    ASSERT_TRUE(fs::exists(zip));
    fs::remove_all(levels / "sample_a.zip");
    testsupport::writeFile(levels / "levels.json", R"([{"name": "Elsewhere", "file": "elsewhere"}])");

    {
        auto game = start();
        ASSERT_TRUE(chooseInDialog(*game, kImportX, zipRowIn(dir.path()),
                                   "Added level 'Sample Level A' in levels/sample-level-a"));
        // The new row is selected: start it.
        ASSERT_TRUE(clickUntil(*game, kStartX, kStartY, "Miss registered (1/3)"));
        EXPECT_NE(game->stdoutText().find("Loaded 4 stem(s) from level JSON: levels/sample-level-a/level.json"),
                  std::string::npos);
        EXPECT_NE(game->stdoutText().find("Custom shader compiled and loaded successfully"), std::string::npos);
        quit(*game);
    }
    {
        auto game = start();
        for (int twice = 0; twice < 2; ++twice) {  // selecting is idempotent; a slow frame may miss one click
            testsupport::clickAt(1100, levelRowY(1));
            std::this_thread::sleep_for(700ms);
        }
        ASSERT_TRUE(clickUntil(*game, kStartX, kStartY, "Loaded 4 stem(s) from level JSON: levels/sample-level-a"));
        quit(*game);
    }

    for (const char* name : {"drums.ogg", "bass.ogg", "pad.ogg", "lead.ogg", "drums.mid", "bass.mid", "pad.mid",
                             "lead.mid", "background.frag"})
        EXPECT_EQ(readFile(levels / "sample-level-a" / name), readFile(kGenerated / name)) << name;
    const nlohmann::json manifest = nlohmann::json::parse(readFile(levels / "sample-level-a" / "level.json"));
    EXPECT_EQ(manifest["package"]["title"], "Sample Level A");
    EXPECT_EQ(manifest["stems"], nlohmann::json::parse(readFile(kGenerated / "level.json"))["stems"]);
}

}  // namespace
