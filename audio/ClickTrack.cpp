#include "audio/ClickTrack.h"

#include "audio/Sound.h"
#include "base/Log.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

constexpr double kClickHz      = 2000.0;
constexpr double kClickSeconds = 0.012;
constexpr double kDecay        = 400.0;  // 1/s: the click is gone well before it ends

void put(std::vector<unsigned char>& bytes, const void* value, size_t size) {
    const auto* begin = static_cast<const unsigned char*>(value);
    bytes.insert(bytes.end(), begin, begin + size);
}
void put32(std::vector<unsigned char>& bytes, uint32_t value) { put(bytes, &value, 4); }
void put16(std::vector<unsigned char>& bytes, uint16_t value) { put(bytes, &value, 2); }

// A 16-bit stereo WAV image at the mixer's rate: the samples a Sound holds, unchanged.
std::vector<unsigned char> pcmWav(const std::vector<int16_t>& stereo) {
    const auto                 dataBytes = static_cast<uint32_t>(stereo.size() * sizeof(int16_t));
    std::vector<unsigned char> bytes;
    put(bytes, "RIFF", 4);
    put32(bytes, 36 + dataBytes);
    put(bytes, "WAVEfmt ", 8);
    put32(bytes, 16);
    put16(bytes, 1);  // integer PCM
    put16(bytes, Sound::kChannels);
    put32(bytes, Sound::kSampleRate);
    put32(bytes, Sound::kSampleRate * Sound::kChannels * sizeof(int16_t));
    put16(bytes, Sound::kChannels * sizeof(int16_t));
    put16(bytes, 16);
    put(bytes, "data", 4);
    put32(bytes, dataBytes);
    put(bytes, stereo.data(), dataBytes);
    return bytes;
}

}  // namespace

bool makeClickTrack(Sound& sound, float bpm) {
    const auto           beatFrames  = static_cast<size_t>(std::lround(60.0 / bpm * Sound::kSampleRate));
    const auto           clickFrames = static_cast<size_t>(kClickSeconds * Sound::kSampleRate);
    std::vector<int16_t> stereo(beatFrames * Sound::kChannels, 0);
    for (size_t i = 0; i < clickFrames && i < beatFrames; ++i) {
        const double t     = static_cast<double>(i) / Sound::kSampleRate;
        const auto   value = static_cast<int16_t>(
            std::lround(26000.0 * std::exp(-kDecay * t) * std::sin(2.0 * M_PI * kClickHz * t + 0.5)));
        stereo[2 * i] = stereo[2 * i + 1] = value;
    }
    const std::vector<unsigned char> wav = pcmWav(stereo);
    if (sound.loadMem(wav.data(), wav.size()) != Sound::kOk) {
        base::logError("Failed to make the click track");
        return false;
    }
    sound.setLooping(true);
    return true;
}
