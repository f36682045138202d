#include "AudioFiles.h"

#include <SDL3/SDL.h>
#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace testaudio {
namespace {

void put16(Bytes& out, uint32_t v) {
    out.push_back(static_cast<unsigned char>(v));
    out.push_back(static_cast<unsigned char>(v >> 8));
}
void put32(Bytes& out, uint32_t v) {
    put16(out, v & 0xFFFF);
    put16(out, v >> 16);
}
void putTag(Bytes& out, const char* tag) { out.insert(out.end(), tag, tag + 4); }

Bytes wavHeader(uint16_t formatTag, int bits, int channels, int rate, uint32_t dataBytes) {
    Bytes          out;
    const uint32_t block = static_cast<uint32_t>(channels * bits / 8);
    putTag(out, "RIFF");
    put32(out, 36 + dataBytes);
    putTag(out, "WAVE");
    putTag(out, "fmt ");
    put32(out, 16);
    put16(out, formatTag);
    put16(out, static_cast<uint32_t>(channels));
    put32(out, static_cast<uint32_t>(rate));
    put32(out, static_cast<uint32_t>(rate) * block);
    put16(out, block);
    put16(out, static_cast<uint32_t>(bits));
    putTag(out, "data");
    put32(out, dataBytes);
    return out;
}

// libsndfile writes into a growing byte vector through these.
struct Sink {
    Bytes      bytes;
    sf_count_t pos = 0;
};
sf_count_t sinkLength(void* u) { return static_cast<sf_count_t>(static_cast<Sink*>(u)->bytes.size()); }
sf_count_t sinkSeek(sf_count_t offset, int whence, void* u) {
    auto*            s    = static_cast<Sink*>(u);
    const sf_count_t base = whence == SEEK_CUR ? s->pos : whence == SEEK_END ? sinkLength(u) : 0;
    s->pos                = std::max<sf_count_t>(0, base + offset);
    return s->pos;
}
sf_count_t sinkRead(void* dst, sf_count_t n, void* u) {
    auto* s = static_cast<Sink*>(u);
    n       = std::clamp<sf_count_t>(n, 0, sinkLength(u) - std::min(s->pos, sinkLength(u)));
    if (n > 0) std::memcpy(dst, s->bytes.data() + s->pos, static_cast<size_t>(n));
    s->pos += n;
    return n;
}
sf_count_t sinkWrite(const void* src, sf_count_t n, void* u) {
    auto* s = static_cast<Sink*>(u);
    if (s->pos + n > sinkLength(u)) s->bytes.resize(static_cast<size_t>(s->pos + n));
    std::memcpy(s->bytes.data() + s->pos, src, static_cast<size_t>(n));
    s->pos += n;
    return n;
}
sf_count_t sinkTell(void* u) { return static_cast<Sink*>(u)->pos; }

}  // namespace

Bytes floatWav(const std::vector<float>& interleaved, int channels, int rate) {
    const uint32_t dataBytes = static_cast<uint32_t>(interleaved.size() * sizeof(float));
    Bytes          out       = wavHeader(3, 32, channels, rate, dataBytes);
    const auto*    raw       = reinterpret_cast<const unsigned char*>(interleaved.data());
    out.insert(out.end(), raw, raw + dataBytes);  // x86-64 is little-endian, as WAV is
    return out;
}

Bytes pcm16Wav(const std::vector<float>& interleaved, int channels, int rate) {
    Bytes out = wavHeader(1, 16, channels, rate, static_cast<uint32_t>(interleaved.size() * 2));
    for (float s : interleaved) {
        const long v = std::lround(std::clamp(s, -1.0f, 32767.0f / 32768.0f) * 32768.0f);
        put16(out, static_cast<uint32_t>(v) & 0xFFFF);
    }
    return out;
}

Bytes encoded(const std::vector<float>& interleaved, int channels, int rate, int format) {
    Sink          sink;
    SF_VIRTUAL_IO io{sinkLength, sinkSeek, sinkRead, sinkWrite, sinkTell};
    SF_INFO       info{};
    info.samplerate = rate;
    info.channels   = channels;
    info.format     = format;
    SNDFILE* file   = sf_open_virtual(&io, SFM_WRITE, &info, &sink);
    if (!file) return {};
    // In blocks: libvorbis crashes when handed minutes of audio in one call.
    const sf_count_t frames  = static_cast<sf_count_t>(interleaved.size()) / channels;
    bool             written = true;
    for (sf_count_t done = 0; written && done < frames; done += 4096) {
        const sf_count_t n = std::min<sf_count_t>(4096, frames - done);
        written            = sf_writef_float(file, interleaved.data() + done * channels, n) == n;
    }
    sf_close(file);
    return written ? sink.bytes : Bytes{};
}

float onGrid(float value) { return std::round(value * 32768.0f) / 32768.0f; }

float sampleAt(const Sound& sound, uint64_t index) { return static_cast<float>(sound.samples()[index]) / 32768.0f; }

std::vector<float> distinctStereo(int frames, float scale) {
    std::vector<float> out(static_cast<size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i) {
        // Even steps on the left, so the right's half of it is on the grid too.
        out[2 * i]     = 2.0f * onGrid(0.5f * scale * static_cast<float>(i + 1) / static_cast<float>(frames));
        out[2 * i + 1] = -out[2 * i] * 0.5f;
    }
    return out;
}

std::vector<float> sineStereo(int frames, double hz, float amplitude, int rate) {
    std::vector<float> out(static_cast<size_t>(frames) * 2);
    for (int i = 0; i < frames; ++i)
        out[2 * i] = out[2 * i + 1] = amplitude * static_cast<float>(std::sin(2 * M_PI * hz * i / rate));
    return out;
}

Sound soundFrom(const std::vector<float>& stereo, bool looping) {
    Sound       sound;
    const Bytes wav = floatWav(stereo, 2, Sound::kSampleRate);
    EXPECT_EQ(sound.loadMem(wav.data(), wav.size()), Sound::kOk);
    sound.setLooping(looping);
    return sound;
}

std::vector<float> readFloats(const std::string& path) {
    std::ifstream      in(path, std::ios::binary);
    const std::string  bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<float> out(bytes.size() / sizeof(float));
    std::memcpy(out.data(), bytes.data(), out.size() * sizeof(float));
    return out;
}

void setSdlEnvironment(const char* name, const std::string& value) {
    SDL_SetEnvironmentVariable(SDL_GetEnvironment(), name, value.c_str(), true);
}

}  // namespace testaudio
