// Two stems through SDL's real device path, with the disk driver standing in
// for a sound card: the written file is checked against the sources sample
// for sample while the first stem plays alone and after the second joins.
#include "AudioSystemFixture.h"

#include <SDL3/SDL.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <thread>

using namespace audiotest;

namespace {

uint64_t clockFrames(const AudioSystem& audio) {
    return static_cast<uint64_t>(std::llround(audio.engine.getStreamTime(audio.voiceGroup) * Mixer::kSampleRate));
}

// The main loop's part in the audio: a fade update per frame with the capped
// frame time, until done() or ten seconds.
bool runFramesUntil(AudioSystem& audio, const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    auto       last     = std::chrono::steady_clock::now();
    while (!done()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const auto now = std::chrono::steady_clock::now();
        if (now > deadline) return false;
        audio.update(std::min(0.033333335f, std::chrono::duration<float>(now - last).count()));
        last = now;
    }
    return true;
}

bool runFramesFor(AudioSystem& audio, double seconds) {
    const uint64_t until = clockFrames(audio) + static_cast<uint64_t>(seconds * Mixer::kSampleRate);
    return runFramesUntil(audio, [&] { return clockFrames(audio) >= until; });
}

}  // namespace

TEST(AudioSystemDevice, TwoStemsReachTheDeviceInStepWithTheirSources) {
    testsupport::TempDir        dir;
    const std::filesystem::path file = dir.path() / "heard.raw";
    testaudio::setSdlEnvironment("SDL_AUDIO_DRIVER", "disk");
    testaudio::setSdlEnvironment("SDL_AUDIO_DISK_OUTPUT_FILE", file.string());
    // The first stem outlasts the test; the second wraps several times. Both
    // together stay under the limiter's knee, so the mix is their plain sum.
    const std::vector<float> first        = testaudio::distinctStereo(4 * Mixer::kSampleRate, 0.3f);
    const std::vector<float> second       = fallingStereo(Mixer::kSampleRate / 4 + 7, 0.3f);
    const size_t             secondFrames = second.size() / 2;

    AudioSystem audio;
    ASSERT_TRUE(audio.init());
    ASSERT_TRUE(audio.loadStem(writeStem(dir, "first.wav", first)));
    ASSERT_TRUE(audio.loadStem(writeStem(dir, "second.wav", second)));
    audio.playAll();
    audio.activateFirstStem();
    ASSERT_TRUE(runFramesUntil(audio, [&] { return !audio.stems[0].fading; }));
    const uint64_t firstFull = clockFrames(audio);
    ASSERT_TRUE(runFramesFor(audio, 0.5));
    const uint64_t secondAsked = clockFrames(audio);
    audio.fadeInStem(1, 0.5f);
    ASSERT_TRUE(runFramesUntil(audio, [&] { return !audio.stems[1].fading; }));
    const uint64_t bothFull = clockFrames(audio);
    ASSERT_TRUE(runFramesFor(audio, 1.0));
    audio.shutdown();
    const std::vector<float> heard       = testaudio::readFloats(file.string());
    const size_t             heardFrames = heard.size() / 2;

    // The voices began on a chunk boundary of the device's stream; find which
    // from one frame of the stretch where the first stem played alone.
    const uint64_t aloneFrom = firstFull + kChunk;  // after the engine's one-chunk glide
    const uint64_t probe     = (aloneFrom + secondAsked) / 2;
    ASSERT_LT(aloneFrom + static_cast<uint64_t>(0.3 * Mixer::kSampleRate), secondAsked);
    size_t start = 0;
    while (start + probe < heardFrames &&
           (heard[2 * (start + probe)] != first[2 * probe] || heard[2 * (start + probe) + 1] != first[2 * probe + 1]))
        start += kChunk;
    ASSERT_LT(start + probe, heardFrames) << "the first stem at full volume is nowhere in the output";

    for (uint64_t k = aloneFrom; k < secondAsked; ++k)
        for (int c = 0; c < 2; ++c)
            ASSERT_EQ(heard[2 * (start + k) + c], first[2 * k + c]) << "first stem alone, frame " << k;

    const uint64_t togetherFrom = bothFull + kChunk;
    ASSERT_GT(heardFrames - start, togetherFrom + 2 * secondFrames) << "too little of both stems together";
    for (uint64_t k = togetherFrom; start + k < heardFrames; ++k)
        for (int c = 0; c < 2; ++c)
            ASSERT_EQ(heard[2 * (start + k) + c], first[2 * k + c] + second[2 * (k % secondFrames) + c])
                << "both stems, frame " << k;
}
