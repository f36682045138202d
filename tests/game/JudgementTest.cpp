// Judging presses and releases: the timing tiers and pitch bands, the hit test,
// touches against their synthetic mouse copies, hold windows and releases.
#include "GameFixture.h"

#include <sstream>
#include <string>

namespace {

constexpr float kX = 500.0f;
constexpr float kY = 400.0f;  // from the bottom
constexpr float kH = 1080.0f;

class Judgement : public GameFixture {
protected:
    void touchDown(uint64_t finger, float x, float yFromBottom) {
        TouchPoint& touch = input.touches[finger];
        touch.active      = true;
        touch.pressed     = true;
        touch.x           = x;
        touch.y           = kH - yFromBottom;
    }
    void touchUp(uint64_t finger) {
        TouchPoint& touch = input.touches[finger];
        touch.active      = false;
        touch.released    = true;
    }
    void key(int32_t code, bool down) {
        (down ? input.keysPressed : input.keysReleased)[code] = 0;  // no stamp: judged at the frame's clock
        frame();
    }
};

// A tap at offset seconds from its note (positive: late) on a given pitch.
struct TapCase {
    double  offset;
    int32_t note;
    int32_t points;
};

void PrintTo(const TapCase& c, std::ostream* os) { *os << "note " << c.note << " at " << c.offset << " s"; }

class TapScore : public Judgement, public ::testing::WithParamInterface<TapCase> {};

TEST_P(TapScore, TierTimingAndPitchGiveThePoints) {
    const TapCase& tap = GetParam();
    addCircle(kX, kY, 10.0, tap.note);
    game.streamTime = 10.0 + tap.offset;
    click(kX, kH - kY);
    EXPECT_TRUE(game.circles[0].judged);
    EXPECT_EQ(game.score, tap.points);
    EXPECT_EQ(game.combo, 1);
}

INSTANTIATE_TEST_SUITE_P(Tiers, TapScore,
                         ::testing::Values(TapCase{0.0, 40, 3 * 50 * 3},    // exact: timing 3, perfect
                                           TapCase{0.05, 40, 2 * 50 * 3},   // perfect
                                           TapCase{0.15, 40, 2 * 50 * 2},   // great
                                           TapCase{-0.05, 60, 2 * 20 * 3},  // early
                                           TapCase{0.0, 47, 450}, TapCase{0.0, 48, 270}, TapCase{0.0, 59, 270},
                                           TapCase{0.0, 72, 180}, TapCase{0.0, 73, 90}));

// A tap's window closes with its linger, at the press's moment, even if the
// circle is still listed because no frame has removed it yet.
TEST_F(Judgement, TapPastItsLingerIsNotHit) {
    addCircle(kX, kY, 10.0);
    game.streamTime = 10.0 + 0.21;
    click(kX, kH - kY);
    EXPECT_FALSE(game.circles[0].judged);
    EXPECT_EQ(game.score, 0);
}

TEST_F(Judgement, JudgedTapIsSetAsideAndLeavesNextFrame) {
    addCircle(kX, kY, 10.0);
    game.streamTime = 10.0;
    click(kX, kH - kY);
    EXPECT_EQ(game.circles[0].radius, 0.0f);
    EXPECT_EQ(game.circles[0].x, 1'000'000.0f);
    play(0.01);
    EXPECT_TRUE(game.circles.empty());
    EXPECT_EQ(game.misses, 0);
}

TEST_F(Judgement, MultiplierScalesAndTruncates) {
    game.multiplier = 2.5f;
    addCircle(kX, kY, 10.0, 40);
    game.streamTime   = 10.0;
    const auto output = capture([&] { click(kX, kH - kY); });
    EXPECT_EQ(game.score, 1125);
    EXPECT_NE(output.out.find("Score added: 1125 (Total: 1125)"), std::string::npos) << output.out;

    game.score      = 0;
    game.multiplier = 1.1f;
    addCircle(kX + 300, kY, 10.05, 60);
    click(kX + 300, kH - kY);
    EXPECT_EQ(game.score, 132);
}

TEST_F(Judgement, ScoreStopsAtTheLargestInt32) {
    game.score      = 2'147'483'000;
    game.multiplier = 80.0f;
    capture([&] { game.addScore(450); });
    EXPECT_EQ(game.score, 2'147'483'647);
    game.multiplier   = 1e30f;  // an addition that is itself past the range
    const auto output = capture([&] { game.addScore(450); });
    EXPECT_EQ(game.score, 2'147'483'647);
    EXPECT_NE(output.out.find("Score added: 2147483647 (Total: 2147483647)"), std::string::npos) << output.out;
}

TEST_F(Judgement, HighScoreLineComesBeforeEveryAdditionThatStaysAhead) {
    game.highScore = 500;
    addCircle(kX, kY, 10.0);
    addCircle(kX + 300, kY, 10.0);
    addCircle(kX + 600, kY, 10.0);
    game.streamTime   = 10.0;
    const auto output = capture([&] {
        click(kX, kH - kY);
        click(kX + 300, kH - kY);
        click(kX + 600, kH - kY);
    });
    EXPECT_EQ(output.out.find("High score updated: 450"), std::string::npos);
    EXPECT_TRUE(inOrder(output.out,
                        {"Score added: 450 (Total: 450)", "High score updated: 945", "Score added: 495 (Total: 945)",
                         "High score updated: 1485", "Score added: 540 (Total: 1485)"}))
        << "the multiplier follows each hit's combo";
    EXPECT_EQ(game.highScore, 1485);
}

TEST_F(Judgement, NothingIsJudgedOutsideARun) {
    game.inGame = false;
    addCircle(kX, kY, 10.0);
    game.streamTime = 10.0;
    click(kX, kH - kY);
    EXPECT_FALSE(game.circles[0].judged);
}

TEST_F(Judgement, CircleCannotBeHitMoreThanATenthEarly) {
    addCircle(kX, kY, 10.0);
    game.streamTime = 10.0 - 0.12;
    click(kX, kH - kY);
    EXPECT_FALSE(game.circles[0].judged);
    EXPECT_EQ(game.score, 0);
    game.streamTime = 10.0 - 0.08;
    click(kX, kH - kY);
    EXPECT_TRUE(game.circles[0].judged);
    EXPECT_GT(game.score, 0);
}

TEST_F(Judgement, HitTestTakesTheNearestCentreWithinTheRingAndSlack) {
    addCircle(kX, kY, 10.0);
    addCircle(kX + 60, kY, 10.0);
    game.streamTime = 10.0;
    EXPECT_EQ(game.hitTest(kX + 31, kY, game.streamTime), 1);
    EXPECT_EQ(game.hitTest(kX + 29, kY, game.streamTime), 0);
    EXPECT_EQ(game.hitTest(kX + 30, kY, game.streamTime), 0) << "a tie keeps the earlier circle";
    EXPECT_EQ(game.hitTest(kX - 101.5f, kY, game.streamTime), 0) << "within the ring plus 2 pixels";
    EXPECT_EQ(game.hitTest(kX - 102.5f, kY, game.streamTime), -1);
}

TEST_F(Judgement, HitTestSkipsJudgedHeldAndInactiveCircles) {
    addCircle(kX, kY, 10.0).judged = true;
    addCircle(kX, kY, 10.0).active = false;
    addCircle(kX, kY, 10.0, 40, 1, 2.0).holders.insert(7);
    game.streamTime = 10.0;
    EXPECT_EQ(game.hitTest(kX, kY, game.streamTime), -1);
    addCircle(kX, kY, 10.0);
    EXPECT_EQ(game.hitTest(kX, kY, game.streamTime), 3);
}

TEST_F(Judgement, PressOnEmptySpaceIsIgnoredSilently) {
    addCircle(kX, kY, 10.0);
    game.streamTime   = 10.0;
    const auto output = capture([&] { click(kX + 400, kH - kY); });
    EXPECT_TRUE(output.out.empty());
    EXPECT_EQ(game.misses, 0);
    EXPECT_FALSE(game.circles[0].judged);
}

TEST_F(Judgement, TouchAndItsSyntheticMouseClickJudgeOnce) {
    addCircle(kX, kY, 10.0);
    addCircle(kX, kY, 10.0);  // stacked: a second judgement would land here
    game.streamTime = 10.0;
    touchDown(3, kX, kY);
    input.mouseX        = kX;
    input.mouseY        = kH - kY;
    input.mouseWentDown = true;
    frame();
    ASSERT_EQ(game.circles.size(), 1u) << "the judged one leaves";
    EXPECT_FALSE(game.circles[0].judged);
    EXPECT_EQ(game.score, 450);
    EXPECT_EQ(game.combo, 1);
}

TEST_F(Judgement, FingerHoldPressHasTheWideWindow) {
    addCircle(kX, kY, 10.0, 40, 1, 2.0);
    game.streamTime = 10.3;
    touchDown(1, kX, kY);
    frame();
    EXPECT_EQ(game.score, 2 * 50 * 1) << "a = 0.7 is good";
    EXPECT_EQ(game.combo, 1);
    EXPECT_EQ(game.pointerHolds.at(1), 0);
}

TEST_F(Judgement, MouseHoldPressOutsideItsWindowBreaksTheComboButKeepsTiming) {
    game.combo             = 4;
    game.comboAtLastUnlock = 2;
    addCircle(kX, kY, 10.0, 40, 1, 2.0);
    game.streamTime = 9.95;
    play(0.35);
    click(kX, kH - kY);
    const Circle& circle = game.circles[0];
    EXPECT_TRUE(circle.judged);
    EXPECT_EQ(game.score, 0);
    EXPECT_EQ(game.combo, 0);
    EXPECT_EQ(game.comboAtLastUnlock, 0);
    EXPECT_EQ(game.misses, 0);
    EXPECT_EQ(circle.holders.count(static_cast<uint64_t>(-1)), 1u);
    play(0.5);
    EXPECT_EQ(game.circles[0].holders.size(), 1u) << "still timed";
    const auto output = capture([&] { click(kX, kH - kY, false, true); });
    EXPECT_NE(output.out.find("Miss registered (1/3)"), std::string::npos) << "0.8 s held of 2";
}

TEST_F(Judgement, SecondFingerOnAHeldCircleIsIgnored) {
    addCircle(kX, kY, 10.0, 40, 1, 2.0);
    game.streamTime = 10.0;
    touchDown(1, kX, kY);
    frame();
    touchDown(2, kX, kY);
    frame();
    EXPECT_EQ(game.circles[0].holders, (std::set<uint64_t>{1}));
    EXPECT_FALSE(game.pointerHolds.contains(2));
    play(1.8);
    touchUp(1);
    const auto output = capture([&] { frame(); });
    EXPECT_TRUE(
        inOrder(output.err, {"Touch released on hold note", "Not held successfully", "Good hold (with tolerance)"}));
    EXPECT_TRUE(game.pointerHolds.empty());
}

TEST_F(Judgement, HoldReleaseWithinToleranceScoresOutsideItMisses) {
    for (const auto& [held, good] : {std::pair{1.75, true}, std::pair{1.5, false}}) {
        game.reset(8);
        game.inGame     = true;
        game.multiplier = 2.0f;
        addCircle(kX, kY, 10.0, 40, 1, 2.0);
        game.streamTime = 10.0;
        touchDown(1, kX, kY);
        frame();
        const int32_t afterPress = game.score;
        play(held);
        touchUp(1);
        const auto output = capture([&] { frame(); });
        if (good) {
            EXPECT_TRUE(inOrder(output.err, {"Not held successfully", "Good hold (with tolerance)"})) << held;
            EXPECT_EQ(game.score - afterPress, 110) << "100 at the multiplier of a combo of 1";
            EXPECT_EQ(game.combo, 2);
        } else {
            EXPECT_TRUE(inOrder(output.err, {"Not held successfully", "Not held long enough"})) << held;
            EXPECT_NE(output.out.find("Miss registered (1/3)"), std::string::npos);
            EXPECT_EQ(game.score, afterPress);
            EXPECT_EQ(game.combo, 0);
        }
        EXPECT_TRUE(game.circles.empty()) << "judged, it leaves";
    }
}

TEST_F(Judgement, FingerDownAndUpInOneFrameIsAPressThatKeepsHolding) {
    addCircle(kX, kY, 10.0, 40, 1, 2.0);
    game.streamTime = 10.0;
    touchDown(1, kX, kY);
    touchUp(1);
    frame();
    EXPECT_EQ(game.circles[0].holders.size(), 1u);
    const auto completed = capture([&] { play(2.05); });
    EXPECT_NE(completed.out.find("Score added: 110"), std::string::npos) << completed.out;
    EXPECT_EQ(game.misses, 0);
    const auto overrun = capture([&] { play(0.3); });
    EXPECT_NE(overrun.out.find("Miss registered (1/3)"), std::string::npos);
    EXPECT_TRUE(game.circles.empty());
}

TEST_F(Judgement, MouseClickWithinOneFrameIsAPressThenARelease) {
    addCircle(kX, kY, 10.0, 40, 1, 2.0);
    game.streamTime   = 10.0;
    const auto output = capture([&] { click(kX, kH - kY, true, true); });
    EXPECT_TRUE(output.err.empty()) << "the mouse writes none of the touch messages";
    EXPECT_TRUE(inOrder(output.out, {"Score added: 450", "Miss registered (1/3)"}));
    EXPECT_TRUE(game.pointerHolds.empty());
}

TEST_F(Judgement, KeyboardHoldIsJudgedLikeAFingerWithoutMessages) {
    game.keyboardGameplay = true;
    game.spawnCircle(noteOn(10.0, 64, 100, 1, 2.0), 0, 10.0, 1920, 1080);
    ASSERT_EQ(game.circles[0].key, 't');
    game.streamTime = 10.0;
    key('t', true);
    EXPECT_EQ(game.keyHolds.at('t'), 0);
    EXPECT_EQ(game.score, 3 * 20 * 3);
    play(1.75);
    const auto output = capture([&] { key('t', false); });
    EXPECT_TRUE(output.err.empty());
    EXPECT_EQ(game.score, 180 + 110);
    EXPECT_TRUE(game.keyHolds.empty());
}

TEST_F(Judgement, KeyTakesTheOldestUnjudgedCircleWithItsKey) {
    game.keyboardGameplay = true;
    for (double time : {10.0, 10.05, 10.5}) game.spawnCircle(noteOn(time, 0, 10), 0, time, 1920, 1080);
    game.circles[0].judged = true;
    game.streamTime        = 10.0;
    key('z', true);
    ASSERT_EQ(game.circles.size(), 1u) << "the judged ones leave";
    EXPECT_EQ(game.circles[0].time, 10.5);
    EXPECT_EQ(game.combo, 1);
    key('z', true);
    EXPECT_FALSE(game.circles[0].judged) << "half a second early";
    EXPECT_EQ(game.combo, 0) << "a press that finds no circle of its key breaks the combo";
    EXPECT_EQ(game.stats.strays, 1);
    EXPECT_EQ(game.misses, 0);
}

TEST_F(Judgement, RemovalKeepsHoldIndicesOnTheirCircles) {
    addCircle(kX, kY, 10.0);                    // expires first
    addCircle(kX + 300, kY, 10.0, 40, 1, 2.0);  // held by finger 5
    game.streamTime = 10.0;
    touchDown(5, kX + 300, kY);
    frame();
    ASSERT_EQ(game.pointerHolds.at(5), 1);
    play(0.3);
    ASSERT_EQ(game.circles.size(), 1u);
    EXPECT_EQ(game.pointerHolds.at(5), 0);
    play(1.5);
    touchUp(5);
    const auto output = capture([&] { frame(); });
    EXPECT_NE(output.err.find("Good hold (with tolerance)"), std::string::npos);
}

std::string withoutFetchFailures(const std::string& err) {
    std::istringstream lines(err);
    std::string        kept, line;
    while (std::getline(lines, line))
        if (line.rfind("HTTP request failed", 0) != 0) kept += line + "\n";
    return kept;
}

TEST_F(Judgement, ReleaseAfterANewRunNeverTouchesTheNewCircles) {
    addCircle(kX, kY, 10.0, 40, 1, 2.0);
    game.streamTime = 10.0;
    touchDown(1, kX, kY);
    frame();
    game.newRun();
    game.inGame = true;
    addCircle(kX, kY, 11.0, 40, 1, 2.0);
    game.streamTime = 11.0;
    touchUp(1);
    const auto output = capture([&] { frame(); });
    // The new run's best-score fetch may fail on its own thread meanwhile; only the release must stay silent.
    EXPECT_TRUE(output.out.empty() && withoutFetchFailures(output.err).empty()) << output.out << output.err;
    EXPECT_FALSE(game.circles[0].judged);
    EXPECT_EQ(game.misses, 0);
}

TEST_F(Judgement, JudgeWithAnIndexOutOfRangeOnlyDropsTheHold) {
    game.pointerHolds[9] = 4;
    game.judge(4, InputKind::Touch, 9, false, game.streamTime);
    EXPECT_FALSE(game.pointerHolds.contains(9));
    game.judge(-1, InputKind::Key, 'a', true, game.streamTime);
    EXPECT_EQ(game.score, 0);
}

}  // namespace
