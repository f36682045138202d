#include "songimport/StemAnalysis.h"

#include <aubio/aubio.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr uint_t kRate        = 44100;
constexpr uint_t kHop         = 512;
constexpr uint_t kOnsetWindow = 1024;
constexpr uint_t kPitchWindow = 2048;
constexpr double kHopSeconds  = double(kHop) / kRate;
// Pitch and centroid change slower than onsets: they are read every other hop.
constexpr uint_t kSlowHop = 2 * kHop;
// A pitch counts when YIN is this sure of it; a held pitch may wander this far (semitones).
constexpr float kPitchConfidence = 0.8f;
constexpr float kHoldDrift       = 0.6f;
// The pitch window trails the onset, so the pitch is read a few hops later.
constexpr size_t kPitchFirstHop = kPitchWindow / kHop;
constexpr size_t kPitchHops     = 6;
constexpr size_t kLoudnessHops  = 4;
// The complex-domain detector at this peak-picking threshold charted the
// generated levels best (and within 1 % of its best from 0.2 to 0.4).
constexpr float kOnsetThreshold = 0.3f;

struct HopFigures {
    float pitch      = 0.0f;
    float confidence = 0.0f;
    float centroidHz = 0.0f;
    float rmsDb      = -100.0f;
};

float median(std::vector<float> values) {
    if (values.empty()) return 0.0f;
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

float keyOfFrequency(float hz) { return hz > 1.0f ? 69.0f + 12.0f * std::log2(hz / 440.0f) : 0.0f; }

// Collects mono hops from interleaved stereo or mono input and hands each full one on.
class HopCollector {
public:
    HopCollector() : hop_(new_fvec(kHop)) {}
    ~HopCollector() { del_fvec(hop_); }
    HopCollector(const HopCollector&)            = delete;
    HopCollector& operator=(const HopCollector&) = delete;

    template <typename OnHop>
    void feed(const float* in, size_t frames, int channels, OnHop onHop) {
        for (size_t i = 0; i < frames; ++i) {
            hop_->data[filled_++] = channels == 2 ? 0.5f * (in[2 * i] + in[2 * i + 1]) : in[i];
            if (filled_ == kHop) {
                onHop(hop_);
                filled_ = 0;
            }
        }
    }

private:
    fvec_t* hop_;
    uint_t  filled_ = 0;
};

}  // namespace

struct StemListener::State {
    HopCollector            collector;
    aubio_onset_t*          onset    = new_aubio_onset("complex", kOnsetWindow, kHop, kRate);
    aubio_pitch_t*          pitch    = new_aubio_pitch("yinfft", kPitchWindow, kSlowHop, kRate);
    aubio_pvoc_t*           pvoc     = new_aubio_pvoc(kOnsetWindow, kSlowHop);
    fvec_t*                 slowHop  = new_fvec(kSlowHop);
    aubio_specdesc_t*       centroid = new_aubio_specdesc("centroid", kOnsetWindow);
    cvec_t*                 spectrum = new_cvec(kOnsetWindow);
    fvec_t*                 out      = new_fvec(1);
    std::vector<HopFigures> hops;
    std::vector<double>     onsetTimes;

    State() {
        aubio_pitch_set_unit(pitch, "midi");
        aubio_pitch_set_silence(pitch, -60.0f);
        aubio_onset_set_silence(onset, -60.0f);
        aubio_onset_set_minioi_s(onset, 0.06f);
        aubio_onset_set_threshold(onset, kOnsetThreshold);
    }
    ~State() {
        del_aubio_onset(onset);
        del_aubio_pitch(pitch);
        del_aubio_pvoc(pvoc);
        del_aubio_specdesc(centroid);
        del_cvec(spectrum);
        del_fvec(out);
        del_fvec(slowHop);
    }

    void hop(const fvec_t* samples) {
        HopFigures figures;
        figures.rmsDb = std::max(-100.0f, float(aubio_db_spl(samples)));
        aubio_onset_do(onset, samples, out);
        if (out->data[0] > 0.0f) onsetTimes.push_back(aubio_onset_get_last_s(onset));
        const bool second = hops.size() % 2 == 1;
        std::copy_n(samples->data, kHop, slowHop->data + (second ? kHop : 0));
        hops.push_back(figures);
        if (second) readSlowFigures();
    }

    // Pitch and centroid of the last two hops, which share them.
    void readSlowFigures() {
        aubio_pitch_do(pitch, slowHop, out);
        const float key        = out->data[0];
        const float confidence = aubio_pitch_get_confidence(pitch);
        aubio_pvoc_do(pvoc, slowHop, spectrum);
        aubio_specdesc_do(centroid, spectrum, out);
        const float centroidHz = out->data[0] * float(kRate) / float(kOnsetWindow);
        for (size_t h = hops.size() - 2; h < hops.size(); ++h) {
            hops[h].pitch      = key;
            hops[h].confidence = confidence;
            hops[h].centroidHz = centroidHz;
        }
    }

    HeardOnset describe(double time, double nextTime) const {
        HeardOnset heard;
        heard.time                   = time;
        const size_t       first     = std::min(hops.size(), size_t(time / kHopSeconds));
        const size_t       pitchFrom = std::min(hops.size(), first + kPitchFirstHop);
        std::vector<float> pitches, centroids;
        for (size_t h = first; h < std::min(hops.size(), first + kLoudnessHops); ++h) {
            heard.loudnessDb = std::max(heard.loudnessDb, hops[h].rmsDb);
            centroids.push_back(hops[h].centroidHz);
        }
        for (size_t h = pitchFrom; h < std::min(hops.size(), pitchFrom + kPitchHops); ++h)
            if (hops[h].confidence >= kPitchConfidence && hops[h].pitch > 0.0f) pitches.push_back(hops[h].pitch);
        heard.tonal = pitches.size() * 2 >= kPitchHops;
        heard.pitch = heard.tonal ? median(pitches) : keyOfFrequency(median(centroids));
        if (heard.tonal) heard.holdSeconds = heldFor(pitchFrom, heard.pitch, nextTime) * kHopSeconds;
        return heard;
    }

    // Hops from `from` on while the pitch stays near `key`, stopping at the next onset.
    size_t heldFor(size_t from, float key, double nextTime) const {
        size_t h = from;
        while (h < hops.size() && double(h) * kHopSeconds < nextTime && hops[h].confidence >= kPitchConfidence &&
               std::fabs(hops[h].pitch - key) <= kHoldDrift)
            ++h;
        return h - std::min(h, from) + kPitchFirstHop;
    }
};

StemListener::StemListener() : state_(std::make_unique<State>()) {}
StemListener::~StemListener() = default;

void StemListener::feed(const float* stereo, size_t frames) {
    state_->collector.feed(stereo, frames, 2, [this](const fvec_t* hop) { state_->hop(hop); });
}

std::vector<HeardOnset> StemListener::finish() {
    std::vector<HeardOnset>    heard;
    const std::vector<double>& times = state_->onsetTimes;
    const double               end   = double(state_->hops.size()) * kHopSeconds;
    for (size_t i = 0; i < times.size(); ++i)
        heard.push_back(state_->describe(times[i], i + 1 < times.size() ? times[i + 1] : end));
    return heard;
}

struct BeatListener::State {
    HopCollector        collector;
    aubio_tempo_t*      tempo = new_aubio_tempo("default", kOnsetWindow, kHop, kRate);
    fvec_t*             out   = new_fvec(1);
    std::vector<double> beats;

    ~State() {
        del_aubio_tempo(tempo);
        del_fvec(out);
    }
    void hop(const fvec_t* samples) {
        aubio_tempo_do(tempo, samples, out);
        if (out->data[0] > 0.0f) beats.push_back(aubio_tempo_get_last_s(tempo));
    }
};

BeatListener::BeatListener() : state_(std::make_unique<State>()) {}
BeatListener::~BeatListener() = default;

void BeatListener::feedMono(const float* mono, size_t frames) {
    state_->collector.feed(mono, frames, 1, [this](const fvec_t* hop) { state_->hop(hop); });
}

namespace {

// The beat period as the slope of beat time over beat number: the tracker
// reports beats on its hop grid, and a fit over all of them averages that out.
// A beat the tracker skipped counts as the whole number of periods it spans.
double fittedPeriod(const std::vector<double>& beats) {
    std::vector<float> gaps;
    for (size_t i = 1; i < beats.size(); ++i) gaps.push_back(float(beats[i] - beats[i - 1]));
    const double typical = median(gaps);
    if (typical <= 0.0) return 0.0;
    double n = 0, sumX = 0, sumY = 0, sumXX = 0, sumXY = 0, index = 0;
    for (size_t i = 0; i < beats.size(); ++i) {
        if (i > 0) index += std::max(1.0, std::round((beats[i] - beats[i - 1]) / typical));
        n += 1;
        sumX += index;
        sumY += beats[i];
        sumXX += index * index;
        sumXY += index * beats[i];
    }
    const double denominator = n * sumXX - sumX * sumX;
    return denominator > 0.0 ? (n * sumXY - sumX * sumY) / denominator : typical;
}

}  // namespace

BeatGrid BeatListener::finish() {
    BeatGrid grid;
    grid.beats = state_->beats;
    if (grid.beats.size() < 4) return grid;
    const double period = fittedPeriod(grid.beats);
    if (period > 0.0) grid.bpm = float(60.0 / period);
    return grid;
}

namespace {

constexpr double kLockRange     = 0.08;
constexpr double kLockStep      = 0.0002;
constexpr double kSteadyLocking = 0.5;  // how well onsets must line up for the grid to be trusted

// How closely the onsets fall on a grid of the given step: the length of the
// mean of their phases as unit vectors (1: all on the grid), and its angle.
double alignment(const std::vector<double>& times, double step, double& phase) {
    double re = 0.0, im = 0.0;
    for (double t : times) {
        const double angle = 2.0 * std::numbers::pi * t / step;
        re += std::cos(angle);
        im += std::sin(angle);
    }
    phase = std::atan2(im, re) / (2.0 * std::numbers::pi) * step;
    return times.empty() ? 0.0 : std::hypot(re, im) / double(times.size());
}

}  // namespace

BeatGrid lockToOnsets(const BeatGrid& tracked, const std::vector<std::vector<HeardOnset>>& stems) {
    BeatGrid grid = tracked;
    if (tracked.bpm <= 0.0f) return grid;
    std::vector<double> times;
    for (const auto& stem : stems)
        for (const HeardOnset& h : stem) times.push_back(h.time);
    const double tracked16 = 15.0 / tracked.bpm;
    double       bestScore = 0.0, bestStep = tracked16, bestPhase = 0.0;
    for (double scale = 1.0 - kLockRange; scale <= 1.0 + kLockRange; scale += kLockStep) {
        double       phase = 0.0;
        const double score = alignment(times, tracked16 * scale, phase);
        if (score > bestScore) {
            bestScore = score;
            bestStep  = tracked16 * scale;
            bestPhase = phase;
        }
    }
    if (bestScore < kSteadyLocking) return grid;
    grid.steady    = true;
    grid.bpm       = float(15.0 / bestStep);
    grid.stepPhase = bestPhase;
    return grid;
}
