// The real game under the test display, driven through its GUI with clicks at
// the places the layout rules give for a 1920 x 1080 window at scale 1: a level
// chosen from the table, played and left; the settings kept across a restart;
// the tutorial's pages and their stems; and a screenshot of every screen,
// checked by its pixels and kept under build/ for a person to look at.
#include "support/GuiGame.h"
#include "support/LevelFiles.h"
#include "support/ServerProcess.h"

#include <gtest/gtest.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <thread>

using namespace std::chrono_literals;
using testsupport::clickAt;
using testsupport::clickUntil;
using testsupport::containsInOrder;
using testsupport::GameProcess;
using testsupport::Image;
using testsupport::readFile;
using testsupport::writeFile;

namespace fs = std::filesystem;

namespace {

// Where this test's screens put things (the main menu's are in support/GuiGame.h).
namespace layout {
using namespace testsupport::menu;
inline float menuButtonY(int i) { return buttonY(i); }
// Settings: the content box grows with its content, the buttons follow it.
constexpr float kExitX = 1920 - 60 - 20 + 8 + 24, kExitY = 20 + 8 + 24;
constexpr float kSettingsTop  = kTitleBottom + 120 + 8;
constexpr float kNameFieldY   = kSettingsTop + 40 + 46 + 24 + 30;
constexpr float kCheckboxY    = kSettingsTop + 40 + 46 + 24 + 64 + 44 + 46 + 24 + 21;
constexpr float kCheckboxX    = 240 + 8 + 40 + 21;
constexpr float kAudioRowsY   = kCheckboxY + 110;  // offset slider, then the volume slider 46 px lower
constexpr float kSettingsRowY = kSettingsTop + 330 + 116 + 80 + 4 + kButtonItem * 0.5f;
inline float    settingsButtonX(int i) { return 240 + (1440 - 1280) * 0.5f + i * (408 + 40) + 204; }
// Panels whose buttons sit at the bottom of the window.
constexpr float kLowerBackY    = 1080 - 40 - 8 - kButtonItem * 0.5f;
constexpr float kTutorialNavY  = 1080 - 70 - 8 - kButtonItem * 0.5f;
constexpr float kTutorialNextX = (1920 - 1248) * 0.5f + 1248 - 300 - 30 + 154;
}  // namespace layout

using testsupport::menu::kLeaderboard;
using testsupport::menu::kSettings;
using testsupport::menu::kStart;
using testsupport::menu::kTutorial;

using testsupport::Box;
using PixelTest = std::function<bool(const unsigned char*)>;

// Saturated, bright pixels: the title's hue-cycling glow over the dimmed background.
bool glowing(const unsigned char* p) {
    const int high = std::max({p[0], p[1], p[2]}), low = std::min({p[0], p[1], p[2]});
    return high > 150 && high - low > 100;
}
bool          gold(const unsigned char* p) { return p[0] > 180 && p[1] > 130 && p[1] < 230 && p[2] < 90; }
bool          unlockedGreen(const unsigned char* p) { return p[0] == 100 && p[1] == 200 && p[2] == 100; }
constexpr Box kTitleBox{660, 80, 1260, 190};
constexpr Box kTableBox{1500, 400, 1700, 700};
// A tier's word in its colour, early in its fading: the hues of Perfect,
// Great, Good and Miss, told apart from the orange circles they sit on.
bool tierLabel(const unsigned char* p) {
    const int  r = p[0], g = p[1], b = p[2];
    const bool perfect = r > 190 && g > 150 && b < 80 && g * 100 > r * 72;
    const bool great   = g > 130 && g > r + 60 && b > 50;
    const bool good    = b > 150 && b > r + 50 && g > 100;
    const bool miss    = r > 190 && g < 90 && b < 90;
    return perfect || great || good || miss;
}
constexpr Box kLabelBox{810, 400, 1110, 600};  // around the circles in the middle

class Gui : public testsupport::GuiGameTest {
protected:
    void SetUp() override {
        GuiGameTest::SetUp();
        writeLevels();
    }

    // Two small levels in the list, and a two-stem tutorial song.
    void writeLevels() {
        const fs::path levels = dir.path() / "levels";
        writeFile(levels / "levels.json", R"({"levels": [
            {"name": "First Level", "file": "first", "difficulty": 1, "description": "Easy"},
            {"name": "Second Level", "file": "second.zip", "difficulty": 3, "description": "Busy"}]})");
        std::vector<levelfiles::Note> notes;
        for (int i = 1; i <= 12; ++i) notes.push_back({0.4 * i, 0.1, 30 + 6 * i, 40 + 6 * i});
        for (const char* folder : {"first", "second.zip", "tutorialsong"}) {
            levelfiles::writeWav(levels / folder / "lead.wav", 6.0);
            levelfiles::writeWav(levels / folder / "pad.wav", 6.0);
            levelfiles::writeMidi(levels / folder / "lead.mid", notes);
            writeFile(levels / folder / "level.json", R"({"songMetaData": [{"bpm": 120}], "stems": [
                {"file": "lead.wav", "midi": "lead.mid", "color": [1.0, 0.5, 0.1]},
                {"file": "pad.wav", "startOrder": 1}]})");
        }
    }

    std::unique_ptr<GameProcess> start(const std::string& serverUrl = "http://127.0.0.1:9/api") {
        auto game = GuiGameTest::start(serverUrl);
        // The first click must meet a drawn menu.
        EXPECT_GT(waitForScreen("main_menu", kTitleBox, glowing, 500).count(kTitleBox, glowing), 500);
        return game;
    }

    // Clicks, then waits for a line printed after the click.
    ::testing::AssertionResult clickFor(GameProcess& game, float x, float y, const std::string& line) {
        const size_t from = game.stdoutText().size();
        clickAt(x, y);
        if (game.waitForOutput(line, 20s, from)) return ::testing::AssertionSuccess();
        return ::testing::AssertionFailure() << "no \"" << line << "\" after the click at " << x << ", " << y << "\n"
                                             << game.stdoutText();
    }

    // Kept under build/ for a person to look at.
    Image screenshot(const std::string& name) {
        std::this_thread::sleep_for(700ms);
        return capture(name);
    }

    // Screenshots until at least `least` pixels of the box pass the test, or
    // the time is up: what the screen shows, however long a loaded machine
    // takes to draw it. The last one is kept under the name.
    Image waitForScreen(const std::string& name, const Box& box, const PixelTest& test, int least,
                        std::chrono::seconds timeout = 30s) {
        return testsupport::waitForScreen(fs::path(LUMOKA_SCREENSHOT_DIR) / (name + ".png"), box, test, least, timeout);
    }

    Image capture(const std::string& name) {
        return testsupport::screenshot(fs::path(LUMOKA_SCREENSHOT_DIR) / (name + ".png"));
    }

    // The results' "Menu", again while the menu's level table is not back:
    // on the menu that place holds no button.
    void backToMenu(GameProcess& game) {
        for (int attempt = 0; attempt < 3; ++attempt) {
            clickAt(960, layout::kLowerBackY);
            if (waitForScreen("main_menu_after_run", kTableBox, gold, 20, 8s).count(kTableBox, gold) > 20) return;
        }
        ADD_FAILURE() << "the menu did not come back\n" << game.stdoutText();
    }

    fs::path prefsFile() const { return home.path() / ".local/share/KOV/Lumoka/prefs.json"; }
};

TEST_F(Gui, TheSecondLevelFromTheTablePlaysAndTheExitButtonReturnsToTheMenu) {
    auto        game = start();
    const Image menu = screenshot("main_menu");
    ASSERT_EQ(menu.width, 1920);
    EXPECT_GT(menu.count(660, 80, 1260, 190, glowing), 500) << "the title glows";
    EXPECT_GT(menu.count(1500, static_cast<int>(layout::levelRowY(1) - 15), 1700,
                         static_cast<int>(layout::levelRowY(1) + 15), gold),
              20)
        << "the second level's stars";

    for (int twice = 0; twice < 2; ++twice) {  // selecting is idempotent; a slow frame may miss one click
        clickAt(layout::kLevelX, layout::levelRowY(1));
        std::this_thread::sleep_for(700ms);
    }
    ASSERT_TRUE(clickUntil(*game, layout::kMenuX, layout::menuButtonY(kStart), "Activated first stem"));
    ASSERT_TRUE(game->waitForOutput("Miss registered (1/3)", 20s)) << game->stdoutText();
    const Image hud = screenshot("hud");
    EXPECT_GT(hud.count(200, 5, 400, 25, unlockedGreen), 1000) << "the first layer segment";
    EXPECT_EQ(hud.count(1200, 5, 1400, 25, unlockedGreen), 0) << "the second layer is locked";

    ASSERT_TRUE(clickUntil(*game, layout::kExitX, layout::kExitY, "Playback stopped."));
    EXPECT_GT(screenshot("results_of_misses").count(660, 80, 1260, 190, glowing), 500) << "the results' title";
    backToMenu(*game);
    quit(*game);

    EXPECT_TRUE(
        containsInOrder(game->stdoutText(),
                        {"Loading level package from conventional paths in: levels/second.zip",
                         "Package prepared. Manifest: 'levels/second.zip/level.json', Has Shader: No",
                         "Loaded 2 stem(s) from level JSON: levels/second.zip/level.json",
                         "Loaded stems successfully via level.json manifest.", "Playing all stems with voice group.",
                         "Activated first stem", "Miss registered (1/3)", "Stopping all stems.", "Playback stopped."}));
}

TEST_F(Gui, TheNameAndTheKeyboardSwitchAreKeptAcrossARestart) {
    {
        auto game = start();
        EXPECT_TRUE(game->waitForOutput("No prefs file found", 1s));
        clickAt(layout::kMenuX, layout::menuButtonY(kSettings));
        std::this_thread::sleep_for(1500ms);  // the panel sizes itself over its first frames
        clickAt(900, layout::kNameFieldY);
        std::this_thread::sleep_for(1s);  // a frame or two, so the field has the keyboard and its name is selected
        // The space is the name's, not the play/stop toggle's.
        ASSERT_TRUE(testsupport::typeText("Ada Tester"));
        ASSERT_TRUE(clickFor(*game, layout::settingsButtonX(2), layout::kSettingsRowY, "Player name saved to"));
        EXPECT_EQ(game->stdoutText().find("Playing all stems"), std::string::npos) << "typing started playback";
        ASSERT_TRUE(clickFor(*game, layout::kCheckboxX, layout::kCheckboxY, "Keyboard gameplay setting saved to"));
        screenshot("settings");
        quit(*game);
        EXPECT_TRUE(game->waitForOutput(prefsFile().string() + ": disabled", 1s)) << game->stdoutText();
    }
    EXPECT_EQ(readFile(prefsFile()), "{\n    \"keyboardGameplay\": false,\n    \"playerName\": \"Ada Tester\"\n}");

    // The second start reads both back: saving the untouched field keeps the
    // name, and the switch now turns keyboard gameplay back on.
    auto game = start();
    EXPECT_EQ(game->stdoutText().find("No prefs file found"), std::string::npos);
    clickAt(layout::kMenuX, layout::menuButtonY(kSettings));
    std::this_thread::sleep_for(1500ms);  // the panel sizes itself over its first frames
    ASSERT_TRUE(clickFor(*game, layout::settingsButtonX(2), layout::kSettingsRowY, "Player name saved to"));
    ASSERT_TRUE(clickFor(*game, layout::kCheckboxX, layout::kCheckboxY, ": enabled"));
    EXPECT_EQ(readFile(prefsFile()), "{\n    \"keyboardGameplay\": true,\n    \"playerName\": \"Ada Tester\"\n}");

    // The audio sliders take a click at once and keep the value when let go.
    ASSERT_TRUE(clickFor(*game, 900, layout::kAudioRowsY, "Audio offset saved to"));
    ASSERT_TRUE(clickFor(*game, 400, layout::kAudioRowsY + 46, "Music volume saved to"));
    const nlohmann::json prefs = nlohmann::json::parse(readFile(prefsFile()));
    EXPECT_GT(prefs["audioOffsetMs"].get<int>(), 150) << prefs;
    EXPECT_LT(prefs["musicVolume"].get<int>(), 40) << prefs;
    EXPECT_EQ(prefs["playerName"], "Ada Tester") << "the other members stay";
    const auto grabGreen = [](const unsigned char* p) { return p[0] < 40 && p[1] > 220 && p[2] > 100 && p[2] < 160; };
    EXPECT_GT(
        screenshot("settings_audio").count(280, layout::kAudioRowsY - 25, 960, layout::kAudioRowsY + 70, grabGreen),
        100)
        << "both sliders' grabs";

    // Credits and back, then the leaderboard's empty state.
    clickAt(layout::settingsButtonX(1), layout::kSettingsRowY);
    EXPECT_GT(screenshot("credits").count(660, 80, 1260, 190, glowing), 500);
    clickAt(960, layout::kLowerBackY);
    std::this_thread::sleep_for(500ms);
    clickAt(layout::settingsButtonX(0), layout::kSettingsRowY);
    std::this_thread::sleep_for(500ms);
    clickAt(layout::kMenuX, layout::menuButtonY(kLeaderboard));
    EXPECT_GT(screenshot("leaderboard").count(560, 80, 1360, 190, glowing), 500);
    clickAt(960, layout::kLowerBackY);
    EXPECT_GT(screenshot("main_menu_after_panels").count(1500, 400, 1700, 700, gold), 20);
    quit(*game);
}

TEST_F(Gui, TheTutorialPagesPlayTheirStemsOfTheTutorialSong) {
    auto game = start();
    clickAt(layout::kMenuX, layout::menuButtonY(kTutorial));
    screenshot("tutorial_welcome");
    const std::vector<std::vector<std::string>> pages = {
        {"Loading level package from conventional paths in: levels/tutorialsong", "Playing all stems with voice group.",
         "Deactivated stem: lead.wav", "Deactivated stem: pad.wav", "Fading in stem: pad.wav over 1s"},
        {"Deactivated stem: lead.wav", "Deactivated stem: pad.wav", "Fading in stem: lead.wav over 1s"},
        {"Deactivated stem: lead.wav", "Deactivated stem: pad.wav", "Fading in stem: lead.wav over 1s",
         "Fading in stem: pad.wav over 1s"},
        {"Deactivated stem: lead.wav", "Deactivated stem: pad.wav"},
    };
    for (size_t page = 0; page < pages.size(); ++page) {
        const size_t from = game->stdoutText().size();
        ASSERT_TRUE(clickFor(*game, layout::kTutorialNextX, layout::kTutorialNavY, pages[page].back()));
        std::this_thread::sleep_for(300ms);
        EXPECT_TRUE(containsInOrder(game->stdoutText().substr(from), pages[page])) << "page " << page + 1;
        if (page == 2) {
            const Image layers = screenshot("tutorial_layers");
            EXPECT_GT(layers.count(200, 5, 1700, 25, unlockedGreen), 5000) << "both layers of the song";
        }
    }
    EXPECT_EQ(game->stdoutText().find("Fading in stem", game->stdoutText().rfind("Deactivated stem: pad.wav")),
              std::string::npos)
        << "the last page plays no stem";
    clickAt(layout::kTutorialNextX, layout::kTutorialNavY);  // Finish
    EXPECT_GT(screenshot("main_menu_after_tutorial").count(660, 80, 1260, 190, glowing), 500);
    quit(*game);
}

// Every note of the first level sits in the middle of the screen, so clicking
// there again and again hits each one as it comes within reach.
TEST_F(Gui, ARunWithHitsIsSavedLocallyAndOnTheServerAndListedInThePanel) {
    testsupport::ServerProcess server;
    ASSERT_TRUE(server.started());
    std::vector<levelfiles::Note> centred;
    for (int i = 0; i < 20; ++i) centred.push_back({1.0 + 0.5 * i, 0.1, 64, 64});
    levelfiles::writeMidi(dir.path() / "levels" / "first" / "lead.mid", centred);

    auto game = start(server.baseUrl());
    ASSERT_TRUE(clickUntil(*game, layout::kMenuX, layout::menuButtonY(kStart), "Activated first stem"));
    const size_t from = game->stdoutText().size();
    // The clicks go on while the screen is read: each judged press shows its
    // tier. One click every quarter second meets every note's window.
    std::thread clicks([] { std::system("xdotool mousemove 960 540 click --repeat 45 --delay 250 1"); });
    const Image run = waitForScreen("run_tier_labels", kLabelBox, tierLabel, 60);
    EXPECT_GT(run.count(kLabelBox, tierLabel), 60) << "a tier's word over the circles";
    clicks.join();
    ASSERT_TRUE(game->waitForOutput("Score added", 30s, from)) << game->stdoutText();
    ASSERT_TRUE(clickUntil(*game, layout::kExitX, layout::kExitY, "Server confirmed leaderboard upload"));
    EXPECT_TRUE(game->waitForOutput("Leaderboard successfully saved to levels/leaderboard.json", 1s));
    // The results: the histogram's bars, and the tier bands behind them.
    const auto bar = [](const unsigned char* p) {
        return p[0] > 70 && p[0] < 110 && p[1] > 140 && p[1] < 180 && p[2] > 235;
    };
    const Box barsBox{240, 300, 1680, 940};
    EXPECT_GT(waitForScreen("results", barsBox, bar, 300).count(barsBox, bar), 300) << "the hit errors' bars";
    backToMenu(*game);

    const nlohmann::json saved = nlohmann::json::parse(readFile(dir.path() / "levels" / "leaderboard.json"));
    ASSERT_EQ(saved["levels"].size(), 1u) << saved;
    EXPECT_EQ(saved["levels"][0]["name"], "First Level");
    const nlohmann::json& entry = saved["levels"][0]["scores"][0];
    EXPECT_EQ(entry["player"], "Player");
    EXPECT_GT(entry["score"].get<int>(), 0);

    const httplib::Result onServer =
        httplib::Client("127.0.0.1", server.port()).Get("/api/player/First%20Level/Player");
    ASSERT_TRUE(onServer);
    EXPECT_EQ(onServer->status, 200);
    EXPECT_EQ(nlohmann::json::parse(onServer->body)["score"], entry["score"]);

    ASSERT_TRUE(clickFor(*game, layout::kMenuX, layout::menuButtonY(kLeaderboard),
                         "Loaded leaderboard from HTTP server (1 levels)"));
    const Image panel      = screenshot("leaderboard_with_a_run");
    const auto  scoreGreen = [](const unsigned char* p) { return p[0] < 60 && p[1] > 150 && p[2] > 60 && p[2] < 170; };
    EXPECT_GT(panel.count(240, 300, 1680, 500, scoreGreen), 30) << "the run's score is listed";
    quit(*game);
}

// Escape in the middle of a run keeps the run, as the exit button would.
TEST_F(Gui, EscapeDuringARunSavesItBeforeQuitting) {
    std::vector<levelfiles::Note> centred;
    for (int i = 0; i < 6; ++i) centred.push_back({1.0 + 0.5 * i, 0.1, 64, 64});
    levelfiles::writeMidi(dir.path() / "levels" / "first" / "lead.mid", centred);

    auto game = start();
    ASSERT_TRUE(clickFor(*game, layout::kMenuX, layout::menuButtonY(kStart), "Activated first stem"));
    const size_t from = game->stdoutText().size();
    std::system("xdotool mousemove 960 540 click --repeat 40 --delay 70 1");
    ASSERT_TRUE(game->waitForOutput("Score added", 5s, from)) << game->stdoutText();
    quit(*game);
    EXPECT_TRUE(game->waitForOutput("Leaderboard successfully saved to levels/leaderboard.json", 1s))
        << game->stdoutText();
    const nlohmann::json saved = nlohmann::json::parse(readFile(dir.path() / "levels" / "leaderboard.json"));
    ASSERT_EQ(saved["levels"].size(), 1u) << saved;
    EXPECT_GT(saved["levels"][0]["scores"][0]["score"].get<int>(), 0);
}

TEST_F(Gui, MissingOrDamagedFontsAndImagesFallBackAndTheMenuStillDraws) {
    fs::remove(dir.path() / "fonts" / "Roboto-Medium.ttf");
    writeFile(dir.path() / "fonts" / "Orbitron-Regular.ttf", std::string(4096, 'x'));
    fs::remove_all(dir.path() / "textures");
    auto        game = start();
    const Image menu = screenshot("main_menu_without_assets");
    EXPECT_GT(menu.count(1500, 400, 1700, 700, gold), 20) << "the level table still draws";
    quit(*game);
    const testsupport::ProcessResult result = game->wait(1s);
    EXPECT_TRUE(containsInOrder(
        result.err,
        {"ImGui::AddFontFromMemoryTTF failed for 'fonts/Orbitron-Regular.ttf'. The font file may be corrupt.",
         "Failed to load title font: fonts/Orbitron-Regular.ttf. Using default.",
         "CRITICAL: SDL_LoadFile failed for font: 'fonts/Roboto-Medium.ttf'.",
         "Failed to load button font: fonts/Roboto-Medium.ttf. Using default.",
         "Failed to load button.png for main menu ImageButtons", "Failed to load button_start.png for start button",
         "Failed to load button_exit.png for exit button", "Failed to load button.png for main menu ImageButtons"}));
    EXPECT_NE(game->stdoutText().find("Successfully submitted font 'fonts/Roboto-Bold.ttf' to ImGui."),
              std::string::npos);
}

}  // namespace
