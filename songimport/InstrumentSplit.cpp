#include "songimport/InstrumentSplit.h"

#include <aubio/aubio.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <numbers>
#include <vector>

namespace {

constexpr size_t kWindow     = 2048;
constexpr size_t kHop        = 512;
constexpr size_t kBins       = kWindow / 2 + 1;
constexpr size_t kOutBlock   = 4096;
constexpr double kSampleRate = 44100.0;
constexpr float  kTiny       = 1e-12f;
// Hann analysis and synthesis at a quarter-window hop overlap to 1.5 everywhere.
constexpr float kOverlapGain = 1.5f;

struct FvecDelete {
    void operator()(fvec_t* v) const { del_fvec(v); }
};
struct FftDelete {
    void operator()(aubio_fft_t* f) const { del_aubio_fft(f); }
};
using Fvec = std::unique_ptr<fvec_t, FvecDelete>;

// A window of values kept sorted, so each step of a running median costs a
// search and a short move instead of a selection. Starts as zeros.
class SortedWindow {
public:
    explicit SortedWindow(size_t size) : sorted_(size, 0.0f) {}
    void replace(float leaving, float coming) {
        auto out = std::lower_bound(sorted_.begin(), sorted_.end(), leaving);
        auto in  = std::lower_bound(sorted_.begin(), sorted_.end(), coming);
        if (out < in) {
            std::move(out + 1, in, out);
            *(in - 1) = coming;
        } else {
            std::move_backward(in, out, out + 1);
            *in = coming;
        }
    }
    float median() const { return sorted_[sorted_.size() / 2]; }

private:
    std::vector<float> sorted_;
};

// aubio's spectra are half-complex: real parts at [k], imaginary parts at [size - k].
float binPower(const float* spectrum, size_t k) {
    const float re = spectrum[k];
    const float im = k == 0 || k == kWindow / 2 ? 0.0f : spectrum[kWindow - k];
    return re * re + im * im;
}

void applyMask(const float* spectrum, const std::vector<float>& mask, float* out) {
    out[0]           = spectrum[0] * mask[0];
    out[kWindow / 2] = spectrum[kWindow / 2] * mask[kWindow / 2];
    for (size_t k = 1; k < kWindow / 2; ++k) {
        out[k]           = spectrum[k] * mask[k];
        out[kWindow - k] = spectrum[kWindow - k] * mask[k];
    }
}

class Separator {
public:
    Separator(const float* input, uint64_t frames, const SplitSettings& settings, const InstrumentSink& sink)
        : input_(input), frames_(frames), settings_(settings), sink_(sink), fft_(new_aubio_fft(kWindow)),
          time_(new_fvec(kWindow)), spectrum_(new_fvec(kWindow)), masked_(new_fvec(kWindow)),
          depth_(size_t(std::max(1, settings.harmonicFrames | 1))), magnitudes_(depth_, std::vector<float>(kBins)),
          spectra_(depth_, std::array<std::vector<float>, 2>{std::vector<float>(kWindow), std::vector<float>(kWindow)}),
          harmonic_(kBins, SortedWindow(depth_)), bassShare_(kBins), drumMask_(kBins), bassMask_(kBins) {
        for (size_t i = 0; i < kWindow; ++i)
            window_[i] = float(0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * double(i) / double(kWindow)));
        for (size_t k = 0; k < kBins; ++k) {
            const double hz = double(k) * kSampleRate / double(kWindow);
            const double x  = std::clamp((hz - settings.crossoverHz) / 100.0 + 0.5, 0.0, 1.0);
            bassShare_[k]   = float(0.5 + 0.5 * std::cos(std::numbers::pi * x));
        }
        for (auto& stem : overlap_)
            for (auto& channel : stem) channel.assign(kWindow, 0.0f);
        for (auto& stem : out_) stem.reserve(2 * kOutBlock);
    }

    bool run() {
        // Frame f covers samples [f hop - (window - hop), ... + window): every
        // sample is under four frames. Its masks need depth/2 later frames.
        const uint64_t lead   = kWindow - kHop;
        const uint64_t frames = (frames_ + lead + kHop - 1) / kHop;
        const size_t   delay  = depth_ / 2;
        for (uint64_t f = 0; f < frames + delay; ++f) {
            analyse(f < frames ? int64_t(f * kHop) - int64_t(lead) : kNoFrame);
            if (f >= delay && !separate(int64_t((f - delay) * kHop) - int64_t(lead))) return false;
        }
        return flush();
    }

private:
    static constexpr int64_t kNoFrame = INT64_MIN;

    // Spectra and magnitudes of the frame starting at `start` enter the rings.
    void analyse(int64_t start) {
        const size_t slot = next_++ % depth_;
        float        leaving[kBins];
        std::copy_n(magnitudes_[slot].data(), kBins, leaving);
        std::vector<float>& magnitude = magnitudes_[slot];
        std::fill(magnitude.begin(), magnitude.end(), 0.0f);
        for (int channel = 0; channel < 2; ++channel) {
            std::vector<float>& spectrum = spectra_[slot][channel];
            if (start == kNoFrame) {
                std::fill(spectrum.begin(), spectrum.end(), 0.0f);
                continue;
            }
            for (size_t i = 0; i < kWindow; ++i) {
                const int64_t at = start + int64_t(i);
                time_->data[i] =
                    at >= 0 && uint64_t(at) < frames_ ? input_[2 * uint64_t(at) + channel] * window_[i] : 0.0f;
            }
            aubio_fft_do_complex(fft_.get(), time_.get(), spectrum_.get());
            std::copy_n(spectrum_->data, kWindow, spectrum.begin());
            for (size_t k = 0; k < kBins; ++k) magnitude[k] += binPower(spectrum.data(), k);
        }
        for (size_t k = 0; k < kBins; ++k) {
            magnitude[k] = std::sqrt(magnitude[k]);
            harmonic_[k].replace(leaving[k], magnitude[k]);
        }
    }

    // The centre frame of the rings: its masks, its two masked stems, and the
    // hop it completes.
    bool separate(int64_t start) {
        const size_t slot = (next_ + depth_ / 2) % depth_;
        makeMasks(magnitudes_[slot]);
        for (int channel = 0; channel < 2; ++channel) {
            synthesise(spectra_[slot][channel], drumMask_, overlap_[0][channel]);
            synthesise(spectra_[slot][channel], bassMask_, overlap_[1][channel]);
        }
        for (uint64_t i = 0; i < kHop; ++i) {
            const int64_t at = start + int64_t(i);
            if (at >= 0 && uint64_t(at) < frames_) emit(uint64_t(at), i);
        }
        for (auto& stem : overlap_)
            for (auto& channel : stem) {
                std::copy(channel.begin() + kHop, channel.end(), channel.begin());
                std::fill(channel.end() - kHop, channel.end(), 0.0f);
            }
        return out_[0].size() < 2 * kOutBlock || flush();
    }

    void makeMasks(const std::vector<float>& magnitude) {
        const size_t half = size_t(std::max(1, settings_.percussiveBins | 1)) / 2;
        SortedWindow across(2 * half + 1);
        for (size_t k = 0; k < half; ++k) across.replace(0.0f, magnitude[k]);
        for (size_t k = 0; k < kBins; ++k) {
            across.replace(k > half ? magnitude[k - half - 1] : 0.0f, k + half < kBins ? magnitude[k + half] : 0.0f);
            const float percussive = raised(across.median() + kTiny);
            const float harmonic   = raised(settings_.drumMargin * harmonic_[k].median() + kTiny);
            drumMask_[k]           = percussive / (percussive + harmonic);
            bassMask_[k]           = (1.0f - drumMask_[k]) * bassShare_[k];
        }
    }

    float raised(float x) const {
        float r = x;
        for (int i = 1; i < settings_.maskPower; ++i) r *= x;
        return r;
    }

    void synthesise(const std::vector<float>& spectrum, const std::vector<float>& mask, std::vector<float>& overlap) {
        applyMask(spectrum.data(), mask, masked_->data);
        aubio_fft_rdo_complex(fft_.get(), masked_.get(), time_.get());
        for (size_t i = 0; i < kWindow; ++i) overlap[i] += time_->data[i] * window_[i] / kOverlapGain;
    }

    // Sample `at` of the song is done: drums and bass from their spectra, the rest what they leave.
    void emit(uint64_t at, size_t inHop) {
        for (int channel = 0; channel < 2; ++channel) {
            const float song = input_[2 * at + channel];
            const float drum = overlap_[0][channel][inHop];
            const float bass = overlap_[1][channel][inHop];
            out_[0].push_back(drum);
            out_[1].push_back(bass);
            out_[2].push_back(song - drum - bass);
        }
    }

    bool flush() {
        if (out_[0].empty()) return true;
        const float* stems[kInstrumentCount] = {out_[0].data(), out_[1].data(), out_[2].data()};
        const bool   more                    = sink_(stems, out_[0].size() / 2);
        for (auto& stem : out_) stem.clear();
        return more;
    }

    const float*                                           input_;
    uint64_t                                               frames_;
    SplitSettings                                          settings_;
    const InstrumentSink&                                  sink_;
    std::unique_ptr<aubio_fft_t, FftDelete>                fft_;
    Fvec                                                   time_, spectrum_, masked_;
    std::array<float, kWindow>                             window_{};
    size_t                                                 depth_;
    size_t                                                 next_ = 0;
    std::vector<std::vector<float>>                        magnitudes_;  // a ring of depth_ frames
    std::vector<std::array<std::vector<float>, 2>>         spectra_;     // the same frames' spectra, per channel
    std::vector<SortedWindow>                              harmonic_;    // per bin, over the ring's frames
    std::vector<float>                                     bassShare_, drumMask_, bassMask_;
    std::array<std::array<std::vector<float>, 2>, 2>       overlap_;  // drums and bass, per channel
    std::array<std::vector<float>, kInstrumentCount>       out_;
};

// Blocks of one stem on their way to its sink; the producer waits while it is full.
class BlockQueue {
public:
    void push(std::vector<float> block) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return blocks_.size() < kDepth || stopped_; });
        blocks_.push_back(std::move(block));
        changed_.notify_all();
    }
    // False once the queue is closed and empty.
    bool pop(std::vector<float>& block) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [&] { return !blocks_.empty() || closed_; });
        if (blocks_.empty()) return false;
        block = std::move(blocks_.front());
        blocks_.pop_front();
        changed_.notify_all();
        return true;
    }
    void close() {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
        changed_.notify_all();
    }
    // The consumer gave up: the producer must never wait on it again.
    void stop() {
        std::lock_guard<std::mutex> lock(mutex_);
        stopped_ = true;
        blocks_.clear();
        changed_.notify_all();
    }

private:
    static constexpr size_t       kDepth = 4;
    std::mutex                    mutex_;
    std::condition_variable       changed_;
    std::deque<std::vector<float>> blocks_;
    bool                          closed_ = false, stopped_ = false;
};

}  // namespace

const char* instrumentName(int stem) {
    static const char* const names[kInstrumentCount] = {"drums", "bass", "melody"};
    return stem >= 0 && stem < kInstrumentCount ? names[stem] : "";
}

bool splitInstruments(const float* input, uint64_t frames, const InstrumentSink& sink, const SplitSettings& settings) {
    Separator separator(input, frames, settings, sink);
    return separator.run();
}

bool splitInstrumentsInParallel(const float* input, uint64_t frames, const std::vector<StemSink>& sinks) {
    std::vector<BlockQueue>  queues(kInstrumentCount);
    std::atomic<bool>        failed{false};
    std::vector<std::thread> consumers;
    for (size_t i = 0; i < queues.size() && i < sinks.size(); ++i)
        consumers.emplace_back([&, i] {
            std::vector<float> block;
            while (queues[i].pop(block))
                if (!failed && !sinks[i](block.data(), block.size() / 2)) {
                    failed = true;
                    queues[i].stop();
                }
        });
    const bool whole = splitInstruments(input, frames, [&](const float* const* stems, size_t count) {
        for (size_t i = 0; i < consumers.size(); ++i) queues[i].push(std::vector<float>(stems[i], stems[i] + 2 * count));
        return !failed;
    });
    for (BlockQueue& q : queues) q.close();
    for (std::thread& t : consumers) t.join();
    return whole && !failed;
}
