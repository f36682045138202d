// Listens to one stem, block by block, with aubio: its onsets (complex
// domain), the pitch after each (YIN in the frequency domain, with its
// confidence), the spectral centroid for sounds without a pitch, and the
// loudness; and, for the whole song, the beat tracker's beats and tempo.
// Fed from whatever thread analyses the stem; holds only per-hop figures,
// never the audio.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

// One detected note start and what the analysis heard after it.
struct HeardOnset {
    double time        = 0.0;  // seconds
    float  loudnessDb  = -100.0f;
    float  pitch       = 60.0f;  // MIDI key, fractional
    bool   tonal       = false;  // from a steady detected pitch, else from the centroid
    double holdSeconds = 0.0;    // how long that pitch held steadily
};

class StemListener {
public:
    StemListener();
    ~StemListener();
    StemListener(const StemListener&)            = delete;
    StemListener& operator=(const StemListener&) = delete;

    void                    feed(const float* stereo, size_t frames);  // interleaved, 44100 Hz
    std::vector<HeardOnset> finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// The song's pulse. A steady song gets a sixteenth-note grid locked to all
// its onsets (period and phase); otherwise the tracker's own beats stand.
struct BeatGrid {
    float               bpm = 0.0f;
    std::vector<double> beats;  // seconds, as tracked
    bool                steady    = false;
    double              stepPhase = 0.0;  // seconds: where the locked grid's sixteenths fall
    std::vector<double> tempoMap;         // the beats the charts follow; empty: one tempo
};

// Locks the tracked tempo to the onsets of every stem: the period within 8 %
// of the tracker's whose sixteenths line up best with them.
BeatGrid lockToOnsets(const BeatGrid& tracked, const std::vector<std::vector<HeardOnset>>& stems);

class BeatListener {
public:
    BeatListener();
    ~BeatListener();
    BeatListener(const BeatListener&)            = delete;
    BeatListener& operator=(const BeatListener&) = delete;

    void     feedMono(const float* mono, size_t frames);
    BeatGrid finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};
