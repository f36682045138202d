// Re-judging a recorded one-hour run, as a server checking replays would: five
// notes a second on two stems, every one touched near its time. Goal: under 50 ms.
#include "judge/Replay.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

constexpr double kHour = 3600.0;

std::vector<JudgeStem> hourOfCharts() {
    std::vector<JudgeStem> stems(2);
    for (size_t s = 0; s < stems.size(); ++s) {
        stems[s].charted = true;
        stems[s].active  = s == 0;
        for (double t = 1.0 + 0.1 * static_cast<double>(s); t < kHour; t += 0.4) {
            MidiNoteEvent event;
            event.time     = t;
            event.note     = 20 + static_cast<int>(t * 7) % 90;
            event.velocity = 40 + static_cast<int>(t * 3) % 80;
            event.isNoteOn = true;
            event.channel  = static_cast<int>(t) % 7 == 0 ? kHoldChannel : 0;
            event.duration = 0.3;
            stems[s].events.push_back(event);
        }
    }
    return stems;
}

Replay hourRun(const std::vector<JudgeStem>& stems) {
    Replay replay;
    Judge  judge;
    judge.logRules = false;
    judge.beginRun(stems, replay.settings);
    uint64_t finger = 0;
    for (const JudgeStem& stem : stems)
        for (const MidiNoteEvent& event : stem.events) {
            const float   x  = static_cast<float>(event.note * 1920) * 0.0078125f;
            const float   y  = playfieldY(event.velocity, 1080);
            const int64_t us = std::llround(event.time * 1e6) + static_cast<int64_t>(finger % 40) * 1000 - 20'000;
            replay.inputs.push_back({us, InputKind::Touch, true, ++finger, x, y});
            replay.inputs.push_back({us + 320'000, InputKind::Touch, false, finger, x, y});
        }
    std::stable_sort(replay.inputs.begin(), replay.inputs.end(),
                     [](const JudgeInput& a, const JudgeInput& b) { return a.us < b.us; });
    for (const JudgeInput& input : replay.inputs) judge.feed(input);
    replay.endUs = std::llround(kHour * 1e6);
    judge.advanceTo(replay.endUs);
    replay.claimed    = judge.result();
    replay.inputs     = judge.inputs();
    replay.startStems = judge.startStems();
    return replay;
}

void RejudgeOneHourRun(benchmark::State& state) {
    const std::vector<JudgeStem> stems  = hourOfCharts();
    const std::string            bytes  = encodeReplay(hourRun(stems));
    for (auto _ : state) {
        Replay      replay;
        std::string error;
        decodeReplay(bytes, replay, error);
        benchmark::DoNotOptimize(rejudge(replay, stems));
    }
    state.counters["replay_bytes"] = static_cast<double>(bytes.size());
}
BENCHMARK(RejudgeOneHourRun)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
