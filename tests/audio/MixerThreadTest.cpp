// The mixer used from several threads at once, as the game does: the device
// thread mixing, the main thread setting volumes, the logic thread reading
// the clock. Built under ThreadSanitizer too.
#include "audio/Mixer.h"

#include "AudioFiles.h"
#include "audio/Sound.h"

#include <SDL3/SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr int kChunk = Mixer::kChunkFrames;

// Plays short one-shots (they end by themselves), regroups and re-volumes
// them until told to stop.
void churn(Mixer& mixer, const Sound& oneShot, uint32_t group, const std::atomic<bool>& done) {
    for (int n = 0; !done; ++n) {
        const uint32_t voice = mixer.play(oneShot, 0.5f);
        mixer.addVoiceToGroup(group, voice);
        mixer.setVolume(group, static_cast<float>(n % 10) / 10);
        mixer.setRelativePlaySpeed(voice, 1.0f + static_cast<float>(n % 3) / 4);
        std::this_thread::yield();
    }
}

// Reads the clock and checks it never runs backwards while its voice lives.
void watchClock(Mixer& mixer, uint32_t voice, const std::atomic<bool>& done, bool& monotonic) {
    double last = 0;
    while (!done) {
        const double now = mixer.getStreamTime(voice);
        if (mixer.isValidVoiceHandle(voice) && now < last) monotonic = false;
        last = now;
    }
}

}  // namespace

TEST(MixerThreads, OfflineMixWhileOtherThreadsChangeVoices) {
    Mixer mixer;
    ASSERT_EQ(mixer.init(Mixer::kClipRoundoff, Mixer::Output::None), Mixer::kOk);
    const Sound       oneShot    = testaudio::soundFrom(testaudio::sineStereo(3000, 220.0, 0.2f));
    const Sound       loop       = testaudio::soundFrom(testaudio::sineStereo(3000, 110.0, 0.2f), true);
    const uint32_t    clockVoice = mixer.play(loop);
    const uint32_t    group      = mixer.createVoiceGroup();
    std::atomic<bool> done{false};
    bool              monotonic = true;
    std::thread       changer(churn, std::ref(mixer), std::cref(oneShot), group, std::cref(done));
    std::thread       watcher(watchClock, std::ref(mixer), clockVoice, std::cref(done), std::ref(monotonic));

    std::vector<float> out(2 * kChunk);
    for (int n = 0; n < 400; ++n) {
        mixer.mix(out.data(), kChunk);
        for (float s : out) ASSERT_LE(std::fabs(s), 1.0f);
    }
    done = true;
    changer.join();
    watcher.join();
    EXPECT_TRUE(monotonic);
    EXPECT_EQ(mixer.getStreamTime(clockVoice), 400.0 * kChunk / Mixer::kSampleRate);
}

TEST(MixerThreads, DeviceThreadMixesWhileTheGameCallsIn) {
    SDL_SetEnvironmentVariable(SDL_GetEnvironment(), "SDL_AUDIO_DRIVER", "dummy", true);
    Mixer mixer;
    ASSERT_EQ(mixer.init(), Mixer::kOk);
    const Sound    oneShot = testaudio::soundFrom(testaudio::sineStereo(3000, 220.0, 0.2f));
    const Sound    loop    = testaudio::soundFrom(testaudio::sineStereo(3000, 110.0, 0.2f), true);
    const uint32_t clock   = mixer.createVoiceGroup();
    const uint32_t first   = mixer.play(loop, 0.0f);
    mixer.addVoiceToGroup(clock, first);
    const uint32_t    others = mixer.createVoiceGroup();
    std::atomic<bool> done{false};
    std::thread       changer(churn, std::ref(mixer), std::cref(oneShot), others, std::cref(done));
    double            last     = 0;
    const auto        deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(400);
    while (std::chrono::steady_clock::now() < deadline) {
        mixer.setVolume(first, 0.5f);
        const double now = mixer.getStreamTime(clock);
        ASSERT_GE(now, last);
        last = now;
    }
    done = true;
    changer.join();
    EXPECT_GT(last, 0.1) << "the device thread kept mixing";
    mixer.deinit();
}

// A voice that outlives its sound keeps the samples alive. When it ends in the
// mix, the mixing thread must not free them (it would do so holding the lock
// the game waits on); the game's next play or stop does, on its own thread.
TEST(MixerThreads, SamplesOfAVoiceThatOutlivesItsSoundAreFreedByTheGameNotTheMix) {
    Mixer mixer;
    ASSERT_EQ(mixer.init(Mixer::kClipRoundoff, Mixer::Output::None), Mixer::kOk);
    for (const bool byPlay : {false, true}) {
        std::weak_ptr<const int16_t[]> samples;
        uint32_t                       voice = 0;
        {
            const Sound oneShot = testaudio::soundFrom(testaudio::sineStereo(3000, 220.0, 0.2f));
            samples             = oneShot.sharedSamples();
            voice               = mixer.play(oneShot);
        }
        ASSERT_FALSE(samples.expired()) << "the playing voice holds them";
        std::thread device([&] {
            std::vector<float> out(2 * kChunk);
            for (int n = 0; n < 3; ++n) mixer.mix(out.data(), kChunk);
        });
        device.join();
        EXPECT_FALSE(mixer.isValidVoiceHandle(voice)) << "the voice has ended";
        EXPECT_FALSE(samples.expired()) << "not freed by the mixing thread";
        const Sound next = testaudio::soundFrom(testaudio::sineStereo(100, 220.0, 0.2f));
        if (byPlay) mixer.play(next);
        else mixer.stopAll();
        EXPECT_TRUE(samples.expired()) << (byPlay ? "the next play" : "stopAll") << " freed them";
        mixer.stopAll();
    }
}
