// The real game binary with a small generated level under the test display:
// Space starts the listed level, circles come and, unhit, are missed; Escape quits.
#include "support/LevelFiles.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <thread>

using namespace std::chrono_literals;
using testsupport::containsInOrder;
using testsupport::pressKey;

namespace {

TEST(GameplayProcess, SpaceStartsTheLevelAndUnhitCirclesAreMissed) {
    testsupport::TempDir dir;
    testsupport::copyAssets(dir.path());
    const auto                    levels = dir.path() / "levels";
    std::vector<levelfiles::Note> notes;
    for (int i = 1; i <= 6; ++i) notes.push_back({0.5 * i, 0.1, 40 + 8 * i, 90});
    // The level on stage at start-up, and the same level listed: Space plays the listed one.
    testsupport::writeFile(levels / "levels.json",
                           R"({"levels": [{"name": "Played", "file": "played", "difficulty": 1, "description": "Six notes"}]})");
    for (const std::filesystem::path& folder : {levels, levels / "played"}) {
        levelfiles::writeWav(folder / "lead.wav", 4.0);
        levelfiles::writeWav(folder / "pad.wav", 4.0);
        levelfiles::writeMidi(folder / "lead.mid", notes);
        testsupport::writeFile(folder / "level.json", R"({
            "songMetaData": [{"bpm": 120}],
            "stems": [
                {"file": "pad.wav", "startOrder": 1, "color": [0.2, 0.4, 1.0]},
                {"file": "lead.wav", "midi": "lead.mid", "startOrder": 0, "animation": {"peak": 3}}
            ]})");
    }

    testsupport::GameProcess game(dir.path(), {{"SDL_AUDIO_DRIVER", "dummy"}});
    ASSERT_TRUE(game.waitForOutput("Game logic thread started", 60s)) << game.stdoutText();
    // A key can reach the window before it has the focus; only a key that was
    // not seen is sent again, so playback is never toggled twice.
    bool playing = false;
    for (int attempt = 0; attempt < 3 && !playing; ++attempt) {
        std::this_thread::sleep_for(500ms);
        ASSERT_TRUE(pressKey("space"));
        playing = game.waitForOutput("Playing all stems with voice group.", 5s);
    }
    ASSERT_TRUE(playing) << game.stdoutText();
    EXPECT_TRUE(game.waitForOutput("Miss registered (1/3)", 30s)) << game.stdoutText();
    ASSERT_TRUE(pressKey("Escape"));
    const auto result = game.wait(30s);

    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err.find("Failed to load default level JSON definition"), std::string::npos) << result.err;
    EXPECT_TRUE(containsInOrder(
        result.out,
        {"Loading stem: levels/lead.wav", "Loading MIDI file: levels/lead.mid", "Loading stem: levels/pad.wav",
         "Loaded 2 stem(s) from level JSON: levels/level.json", "Application initialized successfully!",
         "Playing all stems with voice group.", "Activated first stem", "Miss registered (1/3)",
         "Game logic thread ended", "Shutting down application..."}));
}

}  // namespace
