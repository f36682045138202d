// Songs for the importer's tests, written with libsndfile: a burst on every
// beat at 120 BPM (a decaying tone, or noise when no pitch is given), so there
// is something to chart, after an optional silence; or a steady tone or noise
// with nothing to chart.
#pragma once

#include <sndfile.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <numbers>
#include <vector>

namespace songfiles {

inline bool writeStereo(const std::filesystem::path& path, const std::vector<float>& stereo) {
    constexpr int kRate = 44100;
    SF_INFO       info{};
    info.samplerate = kRate;
    info.channels   = 2;
    info.format     = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file   = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file == nullptr) return false;
    const bool written =
        sf_writef_float(file, stereo.data(), sf_count_t(stereo.size() / 2)) == sf_count_t(stereo.size() / 2);
    return sf_close(file) == 0 && written;
}

// `steady`: the source as it is, without the beat's bursts.
inline std::vector<float> song(double seconds, float gain, double pitchHz, bool steady, double silenceBefore = 0.0) {
    constexpr int      kRate = 44100;
    std::vector<float> stereo(static_cast<size_t>((silenceBefore + seconds) * kRate) * 2);
    uint32_t           noise = 1;
    for (size_t i = static_cast<size_t>(silenceBefore * kRate); i < stereo.size() / 2; ++i) {
        noise                  = noise * 1664525u + 1013904223u;
        const double t         = double(i) / kRate - silenceBefore;
        const double sinceBeat = std::fmod(t, 0.5);
        const double source =
            pitchHz > 0.0 ? std::sin(2.0 * std::numbers::pi * pitchHz * t) : double(noise >> 8) / 8388608.0 - 1.0;
        stereo[2 * i] = stereo[2 * i + 1] = gain * float((steady ? 1.0 : std::exp(-sinceBeat * 12.0)) * source);
    }
    return stereo;
}

inline bool writeBeatSong(const std::filesystem::path& path, double seconds, float gain = 0.5f, double pitchHz = 0.0,
                          double silenceBefore = 0.0) {
    return writeStereo(path, song(seconds, gain, pitchHz, false, silenceBefore));
}

inline bool writeSteadySong(const std::filesystem::path& path, double seconds, float gain, double pitchHz = 0.0) {
    return writeStereo(path, song(seconds, gain, pitchHz, true));
}

}  // namespace songfiles
