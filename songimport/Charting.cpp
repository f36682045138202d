#include "songimport/Charting.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <set>

namespace {

constexpr double kSnapTolerance = 0.035;  // seconds
constexpr int    kSixteenths    = 4;
constexpr float  kLoudnessRange = 15.0f;  // dB below the stem's loudest onset still charted
constexpr double kHoldSeconds   = 0.5;
constexpr double kTapLength     = 0.1;
constexpr double kReleaseGap    = 0.1;  // a hold ends this long before the next note
constexpr int    kHoldChannel   = 1;
// Keys and velocities that keep the game's target ring (radius 100) on a 1920 x 1080 screen.
constexpr int kLowestKey = 8, kHighestKey = 119;
constexpr int kSoftest = 24, kLoudest = 112;

constexpr double kDensityWindow = 4.0;  // seconds
constexpr double kLongestGap     = 4.0;  // seconds without a circle in a stem that plays
constexpr double kTempoDrift     = 0.02;  // seconds a beat may stray from one tempo

// The nearest step (a sixteenth at 4 steps a beat, the beat at 1): of the
// locked grid, or of the tracked beats (extended past both ends at the song's tempo).
double nearestStep(double t, const BeatGrid& grid, int stepsPerBeat) {
    const double period = grid.bpm > 0.0f ? 60.0 / grid.bpm : 0.5;
    if (grid.steady) {
        const double step = period / stepsPerBeat;
        return grid.stepPhase + step * std::round((t - grid.stepPhase) / step);
    }
    if (grid.beats.empty()) return t;
    auto   next = std::lower_bound(grid.beats.begin(), grid.beats.end(), t);
    double from = 0.0, span = period;
    if (next == grid.beats.begin()) {
        from = grid.beats.front() - period * std::ceil((grid.beats.front() - t) / period);
    } else if (next == grid.beats.end()) {
        from = grid.beats.back() + period * std::floor((t - grid.beats.back()) / period);
    } else {
        from = *std::prev(next);
        span = *next - from;
    }
    const double step = span / stepsPerBeat;
    return from + step * std::round((t - from) / step);
}

double snapped(double t, const BeatGrid& grid) {
    const double step = nearestStep(t, grid, kSixteenths);
    return std::fabs(step - t) <= kSnapTolerance ? std::max(0.0, step) : t;
}

// Louder onsets claim their place first; a quieter one within minGap of a kept one goes.
std::vector<const HeardOnset*> thinned(const std::vector<HeardOnset>& heard, double minGap) {
    float loudest = -100.0f;
    for (const HeardOnset& h : heard) loudest = std::max(loudest, h.loudnessDb);
    std::vector<const HeardOnset*> byLoudness;
    for (const HeardOnset& h : heard)
        if (h.loudnessDb >= loudest - kLoudnessRange) byLoudness.push_back(&h);
    std::stable_sort(byLoudness.begin(), byLoudness.end(),
                     [](const HeardOnset* a, const HeardOnset* b) { return a->loudnessDb > b->loudnessDb; });
    std::set<double>               taken;
    std::vector<const HeardOnset*> kept;
    for (const HeardOnset* h : byLoudness) {
        auto after = taken.lower_bound(h->time - minGap + 1e-9);
        if (after != taken.end() && *after < h->time + minGap - 1e-9) continue;
        taken.insert(h->time);
        kept.push_back(h);
    }
    std::sort(kept.begin(), kept.end(), [](const HeardOnset* a, const HeardOnset* b) { return a->time < b->time; });
    return kept;
}

bool onBeat(double t, const BeatGrid& grid) { return std::fabs(nearestStep(t, grid, 1) - t) <= kSnapTolerance; }

struct Candidate {
    size_t stem = 0, index = 0;
    bool   beat = false;
};

// Whether one more note at `t` keeps every 4-second window holding it within
// `most` notes. The fullest such windows start at t or at a kept note before it.
bool roomFor(const std::multiset<double>& kept, double t, size_t most) {
    const auto within = [&](double from) {
        return size_t(std::distance(kept.lower_bound(from), kept.lower_bound(from + kDensityWindow)));
    };
    if (within(t) + 1 > most) return false;
    for (auto it = kept.upper_bound(t - kDensityWindow); it != kept.end() && *it <= t; ++it)
        if (within(*it) + 1 > most) return false;
    return true;
}

// The index of the loudest note of `chart` in (from, to], the later one of equals; or none.
size_t loudestIn(const std::vector<ChartNote>& chart, double from, double to) {
    size_t best = chart.size();
    for (size_t i = 0; i < chart.size(); ++i)
        if (chart[i].seconds > from && chart[i].seconds <= to &&
            (best == chart.size() || chart[i].velocity >= chart[best].velocity))
            best = i;
    return best;
}

// Notes that keep every gap of the stem within kLongestGap where it plays:
// the loudest in the second half of the gap's reach, else in its first half;
// after a longer silence, the loudest in the reach of the next note.
std::vector<size_t> gapClosers(const std::vector<ChartNote>& chart) {
    std::vector<size_t> closers;
    if (chart.empty()) return closers;
    const double first = chart.front().seconds;
    size_t       next  = loudestIn(chart, first - 1e-9, first + kLongestGap);
    while (next < chart.size()) {
        closers.push_back(next);
        const double at = chart[next].seconds;
        next            = loudestIn(chart, at + kLongestGap / 2, at + kLongestGap);
        if (next == chart.size()) next = loudestIn(chart, at, at + kLongestGap / 2);
        if (next == chart.size()) {
            auto after = std::upper_bound(chart.begin(), chart.end(), at,
                                          [](double t, const ChartNote& n) { return t < n.seconds; });
            if (after != chart.end()) next = loudestIn(chart, after->seconds - 1e-9, after->seconds + kLongestGap);
        }
    }
    return closers;
}

int velocityOf(float loudnessDb, float loudest) {
    const float share = std::clamp((loudnessDb - (loudest - kLoudnessRange)) / kLoudnessRange, 0.0f, 1.0f);
    return kSoftest + int(std::lround(share * (kLoudest - kSoftest)));
}

}  // namespace

DifficultyRules rulesFor(Difficulty difficulty) {
    switch (difficulty) {
    case Difficulty::Easy: return {0.4, 2, 1, 2.0};
    case Difficulty::Normal: return {0.25, 3, 2, 3.5};
    default: return {0.18, 8, 3, 6.0};
    }
}

bool parseDifficulty(const std::string& text, Difficulty& out) {
    for (Difficulty d : {Difficulty::Easy, Difficulty::Normal, Difficulty::Hard})
        if (text == difficultyName(d)) {
            out = d;
            return true;
        }
    return false;
}

const char* difficultyName(Difficulty difficulty) {
    return difficulty == Difficulty::Easy ? "easy" : difficulty == Difficulty::Normal ? "normal" : "hard";
}

std::vector<ChartNote> chartStem(const std::vector<HeardOnset>& heard, const BeatGrid& grid, double minGap) {
    const std::vector<const HeardOnset*> kept    = thinned(heard, minGap);
    float                                loudest = -100.0f;
    for (const HeardOnset* h : kept) loudest = std::max(loudest, h->loudnessDb);
    std::vector<ChartNote> notes;
    for (size_t i = 0; i < kept.size(); ++i) {
        ChartNote note;
        note.seconds  = snapped(kept[i]->time, grid);
        note.key      = std::clamp(int(std::lround(kept[i]->pitch)), kLowestKey, kHighestKey);
        note.velocity = velocityOf(kept[i]->loudnessDb, loudest);
        const double room =
            i + 1 < kept.size() ? kept[i + 1]->time - kept[i]->time - kReleaseGap : kept[i]->holdSeconds;
        note.length = std::min(kTapLength, std::max(0.01, room));
        if (kept[i]->tonal && std::min(kept[i]->holdSeconds, room) >= kHoldSeconds) {
            note.channel = kHoldChannel;
            note.length  = std::min(kept[i]->holdSeconds, room);
        }
        if (!notes.empty() && note.seconds <= notes.back().seconds) continue;  // two snapped onto one step
        notes.push_back(note);
    }
    return notes;
}

void limitDensity(std::vector<std::vector<ChartNote>>& charts, const BeatGrid& grid, double maxPerSecond) {
    const size_t                   most = size_t(std::floor(maxPerSecond * kDensityWindow));
    std::multiset<double>          taken;
    std::vector<std::vector<bool>> keep(charts.size());
    std::vector<Candidate>         order;
    for (size_t s = 0; s < charts.size(); ++s) {
        keep[s].assign(charts[s].size(), false);
        for (size_t i : gapClosers(charts[s])) {
            keep[s][i] = true;
            taken.insert(charts[s][i].seconds);
        }
        for (size_t i = 0; i < charts[s].size(); ++i)
            if (!keep[s][i]) order.push_back({s, i, onBeat(charts[s][i].seconds, grid)});
    }
    std::stable_sort(order.begin(), order.end(), [&](const Candidate& a, const Candidate& b) {
        if (a.beat != b.beat) return a.beat;
        return charts[a.stem][a.index].velocity > charts[b.stem][b.index].velocity;
    });
    for (const Candidate& c : order) {
        const double t = charts[c.stem][c.index].seconds;
        if (!roomFor(taken, t, most)) continue;
        taken.insert(t);
        keep[c.stem][c.index] = true;
    }
    for (size_t s = 0; s < charts.size(); ++s) {
        std::vector<ChartNote> kept;
        for (size_t i = 0; i < charts[s].size(); ++i)
            if (keep[s][i]) kept.push_back(charts[s][i]);
        charts[s] = std::move(kept);
    }
}

float medianBpm(const std::vector<double>& beats) {
    std::vector<double> gaps;
    for (size_t i = 1; i < beats.size(); ++i) gaps.push_back(beats[i] - beats[i - 1]);
    if (gaps.empty()) return 0.0f;
    std::nth_element(gaps.begin(), gaps.begin() + ptrdiff_t(gaps.size() / 2), gaps.end());
    return gaps[gaps.size() / 2] > 0.0 ? float(60.0 / gaps[gaps.size() / 2]) : 0.0f;
}

std::vector<double> tempoMap(const BeatGrid& grid) {
    if (grid.steady || grid.bpm <= 0.0f || grid.beats.size() < 2) return {};
    // Each beat against the one tempo's nearest beat, around their typical offset.
    const double        period = 60.0 / grid.bpm;
    std::vector<double> offsets;
    for (double b : grid.beats) {
        const double since = b - grid.beats.front();
        offsets.push_back(since - period * std::round(since / period));
    }
    std::vector<double> sorted = offsets;
    std::nth_element(sorted.begin(), sorted.begin() + ptrdiff_t(sorted.size() / 2), sorted.end());
    const double typical = sorted[sorted.size() / 2];
    for (double o : offsets)
        if (std::fabs(o - typical) > kTempoDrift) return grid.beats;
    return {};
}
