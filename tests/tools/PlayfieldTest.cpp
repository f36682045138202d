// Where circles land: the game's placement arithmetic, the screen-safe ranges,
// and the playability pass over every level (every ring on a 1920 x 1080
// screen, no two circles that can be hit together overlapping, even across
// the loop's wrap).
#include "tools/levelgen/Catalogue.h"
#include "tools/levelgen/Composer.h"
#include "tools/levelgen/Playfield.h"

#include <gtest/gtest.h>

using namespace levelgen;

namespace {

Song twoStemSong() {
    Song song;
    song.bpm  = 120;
    song.bars = 1;
    for (int s = 0; s < 2; ++s) {
        Stem stem;
        stem.name       = "s" + std::to_string(s);
        stem.startOrder = s;
        stem.band       = {40, 100};
        song.stems.push_back(stem);
    }
    return song;
}

}  // namespace

TEST(Playfield, CentresFollowTheGamesArithmetic) {
    Point p = circleCentre(64, 100);
    EXPECT_FLOAT_EQ(p.x, 960.0f);
    EXPECT_FLOAT_EQ(p.y, 843.75f);
    EXPECT_FLOAT_EQ(circleCentre(0, 0).x, 0.0f);
}

TEST(Playfield, TheWholeRingMustBeOnScreen) {
    EXPECT_FALSE(ringOnScreen(6, 64));   // x 90: the ring crosses the left edge
    EXPECT_TRUE(ringOnScreen(7, 64));    // x 105
    EXPECT_TRUE(ringOnScreen(121, 64));  // x 1815
    EXPECT_FALSE(ringOnScreen(122, 64));
    EXPECT_FALSE(ringOnScreen(64, 11));  // y 92.8
    EXPECT_TRUE(ringOnScreen(64, 12));
    EXPECT_TRUE(ringOnScreen(64, 116));  // y 978.75
    EXPECT_FALSE(ringOnScreen(64, 117));
    EXPECT_FALSE(ringOnScreen(-1, 64));
    EXPECT_FALSE(ringOnScreen(64, 0));
}

TEST(Playfield, SimultaneousNotesOnOneSpotAreSeparatedOrLeftToTheAudio) {
    Song song = twoStemSong();
    song.stems[0].notes.push_back({0, 240, 60, 70, 0, true});
    song.stems[1].notes.push_back({0, 240, 61, 70, 0, true});    // on top of the first
    song.stems[1].notes.push_back({960, 240, 62, 70, 0, true});  // half a second later: fine
    PlayfieldReport report = makePlayable(song);
    EXPECT_EQ(song.stems[0].notes[0].velocity, 70);  // the stem unlocked first keeps its place
    const Note& moved = song.stems[1].notes[0];
    EXPECT_TRUE(moved.charted);
    EXPECT_GE(std::abs(moved.velocity - 70), 24);  // 200 px at 1080 / 128 per step
    EXPECT_EQ(song.stems[1].notes[1].velocity, 70);
    EXPECT_EQ(report.moved, 1);

    song.stems[1].band              = {68, 72};  // no room to move: the note is only heard
    song.stems[1].notes[0].velocity = 70;
    report                          = makePlayable(song);
    EXPECT_FALSE(song.stems[1].notes[0].charted);
    EXPECT_EQ(report.dropped, 1);
}

TEST(Playfield, CrowdingCountsAcrossTheLoopsWrap) {
    Song song = twoStemSong();
    song.stems[0].notes.push_back({kTicksPerBar - 120, 60, 60, 70, 0, true});  // 62.5 ms before the end
    song.stems[1].notes.push_back({0, 60, 60, 70, 0, true});
    std::vector<Circle> circles = chartedCircles(song);
    ASSERT_EQ(circles.size(), 2u);
    EXPECT_TRUE(circlesCrowd(circles[0], circles[1], 2.0));
    makePlayable(song);
    circles = chartedCircles(song);
    EXPECT_TRUE(circles.size() < 2 || !circlesCrowd(circles[0], circles[1], 2.0));
}

TEST(Playfield, AStemKeepsItsMinimumGapAndMayReturnToAReleasedHold) {
    Song  song    = twoStemSong();
    Stem& s       = song.stems[0];
    s.minChartGap = 0.2;
    s.notes.push_back({0, 840, 60, 70, kHoldChannel, true});  // hold for 0.875 s
    s.notes.push_back({960, 120, 60, 70, 0, true});           // same spot 0.125 s after release
    s.notes.push_back({1020, 120, 80, 30, 0, true});          // 62.5 ms after the previous tap
    makePlayable(song);
    EXPECT_TRUE(s.notes[0].charted);
    EXPECT_TRUE(s.notes[1].charted);
    EXPECT_EQ(s.notes[1].velocity, 70);
    EXPECT_FALSE(s.notes[2].charted);
}

TEST(Playfield, EveryLevelIsScreenSafeAndUncrowded) {
    for (const LevelPlan& level : levelCatalogue()) {
        SCOPED_TRACE(level.folder);
        Song song = composeSong(level.style);
        makePlayable(song);
        double              loop    = tickToSeconds(loopTicks(song), song.bpm);
        std::vector<Circle> circles = chartedCircles(song);
        EXPECT_GT(circles.size(), size_t(10 * song.bars / 2));
        for (const Stem& s : song.stems)
            for (const Note& n : s.notes)
                if (n.charted) EXPECT_TRUE(ringOnScreen(n.key, n.velocity)) << s.name << " key " << n.key;
        int crowded = 0;
        for (size_t i = 0; i < circles.size(); ++i)
            for (size_t j = i + 1; j < circles.size(); ++j) crowded += circlesCrowd(circles[i], circles[j], loop);
        EXPECT_EQ(crowded, 0);
    }
}

TEST(Playfield, ChartsGetDenserAndHoldMoreFromAToC) {
    double lastRate  = 0.0;
    int    lastHolds = -1;
    for (const LevelPlan& level : levelCatalogue()) {
        if (level.title.empty()) continue;  // the listed packages only, in list order
        SCOPED_TRACE(level.folder);
        Song song = composeSong(level.style);
        makePlayable(song);
        int holds = 0, circles = 0;
        for (const Stem& s : song.stems)
            for (const Note& n : s.notes) {
                circles += n.charted;
                holds += n.charted && n.channel == kHoldChannel;
            }
        double rate = circles / tickToSeconds(loopTicks(song), song.bpm);
        EXPECT_GT(rate, lastRate);
        EXPECT_GT(holds, lastHolds);
        lastRate  = rate;
        lastHolds = holds;
    }
}

TEST(Playfield, NotesTogetherNeverShareAKeyOfKeyboardGameplay) {
    EXPECT_EQ(keyboardKey(64, 100), keyboardKey(79, 86));  // t: column 64..79, loud row
    EXPECT_NE(keyboardKey(64, 85), keyboardKey(64, 86));
    EXPECT_NE(keyboardKey(63, 100), keyboardKey(64, 100));
    Song song = twoStemSong();
    song.stems[0].notes.push_back({0, 120, 64, 100, 0, true});
    song.stems[1].notes.push_back({0, 120, 79, 100, 0, true});  // 225 px away, but the same key
    song.stems[1].band = {86, 116};                             // and no other row to move to
    makePlayable(song);
    EXPECT_FALSE(song.stems[1].notes[0].charted);
}
