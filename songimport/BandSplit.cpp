#include "songimport/BandSplit.h"

#include <aubio/aubio.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

namespace {

constexpr int    kTaps          = 2047;  // odd and symmetric: a whole-sample delay
constexpr size_t kDelay         = (kTaps - 1) / 2;
constexpr size_t kBlock         = 2048;
constexpr size_t kFftSize       = 2 * kBlock;  // holds a block convolved with the taps
constexpr double kLowCrossover  = 200.0;
constexpr double kHighCrossover = 2000.0;
constexpr double kSampleRate    = 44100.0;

// Windowed-sinc low-pass (Blackman), unit gain at DC.
std::vector<double> lowPass(double cutoff) {
    std::vector<double> h(kTaps);
    const double        wc  = 2.0 * std::numbers::pi * cutoff / kSampleRate;
    double              sum = 0.0;
    for (int i = 0; i < kTaps; ++i) {
        const double n      = i - double(kDelay);
        const double sinc   = n == 0.0 ? wc / std::numbers::pi : std::sin(wc * n) / (std::numbers::pi * n);
        const double phase  = 2.0 * std::numbers::pi * i / (kTaps - 1);
        const double window = 0.42 - 0.5 * std::cos(phase) + 0.08 * std::cos(2.0 * phase);
        h[i]                = sinc * window;
        sum += h[i];
    }
    for (double& v : h) v /= sum;
    return h;
}

// The three filters add up to a unit impulse delayed by kDelay.
std::vector<double> bandTaps(int band) {
    std::vector<double> low = lowPass(kLowCrossover);
    if (band == 0) return low;
    std::vector<double> belowHigh = lowPass(kHighCrossover);
    if (band == 1) {
        for (int i = 0; i < kTaps; ++i) belowHigh[i] -= low[i];
        return belowHigh;
    }
    for (double& v : belowHigh) v = -v;
    belowHigh[kDelay] += 1.0;
    return belowHigh;
}

struct FvecDelete {
    void operator()(fvec_t* v) const { del_fvec(v); }
};
struct FftDelete {
    void operator()(aubio_fft_t* f) const { del_aubio_fft(f); }
};
using Fvec = std::unique_ptr<fvec_t, FvecDelete>;

// Overlap-add convolution of one channel with the band's taps. aubio's
// spectra are half-complex: real parts at [k], imaginary parts at [size - k].
class ChannelConvolver {
public:
    ChannelConvolver(aubio_fft_t* fft, const fvec_t* spectrum)
        : fft_(fft), spectrum_(spectrum), time_(new_fvec(kFftSize)), freq_(new_fvec(kFftSize)), tail_(kBlock, 0.0f) {}

    // Convolves `count` input samples (stride 2) into `out` (stride 2), kBlock of them.
    void process(const float* in, size_t count, float* out) {
        std::fill_n(time_->data, kFftSize, 0.0f);
        for (size_t i = 0; i < count; ++i) time_->data[i] = in[2 * i];
        aubio_fft_do_complex(fft_, time_.get(), freq_.get());
        multiply(freq_->data, spectrum_->data);
        aubio_fft_rdo_complex(fft_, freq_.get(), time_.get());
        for (size_t i = 0; i < kBlock; ++i) {
            out[2 * i] = time_->data[i] + tail_[i];
            tail_[i]   = time_->data[kBlock + i];
        }
    }

private:
    static void multiply(float* a, const float* b) {
        a[0] *= b[0];
        a[kFftSize / 2] *= b[kFftSize / 2];
        for (size_t k = 1; k < kFftSize / 2; ++k) {
            const float re  = a[k] * b[k] - a[kFftSize - k] * b[kFftSize - k];
            const float im  = a[k] * b[kFftSize - k] + a[kFftSize - k] * b[k];
            a[k]            = re;
            a[kFftSize - k] = im;
        }
    }

    aubio_fft_t*       fft_;
    const fvec_t*      spectrum_;
    Fvec               time_;
    Fvec               freq_;
    std::vector<float> tail_;  // the part of the last block that reaches into this one
};

}  // namespace

const char* bandName(int band) {
    static const char* const names[kBandCount] = {"low", "mid", "high"};
    return band >= 0 && band < kBandCount ? names[band] : "";
}

bool splitBand(int band, const float* input, uint64_t frames, const BandSink& sink) {
    std::unique_ptr<aubio_fft_t, FftDelete> fft(new_aubio_fft(kFftSize));
    Fvec                                    taps(new_fvec(kFftSize));
    Fvec                                    spectrum(new_fvec(kFftSize));
    const std::vector<double>               h = bandTaps(band);
    for (int i = 0; i < kTaps; ++i) taps->data[i] = float(h[i]);
    aubio_fft_do_complex(fft.get(), taps.get(), spectrum.get());
    ChannelConvolver left(fft.get(), spectrum.get()), right(fft.get(), spectrum.get());

    // Runs kDelay frames past the end (on silence) so the delayed output is complete.
    std::vector<float> in(2 * kBlock), out(2 * kBlock);
    uint64_t           skip = kDelay;
    for (uint64_t at = 0; at < frames + kDelay; at += kBlock) {
        const size_t avail = at < frames ? size_t(std::min<uint64_t>(kBlock, frames - at)) : 0;
        std::fill(in.begin(), in.end(), 0.0f);
        if (avail) std::copy_n(input + 2 * at, 2 * avail, in.begin());
        left.process(in.data(), kBlock, out.data());
        right.process(in.data() + 1, kBlock, out.data() + 1);
        const uint64_t produced = std::min<uint64_t>(kBlock, frames + kDelay - at);
        const uint64_t dropped  = std::min(skip, produced);
        skip -= dropped;
        if (produced > dropped && !sink(out.data() + 2 * dropped, size_t(produced - dropped))) return false;
    }
    return true;
}
