// The replay file: a run written and read back judges to what it claimed, a
// minute of play stays small, and damaged or hostile files are refused whole.
#include "judge/Replay.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

namespace {

MidiNoteEvent tap(double time, int pitch) {
    MidiNoteEvent event;
    event.time     = time;
    event.note     = pitch;
    event.velocity = 90;
    event.isNoteOn = true;
    return event;
}

// A minute of five notes a second, each touched within 60 ms of its time.
Replay minuteRun(std::vector<JudgeStem>& stems) {
    stems.assign(1, JudgeStem{});
    stems[0].charted = true;
    stems[0].active  = true;
    for (int i = 0; i < 300; ++i) stems[0].events.push_back(tap(1.0 + 0.2 * i, 30 + i % 60));
    Replay replay;
    replay.gameVersion = "0.0.1";
    replay.levelName   = "Sample Level A";
    replay.player      = "Ada";
    Judge judge;
    judge.logRules = false;
    judge.beginRun(stems, replay.settings);
    std::mt19937                           random(3);
    std::uniform_real_distribution<double> error(-0.06, 0.06);
    for (const MidiNoteEvent& event : stems[0].events) {
        const float   x  = static_cast<float>(event.note * 1920) * 0.0078125f;
        const float   y  = playfieldY(event.velocity, 1080);
        const int64_t us = std::llround((event.time + error(random)) * 1e6);
        judge.feed({us, InputKind::Touch, true, 7, x, y});
        judge.feed({us + 40'000, InputKind::Touch, false, 7, x, y});
    }
    replay.endUs = 62'000'000;
    judge.advanceTo(replay.endUs);
    replay.claimed    = judge.result();
    replay.inputs     = judge.inputs();
    replay.startStems = judge.startStems();
    return replay;
}

TEST(Replay, AMinuteOfPlayIsSmallReadsBackWholeAndJudgesToItsClaim) {
    std::vector<JudgeStem> stems;
    const Replay           run   = minuteRun(stems);
    const std::string      bytes = encodeReplay(run);
    std::printf("a minute at 5 presses a second: %zu bytes\n", bytes.size());
    EXPECT_LT(bytes.size(), 5'000u);

    Replay      back;
    std::string error;
    ASSERT_TRUE(decodeReplay(bytes, back, error)) << error;
    EXPECT_EQ(back.player, "Ada");
    EXPECT_EQ(back.levelName, "Sample Level A");
    EXPECT_EQ(back.endUs, run.endUs);
    ASSERT_EQ(back.inputs.size(), run.inputs.size());
    EXPECT_GT(run.claimed.perfect, 200);
    EXPECT_EQ(firstDifference(rejudge(back, stems), run.claimed), std::string());

    Replay raised = back;  // a claim the inputs do not earn
    raised.claimed.score += 1;
    Replay again;
    ASSERT_TRUE(decodeReplay(encodeReplay(raised), again, error));
    EXPECT_EQ(firstDifference(again.claimed, rejudge(again, stems)), std::string("score"));
}

TEST(Replay, DamagedAndHostileFilesAreRefusedWithALine) {
    std::vector<JudgeStem> stems;
    const std::string      bytes = encodeReplay(minuteRun(stems));
    Replay                 back;
    std::string            error;
    for (size_t size = 0; size < bytes.size(); size += 1 + size / 7) {
        EXPECT_FALSE(decodeReplay(std::string_view(bytes).substr(0, size), back, error)) << size;
        EXPECT_EQ(error.rfind("Not a replay: ", 0), 0u) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos);
    }
    for (const size_t at : {size_t{3}, size_t{5}, size_t{12}, size_t{16}, bytes.size() / 2, bytes.size() - 1}) {
        std::string flipped = bytes;
        flipped[at] ^= 0x20;
        EXPECT_FALSE(decodeReplay(flipped, back, error)) << at;
    }

    // Well-formed frames around hostile bodies: counts beyond the file, an end before the last input.
    Replay hostile   = minuteRun(stems);
    hostile.endUs    = hostile.inputs.back().us - 1;
    EXPECT_FALSE(decodeReplay(encodeReplay(hostile), back, error));
    EXPECT_NE(error.find("ends before"), std::string::npos) << error;
    hostile          = minuteRun(stems);
    hostile.settings.layerCap = 1000;
    EXPECT_FALSE(decodeReplay(encodeReplay(hostile), back, error));
    std::string huge = encodeReplay(Replay{});
    huge[10]         = '\xff';  // a body said to be 4 GB
    huge[11] = huge[12] = huge[13] = '\xff';
    EXPECT_FALSE(decodeReplay(huge, back, error));
}

}  // namespace
