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
#include <vector>

inline constexpr int kInstrumentCount = 3;

// What the measurement tunes; the defaults are the tuned values.
struct SplitSettings {
    int   harmonicFrames = 31;      // median along time, in hops of 11.6 ms (odd)
    int   percussiveBins = 9;       // median along frequency, in bins of 21.5 Hz (odd)
    int   maskPower      = 2;       // soft masks: P^p / (P^p + (margin H)^p)
    float drumMargin     = 1.0f;    // above 1 the drums keep only clear transients
    float crossoverHz    = 400.0f;  // bass below, the rest above (a raised cosine 100 Hz wide); the
                                    // bass's own overtones make a higher one score better than 200 Hz
};

// The stems of one block: interleaved stereo, `frames` frames each, in the
// order drums, bass, rest.
using InstrumentSink = std::function<bool(const float* const* stems, size_t frames)>;

const char* instrumentName(int stem);  // "drums", "bass", "melody"
// Separates interleaved stereo `input` and hands every block to the sink;
// stops early, returning false, when the sink returns false.
bool splitInstruments(const float* input, uint64_t frames, const InstrumentSink& sink,
                      const SplitSettings& settings = {});

// Receives one stem block by block: interleaved stereo, `frames` frames.
using StemSink = std::function<bool(const float* stereo, size_t frames)>;
// The same with each stem's sink on a thread of its own, fed through a short
// queue while the split runs on the calling thread: writing and listening to
// three stems costs more than the split. False when any sink said stop.
bool splitInstrumentsInParallel(const float* input, uint64_t frames, const std::vector<StemSink>& sinks);
