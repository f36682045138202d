// Charts of all stems together keep to the difficulty's density in every
// 4-second window, keep the notes on beats and the louder ones first, and
// leave no gap over 4 s in a stem that plays. A song whose beats drift gets
// a tempo map its notes keep their times on.
#include "midi/MidiFile.h"
#include "songimport/Charting.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <cmath>
#include <vector>

namespace {

std::vector<ChartNote> notesEvery(double step, double from, double to, int velocity) {
    std::vector<ChartNote> notes;
    for (double t = from; t < to - 1e-9; t += step) notes.push_back({t, 0.05, 60, velocity, 0});
    return notes;
}

size_t fullestWindow(const std::vector<std::vector<ChartNote>>& charts) {
    std::vector<double> times;
    for (const auto& c : charts)
        for (const ChartNote& n : c) times.push_back(n.seconds);
    std::sort(times.begin(), times.end());
    size_t most = 0;
    for (size_t i = 0; i < times.size(); ++i)
        most = std::max(most, size_t(std::lower_bound(times.begin(), times.end(), times[i] + 4.0) - times.begin()) - i);
    return most;
}

TEST(Charting, AllStemsTogetherKeepToTheDensityOnBeatsFirst) {
    BeatGrid grid;
    grid.bpm       = 120.0f;  // beats every 0.5 s
    grid.steady    = true;
    grid.stepPhase = 0.0;
    for (Difficulty d : {Difficulty::Easy, Difficulty::Normal, Difficulty::Hard}) {
        const DifficultyRules rules = rulesFor(d);
        // Loud notes off the beat, quiet ones on it, and a sparse stem that goes quiet for 10 s.
        std::vector<std::vector<ChartNote>> charts = {notesEvery(0.5, 0.25, 40.0, 120), notesEvery(0.125, 0.0, 40.0, 30),
                                                      notesEvery(1.0, 0.0, 10.0, 20)};
        std::vector<ChartNote> late = notesEvery(1.0, 20.0, 40.0, 20);
        charts[2].insert(charts[2].end(), late.begin(), late.end());
        limitDensity(charts, grid, rules.maxPerSecond);
        EXPECT_LE(fullestWindow(charts), size_t(rules.maxPerSecond * 4.0)) << difficultyName(d);
        EXPECT_GE(fullestWindow(charts), size_t(rules.maxPerSecond * 4.0) - 1) << difficultyName(d);
        size_t onBeat = 0;
        for (const ChartNote& n : charts[1]) onBeat += std::fmod(n.seconds, 0.5) < 1e-9;
        // The gap closers of the other stems take a few places; the beats take the rest before loud off-beat notes.
        EXPECT_GE(onBeat, d == Difficulty::Easy ? 40u : 80u) << difficultyName(d);
        size_t offBeat = 0;
        for (const ChartNote& n : charts[1]) offBeat += std::fmod(n.seconds, 0.5) > 1e-9;
        if (d == Difficulty::Easy) EXPECT_LE(offBeat, 1u) << "a quiet off-beat note only to close the last gap";
        for (size_t s = 0; s < charts.size(); ++s)
            for (size_t i = 1; i < charts[s].size(); ++i) {
                const double gap     = charts[s][i].seconds - charts[s][i - 1].seconds;
                const bool   silence = s == 2 && charts[s][i - 1].seconds < 10.0 && charts[s][i].seconds >= 20.0;
                if (!silence) EXPECT_LE(gap, 4.0) << "stem " << s << " at " << charts[s][i].seconds;
            }
    }
}

TEST(Charting, DriftingBeatsBecomeATempoMapTheNotesKeepTheirTimesOn) {
    BeatGrid steady;
    steady.bpm = 120.0f;
    for (int i = 0; i < 40; ++i) steady.beats.push_back(0.3 + 0.5 * i + (i % 3) * 0.005);  // hop jitter only
    EXPECT_TRUE(tempoMap(steady).empty());

    BeatGrid drifting = steady;  // 120 BPM, then 100 BPM
    drifting.beats.clear();
    for (int i = 0; i < 40; ++i) drifting.beats.push_back(i < 20 ? 0.3 + 0.5 * i : 9.8 + 0.6 * (i - 19));
    const std::vector<double> map = tempoMap(drifting);
    ASSERT_EQ(map.size(), drifting.beats.size());
    EXPECT_NEAR(medianBpm(map), 100.0f, 0.5f);

    std::vector<ChartNote> notes;
    for (double t : {0.1, 0.3, 5.05, 9.8, 12.2, 21.0, 30.0}) notes.push_back({t, 0.1, 60, 90, 0});
    const std::vector<uint8_t> bytes = writeChartMidi(110.0f, map, notes);
    std::istringstream         in(std::string(bytes.begin(), bytes.end()));
    MidiFile                   midi;
    ASSERT_TRUE(midi.parse(in));
    midi.computeEventTimes();
    midi.mergeTracks();
    std::vector<double> read;
    double              firstTempo = 0.0;
    for (int i = 0; i < midi.eventCount(0); ++i) {
        if (midi.event(0, i).isNoteOn()) read.push_back(midi.event(0, i).seconds);
        if (midi.event(0, i).isTempo() && firstTempo == 0.0) firstTempo = midi.event(0, i).tempoBpm();
    }
    EXPECT_NEAR(firstTempo, 110.0, 0.01) << "the game reads the first tempo as the chart's own";
    ASSERT_EQ(read.size(), notes.size());
    for (size_t i = 0; i < notes.size(); ++i) EXPECT_NEAR(read[i], notes[i].seconds, 0.002) << i;
}

}  // namespace
