// The real game under the test display: "Add Song..." makes a level of the
// player's music through the audio-file dialog, the title and difficulty
// window and the import's worker, the new row is selected, "Start Level"
// plays it (circles come and are missed), and after a restart it is still
// listed. A second run takes three stem files; Escape closes the dialog and
// leaves the game running. Clicks go where the layout puts things in a
// 1920 x 1080 window at scale 1. The game binary is started from the music
// folder, so the dialog opens there (it starts in the binary's folder).
#include "support/LevelFiles.h"
#include "support/TestSupport.h"
#include "tests/songimport/SongFiles.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <thread>

using namespace std::chrono_literals;
using testsupport::clickAt;
using testsupport::GameProcess;
using testsupport::pressKey;
using testsupport::readFile;
using testsupport::writeFile;

namespace fs = std::filesystem;

namespace {

namespace layout {
constexpr float kTitleBottom = 1080 * 0.08f + 36;
constexpr float kMenuX       = 240 + 720 * 0.5f;
constexpr float kStartY      = (1080 - kTitleBottom - (5 * 125.2f + 4)) * 0.5f + kTitleBottom + (125.2f + 6) * 0.5f;
constexpr float kTableTop    = (1080 - kTitleBottom - (40 + 216 + 1080 * 0.125f)) * 0.5f + kTitleBottom + 42 + 4;
inline float    levelRowY(int i) { return kTableTop + 40 * (i + 1) + 20; }
constexpr float kLevelX = 1100;
// Under the five-row table.
constexpr float kAddSongX = 1048, kAddSongY = 692;
// The dialog, centred, 700 x 450: its list rows ("[D] .." first) and its "ok".
constexpr float kDialogRowX = 712;
inline float    dialogRowY(int i) { return 438 + 40 * i; }
constexpr float kDialogOkX = 646, kDialogOkY = 737;
// The title and difficulty window over the table's column.
constexpr float kTitleFieldX = 1151, kTitleFieldY = 535;
constexpr float kImportX = 1026, kImportY = 628;
}  // namespace layout

class SongImportGui : public ::testing::Test {
protected:
    void SetUp() override {
        testsupport::copyAssets(dir.path());
        const fs::path first = dir.path() / "levels" / "first";
        writeFile(dir.path() / "levels" / "levels.json",
                  R"([{"name": "First Level", "file": "first", "difficulty": 1}])");
        levelfiles::writeWav(first / "lead.wav", 6.0);
        levelfiles::writeMidi(first / "lead.mid", {{0.5, 0.1, 60, 64}});
        writeFile(first / "level.json", R"({"stems": [{"file": "lead.wav", "midi": "lead.mid"}]})");
        fs::create_directories(music());
        // Listed in the dialog as beat.wav, bell.wav, kick.wav, snare.wav (the binary is filtered out).
        ASSERT_TRUE(songfiles::writeBeatSong(music() / "beat.wav", 14.0, 0.5f, 220.0));
        ASSERT_TRUE(songfiles::writeBeatSong(music() / "bell.wav", 12.0, 0.4f, 880.0));
        ASSERT_TRUE(songfiles::writeBeatSong(music() / "kick.wav", 12.0, 0.6f, 60.0));
        ASSERT_TRUE(songfiles::writeBeatSong(music() / "snare.wav", 12.0, 0.3f));
        fs::copy_file(LUMOKA_BINARY, music() / "lumoka");
        fs::permissions(music() / "lumoka", fs::perms::owner_all, fs::perm_options::add);
    }

    fs::path music() const { return dir.path() / "music"; }
    fs::path levels() const { return dir.path() / "levels"; }

    std::unique_ptr<GameProcess> start() {
        auto game = std::make_unique<GameProcess>(
            (music() / "lumoka").string(), std::vector<std::string>{}, dir.path(),
            std::vector<std::pair<std::string, std::string>>{{"HOME", home.path().string()},
                                                             {"XDG_DATA_HOME", (home.path() / ".local/share").string()},
                                                             {"LUMOKA_SERVER_URL", "http://127.0.0.1:9/api"}});
        EXPECT_TRUE(game->waitForOutput("Game logic thread started", 60s)) << game->stdoutText();
        std::this_thread::sleep_for(1500ms);
        return game;
    }

    // A click, then time for a few (slow, software-rendered) frames.
    static void click(float x, float y) {
        clickAt(x, y);
        std::this_thread::sleep_for(1500ms);
    }

    static void ctrlClick(float x, float y) {
        ASSERT_EQ(std::system("xdotool keydown ctrl"), 0);
        clickAt(x, y);
        ASSERT_EQ(std::system("xdotool keyup ctrl"), 0);
        std::this_thread::sleep_for(1000ms);
    }

    // Confirms the dialog's choice, names the song (or keeps the default title) and imports it.
    void importChosen(GameProcess& game, const std::string& title, const std::string& added) {
        click(layout::kDialogOkX, layout::kDialogOkY);
        if (!title.empty()) {
            click(layout::kTitleFieldX, layout::kTitleFieldY);
            // Straight to the focused window: focusing it again would end the field's editing.
            ASSERT_EQ(std::system("xdotool key ctrl+a"), 0);
            ASSERT_EQ(std::system(("xdotool type --delay 40 '" + title + "'").c_str()), 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(1000 * title.size()));  // a letter a frame
        }
        const size_t from = game.stdoutText().size();
        click(layout::kImportX, layout::kImportY);
        ASSERT_TRUE(game.waitForOutput(added, 120s, from)) << game.stdoutText() << game.stderrText();
    }

    // "Start Level" on the selected row plays the level in folder: its stems load and circles come.
    void playSelected(GameProcess& game, const std::string& folder) {
        const size_t from = game.stdoutText().size();
        click(layout::kMenuX, layout::kStartY);
        ASSERT_TRUE(game.waitForOutput("Loading level package from conventional paths in: levels/" + folder, 30s, from))
            << game.stdoutText();
        EXPECT_TRUE(game.waitForOutput("Miss registered (1/3)", 30s, from)) << game.stdoutText();
    }

    void quit(GameProcess& game) {
        ASSERT_TRUE(pressKey("Escape"));
        EXPECT_EQ(game.wait(30s).exitCode, 0);
    }

    nlohmann::json manifest(const std::string& folder) const {
        return nlohmann::json::parse(readFile(levels() / folder / "level.json"));
    }

    testsupport::TempDir dir;
    testsupport::TempDir home;
};

TEST_F(SongImportGui, OneSongBecomesALevelThatStaysListed) {
    auto game = start();
    click(layout::kAddSongX, layout::kAddSongY);
    click(layout::kDialogRowX, layout::dialogRowY(1));  // beat.wav
    // The default title (the file's name): typing into the field through xdotool was not
    // reliable on a loaded software-rendered display.
    importChosen(*game, "", "Added level 'beat' in levels/beat");

    const nlohmann::json list = nlohmann::json::parse(readFile(levels() / "levels.json"));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1]["name"], "beat");
    EXPECT_EQ(list[1]["file"], "beat");
    const nlohmann::json stems = manifest("beat")["stems"];
    ASSERT_EQ(stems.size(), 3u);  // low, mid and high band
    EXPECT_EQ(stems[0]["file"], "low.flac");
    EXPECT_NEAR(manifest("beat")["songMetaData"][0]["bpm"].get<double>(), 120.0, 1.2);

    playSelected(*game, "beat");  // the new row is the selected one
    quit(*game);

    game = start();
    click(layout::kLevelX, layout::levelRowY(1));
    playSelected(*game, "beat");
    quit(*game);
}

TEST_F(SongImportGui, ThreeStemFilesBecomeOneLevelAndEscapeClosesTheDialog) {
    auto game = start();
    click(layout::kAddSongX, layout::kAddSongY);
    ASSERT_TRUE(pressKey("Escape"));  // closes the dialog, not the game
    std::this_thread::sleep_for(2000ms);
    ASSERT_FALSE(game->waitForOutput("Shutting down application", 1ms)) << game->stdoutText();

    click(layout::kAddSongX, layout::kAddSongY);
    click(layout::kDialogRowX, layout::dialogRowY(2));      // bell.wav
    ctrlClick(layout::kDialogRowX, layout::dialogRowY(3));  // kick.wav
    ctrlClick(layout::kDialogRowX, layout::dialogRowY(4));  // snare.wav
    importChosen(*game, "", "Added level 'bell' in levels/bell");

    const nlohmann::json stems = manifest("bell")["stems"];
    ASSERT_EQ(stems.size(), 3u);
    EXPECT_EQ(stems[0]["file"], "1-bell.wav");  // the files as they are, in the dialog's order
    EXPECT_EQ(stems[1]["file"], "2-kick.wav");
    EXPECT_EQ(stems[2]["file"], "3-snare.wav");
    EXPECT_EQ(readFile(levels() / "bell" / "2-kick.wav"), readFile(music() / "kick.wav"));
    playSelected(*game, "bell");
    quit(*game);
}

}  // namespace
