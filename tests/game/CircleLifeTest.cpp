// The circle life cycle: the spawner one second ahead of the notes of audible
// stems, growth toward the ring, hold timing, and removal with or without a miss.
#include "GameFixture.h"

namespace {

using Spawner = GameFixture;


TEST_F(Spawner, PositionFollowsPitchAndVelocityAndSoDoesTheKey) {
    game.keyboardGameplay = true;
    game.spawnCircle(noteOn(1.0, 64, 100, 0, 0.5), 2, 1.0, 1920, 1080);
    const Circle& circle = game.circles[0];
    EXPECT_FLOAT_EQ(circle.x, 960.0f);
    // 100 / 128 of the height, drawn into the rings' span below the HUD's top 150 px.
    EXPECT_NEAR(circle.y, 100.0f + (843.75f - 100.0f) * 730.0f / 880.0f, 0.01f);
    EXPECT_EQ(circle.key, 't');
    EXPECT_EQ(circle.label, 'T');
    EXPECT_EQ(circle.radius, 40.0f);
    EXPECT_EQ(circle.targetRadius, 100.0f);
    EXPECT_EQ(circle.holdDuration, 0.2f) << "a tap lingers 0.2 s";
    EXPECT_EQ(circle.stemIndex, 2);
}

TEST_F(Spawner, EveryRingOnScreenStaysClearOfTheHud) {
    for (const int velocity : {12, 64, 116, 127}) {
        game.circles.clear();
        game.spawnCircle(noteOn(1.0, 64, velocity), 0, 1.0, 1920, 1080);
        const Circle& circle = game.circles[0];
        EXPECT_LE(circle.y + circle.targetRadius, 1080.0f - 150.0f) << "velocity " << velocity;
        EXPECT_GE(circle.y - circle.targetRadius, 0.0f) << "velocity " << velocity;
    }
}

TEST_F(Spawner, KeyRowsFollowTheVelocityBandsAndColumnsThePitch) {
    game.keyboardGameplay = true;
    const struct {
        int  note, velocity;
        char label;
    } cases[] = {
        {0, 41, 'Z'},   {15, 42, 'A'},   {16, 85, 'S'},   {31, 86, 'W'},
        {112, 10, ','}, {127, 127, 'I'}, {130, 100, 'E'},  // outside 0..127: row note mod 8
        {-3, 100, 'Y'},
    };
    for (const auto& c : cases) {
        game.spawnCircle(noteOn(1.0, c.note, c.velocity), 0, 1.0, 1920, 1080);
        EXPECT_EQ(game.circles.back().label, c.label) << c.note << "/" << c.velocity;
    }
    EXPECT_EQ(game.circles[4].key, ',');

    game.keyboardGameplay = false;
    game.spawnCircle(noteOn(1.0, 64, 100), 0, 1.0, 1920, 1080);
    EXPECT_EQ(game.circles.back().key, 0);
    EXPECT_EQ(game.circles.back().label, 0);
}

class CircleLife : public GameFixture {};

TEST_F(CircleLife, TapGrowsToItsRingAndLeavesWithAMissWhenUnhit) {
    game.spawnCircle(noteOn(1.0, 60, 100), 0, 1.0, 1920, 1080);
    game.updateCircles(0.01f);
    EXPECT_FLOAT_EQ(game.circles[0].radius, 20.0f);
    game.streamTime = 0.5;
    game.updateCircles(0.01f);
    EXPECT_FLOAT_EQ(game.circles[0].radius, 60.0f);
    game.streamTime = 1.0;
    game.updateCircles(0.01f);
    EXPECT_TRUE(game.circles[0].reached);
    game.streamTime = 1.19;
    game.updateCircles(0.01f);
    ASSERT_EQ(game.circles.size(), 1u);
    const auto output = capture([&] {
        game.streamTime = 1.21;
        game.updateCircles(0.01f);
    });
    EXPECT_TRUE(game.circles.empty());
    EXPECT_NE(output.out.find("Miss registered (1/3)"), std::string::npos);
    EXPECT_EQ(game.misses, 1);
}

TEST_F(CircleLife, ACircleWhoseTimeWasJumpedOverStillExpiresAtItsTime) {
    game.spawnCircle(noteOn(1.0, 60, 100), 0, 1.0, 1920, 1080);
    game.streamTime = 0.5;
    game.updateCircles(0.01f);
    game.streamTime = 1.5;
    game.updateCircles(0.033f);
    EXPECT_TRUE(game.circles.empty());
    EXPECT_EQ(game.misses, 1) << "a stalled frame does not excuse it";
}

TEST_F(CircleLife, HeldHoldCompletesThenCostsAMissWhenHeldTooLong) {
    game.spawnCircle(noteOn(1.0, 60, 100, 1, 2.0), 0, 1.0, 1920, 1080);
    game.streamTime = 1.0;
    game.judge(0, InputKind::Touch, 4, true, game.streamTime);
    const int32_t afterPress = game.score;
    play(1.99);
    EXPECT_FALSE(game.circles[0].holdDone);
    play(0.02);
    EXPECT_TRUE(game.circles[0].holdDone);
    EXPECT_EQ(game.score - afterPress, 100);
    EXPECT_EQ(game.combo, 2);
    play(0.28);
    ASSERT_EQ(game.circles.size(), 1u) << "2.29 s after its time it is still held quietly";
    const auto output = capture([&] { play(0.03); });
    EXPECT_TRUE(game.circles.empty());
    EXPECT_NE(output.out.find("Miss registered (1/3)"), std::string::npos);
    EXPECT_TRUE(game.pointerHolds.empty());
}

TEST_F(CircleLife, CompletedHoldReleasedInTimeLeavesQuietly) {
    game.spawnCircle(noteOn(1.0, 60, 100, 1, 2.0), 0, 1.0, 1920, 1080);
    game.streamTime = 1.0;
    game.judge(0, InputKind::Touch, 4, true, game.streamTime);
    play(2.1);
    const auto output = capture([&] {
        game.judge(game.pointerHolds.at(4), InputKind::Touch, 4, false, game.streamTime);
        play(0.02);
    });
    EXPECT_TRUE(game.circles.empty());
    EXPECT_EQ(output.out.find("Miss registered"), std::string::npos);
    EXPECT_EQ(output.out.find("Score added"), std::string::npos) << "the hold was already scored";
}

TEST_F(CircleLife, HoldNeverPressedLeavesItsLengthAfterItsTimeWithAMiss) {
    game.spawnCircle(noteOn(1.0, 60, 100, 1, 2.0), 0, 1.0, 1920, 1080);
    game.streamTime = 0.995;
    play(2.0);
    ASSERT_EQ(game.circles.size(), 1u);
    const auto output = capture([&] { play(0.02); });
    EXPECT_TRUE(game.circles.empty());
    EXPECT_NE(output.out.find("Miss registered (1/3)"), std::string::npos);
}

// The best is cleared until the fetch for this run answers: a best of the
// previous level must not be saved as this level's.
TEST_F(CircleLife, NewRunEmptiesCirclesCountersAndTheBestButKeepsNames) {
    game.levelName  = "Song";
    game.highScore  = 900;
    game.score      = 450;
    game.combo      = 7;
    game.layers     = 3;
    game.misses     = 2;
    game.multiplier = 4.0f;
    game.spawnCircle(noteOn(1.0, 60, 100), 0, 1.0, 1920, 1080);
    game.keyHolds['a'] = 0;
    game.newRun();
    EXPECT_TRUE(game.circles.empty());
    EXPECT_TRUE(game.keyHolds.empty());
    EXPECT_EQ(game.score + game.combo + game.misses, 0);
    EXPECT_EQ(game.layers, 1);
    EXPECT_EQ(game.multiplier, 1.0f);
    EXPECT_FALSE(game.inGame);
    EXPECT_EQ(game.highScore, 0);
    EXPECT_EQ(game.levelName, "Song");
}

TEST_F(CircleLife, NoteCallbackPulsesTheStemAndIgnoresANullRenderState) {
    game.setNoteCallback();
    MidiNoteEvent event = noteOn(1.0, 60, 127);
    event.stemIndex     = 2;
    render.stemPeak[2].store(2.0f);
    render.stemTarget[2].store(1.0f);
    game.noteCallback(event, nullptr);
    EXPECT_EQ(render.stemTarget[2].load(), 1.0f);
    game.noteCallback(event, &render);
    EXPECT_TRUE(render.stemPulsing[2].load());
    EXPECT_NE(render.stemTarget[2].load(), 1.0f);
}

}  // namespace
