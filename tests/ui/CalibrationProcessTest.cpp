// The real game finds a known offset from taps: SDL's disk driver writes the
// game's sound into a pipe this test drains, so it knows when each click of the
// calibration track reaches the speaker (a device buffer after it arrives, as
// a sound card plays one buffer while the next is handed over), and xdotool,
// kept open and fed one line a tap, presses Space that long after each click.
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <regex>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int   kRate         = 44100;
constexpr int   kBufferFrames = 2048;  // the device buffer the mixer asks SDL for
constexpr float kLoud         = 0.05f;
constexpr int   kSilentFrames = kRate / 5;  // a click starts after this much silence
constexpr int   kTaps         = 18;
// The menu's Settings button, the settings' "Calibrate..." button and the
// calibration's "Try again" button at 1920 x 1080.
constexpr float kSettingsX = 600, kSettingsY = 482;
constexpr float kCalibrateX = 1216, kCalibrateY = 669;
constexpr float kTryAgainX = 960, kTryAgainY = 964;

// When each click starts at the speaker, as the pipe tells it.
class Speaker {
public:
    explicit Speaker(std::string pipe) : pipe_(std::move(pipe)), reader_([this] { drain(); }) {}
    // A reader still waiting for the game to open the pipe is let go.
    ~Speaker() {
        const int fd = open(pipe_.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) close(fd);
        reader_.join();
    }

    // The next click heard after `after`, waiting for it up to the timeout.
    bool nextClick(Clock::time_point after, Clock::time_point& click) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, 5s, [&] {
            for (const Clock::time_point heard : clicks_)
                if (heard > after) {
                    click = heard;
                    return true;
                }
            return false;
        });
    }

private:
    void drain() {
        const int fd = open(pipe_.c_str(), O_RDONLY);
        if (fd < 0) return;
        std::vector<float> pending;
        float              block[8192];
        for (;;) {
            const ssize_t n = read(fd, block, sizeof block);
            if (n <= 0) break;
            const Clock::time_point now = Clock::now();
            pending.insert(pending.end(), block, block + n / static_cast<ssize_t>(sizeof(float)));
            while (pending.size() >= 2 * kBufferFrames) {
                listen(pending.data(), now);
                pending.erase(pending.begin(), pending.begin() + 2 * kBufferFrames);
            }
        }
        close(fd);
    }

    // One device buffer, arrived at `arrival`, heard a buffer later.
    void listen(const float* stereo, Clock::time_point arrival) {
        for (int i = 0; i < kBufferFrames; ++i) {
            if (std::fabs(stereo[2 * i]) < kLoud) {
                ++quietFrames_;
                continue;
            }
            if (quietFrames_ >= kSilentFrames) {
                const auto heard = arrival + std::chrono::duration_cast<Clock::duration>(
                                                 std::chrono::duration<double>(double(kBufferFrames + i) / kRate));
                std::lock_guard<std::mutex> lock(mutex_);
                clicks_.push_back(heard);
                changed_.notify_all();
            }
            quietFrames_ = 0;
        }
    }

    std::string                    pipe_;
    std::mutex                     mutex_;
    std::condition_variable        changed_;
    std::vector<Clock::time_point> clicks_;
    int                            quietFrames_ = 0;
    std::thread                    reader_;
};

// A slow, deliberate click: the button is hovered for a frame or two first.
void press(float x, float y) {
    const std::string command = "xdotool mousemove " + std::to_string(static_cast<int>(x)) + " " +
                                std::to_string(static_cast<int>(y)) + " sleep 0.5 mousedown 1 sleep 0.2 mouseup 1";
    ASSERT_EQ(std::system(command.c_str()), 0);
}

// The offset the game reported after the last tap.
double reportedOffsetMs(const std::string& out) {
    static const std::regex line(R"(Calibration: offset ([-+0-9.]+) ms, spread ([0-9.]+) ms)");
    double                  offset = NAN;
    for (auto it = std::sregex_iterator(out.begin(), out.end(), line); it != std::sregex_iterator(); ++it)
        offset = std::stod((*it)[1]);
    return offset;
}

TEST(CalibrationProcess, FindsTheOffsetOfTapsWithinFiveMillisecondsThreeTimesInARow) {
    testsupport::TempDir dir, home;
    testsupport::copyAssets(dir.path());
    const std::string pipe = (dir.path() / "speaker.pipe").string();
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    Speaker                  speaker(pipe);  // the game's audio device opens the pipe's other end
    testsupport::GameProcess game(dir.path(), {{"SDL_AUDIO_DRIVER", "disk"},
                                               {"SDL_AUDIO_DISK_OUTPUT_FILE", pipe},
                                               {"HOME", home.path().string()},
                                               {"XDG_DATA_HOME", (home.path() / "data").string()},
                                               {"LUMOKA_SERVER_URL", "http://127.0.0.1:9/api"}});
    ASSERT_TRUE(game.waitForOutput("Game logic thread started", 60s)) << game.stdoutText();
    std::this_thread::sleep_for(1500ms);
    press(kSettingsX, kSettingsY);
    // The software renderer under load can take a while to lay the panel out:
    // a press that found it late is a stray tap, cleared below.
    bool listening = false;
    for (int attempt = 0; attempt < 4 && !listening; ++attempt) {
        std::this_thread::sleep_for(1500ms);
        press(kCalibrateX, kCalibrateY);
        listening = game.waitForOutput("Calibration click track started", 3s);
    }
    ASSERT_TRUE(listening) << game.stdoutText();
    std::this_thread::sleep_for(1s);
    press(kTryAgainX, kTryAgainY);

    FILE* keys = popen("xdotool -", "w");
    ASSERT_NE(keys, nullptr);
    std::fputs("search --name 'Lumoka v0.0.1' windowfocus --sync\n", keys);
    std::fflush(keys);
    std::this_thread::sleep_for(1s);
    for (const int offsetMs : {60, 110, 25}) {
        const size_t        from  = game.stdoutText().size();
        Clock::time_point   click = Clock::now();
        std::vector<double> sentMs;  // when each tap left, after its click: a loaded machine wakes us late
        for (int tap = 0; tap < kTaps; ++tap) {
            ASSERT_TRUE(speaker.nextClick(click + 100ms, click)) << "no click heard";
            std::this_thread::sleep_until(click + std::chrono::milliseconds(offsetMs));
            std::fputs("key space\n", keys);
            std::fflush(keys);
            sentMs.push_back(std::chrono::duration<double, std::milli>(Clock::now() - click).count());
        }
        std::sort(sentMs.begin(), sentMs.end());
        const double sentMedianMs = (sentMs[kTaps / 2 - 1] + sentMs[kTaps / 2]) / 2.0;
        EXPECT_LT(std::abs(sentMedianMs - offsetMs), 20.0) << "the taps left too late to mean anything";
        // Two taps inside one slow frame are one press: wait for the last tap's line, whatever its count.
        ASSERT_TRUE(game.waitForOutput("taps kept", 5s, from)) << game.stdoutText();
        std::this_thread::sleep_for(1500ms);
        const double found = reportedOffsetMs(game.stdoutText().substr(from));
        EXPECT_NEAR(found, sentMedianMs, 5.0) << "taps sent at " << offsetMs << " ms\n"
                                              << game.stdoutText().substr(from);
        if (offsetMs == 60) {
            const std::filesystem::path shot = std::filesystem::path(LUMOKA_SCREENSHOT_DIR) / "calibration.png";
            ASSERT_TRUE(testsupport::takeScreenshot(shot));
            int            w = 0, h = 0, channels = 0;
            unsigned char* pixels = stbi_load(shot.c_str(), &w, &h, &channels, 3);
            ASSERT_NE(pixels, nullptr);
            int accepted = 0;  // the verdict's green
            for (int i = 0; i < w * h; ++i)
                accepted +=
                    pixels[3 * i] < 40 && pixels[3 * i + 1] > 220 && pixels[3 * i + 2] > 100 && pixels[3 * i + 2] < 160;
            stbi_image_free(pixels);
            EXPECT_GT(accepted, 200) << "the offset is shown as accepted";
        }
        press(kTryAgainX, kTryAgainY);
        std::this_thread::sleep_for(300ms);
    }
    pclose(keys);
    ASSERT_TRUE(testsupport::pressKey("Escape"));
    EXPECT_EQ(game.wait(30s).exitCode, 0);
}

}  // namespace
