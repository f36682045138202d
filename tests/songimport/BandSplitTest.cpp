// The band split: the three bands played together give the song back (their
// sum within -60 dB of its RMS), lined up with it, and each band holds its
// own part of the spectrum. Checked on test tones and once on real music
// (a Debian package of game music, asc-music, installed by the set-up).
#include "songimport/BandSplit.h"
#include "songimport/SongDecoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <vector>

namespace {

constexpr double      kRate      = 44100.0;
constexpr const char* kRealMusic = "/usr/share/games/asc/music/machine_wars.mp3";

std::vector<float> band(int which, const std::vector<float>& stereo) {
    std::vector<float> out;
    splitBand(which, stereo.data(), stereo.size() / 2, [&](const float* s, size_t frames) {
        out.insert(out.end(), s, s + 2 * frames);
        return true;
    });
    return out;
}

double rms(const std::vector<float>& v) {
    double sum = 0.0;
    for (float x : v) sum += double(x) * x;
    return std::sqrt(sum / double(v.size()));
}

// The error of the bands' sum against the input, in dB of the input's RMS.
double reconstructionErrorDb(const std::vector<float>& input) {
    std::vector<std::vector<float>> bands;
    for (int b = 0; b < kBandCount; ++b) bands.push_back(band(b, input));
    std::vector<float> error(input.size());
    for (size_t i = 0; i < input.size(); ++i) {
        double sum = 0.0;
        for (const auto& b : bands) sum += b.at(i);
        error[i] = float(sum - input[i]);
    }
    return 20.0 * std::log10(rms(error) / rms(input));
}

std::vector<float> tone(double hz, double seconds) {
    std::vector<float> stereo(size_t(seconds * kRate) * 2);
    for (size_t i = 0; i < stereo.size() / 2; ++i) {
        const float v     = float(0.5 * std::sin(2.0 * std::numbers::pi * hz * double(i) / kRate));
        stereo[2 * i]     = v;
        stereo[2 * i + 1] = -v;
    }
    return stereo;
}

// Share of the tone's RMS that lands in the band, away from the edges.
double shareInBand(int which, double hz) {
    const std::vector<float> in = tone(hz, 1.0), out = band(which, in);
    const size_t             from = 2 * 4096, to = in.size() - 2 * 4096;
    double                   kept = 0.0, all = 0.0;
    for (size_t i = from; i < to; ++i) {
        kept += double(out[i]) * out[i];
        all += double(in[i]) * in[i];
    }
    return std::sqrt(kept / all);
}

TEST(BandSplit, BandsAddUpToTheSongAndEachHoldsItsRange) {
    std::vector<float> mix(size_t(3.0 * kRate) * 2);
    uint32_t           noise = 12345;
    for (size_t i = 0; i < mix.size(); ++i) {
        noise          = noise * 1664525u + 1013904223u;
        const double t = double(i / 2) / kRate;
        mix[i] = float(0.3 * std::sin(2 * std::numbers::pi * 55 * t) + 0.2 * std::sin(2 * std::numbers::pi * 700 * t) +
                       0.1 * std::sin(2 * std::numbers::pi * 6000 * t) + 0.05 * (double(noise >> 8) / 8388608.0 - 1.0));
    }
    EXPECT_LT(reconstructionErrorDb(mix), -60.0);
    EXPECT_EQ(band(0, mix).size(), mix.size());

    EXPECT_GT(shareInBand(0, 55.0), 0.98);  // bass stays in the low band...
    EXPECT_LT(shareInBand(1, 55.0), 0.02);
    EXPECT_LT(shareInBand(2, 55.0), 0.02);
    EXPECT_GT(shareInBand(1, 700.0), 0.98);  // ...the middle in the mid band...
    EXPECT_LT(shareInBand(0, 700.0), 0.02);
    EXPECT_GT(shareInBand(2, 6000.0), 0.98);  // ...and the top in the high band, in step with the input
    EXPECT_LT(shareInBand(1, 6000.0), 0.02);
}

TEST(BandSplit, RealMusicComesBackWithinSixtyDecibels) {
    if (!std::filesystem::exists(kRealMusic)) GTEST_SKIP() << kRealMusic << " is missing: install Debian's asc-music";
    DecodedSong song;
    std::string why;
    ASSERT_TRUE(decodeSong(kRealMusic, song, why)) << why;
    ASSERT_GT(song.seconds(), 30.0);
    const std::vector<float> opening(song.samples.get(), song.samples.get() + size_t(30 * kRate) * 2);
    const double             error = reconstructionErrorDb(opening);
    std::printf("bands' sum against the song: %.1f dB\n", error);
    EXPECT_LT(error, -60.0);
}

}  // namespace
