// Splits a mixed song into instruments: drums, bass and the rest (the
// melody, chords and pads). Harmonic-percussive separation on the short-time
// spectrum: a median along time keeps sustained partials, one along frequency
// keeps transients, and soft masks made of the two share every bin out. The
// drums take the percussive share, the bass the harmonic share below a
// crossover; the rest is the song minus those two, so the three stems add up
// to the song up to rounding. One pass over the song, streamed: a little over
// one median kernel of spectra is held, never a whole stem. Callers run the
// sinks (writing, listening); this file only separates.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

inline constexpr int kInstrumentCount = 3;

// What the measurement tunes; the defaults are the tuned values.
struct SplitSettings {
    int   harmonicFrames = 17;     // median along time, in hops (odd)
    int   percussiveBins = 17;     // median along frequency, in bins (odd)
    int   maskPower      = 2;      // soft masks: P^p / (P^p + (margin H)^p)
    float drumMargin     = 1.0f;   // above 1 the drums keep only clear transients
    float crossoverHz    = 200.0f; // bass below, the rest above (a raised-cosine 100 Hz wide)
};

// The stems of one block: interleaved stereo, `frames` frames each, in the
// order drums, bass, rest.
using InstrumentSink = std::function<bool(const float* const* stems, size_t frames)>;

const char* instrumentName(int stem);  // "drums", "bass", "melody"
// Separates interleaved stereo `input` and hands every block to the sink;
// stops early, returning false, when the sink returns false.
bool splitInstruments(const float* input, uint64_t frames, const InstrumentSink& sink,
                      const SplitSettings& settings = {});
