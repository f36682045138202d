// Splits a mixed song into three frequency bands (low: kick and bass; mid;
// high) whose sum is the song again. Each band is one linear-phase FIR filter
// applied by FFT convolution; the high band's filter is the delayed unit
// impulse minus the other two, so the bands add up to the input up to
// rounding. The filters' delay is taken out, so a band lines up with the song.
// Bands are computed one at a time from the same input (each on its own
// thread if wanted); nothing here keeps a whole band in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

inline constexpr int kBandCount = 3;

// Receives the band block by block: interleaved stereo, `frames` frames.
using BandSink = std::function<bool(const float* stereo, size_t frames)>;

const char* bandName(int band);  // "low", "mid", "high"
// Filters interleaved stereo `input` into `band` and hands every block to the
// sink; stops early, returning false, when the sink returns false.
bool splitBand(int band, const float* input, uint64_t frames, const BandSink& sink);
