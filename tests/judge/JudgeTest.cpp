// The rules on the heard clock alone: a run cut into frames of any length, or
// judged again from its recorded inputs, earns exactly the same; mashing keys
// never pays; each note has its turn at one circle; a hold counts its span.
#include "judge/Judge.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

constexpr int64_t kLagUs = 50'000;  // as the live game judges behind its clock

MidiNoteEvent note(double time, int pitch, int velocity, int channel = 0, double duration = 0.0) {
    MidiNoteEvent event;
    event.time     = time;
    event.note     = pitch;
    event.velocity = velocity;
    event.isNoteOn = true;
    event.channel  = channel;
    event.duration = duration;
    return event;
}

// Three stems a quarter second apart per note, every fifth note of the first a hold.
std::vector<JudgeStem> song(double seconds) {
    std::vector<JudgeStem> stems(3);
    for (size_t s = 0; s < stems.size(); ++s) {
        stems[s].name    = "stem" + std::to_string(s);
        stems[s].charted = true;
        stems[s].active  = s == 0;
        int i            = 0;
        for (double t = 1.0 + 0.08 * static_cast<double>(s); t < seconds; t += 0.25, ++i) {
            const bool hold = s == 0 && i % 5 == 4;
            stems[s].events.push_back(note(t, 20 + 13 * i % 100, 30 + 17 * i % 90, hold ? kHoldChannel : 0, 0.6));
        }
    }
    return stems;
}

JudgeSettings keyboardOn() {
    JudgeSettings settings;
    settings.keyboardGameplay = true;
    return settings;
}

JudgeInput at(double seconds, InputKind kind, bool press, uint64_t id, float x = 0.0f, float y = 0.0f) {
    return {static_cast<int64_t>(std::llround(seconds * 1e6)), kind, press, id, x, y};
}

// A player who touches each note of every stem near its time, misses a stretch
// in the middle (so layers drop), releases some holds early and hits a stray key.
std::vector<JudgeInput> player(const std::vector<JudgeStem>& stems, const JudgeSettings& settings) {
    std::vector<JudgeInput> inputs;
    std::mt19937            random(7);
    std::uniform_real_distribution<double> error(-0.09, 0.12);
    uint64_t finger = 1;
    for (const JudgeStem& stem : stems) {
        for (const MidiNoteEvent& event : stem.events) {
            if (event.time > 9.0 && event.time < 11.5) continue;
            const float  x     = static_cast<float>(event.note * settings.width) * 0.0078125f;
            const float  y     = playfieldY(event.velocity, settings.height);
            const double press = event.time + error(random);
            inputs.push_back(at(press, InputKind::Touch, true, finger, x, y));
            const double held = event.channel == kHoldChannel ? event.duration * (finger % 3 == 0 ? 0.3 : 1.05) : 0.05;
            inputs.push_back(at(press + held, InputKind::Touch, false, finger, x, y));
            ++finger;
        }
    }
    for (double t = 3.3; t < 20.0; t += 2.9) inputs.push_back(at(t, InputKind::Key, true, 'p'));
    std::stable_sort(inputs.begin(), inputs.end(), [](const JudgeInput& a, const JudgeInput& b) { return a.us < b.us; });
    return inputs;
}

struct Outcome {
    RunResult               result;
    std::vector<JudgeInput> recorded;
    int32_t                 drops = 0;
};

// The live loop: each frame hands the rules the inputs that came since the last
// one, then advances them to the frame's clock less the lag.
Outcome playLive(const std::vector<JudgeInput>& inputs, double frameSeconds, double jitter, uint32_t seed,
                 int64_t endUs) {
    Judge judge;
    judge.logRules = false;
    judge.beginRun(song(24.0), keyboardOn());
    std::mt19937                           random(seed);
    std::uniform_real_distribution<double> wobble(-jitter, jitter);
    Outcome                                outcome;
    size_t                                 next  = 0;
    double                                 clock = 0.0;
    while (std::llround(clock * 1e6) < endUs) {
        clock += frameSeconds * (1.0 + wobble(random));
        const int64_t frameUs = std::llround(clock * 1e6);
        for (; next < inputs.size() && inputs[next].us <= frameUs; ++next) judge.feed(inputs[next]);
        judge.advanceTo(frameUs - kLagUs);
        for (const LayerChange& change : judge.takeLayerChanges()) outcome.drops += change.on ? 0 : 1;
    }
    for (; next < inputs.size(); ++next) judge.feed(inputs[next]);
    judge.advanceTo(endUs);
    outcome.result   = judge.result();
    outcome.recorded = judge.inputs();
    return outcome;
}

RunResult rejudge(const std::vector<JudgeInput>& recorded, int64_t endUs) {
    Judge judge;
    judge.logRules = false;
    judge.beginRun(song(24.0), keyboardOn());
    for (const JudgeInput& input : recorded) judge.feed(input);
    judge.advanceTo(endUs);
    return judge.result();
}

bool sameInputs(const std::vector<JudgeInput>& a, const std::vector<JudgeInput>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const JudgeInput& x, const JudgeInput& y) {
        return x.us == y.us && x.kind == y.kind && x.press == y.press && x.id == y.id && x.x == y.x && x.y == y.y;
    });
}

TEST(Judge, FrameTimesJitteredByHalfAFrameChangeNothingAndTheRecordJudgesTheSame) {
    const int64_t end    = 25'000'000;
    const auto    inputs = player(song(24.0), keyboardOn());
    const Outcome steady = playLive(inputs, 1.0 / 60.0, 0.0, 1, end);
    EXPECT_GE(steady.result.highestLayer, 3) << "the run unlocks layers";
    EXPECT_GE(steady.drops, 1) << "and drops one in the missed stretch";
    EXPECT_GT(steady.result.misses, 3);
    EXPECT_GT(steady.result.strays, 0);
    EXPECT_GT(steady.result.perfect, 0);
    EXPECT_GT(steady.result.good + steady.result.great, 0);

    for (const auto& [frame, seed] : {std::pair{1.0 / 60.0, 2u}, std::pair{1.0 / 60.0, 3u}, std::pair{1.0 / 30.0, 4u},
                                      std::pair{1.0 / 144.0, 5u}}) {
        const Outcome jittered = playLive(inputs, frame, 0.5, seed, end);
        EXPECT_EQ(firstDifference(jittered.result, steady.result), std::string()) << "frame " << frame;
        EXPECT_EQ(jittered.drops, steady.drops);
        EXPECT_TRUE(sameInputs(jittered.recorded, steady.recorded));
    }
    EXPECT_EQ(firstDifference(rejudge(steady.recorded, end), steady.result), std::string());
}

TEST(Judge, MashingOneKeyBreaksTheComboAtEveryPressThatFindsNoCircle) {
    const int64_t end = 25'000'000;
    Judge         honest;
    honest.logRules = false;
    honest.beginRun(song(24.0), keyboardOn());
    for (const JudgeInput& input : player(song(24.0), keyboardOn())) honest.feed(input);
    honest.advanceTo(end);

    Judge masher;
    masher.logRules = false;
    masher.beginRun(song(24.0), keyboardOn());
    int32_t presses = 0;
    for (double t = 0.5; t < 24.0; t += 1.0 / 12.0, ++presses) {
        masher.feed(at(t, InputKind::Key, true, 'e'));
        masher.feed(at(t + 0.03, InputKind::Key, false, 'e'));
    }
    masher.advanceTo(end);
    const RunResult mashed = masher.result();
    EXPECT_EQ(mashed.strays + mashed.perfect + mashed.great + mashed.good, presses);
    EXPECT_GT(mashed.strays, presses / 2);
    EXPECT_LT(mashed.score, honest.result().score / 4);
    EXPECT_EQ(mashed.highestLayer, 1) << "a combo never lasts long enough to unlock";

    Judge pointer;  // a click on nothing stays free
    pointer.logRules = false;
    pointer.beginRun(song(24.0), keyboardOn());
    pointer.feed(at(0.5, InputKind::Mouse, true, kMouseId, 5.0f, 5.0f));
    EXPECT_EQ(pointer.result().strays, 0);
}

TEST(Judge, EachNoteHasOneTurnAtACircleHoweverTheClockIsCut) {
    std::vector<JudgeStem> stems(1);
    stems[0].charted     = true;
    stems[0].active      = true;
    stems[0].loopSeconds = 4.0;
    for (double t : {1.0, 1.005, 2.0, 2.02, 3.5}) stems[0].events.push_back(note(t, 60, 100));
    stems[0].events.push_back(note(4.5, 60, 100));  // past the loop's end: never heard
    for (const int64_t step : {1'000, 16'667, 700'000}) {
        Judge judge;
        judge.logRules = false;
        judge.beginRun(stems, JudgeSettings{});
        for (int64_t us = 0; us <= 9'000'000; us += step) judge.advanceTo(us);
        EXPECT_EQ(judge.result().misses, 8) << "two passes of four circles (5 ms apart is one), step " << step;
    }

    std::vector<JudgeStem> dense(1);  // far more than anyone could meet
    dense[0].charted = true;
    dense[0].active  = true;
    for (int i = 0; i < 200'000; ++i) dense[0].events.push_back(note(2.0 + i * 5e-6, i % 128, 100));
    Judge judge;
    judge.logRules = false;
    judge.beginRun(dense, JudgeSettings{});
    judge.advanceTo(2'000'000);
    EXPECT_LE(judge.circles.size(), 512u);
    EXPECT_GT(judge.circles.size(), 100u);
}

TEST(Judge, AHoldCountsFromItsPressAndAReleaseIsJudgedOnItsSpan) {
    std::vector<JudgeStem> stems(1);
    stems[0].charted = true;
    stems[0].active  = true;
    stems[0].events  = {note(2.0, 40, 64, kHoldChannel, 1.0), note(5.0, 40, 64, kHoldChannel, 1.0)};
    Judge judge;
    judge.logRules = false;
    judge.beginRun(stems, JudgeSettings{});
    const float x = 40 * 1920 * 0.0078125f, y = playfieldY(64, 1080);
    judge.feed(at(2.05, InputKind::Mouse, true, kMouseId, x, y));
    const int32_t afterPress = judge.score;
    judge.advanceTo(3'040'000);
    EXPECT_EQ(judge.score, afterPress) << "a second from the note, not yet a second held";
    judge.advanceTo(3'051'000);
    EXPECT_EQ(judge.score, afterPress + 110) << "complete a second after the press, at a combo of 1";
    judge.feed(at(3.1, InputKind::Mouse, false, kMouseId, x, y));
    EXPECT_TRUE(judge.circles.empty());

    judge.feed(at(5.0, InputKind::Mouse, true, kMouseId, x, y));
    judge.feed(at(5.65, InputKind::Mouse, false, kMouseId, x, y));
    EXPECT_EQ(judge.result().misses, 1) << "0.65 s of 1 s is short of the tolerance";
}

}  // namespace
