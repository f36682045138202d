#include "audio/Sound.h"

#include <SDL3/SDL.h>
#include <sndfile.h>

#include <algorithm>
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

struct SndFileClose {
    void operator()(SNDFILE* f) const { sf_close(f); }
};
using SndFilePtr = std::unique_ptr<SNDFILE, SndFileClose>;

// The file image as libsndfile sees it: every read and seek stays inside it.
struct MemoryImage {
    const unsigned char* data;
    sf_count_t           size;
    sf_count_t           pos;
};

sf_count_t imageLength(void* user) { return static_cast<MemoryImage*>(user)->size; }

sf_count_t imageSeek(sf_count_t offset, int whence, void* user) {
    auto*            image  = static_cast<MemoryImage*>(user);
    const sf_count_t base   = whence == SEEK_CUR ? image->pos : whence == SEEK_END ? image->size : 0;
    sf_count_t       target = 0;
    if (__builtin_add_overflow(base, offset, &target)) target = offset < 0 ? 0 : image->size;
    image->pos = std::clamp<sf_count_t>(target, 0, image->size);
    return image->pos;
}

sf_count_t imageRead(void* dst, sf_count_t count, void* user) {
    auto*            image = static_cast<MemoryImage*>(user);
    const sf_count_t n     = std::clamp<sf_count_t>(count, 0, image->size - image->pos);
    if (n > 0) std::memcpy(dst, image->data + image->pos, static_cast<size_t>(n));
    image->pos += n;
    return n;
}

sf_count_t imageWrite(const void*, sf_count_t, void*) { return 0; }

sf_count_t imageTell(void* user) { return static_cast<MemoryImage*>(user)->pos; }

uint32_t read32(const unsigned char* p, bool littleEndian) {
    return littleEndian ? uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24
                        : uint32_t(p[3]) | uint32_t(p[2]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[0]) << 24;
}

// libsndfile plays whatever is left of a WAV or AIFF file that was cut short;
// a stem that suddenly ends early would put its loop out of step, so we look
// at the sample-data chunk ourselves. Sizes 0 and 0xFFFFFFFF are what
// streaming writers leave behind, not a cut.
bool sampleChunkCutShort(const unsigned char* data, size_t size) {
    if (size < 12) return false;
    const bool wav  = std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WAVE", 4) == 0;
    const bool aiff = std::memcmp(data, "FORM", 4) == 0 &&
                      (std::memcmp(data + 8, "AIFF", 4) == 0 || std::memcmp(data + 8, "AIFC", 4) == 0);
    if (!wav && !aiff) return false;
    const char* sampleChunk = wav ? "data" : "SSND";
    size_t      pos         = 12;
    while (size - pos >= 8) {
        const uint32_t chunkSize = read32(data + pos + 4, wav);
        if (std::memcmp(data + pos, sampleChunk, 4) == 0)
            return chunkSize != 0 && chunkSize != 0xFFFFFFFFu && chunkSize > size - pos - 8;
        const uint64_t next = uint64_t(pos) + 8 + chunkSize + (chunkSize & 1);  // chunks pad to even
        if (next > size) return false;
        pos = static_cast<size_t>(next);
    }
    return false;
}

// Interleaved 16-bit frames at the file's own rate and channel count.
struct Decoded {
    SdlSamples samples;
    uint64_t   frames   = 0;
    int        channels = 0;
    int        rate     = 0;
};

bool knownFrameCount(sf_count_t frames) { return frames > 0 && frames < SF_COUNT_MAX; }

// Full scale is 32768, the step libsndfile reads 16-bit files with, so those
// come back exactly. Float files can carry anything: past full scale is
// clipped, NaN and infinities become silence.
int16_t toSample(float value) {
    if (!std::isfinite(value)) return 0;
    return static_cast<int16_t>(std::lrintf(std::clamp(value * 32768.0f, -32768.0f, 32767.0f)));
}

// Reads every frame, a block of floats at a time, straight into 16-bit
// samples: no whole-file float copy is ever made. The declared count sizes the
// buffer when there is one, but the buffer still grows or stops on what the
// decoder actually yields. A header may lie: no file expands to more than 256
// frames a byte at first.
unsigned readAllFrames(SNDFILE* file, const SF_INFO& info, size_t imageSize, Decoded& out) {
    const uint64_t channels  = static_cast<uint64_t>(info.channels);
    const uint64_t maxFrames = INT_MAX / sizeof(int16_t) / channels;
    const uint64_t declared  = knownFrameCount(info.frames) ? static_cast<uint64_t>(info.frames) : 65536;
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
                       buffer.get() + frames * channels, toSample);
        frames += static_cast<uint64_t>(got);
    }
    if (frames > maxFrames) return Sound::kTooLong;
    if (sf_error(file) != SF_ERR_NO_ERROR || frames == 0) return Sound::kDecodeFailed;
    if (knownFrameCount(info.frames) && frames < static_cast<uint64_t>(info.frames)) return Sound::kDecodeFailed;
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

unsigned decode(const unsigned char* data, size_t size, Decoded& out) {
    if (sampleChunkCutShort(data, size)) return Sound::kDecodeFailed;
    MemoryImage   image{data, static_cast<sf_count_t>(size), 0};
    SF_VIRTUAL_IO io{imageLength, imageSeek, imageRead, imageWrite, imageTell};
    SF_INFO       info{};
    SndFilePtr    file(sf_open_virtual(&io, SFM_READ, &info, &image));
    if (!file || info.channels <= 0 || info.samplerate <= 0) return Sound::kUnrecognised;
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

unsigned Sound::loadMem(const void* data, size_t size) {
    pcm_.reset();
    frames_ = 0;
    if (!data || size == 0) return kNoData;
    Decoded  decoded;
    unsigned result = decode(static_cast<const unsigned char*>(data), size, decoded);
    if (result == kOk) result = toMixFormat(decoded);
    if (result != kOk) return result;
    pcm_    = std::shared_ptr<const int16_t[]>(decoded.samples.release(),
                                            [](const int16_t* p) { SDL_free(const_cast<int16_t*>(p)); });
    frames_ = decoded.frames;
    return kOk;
}

double Sound::getLength() const { return static_cast<double>(frames_) / kSampleRate; }

void Sound::setLooping(bool looping) { looping_ = looping; }
