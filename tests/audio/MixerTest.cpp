#include "audio/Mixer.h"

#include "AudioFiles.h"
#include "audio/Sound.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using testaudio::distinctStereo;
using testaudio::soundFrom;

namespace {

constexpr int kChunk = Mixer::kChunkFrames;

double chunks(int n) { return static_cast<double>(n) * kChunk / Mixer::kSampleRate; }

std::vector<float> constantStereo(int frames, float value) { return std::vector<float>(2 * frames, value); }

class OfflineMixer : public testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(mixer.init(Mixer::kClipRoundoff, Mixer::Output::None), Mixer::kOk); }

    std::vector<float> mixFrames(int frames) {
        std::vector<float> out(2 * static_cast<size_t>(frames), 123.0f);
        EXPECT_TRUE(mixer.mix(out.data(), out.size() / 2));
        return out;
    }

    Mixer mixer;
};

}  // namespace

TEST_F(OfflineMixer, GroupClockAdvancesOneChunkPerMixedChunkAcrossLoops) {
    const Sound    shortLoop = soundFrom(distinctStereo(3000), true);  // wraps inside every chunk or two
    const uint32_t group     = mixer.createVoiceGroup();
    const uint32_t first     = mixer.play(shortLoop);
    ASSERT_TRUE(mixer.addVoiceToGroup(group, first));
    EXPECT_EQ(mixer.getStreamTime(group), 0.0);
    for (int n = 1; n <= 100; ++n) {
        mixFrames(kChunk);
        ASSERT_EQ(mixer.getStreamTime(group), chunks(n)) << "after chunk " << n;
    }
    EXPECT_GT(mixer.getStreamTime(group), 3 * shortLoop.getLength());
}

TEST_F(OfflineMixer, ClockMovesInWholeChunksWhateverTheReadSize) {
    const uint32_t voice = mixer.play(soundFrom(distinctStereo(100), true));
    mixFrames(1);
    EXPECT_EQ(mixer.getStreamTime(voice), chunks(1));
    mixFrames(kChunk - 1);
    EXPECT_EQ(mixer.getStreamTime(voice), chunks(1));
    mixFrames(1);
    EXPECT_EQ(mixer.getStreamTime(voice), chunks(2));
}

TEST_F(OfflineMixer, GroupClockIsItsFirstVoiceAndItsFirstLiveOneOnceThatEnds) {
    const Sound    oneShot = soundFrom(distinctStereo(kChunk + 100));
    const Sound    loop    = soundFrom(distinctStereo(500), true);
    const uint32_t group   = mixer.createVoiceGroup();
    const uint32_t looping = mixer.play(loop);
    mixFrames(3 * kChunk);  // the looping voice is three chunks ahead
    const uint32_t shortVoice = mixer.play(oneShot);
    mixer.addVoiceToGroup(group, shortVoice);
    mixer.addVoiceToGroup(group, looping);
    mixFrames(kChunk);
    EXPECT_EQ(mixer.getStreamTime(group), chunks(1));
    mixFrames(kChunk);
    EXPECT_FALSE(mixer.isValidVoiceHandle(shortVoice));
    EXPECT_EQ(mixer.getStreamTime(group), chunks(5));
}

TEST_F(OfflineMixer, VolumeAndPanLandWhereSet) {
    const uint32_t     voice = mixer.play(soundFrom(constantStereo(8 * kChunk, 0.5f), true), 0.5f);
    std::vector<float> out   = mixFrames(kChunk);
    for (float s : out) ASSERT_EQ(s, 0.25f);  // the first chunk starts at the set volume

    mixer.setVolume(voice, 1.0f);
    out = mixFrames(kChunk);
    for (int i = 1; i < kChunk; ++i) ASSERT_GT(out[2 * i], out[2 * i - 2]) << "the change glides";
    EXPECT_EQ(out[2 * kChunk - 2], 0.5f);
    out = mixFrames(kChunk);
    for (float s : out) ASSERT_EQ(s, 0.5f);

    mixer.setVolume(voice, 0.0f);
    mixFrames(kChunk);
    out = mixFrames(kChunk);
    for (float s : out) ASSERT_EQ(s, 0.0f);
    EXPECT_TRUE(mixer.isValidVoiceHandle(voice));

    const uint32_t left      = mixer.play(soundFrom(constantStereo(kChunk, 0.5f)), 1.0f, -1.0f);
    const uint32_t halfRight = mixer.play(soundFrom(constantStereo(kChunk, 0.25f)), 1.0f, 0.5f);
    ASSERT_NE(left, 0u);
    ASSERT_NE(halfRight, 0u);
    out = mixFrames(kChunk);
    for (int i = 0; i < kChunk; ++i) {
        ASSERT_EQ(out[2 * i], 0.5f + 0.125f);
        ASSERT_EQ(out[2 * i + 1], 0.25f);
    }
}

TEST_F(OfflineMixer, GlobalVolumeScalesTheWholeMix) {
    mixer.setGlobalVolume(0.5f);
    mixer.play(soundFrom(constantStereo(kChunk, 0.25f)));
    mixer.play(soundFrom(constantStereo(kChunk, 0.5f)));
    for (float s : mixFrames(kChunk)) ASSERT_EQ(s, 0.375f);
}

TEST_F(OfflineMixer, PausedVoiceIsSilentAndKeepsItsPlaceAndClock) {
    const std::vector<float> frames = distinctStereo(6 * kChunk);
    const uint32_t           voice  = mixer.play(soundFrom(frames), 1.0f, 0.0f, true);
    for (float s : mixFrames(3 * kChunk)) ASSERT_EQ(s, 0.0f);
    EXPECT_EQ(mixer.getStreamTime(voice), 0.0);

    mixer.setPause(voice, false);
    std::vector<float> out = mixFrames(kChunk);
    for (int i = 0; i < 2 * kChunk; ++i) ASSERT_EQ(out[i], frames[i]) << "sample " << i;

    mixer.setPause(voice, true);
    for (float s : mixFrames(2 * kChunk)) ASSERT_EQ(s, 0.0f);
    mixer.setPause(voice, false);
    out = mixFrames(kChunk);
    for (int i = 0; i < 2 * kChunk; ++i) ASSERT_EQ(out[i], frames[2 * kChunk + i]) << "sample " << i;
    EXPECT_EQ(mixer.getStreamTime(voice), chunks(2));
}

TEST_F(OfflineMixer, LoopContinuesSampleExactlyWithoutAGap) {
    const int                length = 3001;
    const std::vector<float> frames = distinctStereo(length);
    mixer.play(soundFrom(frames, true));
    const std::vector<float> out = mixFrames(5 * kChunk);
    for (int i = 0; i < 5 * kChunk; ++i) {
        ASSERT_EQ(out[2 * i], frames[2 * (i % length)]) << "frame " << i;
        ASSERT_EQ(out[2 * i + 1], frames[2 * (i % length) + 1]) << "frame " << i;
    }
}

TEST_F(OfflineMixer, OneShotVoiceEndsAndFreesItsHandle) {
    const std::vector<float> frames = distinctStereo(kChunk + 10);
    const uint32_t           voice  = mixer.play(soundFrom(frames));
    const std::vector<float> out    = mixFrames(3 * kChunk);
    for (int i = 0; i < 2 * (kChunk + 10); ++i) ASSERT_EQ(out[i], frames[i]);
    for (size_t i = 2 * (kChunk + 10); i < out.size(); ++i) ASSERT_EQ(out[i], 0.0f);
    EXPECT_FALSE(mixer.isValidVoiceHandle(voice));
}

// Stem A sounds only on the left, stem B (the same audio) only on the right:
// if they ever slip apart, right stops being the right channel of left's frame.
TEST_F(OfflineMixer, VoicesStartedBetweenTheSameChunksStayAligned) {
    const Sound stem = soundFrom(distinctStereo(5000), true);
    mixFrames(100);  // a chunk is under way: both voices wait for the next one
    const uint32_t a = mixer.play(stem, 1.0f, -1.0f);
    mixFrames(700);
    const uint32_t b     = mixer.play(stem, 1.0f, 1.0f);
    const uint32_t group = mixer.createVoiceGroup();
    mixer.addVoiceToGroup(group, a);
    mixer.addVoiceToGroup(group, b);
    mixFrames(kChunk - 800);

    std::vector<float> out = mixFrames(4 * kChunk);
    mixer.setRelativePlaySpeed(group, 1.37f);
    const std::vector<float> faster = mixFrames(6 * kChunk);
    out.insert(out.end(), faster.begin(), faster.end());
    for (size_t i = 0; i < out.size() / 2; ++i) ASSERT_FLOAT_EQ(out[2 * i + 1], -0.5f * out[2 * i]) << "frame " << i;
    EXPECT_EQ(out[0], testaudio::sampleAt(stem, 0));
    EXPECT_EQ(mixer.getStreamTime(a), mixer.getStreamTime(b));
}

// With a device, a chunk may be mixed between two plays; voices played paused
// and let go together through their group start in the same sample anyway.
TEST_F(OfflineMixer, PausedVoicesReleasedByTheirGroupStartTogether) {
    const Sound    stem  = soundFrom(distinctStereo(5000), true);
    const uint32_t group = mixer.createVoiceGroup();
    mixer.addVoiceToGroup(group, mixer.play(stem, 1.0f, -1.0f, true));
    mixFrames(kChunk);  // what the device thread may do at any moment
    mixer.addVoiceToGroup(group, mixer.play(stem, 1.0f, 1.0f, true));
    mixer.setPause(group, false);
    const std::vector<float> out = mixFrames(3 * kChunk);
    EXPECT_EQ(out[0], testaudio::sampleAt(stem, 0));
    for (size_t i = 0; i < out.size() / 2; ++i) ASSERT_EQ(out[2 * i + 1], -0.5f * out[2 * i]) << "frame " << i;
}

TEST_F(OfflineMixer, VoicePlayedAChunkLaterIsExactlyOneChunkBehind) {
    const std::vector<float> frames = distinctStereo(10 * kChunk);
    const Sound              stem   = soundFrom(frames);
    mixer.play(stem, 1.0f, -1.0f);
    mixFrames(kChunk);
    mixer.play(stem, 1.0f, 1.0f);
    const std::vector<float> out = mixFrames(kChunk);
    for (int i = 0; i < kChunk; ++i) {
        ASSERT_EQ(out[2 * i], frames[2 * (kChunk + i)]);
        ASSERT_EQ(out[2 * i + 1], frames[2 * i + 1]);
    }
}

TEST_F(OfflineMixer, RelativeSpeedResamplesButTheClockKeepsRealTime) {
    const std::vector<float> frames = distinctStereo(8 * kChunk);
    const uint32_t           voice  = mixer.play(soundFrom(frames));
    mixer.setRelativePlaySpeed(voice, 2.0f);
    std::vector<float> out = mixFrames(kChunk);
    for (int i = 0; i < kChunk; ++i) ASSERT_FLOAT_EQ(out[2 * i], frames[4 * i]) << "frame " << i;
    mixer.setRelativePlaySpeed(voice, 0.5f);
    out = mixFrames(kChunk);
    for (int i = 0; i < kChunk / 2; ++i) {
        const float first = frames[2 * (2 * kChunk + i)], next = frames[2 * (2 * kChunk + i + 1)];
        ASSERT_FLOAT_EQ(out[4 * i], first);
        ASSERT_FLOAT_EQ(out[4 * i + 2], 0.5f * (first + next));
    }
    EXPECT_EQ(mixer.getStreamTime(voice), chunks(2));
}

TEST_F(OfflineMixer, RoundoffLimitsSmoothlyAndLeavesQuietSamplesAlone) {
    // Two voices of a ramp from -0.75 to 0.75 sum to -1.5..1.5: past the knee
    // and full scale on both sides.
    std::vector<float> ramp(2 * kChunk);
    for (int i = 0; i < kChunk; ++i)
        ramp[2 * i] = ramp[2 * i + 1] = testaudio::onGrid(-0.75f + 1.5f * static_cast<float>(i) / (kChunk - 1));
    const Sound sound = soundFrom(ramp);
    mixer.play(sound);
    mixer.play(sound);
    const std::vector<float> out = mixFrames(kChunk);
    for (int i = 0; i < kChunk; ++i) {
        const float in = 2.0f * ramp[2 * i];
        ASSERT_LE(std::fabs(out[2 * i]), 1.0f);
        if (std::fabs(in) <= 0.8f) ASSERT_EQ(out[2 * i], in);
        if (i > 0) ASSERT_GT(out[2 * i], out[2 * i - 2]) << "a hard clip would flatten the top";
    }
    const Sound loud = soundFrom(constantStereo(kChunk, 0.9f));
    mixer.play(loud);
    mixer.play(loud);
    for (float s : mixFrames(kChunk)) {
        ASSERT_LT(s, 1.0f);
        ASSERT_GT(s, 0.99f);
    }
}

TEST(Mixer, WithoutRoundoffTheMixIsClippedHard) {
    Mixer mixer;
    ASSERT_EQ(mixer.init(0, Mixer::Output::None), Mixer::kOk);
    mixer.play(soundFrom(constantStereo(kChunk, 0.75f)));
    mixer.play(soundFrom(constantStereo(kChunk, 0.75f)));
    std::vector<float> out(2 * kChunk);
    ASSERT_TRUE(mixer.mix(out.data(), kChunk));
    for (float s : out) ASSERT_EQ(s, 1.0f);
}

TEST_F(OfflineMixer, UnknownAndStaleHandlesAreHarmless) {
    const Sound    sound = soundFrom(constantStereo(kChunk, 0.5f), true);
    const uint32_t stale = mixer.play(sound);
    const uint32_t group = mixer.createVoiceGroup();
    mixer.addVoiceToGroup(group, stale);
    mixer.stopAll();
    EXPECT_FALSE(mixer.isValidVoiceHandle(stale));
    EXPECT_TRUE(mixer.isVoiceGroup(group));
    EXPECT_EQ(mixer.getStreamTime(group), 0.0);

    const uint32_t fresh = mixer.play(sound);  // may take the stale voice's slot
    ASSERT_NE(fresh, 0u);
    EXPECT_NE(fresh, stale);
    for (const uint32_t bogus : {0u, stale, 0x12345u, 0xFFFFFFFFu, group}) {
        mixer.setVolume(bogus, 0.0f);
        mixer.setRelativePlaySpeed(bogus, 3.0f);
        mixer.setPause(bogus, true);
        EXPECT_FALSE(mixer.isValidVoiceHandle(bogus));
        EXPECT_FALSE(mixer.addVoiceToGroup(group, bogus));
    }
    for (const uint32_t bogus : {0u, stale, 0x12345u, 0xFFFFFFFFu, fresh}) {
        EXPECT_FALSE(mixer.addVoiceToGroup(bogus, fresh));
        mixer.destroyVoiceGroup(bogus);
    }
    EXPECT_TRUE(mixer.isVoiceGroup(group));
    EXPECT_FALSE(mixer.isVoiceGroup(0));
    EXPECT_FALSE(mixer.isVoiceGroup(fresh));
    EXPECT_EQ(mixer.getStreamTime(0x12345u), 0.0);
    for (float s : mixFrames(kChunk)) ASSERT_EQ(s, 0.5f) << "nothing reached the fresh voice";

    mixer.destroyVoiceGroup(group);
    EXPECT_FALSE(mixer.isVoiceGroup(group));
    EXPECT_FALSE(mixer.addVoiceToGroup(group, fresh));
    EXPECT_TRUE(mixer.isValidVoiceHandle(fresh)) << "a destroyed group's voices play on";
}

TEST_F(OfflineMixer, BadValuesAreIgnored) {
    const uint32_t voice = mixer.play(soundFrom(constantStereo(4 * kChunk, 0.5f)), NAN, NAN);
    mixer.setVolume(voice, 1.0f);
    mixer.setVolume(voice, INFINITY);
    mixer.setRelativePlaySpeed(voice, 0.0f);
    mixer.setRelativePlaySpeed(voice, -1.0f);
    mixer.setRelativePlaySpeed(voice, NAN);
    mixer.setGlobalVolume(NAN);
    mixFrames(kChunk);
    for (float s : mixFrames(kChunk)) ASSERT_EQ(s, 0.5f);
    EXPECT_EQ(mixer.getStreamTime(voice), chunks(2));
}

TEST_F(OfflineMixer, EmptySoundsAndAFullMixerStartNothing) {
    EXPECT_EQ(mixer.play(Sound{}), 0u);
    const Sound sound = soundFrom(constantStereo(10, 0.0f), true);
    for (int i = 0; i < Mixer::kMaxVoices; ++i) ASSERT_NE(mixer.play(sound), 0u) << "voice " << i;
    EXPECT_EQ(mixer.play(sound), 0u);
    for (int i = 0; i < Mixer::kMaxGroups; ++i) ASSERT_NE(mixer.createVoiceGroup(), 0u);
    EXPECT_EQ(mixer.createVoiceGroup(), 0u);
}

TEST_F(OfflineMixer, AVoiceOutlivesItsSound) {
    const std::vector<float> frames = distinctStereo(3 * kChunk);
    auto                     sound  = std::make_unique<Sound>(soundFrom(frames));
    mixer.play(*sound);
    sound.reset();
    const std::vector<float> out = mixFrames(2 * kChunk);
    for (int i = 0; i < 4 * kChunk; ++i) ASSERT_EQ(out[i], frames[i]);
}

TEST(Mixer, DoesNothingUntilStartedAndAfterShutDown) {
    Mixer       mixer;
    const Sound sound = soundFrom(distinctStereo(100));
    EXPECT_EQ(mixer.play(sound), 0u);
    EXPECT_EQ(mixer.createVoiceGroup(), 0u);
    std::vector<float> out(2 * kChunk, 1.0f);
    EXPECT_FALSE(mixer.mix(out.data(), kChunk));
    for (float s : out) ASSERT_EQ(s, 0.0f);

    ASSERT_EQ(mixer.init(Mixer::kClipRoundoff, Mixer::Output::None), Mixer::kOk);
    EXPECT_EQ(mixer.init(Mixer::kClipRoundoff, Mixer::Output::None), Mixer::kAlreadyStarted);
    const uint32_t voice = mixer.play(sound);
    const uint32_t group = mixer.createVoiceGroup();
    mixer.deinit();
    EXPECT_FALSE(mixer.isValidVoiceHandle(voice));
    EXPECT_FALSE(mixer.isVoiceGroup(group));
    EXPECT_FALSE(mixer.mix(out.data(), kChunk));
    mixer.deinit();
}
