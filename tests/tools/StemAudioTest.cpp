// The rendered stems: every note of a chart starts a sound within 10 ms, the
// loop's wrap is as smooth as the rest of the stem, all stems of a level are
// exactly as long as its whole bars, and the same level gives the same bytes.
#include "LevelgenTestUtil.h"

#include "tools/levelgen/Generator.h"
#include "tools/levelgen/OggWriter.h"
#include "tools/levelgen/Playfield.h"
#include "tools/levelgen/StemRenderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace levelgen;

namespace {

// Short percussion (rim shot, claves, closed hi-hat) in an uneven rhythm over two bars.
Song percussionSong() {
    Song song;
    song.bpm  = 100;
    song.bars = 2;
    Stem stem;
    stem.name        = "perc";
    stem.mixRms      = 0.1f;
    const int keys[] = {37, 75, 42};
    int       i      = 0;
    for (int step : {0, 3, 6, 8, 11, 14, 16, 20, 23, 26, 28, 31})
        stem.notes.push_back({step * kTicksPerStep, kTicksPerStep, keys[i++ % 3], 100, kDrumChannel, true});
    song.stems.push_back(stem);
    return song;
}

// A soft pad note held to the very end of the loop, nothing at its start: what
// rings past the end must come back at the start, or the wrap clicks.
Song ringingSong() {
    Song song;
    song.bpm  = 120;
    song.bars = 1;
    Stem stem;
    stem.name    = "pad";
    stem.program = 89;  // Pad 2 (warm): smooth, so any seam stands out
    stem.notes.push_back({kTicksPerQuarter, 3 * kTicksPerQuarter, 48, 90, 0, true});
    song.stems.push_back(stem);
    return song;
}

class StemAudio : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(synthReady(kDefaultSoundfont)) << "tools/setup.sh installs the soundfont"; }
};

}  // namespace

TEST_F(StemAudio, EveryChartedNoteStartsASoundWithinTenMilliseconds) {
    Song               song = percussionSong();
    std::vector<float> pcm  = renderStem(song, song.stems[0], kDefaultSoundfont);
    ASSERT_EQ(pcm.size(), size_t(loopSamples(song)) * 2);
    int                channels = 0;
    std::vector<float> decoded  = lgtest::decodeOgg(encodeOggVorbis(pcm, kSampleRate), channels);
    ASSERT_EQ(channels, 2);
    for (const auto* signal : {&pcm, &decoded}) {
        std::vector<double> onsets = lgtest::detectOnsets(lgtest::mono(*signal), kSampleRate);
        EXPECT_EQ(onsets.size(), song.stems[0].notes.size());
        for (const Note& n : song.stems[0].notes) {
            double t    = tickToSeconds(n.tick, song.bpm);
            double best = 1e9;
            for (double o : onsets) best = std::min(best, std::fabs(o - t));
            EXPECT_LE(best, 0.010) << "note at " << t << " s";
        }
    }
}

TEST_F(StemAudio, TheWrapIsNoRougherThanTheRestOfTheStem) {
    Song               song = ringingSong();
    std::vector<float> pcm  = renderStem(song, song.stems[0], kDefaultSoundfont);
    ASSERT_EQ(pcm.size(), size_t(loopSamples(song)) * 2);
    int                channels = 0;
    std::vector<float> decoded  = lgtest::decodeOgg(encodeOggVorbis(pcm, kSampleRate), channels);
    for (const auto* signal : {&pcm, &decoded}) {
        std::vector<float> m = lgtest::mono(*signal);
        EXPECT_GT(std::fabs(m.front()) + std::fabs(m[1]) + std::fabs(m[2]), 1e-4f)
            << "the release of the last note should ring on into the start";
        EXPECT_LE(lgtest::wrapStep(m), lgtest::largestInnerStep(m));
        // And no larger than the steps right beside it (20 ms either side): no click.
        EXPECT_LE(lgtest::wrapStep(m), 1.5f * lgtest::largestInnerStep(m, kSampleRate / 50));
    }
}

TEST_F(StemAudio, AllStemsOfALevelAreExactlyItsWholeBars) {
    LevelPlan  level = lgtest::shortLevel({Role::Bass, Role::Pad, Role::Lead});
    LevelFiles files;
    ASSERT_TRUE(buildLevel(level, {}, files));
    const int64_t bar   = int64_t(kSampleRate) * 60 / level.style.bpm * kBeatsPerBar;
    int           stems = 0;
    for (const auto& [name, bytes] : files) {
        if (name.size() < 4 || name.compare(name.size() - 4, 4, ".ogg") != 0) continue;
        SCOPED_TRACE(name);
        int                channels = 0;
        std::vector<float> samples  = lgtest::decodeOgg(bytes, channels);
        ASSERT_EQ(channels, 2);
        EXPECT_EQ(int64_t(samples.size() / 2), bar * level.style.bars);
        ++stems;
    }
    EXPECT_EQ(stems, 4);
}

TEST_F(StemAudio, TheSameLevelGivesTheSameBytes) {
    LevelPlan  level = lgtest::shortLevel({Role::Arp});
    LevelFiles first, second;
    ASSERT_TRUE(buildLevel(level, {}, first));
    ASSERT_TRUE(buildLevel(level, {"", kDefaultSoundfont, 1}, second));  // one thread or two: no matter
    ASSERT_EQ(first.size(), second.size());
    for (const auto& [name, bytes] : first) {
        ASSERT_TRUE(second.count(name)) << name;
        EXPECT_TRUE(bytes == second.at(name)) << name << " differs";
    }
}
