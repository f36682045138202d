// A new player's first evening with the real game under the test display:
// the package dialog opens where it was last, draws over the menu's labels and
// takes its own clicks, lists "/" and remembers it; importing the same package
// twice asks whether to add a copy, and "Delete" removes the player's own
// level (never a shipped one). Space plays the chosen level and stopping it
// leaves no circle behind; "Use this offset" works once a run; a typed name
// is kept by "Back".
#include "support/GuiGame.h"
#include "support/LevelFiles.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdlib>
#include <filesystem>
#include <thread>

using namespace std::chrono_literals;
using testsupport::clickAt;
using testsupport::clickUntil;
using testsupport::GameProcess;
using testsupport::Image;
using testsupport::readFile;
using testsupport::writeFile;
namespace menu = testsupport::menu;
namespace fs   = std::filesystem;

namespace {

// Where this test's screens put things at 1920 x 1080, scale 1.
constexpr float kRootButtonX = 610 + 8 + 9, kPathRowY = 388;  // the path row's "/" button
constexpr float kDeleteX     = 1572;                          // after "Export..." under the table
constexpr float kLowerRowY   = 1080 - 40 - 8 - menu::kButtonItem * 0.5f;
constexpr float kResultsMenuX = 960, kResultsOffsetX = 320 + 2 * 440 + 200;
constexpr float kSettingsTop = menu::kTitleBottom + 120 + 8;
constexpr float kNameFieldY  = kSettingsTop + 40 + 46 + 24 + 30;
constexpr float kSettingsRowY = kSettingsTop + 330 + 116 + 80 + 4 + menu::kButtonItem * 0.5f;
constexpr float kSettingsBackX = 240 + (1440 - 1280) * 0.5f + 204;

bool white(const unsigned char* p) { return p[0] > 200 && p[1] > 200 && p[2] > 200; }
// The circles of the levels below, drawn in their stem's orange.
bool orange(const unsigned char* p) { return p[0] > 180 && p[1] > 60 && p[1] < 170 && p[2] < 80; }
bool green(const unsigned char* p) { return p[0] < 60 && p[1] > 200 && p[2] > 90 && p[2] < 170; }

class NewPlayer : public testsupport::GuiGameTest {
protected:
    void SetUp() override {
        GuiGameTest::SetUp();
        writeFile(levels() / "levels.json", R"([{"name": "First Level", "file": "first", "difficulty": 1},
            {"name": "Second Level", "file": "second", "difficulty": 2}])");
        std::vector<levelfiles::Note> centred;
        for (int i = 0; i < 30; ++i) centred.push_back({1.0 + 0.5 * i, 0.1, 64, 64});
        writeLevel(levels() / "first", centred, "");
        std::vector<levelfiles::Note> ramp;
        for (int i = 1; i <= 12; ++i) ramp.push_back({0.4 * i, 0.1, 30 + 6 * i, 40 + 6 * i});
        writeLevel(levels() / "second", ramp, "");
    }

    static void writeLevel(const fs::path& folder, const std::vector<levelfiles::Note>& notes,
                           const std::string& package) {
        levelfiles::writeWav(folder / "lead.wav", 16.0);
        levelfiles::writeMidi(folder / "lead.mid", notes);
        writeFile(folder / "level.json", R"({"songMetaData": [{"bpm": 120}], )" + package + R"("stems": [
            {"file": "lead.wav", "midi": "lead.mid", "color": [1.0, 0.5, 0.1]}]})");
    }

    fs::path prefsFile() const { return home.path() / ".local/share/KOV/Lumoka/prefs.json"; }

    nlohmann::json prefs() const {
        const nlohmann::json parsed = nlohmann::json::parse(readFile(prefsFile()), nullptr, false);
        return parsed.is_discarded() ? nlohmann::json::object() : parsed;
    }

    size_t listedLevels() const { return nlohmann::json::parse(readFile(levels() / "levels.json")).size(); }

    Image shot(const std::string& name) {
        return testsupport::screenshot(fs::path(LUMOKA_SCREENSHOT_DIR) / ("new_player_" + name + ".png"));
    }


    // Opens the package dialog and waits until it is drawn.
    ::testing::AssertionResult openPackageDialog() {
        for (int attempt = 0; attempt < 4; ++attempt) {
            clickAt(menu::kImportPackageX, menu::kActionsY);
            for (int look = 0; look < 15; ++look) {
                if (testsupport::dialogPathEnd(home.path() / "dialog.png") > 0)
                    return ::testing::AssertionSuccess();
                std::this_thread::sleep_for(300ms);
            }
        }
        return ::testing::AssertionFailure() << "the package dialog did not open";
    }

    // The package, chosen in its dialog (its folder remembered from before).
    ::testing::AssertionResult importPackage(GameProcess& game, const std::string& line) {
        if (::testing::AssertionResult opened = openPackageDialog(); !opened) return opened;
        for (int twice = 0; twice < 2; ++twice) {  // selecting again changes nothing
            clickAt(menu::kDialogRowX, menu::dialogRowY(1));
            std::this_thread::sleep_for(700ms);
        }
        return clickUntil(game, menu::kDialogOkX, menu::kDialogOkY, line);
    }

    bool waitForPrefs(const char* key, const std::string& value) {
        for (int look = 0; look < 100; ++look) {
            const nlohmann::json now = prefs();
            if (now.contains(key) && now[key] == value) return true;
            std::this_thread::sleep_for(200ms);
        }
        return false;
    }
};

TEST_F(NewPlayer, ThePackageDialogTakesItsClicksListsTheRootAndASecondImportAsksBeforeItStays) {
    const fs::path packages = home.path() / "packages";
    writeLevel(dir.path() / "staged", {{0.5, 0.1, 60, 60}}, R"("package": {"title": "Packed"}, )");
    fs::create_directories(packages);
    const std::string zip = "cd '" + (dir.path() / "staged").string() + "' && zip -q -r '" +
                            (packages / "packed.zip").string() + "' .";
    ASSERT_EQ(std::system(zip.c_str()), 0);
    writeFile(prefsFile(), R"({"packageDialogFolder": ")" + packages.string() + R"("})");

    auto game = start();
    ASSERT_TRUE(openPackageDialog());
    // Under the dialog's empty rows lies the menu's "Leaderboard" button: its label stays under the dialog.
    const Image dialog = shot("package_dialog");
    EXPECT_EQ(dialog.count(625, 600, 710, 635, white), 0) << "a menu label drawn over the dialog";
    ASSERT_TRUE(testsupport::pressKey("Escape"));
    std::this_thread::sleep_for(1s);

    ASSERT_TRUE(importPackage(*game, "Added level 'Packed' in levels/packed"));
    ASSERT_TRUE(importPackage(*game, "is the same as the installed 'Packed': asking whether to add a copy"));
    ASSERT_TRUE(testsupport::pressKey("Escape"));  // don't add
    ASSERT_TRUE(game->waitForOutput("Deleted level 'Packed' and its folder levels/packed-2", 20s))
        << game->stdoutText();
    EXPECT_FALSE(game->waitForOutput("Game logic thread ended", 300ms)) << "Escape quit the game";
    EXPECT_FALSE(fs::exists(levels() / "packed-2"));
    EXPECT_EQ(listedLevels(), 3u);

    ASSERT_TRUE(importPackage(*game, "asking whether to add a copy"));
    const size_t asked = game->stdoutText().size();
    ASSERT_TRUE(testsupport::pressKey("Return"));  // add a copy
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(game->stdoutText().find("Deleted level", asked), std::string::npos);
    EXPECT_EQ(listedLevels(), 4u);
    EXPECT_TRUE(fs::exists(levels() / "packed-2" / "lead.wav"));

    // The copy is selected: "Delete" asks, Enter confirms.
    ASSERT_TRUE(testsupport::pressAt(kDeleteX, menu::kActionsY));
    std::this_thread::sleep_for(1s);
    ASSERT_TRUE(testsupport::pressKey("Return"));
    ASSERT_TRUE(game->waitForOutput("Deleted level 'Packed' and its folder levels/packed-2", 20s, asked));
    EXPECT_FALSE(fs::exists(levels() / "packed-2"));
    EXPECT_EQ(listedLevels(), 3u);

    // A shipped level cannot be deleted.
    const size_t deleted = game->stdoutText().size();
    for (int twice = 0; twice < 2; ++twice) {
        clickAt(menu::kLevelX, menu::levelRowY(0));
        std::this_thread::sleep_for(700ms);
    }
    clickAt(kDeleteX, menu::kActionsY);
    std::this_thread::sleep_for(1s);
    ASSERT_TRUE(testsupport::pressKey("Return"));
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(game->stdoutText().find("Deleted level", deleted), std::string::npos);
    EXPECT_TRUE(fs::exists(levels() / "first" / "lead.wav"));

    // "/" lists, so the dialog keeps it as its folder.
    ASSERT_TRUE(openPackageDialog());
    clickAt(kRootButtonX, kPathRowY);
    EXPECT_TRUE(waitForPrefs("packageDialogFolder", "/")) << readFile(prefsFile());
    const auto text = [](const unsigned char* p) { return p[0] > 170 && p[1] > 170 && p[2] > 170; };
    const testsupport::Box listed{640, 460, 900, 620};
    EXPECT_GT(testsupport::waitForScreen(fs::path(LUMOKA_SCREENSHOT_DIR) / "new_player_root.png", listed, text, 200)
                  .count(listed, text),
              200)
        << "the root's folders are listed";
    ASSERT_TRUE(testsupport::pressKey("Escape"));
    std::this_thread::sleep_for(1s);
    quit(*game);
}

TEST_F(NewPlayer, SpacePlaysTheChosenLevelTheOffsetIsUsedOnceAndBackKeepsTheName) {
    auto game = start();
    for (int twice = 0; twice < 2; ++twice) {  // selecting is idempotent; a slow frame may miss one click
        clickAt(menu::kLevelX, menu::levelRowY(1));
        std::this_thread::sleep_for(700ms);
    }
    ASSERT_TRUE(testsupport::pressKey("space"));
    ASSERT_TRUE(game->waitForOutput("Loaded 1 stem(s) from level JSON: levels/second/level.json", 30s))
        << game->stdoutText();
    ASSERT_TRUE(game->waitForOutput("Miss registered (1/3)", 30s)) << game->stdoutText();
    ASSERT_TRUE(testsupport::pressKey("space"));
    ASSERT_TRUE(game->waitForOutput("Playback stopped.", 20s)) << game->stdoutText();
    // With the GUI hidden nothing is left of the stopped level's circles.
    ASSERT_TRUE(testsupport::pressKey("F12"));
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(shot("stopped_without_gui").count(0, 0, 1920, 1080, orange), 0) << "circles left on the screen";
    ASSERT_TRUE(testsupport::pressKey("F12"));
    std::this_thread::sleep_for(1500ms);
    // Its results: fewer than 20 presses, so the offset cannot be used.
    const size_t stopped = game->stdoutText().size();
    clickAt(kResultsOffsetX, kLowerRowY);
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(game->stdoutText().find("Audio offset saved", stopped), std::string::npos);
    clickAt(kResultsMenuX, kLowerRowY);
    std::this_thread::sleep_for(1500ms);

    // Thirty circles in the middle, every one within reach of a click there.
    for (int twice = 0; twice < 2; ++twice) {
        clickAt(menu::kLevelX, menu::levelRowY(0));
        std::this_thread::sleep_for(700ms);
    }
    ASSERT_TRUE(clickUntil(*game, menu::kMenuX, menu::buttonY(menu::kStart), "Activated first stem"));
    std::system("xdotool mousemove 960 540 click --repeat 70 --delay 250 1");
    ASSERT_TRUE(game->waitForOutput("Score added", 30s)) << game->stdoutText();
    ASSERT_TRUE(clickUntil(*game, 1920 - 60 - 20 + 8 + 24, 20 + 8 + 24, "Playback stopped."));
    std::this_thread::sleep_for(1500ms);
    const testsupport::Box numbers{240, 250, 1680, 600};
    const int              greenBefore = shot("results_with_hits").count(numbers, green);
    ASSERT_TRUE(clickUntil(*game, kResultsOffsetX, kLowerRowY, "Audio offset saved to"));
    const size_t used = game->stdoutText().size();
    clickAt(kResultsOffsetX, kLowerRowY);
    std::this_thread::sleep_for(1500ms);
    EXPECT_EQ(game->stdoutText().find("Audio offset saved", used), std::string::npos) << "used twice";
    EXPECT_GT(shot("results_offset_used").count(numbers, green), greenBefore + 100) << "the new offset is shown";
    clickAt(kResultsMenuX, kLowerRowY);
    std::this_thread::sleep_for(1500ms);

    // A name typed and left with "Back" is kept.
    clickAt(menu::kMenuX, menu::buttonY(menu::kSettings));
    std::this_thread::sleep_for(1500ms);  // the panel sizes itself over its first frames
    clickAt(900, kNameFieldY);
    std::this_thread::sleep_for(1s);
    ASSERT_TRUE(testsupport::typeText("Grace"));
    std::this_thread::sleep_for(500ms);
    ASSERT_TRUE(clickUntil(*game, kSettingsBackX, kSettingsRowY, "Player name saved to"));
    EXPECT_TRUE(waitForPrefs("playerName", "Grace")) << readFile(prefsFile());
    quit(*game);
}

}  // namespace
