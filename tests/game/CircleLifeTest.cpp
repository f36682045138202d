// The circle life cycle: the spawner one second ahead of the notes of audible
// stems, growth toward the ring, hold timing, and removal with or without a miss.
#include "GameFixture.h"

namespace {

class Spawner : public GameFixture {
protected:
    void tick() { game.update(render, audio); }
};

TEST_F(Spawner, StoppedAudioSpawnsNothingButEmptiesTheFiredEvents) {
    addStem({0.5}, 10.0);
    game.triggeredEvents.push_back(noteOn(0.4, 60, 100));
    audio.playing = false;
    tick();
    EXPECT_TRUE(game.triggeredEvents.empty());
    EXPECT_TRUE(game.circles.empty());
    audio.playing = true;
    tick();
    EXPECT_EQ(game.circles.size(), 1u);
}

TEST_F(Spawner, LoopingStemPlacesTheNoteInTheCurrentOrNextPass) {
    addStem({0.2}, 10.0);
    audio.playing   = true;
    game.streamTime = 19.5;
    tick();
    ASSERT_EQ(game.circles.size(), 1u);
    EXPECT_NEAR(game.circles[0].time, 20.2, 1e-9);

    game.circles.clear();
    game.streamTime = 9.8;
    tick();
    ASSERT_EQ(game.circles.size(), 1u);
    EXPECT_NEAR(game.circles[0].time, 10.2, 1e-9);
}

TEST_F(Spawner, NotesGetACircleAtMostOneSecondAheadAndAtMostAMillisecondLate) {
    audio.looping = false;
    addStem({5.0}, 10.0);
    audio.playing = true;
    for (const auto& [clock, spawns] :
         {std::pair{3.99, false}, std::pair{4.0, true}, std::pair{5.0005, true}, std::pair{5.002, false}}) {
        game.circles.clear();
        audio.stems[0].midi.rewind();
        game.streamTime = clock;
        tick();
        EXPECT_EQ(game.circles.size(), spawns ? 1u : 0u) << "clock " << clock;
    }
    game.streamTime = 4.5;
    tick();
    EXPECT_EQ(game.circles[0].time, 5.0);
}

TEST_F(Spawner, ANoteNeverGetsTwoCircles) {
    addStem({1.5, 1.505, 2.0, 2.02}, 10.0);
    audio.playing   = true;
    game.streamTime = 1.1;
    tick();
    tick();
    EXPECT_EQ(game.circles.size(), 3u) << "5 ms apart is one circle, 20 ms apart two";
}

// A tap judged just after its note leaves at the next frame while the clock is
// still inside the note's late spawn window; the note must not come back as a
// fresh circle that then leaves as a miss.
TEST_F(Spawner, AnOnTimeHitIsNotFollowedByAPhantomCircle) {
    for (const bool looping : {false, true}) {
        audio.looping = looping;
        audio.stems.clear();
        addStem({5.0}, 10.0);
        audio.playing = true;
        game.newRun();
        game.inGame     = true;
        game.streamTime = 4.5;
        tick();
        ASSERT_EQ(game.circles.size(), 1u);
        const Circle circle = game.circles[0];

        game.streamTime   = 5.0004;
        const auto output = capture([&] {
            click(circle.x, 1080.0f - circle.y);
            game.updateCircles(0.0001f);  // the judged tap leaves
            tick();
            game.streamTime = 5.0009;  // still within a millisecond of the note
            tick();
            play(0.5);
        });
        EXPECT_TRUE(game.circles.empty()) << "looping " << looping;
        EXPECT_EQ(game.combo, 1);
        EXPECT_EQ(output.out.find("Miss registered"), std::string::npos) << output.out;
    }
}

TEST_F(Spawner, OnlyActiveStemsWithAChartUpToIndexSevenSpawn) {
    for (int i = 0; i < 9; ++i) addStem({0.5}, 10.0, i == 8);
    audio.playing = true;
    tick();
    EXPECT_TRUE(game.circles.empty()) << "stem 8 is beyond the visual slots";

    audio.stems[2].active      = true;
    audio.stems[2].midi.loaded = false;
    audio.stems[3].active      = true;
    audio.stems[3].midi.events.push_back(noteOn(0.6, 61, 0));  // velocity 0 is a note-off
    audio.stems[3].midi.events.back().isNoteOn = true;
    tick();
    ASSERT_EQ(game.circles.size(), 1u);
    EXPECT_EQ(game.circles[0].stemIndex, 3);
    EXPECT_EQ(game.circles[0].note, 60);
}

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

TEST_F(CircleLife, ACircleWhoseTimeWasJumpedOverLeavesWithoutAMiss) {
    game.spawnCircle(noteOn(1.0, 60, 100), 0, 1.0, 1920, 1080);
    game.streamTime = 0.5;
    game.updateCircles(0.01f);
    game.streamTime = 1.5;
    game.updateCircles(0.033f);
    EXPECT_TRUE(game.circles.empty());
    EXPECT_EQ(game.misses, 0);
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
    EXPECT_TRUE(pointerHolds.empty());
}

TEST_F(CircleLife, CompletedHoldReleasedInTimeLeavesQuietly) {
    game.spawnCircle(noteOn(1.0, 60, 100, 1, 2.0), 0, 1.0, 1920, 1080);
    game.streamTime = 1.0;
    game.judge(0, InputKind::Touch, 4, true, game.streamTime);
    play(2.1);
    const auto output = capture([&] {
        game.judge(pointerHolds.at(4), InputKind::Touch, 4, false, game.streamTime);
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
    keyHolds['a'] = 0;
    game.newRun();
    EXPECT_TRUE(game.circles.empty());
    EXPECT_TRUE(keyHolds.empty());
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
