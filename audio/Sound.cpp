#include "audio/Sound.h"

#include "audio/SoundFile.h"
#include "audio/SoundStream.h"

#include <SDL3/SDL.h>
#include <sndfile.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

namespace {

struct SdlFree {
    void operator()(int16_t* p) const { SDL_free(p); }
};
using SdlSamples = std::unique_ptr<int16_t[], SdlFree>;

constexpr int kBlockFrames = 4096;

// Interleaved 16-bit frames at the file's own rate and channel count.
struct Decoded {
    SdlSamples samples;
    uint64_t   frames   = 0;
    int        channels = 0;
    int        rate     = 0;
};

// Reads every frame, a block of floats at a time, straight into 16-bit
// samples: no whole-file float copy is ever made. The declared count sizes the
// buffer when there is one, but the buffer still grows or stops on what the
// decoder actually yields. A header may lie: no file expands to more than 256
// frames a byte at first.
unsigned readAllFrames(SNDFILE* file, const SF_INFO& info, size_t imageSize, Decoded& out) {
    const uint64_t channels  = static_cast<uint64_t>(info.channels);
    const uint64_t maxFrames = INT_MAX / sizeof(int16_t) / channels;
    const uint64_t declared  = soundfile::knownFrameCount(info.frames) ? static_cast<uint64_t>(info.frames) : 65536;
    uint64_t       capacity  = std::min({declared, maxFrames, uint64_t{256} * imageSize}) + kBlockFrames;
    SdlSamples     buffer(static_cast<int16_t*>(SDL_malloc(capacity * channels * sizeof(int16_t))));
    if (!buffer) return Sound::kTooLong;
    std::vector<float> block(kBlockFrames * channels);
    uint64_t           frames = 0;
    for (;;) {
        if (frames + kBlockFrames > capacity) {
            if (capacity > maxFrames) return Sound::kTooLong;
            const uint64_t grown = std::min(capacity * 2, maxFrames + kBlockFrames);
            auto* bigger         = static_cast<int16_t*>(SDL_realloc(buffer.get(), grown * channels * sizeof(int16_t)));
            if (!bigger) return Sound::kTooLong;
            buffer.release();
            buffer.reset(bigger);
            capacity = grown;
        }
        const sf_count_t got = sf_readf_float(file, block.data(), kBlockFrames);
        if (got <= 0) break;
        std::transform(block.begin(), block.begin() + got * static_cast<sf_count_t>(channels),
                       buffer.get() + frames * channels, soundfile::toSample);
        frames += static_cast<uint64_t>(got);
    }
    if (frames > maxFrames) return Sound::kTooLong;
    if (sf_error(file) != SF_ERR_NO_ERROR || frames == 0) return Sound::kDecodeFailed;
    if (soundfile::knownFrameCount(info.frames) && frames < static_cast<uint64_t>(info.frames))
        return Sound::kDecodeFailed;
    if (frames < capacity) {
        if (auto* fitted = static_cast<int16_t*>(SDL_realloc(buffer.get(), frames * channels * sizeof(int16_t)))) {
            buffer.release();
            buffer.reset(fitted);
        }
    }
    out.samples  = std::move(buffer);
    out.frames   = frames;
    out.channels = info.channels;
    out.rate     = info.samplerate;
    return Sound::kOk;
}

unsigned decode(const void* data, size_t size, Decoded& out) {
    std::unique_ptr<SDL_IOStream, decltype(&SDL_CloseIO)> io(SDL_IOFromConstMem(data, size), SDL_CloseIO);
    if (!io) return Sound::kNoData;
    SF_INFO           info{};
    soundfile::Handle file;
    const unsigned    opened = soundfile::open(io.get(), info, file);
    if (opened != Sound::kOk) return opened;
    return readAllFrames(file.get(), info, size, out);
}

// SDL's converter duplicates mono into both channels and resamples, 16-bit
// in and out; a file already at 44100 Hz stereo is kept as decoded.
unsigned toMixFormat(Decoded& decoded) {
    if (decoded.channels == Sound::kChannels && decoded.rate == Sound::kSampleRate) return Sound::kOk;
    const SDL_AudioSpec from{SDL_AUDIO_S16, decoded.channels, decoded.rate};
    const SDL_AudioSpec to{SDL_AUDIO_S16, Sound::kChannels, Sound::kSampleRate};
    const uint64_t      bytes          = decoded.frames * static_cast<uint64_t>(decoded.channels) * sizeof(int16_t);
    Uint8*              converted      = nullptr;
    int                 convertedBytes = 0;
    if (!SDL_ConvertAudioSamples(&from, reinterpret_cast<const Uint8*>(decoded.samples.get()), static_cast<int>(bytes),
                                 &to, &converted, &convertedBytes))
        return Sound::kConvertFailed;
    SdlSamples     result(reinterpret_cast<int16_t*>(converted));
    const uint64_t frames = static_cast<uint64_t>(convertedBytes) / (sizeof(int16_t) * Sound::kChannels);
    if (frames == 0) return Sound::kConvertFailed;
    decoded.samples  = std::move(result);
    decoded.frames   = frames;
    decoded.channels = Sound::kChannels;
    decoded.rate     = Sound::kSampleRate;
    return Sound::kOk;
}

}  // namespace

namespace {
constexpr auto kPrefillWait = std::chrono::seconds(2);
}

unsigned Sound::loadMem(const void* data, size_t size) {
    pcm_.reset();
    stream_.reset();
    frames_ = 0;
    if (!data || size == 0) return kNoData;
    Decoded  decoded;
    unsigned result = decode(data, size, decoded);
    if (result == kOk) result = toMixFormat(decoded);
    if (result != kOk) return result;
    pcm_    = std::shared_ptr<const int16_t[]>(decoded.samples.release(),
                                            [](const int16_t* p) { SDL_free(const_cast<int16_t*>(p)); });
    frames_ = decoded.frames;
    return kOk;
}

bool Sound::probe(const void* data, size_t size, int& sampleRate, uint64_t& frames) {
    if (!data || size == 0) return false;
    std::unique_ptr<SDL_IOStream, decltype(&SDL_CloseIO)> io(SDL_IOFromConstMem(data, size), SDL_CloseIO);
    SF_INFO                                               info{};
    soundfile::Handle                                     file;
    if (!io || soundfile::open(io.get(), info, file) != kOk) return false;
    sampleRate = info.samplerate;
    frames     = soundfile::knownFrameCount(info.frames) ? static_cast<uint64_t>(info.frames) : 0;
    return true;
}

double Sound::getLength() const { return static_cast<double>(frames_) / kSampleRate; }

bool Sound::openStream(const std::string& path, double minSeconds) {
    pcm_.reset();
    stream_.reset();
    frames_     = 0;
    auto stream = std::make_shared<SoundStream>();
    if (!stream->open(path, minSeconds)) return false;
    stream->setLooping(looping_);
    stream->waitFilled(kPrefillWait);
    frames_ = stream->frameCount();
    stream_ = std::move(stream);
    return true;
}

void Sound::setLooping(bool looping) {
    looping_ = looping;
    if (stream_) stream_->setLooping(looping);
}
