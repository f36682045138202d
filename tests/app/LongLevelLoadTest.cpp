// A level of 8 one-minute stems (85 MB of 44.1 kHz stereo 16-bit WAVs; decoding
// them on the frame thread stalls it for far more than 100 ms) started from
// the menu while the frame loop and the real logic thread run. No frame may
// take over 100 ms; the run starts by itself once the stems are in, and past
// the loop point every stem is still on the same sample as the others.
#include "app/App.h"
#include "app/LogicThread.h"
#include "support/AppRig.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cmath>
#include <thread>

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using Clock  = std::chrono::steady_clock;

namespace {

constexpr int      kStems   = 8;
constexpr uint64_t kFrames  = 60 * 44100;
constexpr int      kPeriod  = 1000;  // divides kFrames, so the pattern runs on across the loop point
constexpr int      kStride  = 7919;  // prime to kPeriod: every step of the period has its own value
constexpr auto     kFrame   = 16ms;
constexpr auto     kLongest = 100ms;

// Every stem plays the same pattern, so while all are on one sample the mix
// is 8 times a value of the pattern; a stem a frame off breaks that.
int patternValue(uint64_t frame) { return static_cast<int>((frame * kStride) % kPeriod) - kPeriod / 2; }

void writeStem(const fs::path& path) {
    std::string    bytes     = "RIFF";
    const uint32_t dataBytes = static_cast<uint32_t>(kFrames * 4);
    auto           put       = [&bytes](uint32_t value, int count) {
        for (int i = 0; i < count; ++i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    };
    put(36 + dataBytes, 4);
    bytes += "WAVEfmt ";
    put(16, 4), put(1, 2), put(2, 2), put(44100, 4), put(44100 * 4, 4), put(4, 2), put(16, 2);
    bytes += "data";
    put(dataBytes, 4);
    bytes.reserve(bytes.size() + dataBytes);
    for (uint64_t frame = 0; frame < kFrames; ++frame) {
        const int value = patternValue(frame);
        put(static_cast<uint16_t>(static_cast<int16_t>(value)), 2);
        put(static_cast<uint16_t>(static_cast<int16_t>(-value)), 2);
    }
    testsupport::writeFile(path, bytes);
}

void writeLevel(const fs::path& folder) {
    std::string list;
    for (int i = 0; i < kStems; ++i) {
        const std::string name = "stem" + std::to_string(i) + ".wav";
        writeStem(folder / name);
        list +=
            (i ? ", " : "") + std::string(R"({"file": ")") + name + R"(", "startOrder": )" + std::to_string(i) + "}";
    }
    testsupport::writeFile(folder / "level.json", "{\"stems\": [" + list + "]}");
}

// The step of the pattern whose 8-fold sum is this mixed sample; -1 if none is.
int patternStep(float mixed) {
    static const std::array<int, kPeriod> stepOf = [] {
        std::array<int, kPeriod> steps{};
        for (int step = 0; step < kPeriod; ++step) steps[static_cast<size_t>(patternValue(step) + kPeriod / 2)] = step;
        return steps;
    }();
    const double value = static_cast<double>(mixed) * 32768.0 / kStems;
    const long   whole = std::lround(value);
    if (std::fabs(value - static_cast<double>(whole)) > 1e-3 || whole < -kPeriod / 2 || whole >= kPeriod / 2) return -1;
    return stepOf[static_cast<size_t>(whole + kPeriod / 2)];
}

struct FrameLoop {
    Clock::duration longest{};
    int             frames = 0;
};

// What the main thread does with game state each frame, without drawing,
// until the run has started.
FrameLoop runUntilPlaying(App& app, Clock::duration limit) {
    FrameLoop         loop;
    const auto        end  = Clock::now() + limit;
    Clock::time_point last = Clock::now();
    while (!app.game.inGame && Clock::now() < end) {
        {
            std::lock_guard<std::mutex> lock(gameStateMutex);
            app.installLoadedLevel();
            app.audio.update(1.0f / 60.0f);
            app.game.updateCircles(1.0f / 60.0f);
        }
        std::this_thread::sleep_until(last + kFrame);
        const Clock::time_point now = Clock::now();
        loop.longest                = std::max(loop.longest, now - last);
        last                        = now;
        ++loop.frames;
    }
    return loop;
}

}  // namespace

TEST(LongLevel, LoadsWhileTheFrameLoopRunsAndItsStemsStayOnOneSampleAcrossTheLoop) {
    testsupport::TempDir dir;
    writeLevel(dir.path() / "levels" / "long");
    testsupport::WorkingDirectory inside(dir.path());

    std::unique_ptr<App> app = testsupport::windowlessApp(Mixer::Output::None);
    ASSERT_TRUE(app);
    ::testing::internal::CaptureStdout();
    std::thread logic(runLogicThread, app.get());

    app->levelLoader.request({"levels/long", "Long", LevelLoader::Purpose::Run});
    const FrameLoop loop = runUntilPlaying(*app, 60s);
    stopRequested        = true;
    logic.join();
    ::testing::internal::GetCapturedStdout();

    ASSERT_TRUE(app->game.inGame) << "the run did not start";
    EXPECT_TRUE(app->audio.playing);
    EXPECT_EQ(app->game.levelName, "Long");
    ASSERT_EQ(app->audio.stems.size(), static_cast<size_t>(kStems));
    EXPECT_GT(loop.frames, 5) << "the frames went on while the stems decoded";
    EXPECT_LT(loop.longest, kLongest) << std::chrono::duration<double, std::milli>(loop.longest).count() << " ms";

    for (int i = 0; i < kStems; ++i) {
        app->audio.deactivateStem(i);
        app->audio.fadeInStem(i, 0.0f);
    }
    app->audio.update(0.0f);
    std::vector<float> mixed(2 * (kFrames + 8 * Mixer::kChunkFrames));
    ASSERT_TRUE(app->audio.engine.mix(mixed.data(), mixed.size() / 2));
    int expected = patternStep(mixed[0]);
    ASSERT_NE(expected, -1);
    for (size_t frame = 0; frame < mixed.size() / 2; ++frame) {
        ASSERT_EQ(patternStep(mixed[2 * frame]), expected) << "frame " << frame;
        ASSERT_EQ(mixed[2 * frame + 1], -mixed[2 * frame]) << "frame " << frame;
        expected = (expected + 1) % kPeriod;
    }
    app->levelLoader.shutdown();
    app->audio.shutdown();
}
