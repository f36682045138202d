// Charts of all stems together keep to the difficulty's density in every
// 4-second window, keep the notes on beats and the louder ones first, and
// leave no gap over 4 s in a stem that plays.
#include "songimport/Charting.h"

#include <gtest/gtest.h>

#include <algorithm>
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

}  // namespace
