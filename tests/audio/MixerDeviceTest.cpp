// The mixer through SDL's real device path, with the disk driver standing in
// for a sound card: what lands in the file is what a player would hear.
#include "audio/Mixer.h"

#include "AudioFiles.h"
#include "PlaybackProbe.h"
#include "support/TestSupport.h"
#include "audio/Sound.h"

#include <SDL3/SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <thread>

namespace {

bool waitForClock(const Mixer& mixer, uint32_t handle, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (mixer.getStreamTime(handle) < seconds) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace

TEST(MixerDevice, DiskDriverWritesExactlyTheOfflineMix) {
    testsupport::TempDir        dir;
    const std::filesystem::path file = dir.path() / "mix.raw";
    testaudio::setSdlEnvironment("SDL_AUDIO_DRIVER", "disk");
    testaudio::setSdlEnvironment("SDL_AUDIO_DISK_OUTPUT_FILE", file.string());
    const Sound stem = testaudio::soundFrom(testaudio::distinctStereo(7001), true);

    Mixer device;
    ASSERT_EQ(device.init(), Mixer::kOk);
    const uint32_t voice = device.play(stem, 0.75f, 0.25f);
    ASSERT_NE(voice, 0u);
    ASSERT_TRUE(waitForClock(device, voice, 0.5));
    device.deinit();
    const std::vector<float> heard = testaudio::readFloats(file.string());

    Mixer offline;
    ASSERT_EQ(offline.init(Mixer::kClipRoundoff, Mixer::Output::None), Mixer::kOk);
    offline.play(stem, 0.75f, 0.25f);
    std::vector<float> expected(heard.size());
    offline.mix(expected.data(), expected.size() / 2);

    // Before the voice's first chunk the device played silence, in whole chunks.
    size_t lead = 0;
    while (lead < heard.size() / 2 && heard[2 * lead] == 0.0f && heard[2 * lead + 1] == 0.0f) ++lead;
    EXPECT_EQ(lead % Mixer::kChunkFrames, 0u);
    const size_t frames = heard.size() / 2 - lead;
    ASSERT_GE(frames, static_cast<size_t>(0.4 * Mixer::kSampleRate)) << "the file holds too little";
    for (size_t i = 0; i < 2 * frames; ++i) ASSERT_EQ(heard[2 * lead + i], expected[i]) << "sample " << i;
}

// The playback clock follows the speaker between the device's takings instead
// of standing still for a chunk, and it counts the audio still on its way; the
// chunked stream time runs ahead by all of that. Figures: the mixer benchmark.
TEST(MixerDevice, PlaybackClockFollowsWhatTheSpeakerPlays) {
    testsupport::TempDir         dir;
    const testaudio::ClockErrors errors = testaudio::measureClockErrors(dir.path(), 2.0, 5);
    ASSERT_GT(errors.playback.size(), 100u);
    EXPECT_TRUE(errors.monotonic);
    EXPECT_LT(testaudio::absolutePercentile(errors.playback, 0.5), 10.0) << "milliseconds";
    EXPECT_GT(testaudio::absolutePercentile(errors.chunked, 0.5), 40.0) << "the measure tells the clocks apart";
}

TEST(MixerDevice, StartFailureSaysWhySdlRefusedInOneLine) {
    testaudio::setSdlEnvironment("SDL_AUDIO_DRIVER", "no-such-driver");
    Mixer mixer;
    testing::internal::CaptureStderr();
    const unsigned    result = mixer.init();
    const std::string err    = testing::internal::GetCapturedStderr();
    EXPECT_EQ(result, Mixer::kDeviceFailed);
    const std::string prefix = "Failed to open the audio device: ";
    ASSERT_EQ(err.rfind(prefix, 0), 0u) << err;
    EXPECT_GT(err.size(), prefix.size() + 1) << "SDL's reason is missing";
    EXPECT_EQ(err.find('\n'), err.size() - 1) << err;
    EXPECT_EQ(mixer.play(testaudio::soundFrom(testaudio::distinctStereo(10))), 0u);
}
