// The real logic thread ticking against the frame loop's game-state work and a
// GUI-style new run, all under the game-state lock. Run under ThreadSanitizer,
// any access to the shared run state outside the lock is reported.
#include "GameFixture.h"

#include "app/LogicThread.h"

#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

class LogicThreadRace : public GameFixture {
protected:
    void SetUp() override {
        GameFixture::SetUp();
        std::vector<double> times;
        for (int i = 0; i < 400; ++i) times.push_back(0.05 * i);
        for (int i = 0; i < 3; ++i) addStem(times, 20.0, i == 0);
        app.audio.playing = true;
        app.running       = true;
        stopRequested     = false;
    }

    // What the frame loop does with the run between two swaps, judging a click
    // on the oldest circle that can be hit.
    void frameWork(float dt) {
        std::lock_guard<std::mutex> lock(gameStateMutex);
        game.streamTime += dt;
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
        game.inGame = true;
    }

    size_t  maxCircles   = 0;
    int32_t highestLayer = 1;
};

TEST_F(LogicThreadRace, TickAndFrameShareTheRunUnderOneLock) {
    // Standard error is left alone: that is where a race report goes.
    ::testing::internal::CaptureStdout();
    std::thread logic(runLogicThread, &app);
    const auto end = std::chrono::steady_clock::now() + 1500ms;
    for (int frame = 0; std::chrono::steady_clock::now() < end; ++frame) {
        frameWork(1.0f / 60.0f);
        if (frame == 60) guiNewRun();
        std::this_thread::sleep_for(2ms);
    }
    stopRequested = true;
    logic.join();
    const std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_GT(maxCircles, 5u) << "the tick spawned circles";
    EXPECT_GT(highestLayer, 1) << "the tick applied the unlock rule";
    EXPECT_NE(out.find("Score added"), std::string::npos);
    EXPECT_TRUE(inOrder(out, {"Game logic thread started", "Game logic thread ended"}));
}

}  // namespace
