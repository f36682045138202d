// The audio system's playback on the offline mixer: the group clock, the start
// of every stem in one step, fades and deactivation, measured on the mixed
// samples themselves.
#include "AudioSystemFixture.h"

#include <gtest/gtest.h>

using namespace audiotest;
using testaudio::distinctStereo;

namespace {

// The frame a looping source plays `frame` frames after its start.
float sourceAt(const std::vector<float>& stereo, size_t frame, int channel) {
    return stereo[2 * (frame % (stereo.size() / 2)) + channel];
}

// Stereo frames of the mix against stem sources at the given gains, frame
// `first` of the mix being frame `first` of every source.
void expectMix(const std::vector<float>& mix, size_t first, const std::vector<float>& a, float gainA,
               const std::vector<float>& b, float gainB) {
    for (size_t k = 0; k < mix.size() / 2; ++k)
        for (int c = 0; c < 2; ++c)
            ASSERT_EQ(mix[2 * k + c], gainA * sourceAt(a, first + k, c) + gainB * sourceAt(b, first + k, c))
                << "frame " << first + k << " channel " << c;
}

std::string capturedOut(const std::function<void()>& action) {
    testing::internal::CaptureStdout();
    action();
    return testing::internal::GetCapturedStdout();
}

class StemPair : public OfflineAudio {
protected:
    void SetUp() override {
        OfflineAudio::SetUp();
        addStem("first.wav", first);
        addStem("second.wav", second);
    }

    // Kept under the limiter's knee together, so the mix is their plain sum.
    const std::vector<float> first  = distinctStereo(3001, 0.3f);
    const std::vector<float> second = fallingStereo(4999, 0.3f);
};

}  // namespace

TEST(AudioSystemInit, StartsTheEngineAndTheGroupWithTheSongDefaults) {
    AudioSystem       audio;
    const std::string out = capturedOut([&] { ASSERT_TRUE(audio.init(Mixer::Output::None)); });
    EXPECT_EQ(out, "SoLoud audio system initialized successfully.\n");
    EXPECT_TRUE(audio.engine.isVoiceGroup(audio.voiceGroup));
    EXPECT_FALSE(audio.playing);
    EXPECT_TRUE(audio.looping);
    EXPECT_EQ(audio.bpm, 120.0f);
    EXPECT_EQ(audio.speedFactor, 1.0f);
    EXPECT_EQ(audio.masterVolume, 1.0f);

    // A second start is refused by the engine, and said so with its code.
    testing::internal::CaptureStderr();
    EXPECT_FALSE(audio.init(Mixer::Output::None));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Failed to initialize SoLoud: Error code " + std::to_string(Mixer::kAlreadyStarted) + "\n");

    testsupport::TempDir dir;
    ASSERT_TRUE(audio.loadStem(writeStem(dir, "a.wav", distinctStereo(100))));
    audio.playAll();
    EXPECT_EQ(capturedOut([&] { audio.shutdown(); }), "SoLoud audio system shut down.\n");
    EXPECT_EQ(audio.voiceGroup, 0u);
    EXPECT_TRUE(audio.stems.empty());
}

TEST_F(StemPair, GroupClockAdvancesOneChunkPerMixedChunkAndKeepsGrowingAcrossLoops) {
    audio.playAll();
    ASSERT_TRUE(audio.playing);
    EXPECT_EQ(clock(), 0.0);
    for (int n = 1; n <= 100; ++n) {
        mixChunks(1);
        ASSERT_EQ(clock(), static_cast<double>(n * kChunk) / Mixer::kSampleRate) << "after chunk " << n;
    }
    // Both stems have wrapped dozens of times; the clock is the first stem's voice.
    EXPECT_GT(clock(), 40 * audio.stems[1].midi.lengthSeconds);
    EXPECT_EQ(clock(), audio.engine.getStreamTime(audio.stems[0].voice));
}

TEST_F(StemPair, RestartPlaysUnlockedStemsFromTheirFirstFrameInStepAndAtOnce) {
    audio.playAll();
    audio.fadeInStem(0, 0.0f);
    audio.fadeInStem(1, 0.0f);
    audio.update(0.016f);
    mixChunks(7);
    audio.stopAll();
    EXPECT_FALSE(audio.playing);
    EXPECT_EQ(audio.stems[0].voice, 0u);

    audio.playAll();
    const std::string out = capturedOut([&] { audio.activateFirstStem(); });
    EXPECT_EQ(out, "Activated first stem\n") << "stem 0 was still active: no new fade";
    EXPECT_FALSE(audio.stems[0].fading);
    expectMix(mixChunks(6), 0, first, 1.0f, second, 1.0f);
}

TEST_F(StemPair, FirstStemFadesInLinearlyAndTheOtherStaysSilent) {
    audio.playAll();
    expectMix(mixChunks(1), 0, first, 0.0f, second, 0.0f);  // nothing is unlocked yet
    EXPECT_EQ(capturedOut([&] { audio.activateFirstStem(); }),
              "Fading in stem: first.wav over 1s\nActivated first stem\n");
    size_t played = kChunk;
    for (int frame = 1; frame <= 4; ++frame) {
        audio.update(0.25f);
        const float expected = 0.25f * static_cast<float>(frame);
        EXPECT_EQ(audio.stems[0].volume, expected);
        mixChunks(1);  // the engine glides to the new volume over one chunk
        expectMix(mixChunks(2), played + kChunk, first, expected, second, 0.0f);
        played += 3 * kChunk;
    }
    EXPECT_FALSE(audio.stems[0].fading);
    EXPECT_EQ(audio.stems[0].fadeProgress, 1.0f);
    EXPECT_FALSE(audio.stems[1].active);
}

TEST_F(StemPair, FadeOfNoLengthCompletesOnTheNextUpdateEvenWithoutTimePassing) {
    audio.fadeInStem(0, 0.0f);
    audio.fadeInStem(1, -1.0f);
    audio.update(0.0f);
    for (const Stem& stem : audio.stems) {
        EXPECT_FALSE(stem.fading) << stem.name;
        EXPECT_EQ(stem.volume, 1.0f) << stem.name;
    }
}

TEST_F(StemPair, FadeRequestsOnActiveOrMissingStemsChangeNothingAndSayNothing) {
    audio.fadeInStem(0, 0.0f);
    audio.update(0.016f);
    const std::string out = capturedOut([&] {
        audio.fadeInStem(0, 3.0f);
        audio.fadeInStem(-1, 1.0f);
        audio.fadeInStem(2, 1.0f);
        audio.deactivateStem(-1);
        audio.deactivateStem(2);
    });
    EXPECT_EQ(out, "");
    EXPECT_EQ(audio.stems[0].fadeDuration, 0.0f);
    EXPECT_EQ(audio.stems[0].volume, 1.0f);
    EXPECT_FALSE(audio.stems[1].active);
}

TEST_F(StemPair, DeactivatedStemFallsSilentAtOnceAndKeepsItsPlace) {
    audio.playAll();
    audio.fadeInStem(0, 0.0f);
    audio.fadeInStem(1, 0.0f);
    audio.update(0.016f);
    expectMix(mixChunks(3), 0, first, 1.0f, second, 1.0f);

    EXPECT_EQ(capturedOut([&] { audio.deactivateStem(1); }), "Deactivated stem: second.wav\n");
    EXPECT_FALSE(audio.stems[1].active);
    EXPECT_EQ(audio.stems[1].volume, 0.0f);
    const std::vector<float> glide = mixChunks(1);  // reaches silence on its last frame
    const size_t             last  = 4 * kChunk - 1;
    EXPECT_EQ(glide[2 * (kChunk - 1)], sourceAt(first, last, 0));
    expectMix(mixChunks(5), 4 * kChunk, first, 1.0f, second, 0.0f);
    audio.update(0.016f);
    EXPECT_TRUE(audio.engine.isValidVoiceHandle(audio.stems[1].voice));

    audio.fadeInStem(1, 0.0f);
    audio.update(0.016f);
    mixChunks(1);
    expectMix(mixChunks(4), 10 * kChunk, first, 1.0f, second, 1.0f);
}

TEST(AudioSystemNoStems, PlayingNothingSaysSoAndStaysStopped) {
    AudioSystem audio;
    ASSERT_TRUE(audio.init(Mixer::Output::None));
    EXPECT_EQ(capturedOut([&] { audio.playAll(); }), "Playing all stems with voice group.\nNo stems to play.\n");
    EXPECT_FALSE(audio.playing);
    EXPECT_EQ(capturedOut([&] { audio.activateFirstStem(); }), "");
    audio.shutdown();
}

TEST_F(StemPair, SongBpmNeverChangesThePlaybackSpeed) {
    EXPECT_EQ(capturedOut([&] { audio.setBpm(128.0f); }), "BPM set to 128 (no playback speed change needed)\n");
    EXPECT_EQ(audio.bpm, 128.0f);

    audio.speedFactor = 1.5f;
    audio.playAll();
    EXPECT_EQ(capturedOut([&] { audio.setBpm(90.5f); }), "Set BPM to 90.5 (native tempo, speed factor: 1)\n");
    EXPECT_EQ(audio.speedFactor, 1.0f);
    audio.fadeInStem(0, 0.0f);
    audio.fadeInStem(1, 0.0f);
    audio.update(0.016f);
    expectMix(mixChunks(4), 0, first, 1.0f, second, 1.0f);
}
