// The band split and the instrument split: the stems played together give the
// song back (their sum within -60 dB of its RMS), lined up with it, and each
// holds its own part: a band its range of the spectrum, an instrument stem
// its instrument. Checked on test sounds and once on real music (a Debian
// package of game music, asc-music, installed by the set-up).
#include "songimport/BandSplit.h"
#include "songimport/InstrumentSplit.h"
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

std::vector<std::vector<float>> instruments(const std::vector<float>& stereo) {
    std::vector<std::vector<float>> out(kInstrumentCount);
    splitInstruments(stereo.data(), stereo.size() / 2, [&](const float* const* stems, size_t frames) {
        for (int i = 0; i < kInstrumentCount; ++i) out[i].insert(out[i].end(), stems[i], stems[i] + 2 * frames);
        return true;
    });
    return out;
}

std::vector<std::vector<float>> bands(const std::vector<float>& stereo) {
    std::vector<std::vector<float>> out;
    for (int b = 0; b < kBandCount; ++b) out.push_back(band(b, stereo));
    return out;
}

// The error of the stems' sum against the input, in dB of the input's RMS.
double reconstructionErrorDb(const std::vector<float>& input, const std::vector<std::vector<float>>& bands) {
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
    EXPECT_LT(reconstructionErrorDb(mix, bands(mix)), -60.0);
    EXPECT_EQ(band(0, mix).size(), mix.size());

    EXPECT_GT(shareInBand(0, 55.0), 0.98);  // bass stays in the low band...
    EXPECT_LT(shareInBand(1, 55.0), 0.02);
    EXPECT_LT(shareInBand(2, 55.0), 0.02);
    EXPECT_GT(shareInBand(1, 700.0), 0.98);  // ...the middle in the mid band...
    EXPECT_LT(shareInBand(0, 700.0), 0.02);
    EXPECT_GT(shareInBand(2, 6000.0), 0.98);  // ...and the top in the high band, in step with the input
    EXPECT_LT(shareInBand(1, 6000.0), 0.02);
}

// Scale-invariant signal-to-distortion ratio of a stem against the part it should hold, in dB.
double siSdr(const std::vector<float>& stem, const std::vector<float>& part) {
    double dot = 0.0, energy = 0.0;
    for (size_t i = 0; i < part.size(); ++i) {
        dot += double(stem.at(i)) * part[i];
        energy += double(part[i]) * part[i];
    }
    double target = 0.0, noise = 0.0;
    for (size_t i = 0; i < part.size(); ++i) {
        const double t = dot / energy * part[i];
        target += t * t;
        noise += (stem[i] - t) * (stem[i] - t);
    }
    return 10.0 * std::log10(target / noise);
}

// A click every half second, a held 55 Hz bass and a held 880 Hz tone, mixed.
TEST(InstrumentSplit, StemsAddUpToTheSongAndEachHoldsItsInstrument) {
    const size_t       frames = size_t(4.0 * kRate);
    std::vector<float> clicks(2 * frames), bass(2 * frames), tone(2 * frames), mix(2 * frames);
    uint32_t           noise = 777;
    for (size_t i = 0; i < frames; ++i) {
        noise                = noise * 1664525u + 1013904223u;
        const double t       = double(i) / kRate;
        const double since   = std::fmod(t, 0.5);
        const float  click   = since < 0.01 ? float(0.5 * std::exp(-since * 400.0) * (double(noise >> 8) / 8388608.0 - 1.0)) : 0.0f;
        const float  low     = float(0.3 * std::sin(2 * std::numbers::pi * 55 * t));
        const float  high    = float(0.2 * std::sin(2 * std::numbers::pi * 880 * t));
        clicks[2 * i] = clicks[2 * i + 1] = click;
        bass[2 * i] = bass[2 * i + 1] = low;
        tone[2 * i] = tone[2 * i + 1] = high;
        mix[2 * i] = mix[2 * i + 1] = click + low + high;
    }
    const std::vector<std::vector<float>> stems = instruments(mix);
    ASSERT_EQ(stems.size(), size_t(kInstrumentCount));
    EXPECT_EQ(stems[0].size(), mix.size());
    EXPECT_LT(reconstructionErrorDb(mix, stems), -60.0);
    const double drums = siSdr(stems[0], clicks), low = siSdr(stems[1], bass), rest = siSdr(stems[2], tone);
    std::printf("SI-SDR: drums %.1f dB, bass %.1f dB, the rest %.1f dB\n", drums, low, rest);
    EXPECT_GT(drums, 3.0);
    EXPECT_GT(low, 10.0);
    EXPECT_GT(rest, 10.0);
}

TEST(BandSplit, RealMusicComesBackWithinSixtyDecibelsFromBandsAndInstruments) {
    if (!std::filesystem::exists(kRealMusic)) GTEST_SKIP() << kRealMusic << " is missing: install Debian's asc-music";
    DecodedSong song;
    std::string why;
    ASSERT_TRUE(decodeSong(kRealMusic, song, why)) << why;
    ASSERT_GT(song.seconds(), 30.0);
    const std::vector<float> opening(song.samples.get(), song.samples.get() + size_t(30 * kRate) * 2);
    const double             error = reconstructionErrorDb(opening, bands(opening));
    std::printf("bands' sum against the song: %.1f dB\n", error);
    EXPECT_LT(error, -60.0);
    const double             instrumentError = reconstructionErrorDb(opening, instruments(opening));
    std::printf("instruments' sum against the song: %.1f dB\n", instrumentError);
    EXPECT_LT(instrumentError, -60.0);
}

}  // namespace
