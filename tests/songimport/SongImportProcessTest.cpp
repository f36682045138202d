// The real game under the test display: "Add Song..." opens the audio-file
// dialog in the player's Music folder (the game runs from a folder of its
// own); the test picks a song, types its title and imports it. The new row is selected,
// "Start Level" plays it (circles come and are missed), and after a restart it
// is still listed. A second run picks three stem files in an order other than
// the names' and gets a level whose stems unlock in that order; Escape closes
// the dialog and leaves the game running.
#include "support/GuiGame.h"
#include "support/LevelFiles.h"
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
namespace menu = testsupport::menu;
namespace fs   = std::filesystem;

namespace {

// The title and difficulty window over the table's column: its "Import".
constexpr float kImportX = 1026, kImportY = 628;

class SongImportGui : public testsupport::GuiGameTest {
protected:
    void SetUp() override {
        GuiGameTest::SetUp();
        const fs::path first = levels() / "first";
        writeFile(levels() / "levels.json", R"([{"name": "First Level", "file": "first", "difficulty": 1}])");
        levelfiles::writeWav(first / "lead.wav", 6.0);
        levelfiles::writeMidi(first / "lead.mid", {{0.5, 0.1, 60, 64}});
        writeFile(first / "level.json", R"({"stems": [{"file": "lead.wav", "midi": "lead.mid"}]})");
        // Listed in the music folder as beat.wav, bell.wav, kick.wav, snare.wav.
        fs::create_directories(music());
        ASSERT_TRUE(songfiles::writeBeatSong(music() / "beat.wav", 14.0, 0.5f, 220.0));
        ASSERT_TRUE(songfiles::writeBeatSong(music() / "bell.wav", 12.0, 0.4f, 880.0));
        ASSERT_TRUE(songfiles::writeBeatSong(music() / "kick.wav", 12.0, 0.6f, 60.0));
        ASSERT_TRUE(songfiles::writeBeatSong(music() / "snare.wav", 12.0, 0.3f));
        // The game runs from a folder of its own; the dialog starts in the player's Music.
        fs::create_directories(dir.path() / "bin");
        fs::copy_file(LUMOKA_BINARY, binary());
        fs::permissions(binary(), fs::perms::owner_all, fs::perm_options::add);
    }

    fs::path music() const { return home.path() / "Music"; }
    fs::path binary() const { return dir.path() / "bin" / "lumoka"; }

    std::unique_ptr<GameProcess> startGame() { return start("http://127.0.0.1:9/api", binary().string()); }

    // "Add Song...": the dialog opens in the player's Music folder.
    void openMusicFolder() {
        const fs::path shot = home.path() / "menu.png";
        for (int attempt = 0; attempt < 4 && testsupport::dialogPathEnd(shot) == 0; ++attempt) {
            clickAt(menu::kAddSongX, menu::kActionsY);  // an open dialog leaves that spot empty
            std::this_thread::sleep_for(1500ms);
        }
        ASSERT_GT(testsupport::dialogPathEnd(shot), 0) << "the song dialog did not open";
    }

    void pick(int row, bool adding) {
        const std::string command = "xdotool mousemove " + std::to_string(int(menu::kDialogRowX)) + " " +
                                    std::to_string(int(menu::dialogRowY(row))) +
                                    (adding ? " keydown ctrl click 1 keyup ctrl" : " click 1");
        ASSERT_EQ(std::system(command.c_str()), 0);
        std::this_thread::sleep_for(1000ms);
    }

    // Confirms the dialog's choice, types the title over the default one and imports.
    void importChosen(GameProcess& game, const std::string& chosen, const std::string& title) {
        ASSERT_TRUE(
            clickUntil(game, menu::kDialogOkX, menu::kDialogOkY, "Song files chosen, in this order: " + chosen));
        std::this_thread::sleep_for(1000ms);
        // The field has the keyboard: straight to the focused window (focusing it anew would end the editing).
        ASSERT_EQ(std::system(("xdotool type --delay 60 '" + title + "'").c_str()), 0);
        const size_t from = game.stdoutText().size();
        ASSERT_TRUE(clickUntil(game, kImportX, kImportY, "Importing song \"" + title + "\""));
        ASSERT_TRUE(game.waitForOutput("Added level '" + title + "' in levels/", 120s, from))
            << game.stdoutText() << game.stderrText();
    }

    // "Start Level" on the selected row plays the level in folder: its stems load and circles come.
    void playSelected(GameProcess& game, const std::string& folder) {
        const size_t from = game.stdoutText().size();
        ASSERT_TRUE(clickUntil(game, menu::kMenuX, menu::buttonY(menu::kStart),
                               "Loading level package from conventional paths in: levels/" + folder));
        EXPECT_TRUE(game.waitForOutput("Miss registered (1/3)", 30s, from)) << game.stdoutText();
    }

    nlohmann::json manifest(const std::string& folder) const {
        return nlohmann::json::parse(readFile(levels() / folder / "level.json"));
    }
};

TEST_F(SongImportGui, OneSongBecomesALevelThatStaysListed) {
    auto game = startGame();
    openMusicFolder();
    pick(1, false);  // beat.wav
    importChosen(*game, (music() / "beat.wav").string(), "BeatBox");

    const nlohmann::json list = nlohmann::json::parse(readFile(levels() / "levels.json"));
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list[1]["name"], "BeatBox");
    EXPECT_EQ(list[1]["file"], "beatbox");
    const nlohmann::json stems = manifest("beatbox")["stems"];
    ASSERT_EQ(stems.size(), 3u);  // drums, bass and the rest, the drums unlocking first
    EXPECT_EQ(stems[0]["file"], "drums.flac");
    EXPECT_EQ(stems[1]["file"], "bass.flac");
    EXPECT_NEAR(manifest("beatbox")["songMetaData"][0]["bpm"].get<double>(), 120.0, 1.2);

    playSelected(*game, "beatbox");  // the new row is the selected one
    quit(*game);

    game = startGame();
    for (int twice = 0; twice < 2; ++twice) {  // choosing a row again changes nothing
        clickAt(menu::kLevelX, menu::levelRowY(1));
        std::this_thread::sleep_for(700ms);
    }
    playSelected(*game, "beatbox");
    quit(*game);
}

TEST_F(SongImportGui, ThreeStemFilesUnlockInTheOrderPickedAndEscapeClosesTheDialog) {
    auto game = startGame();
    clickAt(menu::kAddSongX, menu::kActionsY);
    std::this_thread::sleep_for(1500ms);
    ASSERT_TRUE(pressKey("Escape"));  // closes the dialog, not the game
    std::this_thread::sleep_for(2000ms);
    ASSERT_FALSE(game->waitForOutput("Shutting down application", 1ms)) << game->stdoutText();

    openMusicFolder();
    pick(4, false);  // snare.wav
    pick(2, true);   // bell.wav
    pick(3, true);   // kick.wav
    importChosen(*game,
                 (music() / "snare.wav").string() + ", " + (music() / "bell.wav").string() + ", " +
                     (music() / "kick.wav").string(),
                 "Layers");

    const nlohmann::json stems = manifest("layers")["stems"];
    ASSERT_EQ(stems.size(), 3u);
    EXPECT_EQ(stems[0]["file"], "1-snare.wav");  // the files as they are, in the order picked
    EXPECT_EQ(stems[1]["file"], "2-bell.wav");
    EXPECT_EQ(stems[2]["file"], "3-kick.wav");
    EXPECT_EQ(readFile(levels() / "layers" / "2-bell.wav"), readFile(music() / "bell.wav"));
    playSelected(*game, "layers");
    quit(*game);
}

}  // namespace
