// The real logic thread ticking against the frame loop's game-state work and a
// GUI-style new run, all under the game-state lock. Run under ThreadSanitizer,
// any access to the shared run state outside the lock is reported.
#include "GameFixture.h"

#include "app/App.h"
#include "app/LogicThread.h"
#include "level/LevelManifest.h"
#include "support/LevelFiles.h"

#include <SDL3/SDL.h>

#include <array>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

class LogicThreadRace : public ::testing::Test {
protected:
    void SetUp() override {
        startPlayfield(game, app.audio, app.render);
        std::vector<double> times;
        for (int i = 0; i < 400; ++i) times.push_back(0.05 * i);
        for (int i = 0; i < 3; ++i) addChartStem(app.audio, times, 20.0, i == 0);
        app.audio.playing = true;
        game.startJudging(app.audio, app.render.width, app.render.height);
        app.running       = true;
        stopRequested     = false;
    }

    // What the frame loop does with the run between two swaps, judging a click
    // on the oldest circle that can be hit.
    virtual void advanceClock(float dt) { game.streamTime += dt; }

    void frameWork(float dt) {
        std::lock_guard<std::mutex> lock(gameStateMutex);
        advanceClock(dt);
        app.audio.update(dt);
        game.updateCircles(dt);
        maxCircles = std::max(maxCircles, game.circles.size());
        for (const Circle& circle : game.circles) {
            if (!circle.judged && circle.time - game.streamTime < 0.05) {
                input.mouseX        = circle.x;
                input.mouseY        = static_cast<float>(app.render.height) - circle.y;
                input.mouseWentDown = true;
                break;
            }
        }
        game.handleInput(input, app.render.height);
        input.endFrame();
        highestLayer = std::max(highestLayer, game.layers);
    }

    void guiNewRun() {
        std::lock_guard<std::mutex> lock(gameStateMutex);
        game.newRun();
        game.startJudging(app.audio, app.render.width, app.render.height);
        game.inGame = true;
    }

    App          app;
    GameLogic&   game = app.game;
    InputManager input;
    size_t       maxCircles   = 0;
    int32_t      highestLayer = 1;
};

TEST_F(LogicThreadRace, TickAndFrameShareTheRunUnderOneLock) {
    // Standard error is left alone: that is where a race report goes.
    ::testing::internal::CaptureStdout();
    std::thread logic(runLogicThread, &app);
    const auto  end = std::chrono::steady_clock::now() + 1500ms;
    for (int frame = 0; std::chrono::steady_clock::now() < end; ++frame) {
        frameWork(1.0f / 60.0f);
        if (frame == 60) guiNewRun();
        std::this_thread::sleep_for(2ms);
    }
    stopRequested = true;
    logic.join();
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_GT(maxCircles, 5u) << "the frames spawned circles";
    EXPECT_GT(highestLayer, 1) << "the rules unlocked a layer";
    EXPECT_NE(out.find("Score added"), std::string::npos);
    EXPECT_TRUE(inOrder(out, {"Game logic thread started", "Game logic thread ended"}));
}

// The same with the music really playing: the dummy driver's device thread
// mixing, the logic thread dispatching by the playback clock and spawning, and
// the main thread fading, stopping, restarting and reloading the level the way
// the GUI's package apply does, under the game-state lock.
class LiveEngineRace : public LogicThreadRace {
protected:
    void SetUp() override {
        LogicThreadRace::SetUp();
        app.audio.stems.clear();
        app.audio.playing = false;
        std::vector<levelfiles::Note> notes;
        for (int i = 0; i < 60; ++i) notes.push_back({0.05 * i, 0.04, 40 + i % 40, 100, i % 5 == 0 ? 1 : 0});
        for (const char* stem : {"a", "b"}) {
            levelfiles::writeWav(dir.path() / (std::string(stem) + ".wav"), 3.0);
            levelfiles::writeMidi(dir.path() / (std::string(stem) + ".mid"), notes);
        }
        level = (dir.path() / "level.json").string();
        testsupport::writeFile(level, R"({"bpm": 120, "stems": [{"file": "a.wav", "midi": "a.mid"},
            {"file": "b.wav", "midi": "b.mid"}]})");
        SDL_SetEnvironmentVariable(SDL_GetEnvironment(), "SDL_AUDIO_DRIVER", "dummy", true);
        ASSERT_TRUE(app.audio.init());
        ASSERT_TRUE(loadLevelManifest(level, app.audio, app.render, app.game));
        game.noteCallback = [this](const MidiNoteEvent&, RenderState*) { ++notesHeard; };
    }
    void TearDown() override { app.audio.shutdown(); }

    void guiStart() {
        std::lock_guard<std::mutex> lock(gameStateMutex);
        game.newRun();
        app.audio.playAll();
        app.audio.activateFirstStem();
        game.startJudging(app.audio, app.render.width, app.render.height);
        game.inGame = true;
    }

    void guiApplyLevel() {
        std::lock_guard<std::mutex> lock(gameStateMutex);
        loadLevelManifest(level, app.audio, app.render, game);
    }

    void advanceClock(float) override { app.audio.updateStreamTime(game.streamTime, game.streamClockNs); }

    testsupport::TempDir dir;
    std::string          level;
    int                  notesHeard = 0;
};

TEST_F(LiveEngineRace, DispatchMixFadeStopRestartAndReloadShareTheRun) {
    ::testing::internal::CaptureStdout();  // standard error stays free for race reports
    std::thread logic(runLogicThread, &app);
    guiStart();
    // Every 600 ms: play, stop, start again, then reload the level and start it.
    const auto begin = std::chrono::steady_clock::now();
    int        step  = 0;
    for (auto now = begin; now < begin + 2400ms; now = std::chrono::steady_clock::now()) {
        frameWork(1.0f / 60.0f);
        const auto due = begin + step / 3 * 600ms + std::array{350ms, 420ms, 500ms}[step % 3];
        if (now >= due) {
            if (step % 3 == 0) {
                std::lock_guard<std::mutex> lock(gameStateMutex);
                app.audio.stopAll();
                game.inGame = false;
            } else {
                if (step % 3 == 2) guiApplyLevel();
                guiStart();
            }
            ++step;
        }
        std::this_thread::sleep_for(4ms);
    }
    stopRequested = true;
    logic.join();
    const std::string           out = ::testing::internal::GetCapturedStdout();
    std::lock_guard<std::mutex> lock(gameStateMutex);
    EXPECT_GE(step, 9);
    EXPECT_GT(notesHeard, 10) << "the logic thread dispatched";
    EXPECT_GT(maxCircles, 2u) << "and spawned";
    EXPECT_TRUE(inOrder(out, {"Game logic thread started", "Loaded 2 stem(s)", "Game logic thread ended"}));
}

}  // namespace
