// How well a mixed song comes apart into instruments: the stems of every
// generated level are mixed, the mix is split by the frequency bands and by
// the instrument split, and each true part is scored by its best SI-SDR among
// the made stems (scale-invariant signal-to-distortion ratio, in dB): the
// drum stem, the bass stem, and the rest (the sum of the other stems).
// Usage: separation_bench LEVELS_DIR [HARMONIC_FRAMES PERCUSSIVE_BINS POWER DRUM_MARGIN CROSSOVER_HZ]
// (the optional figures override the split's settings, for tuning).
#include "songimport/BandSplit.h"
#include "songimport/InstrumentSplit.h"
#include "songimport/SongDecoder.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

using Signal = std::vector<float>;

struct TrueParts {
    Signal mix, drums, bass, rest;
};

bool loadParts(const fs::path& manifest, TrueParts& parts) {
    std::ifstream  in(manifest);
    nlohmann::json doc = nlohmann::json::parse(in, nullptr, false);
    if (!doc.is_object() || !doc.contains("stems")) return false;
    for (const auto& stem : doc["stems"]) {
        const std::string file = stem.value("file", "");
        DecodedSong       song;
        std::string       why;
        if (!decodeSong((manifest.parent_path() / file).string(), song, why)) {
            std::fprintf(stderr, "%s: %s\n", file.c_str(), why.c_str());
            return false;
        }
        const size_t      n    = size_t(song.frames) * 2;
        const std::string name = fs::path(file).stem().string();
        Signal&           part = name == "drums" ? parts.drums : name == "bass" ? parts.bass : parts.rest;
        for (Signal* s : {&parts.mix, &parts.drums, &parts.bass, &parts.rest})
            if (s->size() < n) s->resize(n, 0.0f);
        for (size_t i = 0; i < n; ++i) {
            part[i] += song.samples[i];
            parts.mix[i] += song.samples[i];
        }
    }
    return !parts.mix.empty();
}

double siSdr(const Signal& estimate, const Signal& reference) {
    double dot = 0.0, energy = 0.0;
    for (size_t i = 0; i < reference.size(); ++i) {
        dot += double(estimate[i]) * reference[i];
        energy += double(reference[i]) * reference[i];
    }
    if (energy <= 0.0) return NAN;
    const double scale = dot / energy;
    double       target = 0.0, noise = 0.0;
    for (size_t i = 0; i < reference.size(); ++i) {
        const double t = scale * reference[i];
        target += t * t;
        noise += (estimate[i] - t) * (estimate[i] - t);
    }
    return 10.0 * std::log10(target / std::max(noise, 1e-20));
}

double best(const std::vector<Signal>& made, const Signal& reference) {
    double top = -INFINITY;
    for (const Signal& s : made) top = std::max(top, siSdr(s, reference));
    return std::isfinite(top) ? top : NAN;
}

std::vector<Signal> bands(const Signal& mix) {
    std::vector<Signal> out(kBandCount);
    for (int b = 0; b < kBandCount; ++b)
        splitBand(b, mix.data(), mix.size() / 2, [&](const float* s, size_t frames) {
            out[b].insert(out[b].end(), s, s + 2 * frames);
            return true;
        });
    return out;
}

std::vector<Signal> instruments(const Signal& mix, const SplitSettings& settings) {
    std::vector<Signal> out(kInstrumentCount);
    splitInstruments(
        mix.data(), mix.size() / 2,
        [&](const float* const* stems, size_t frames) {
            for (int i = 0; i < kInstrumentCount; ++i) out[i].insert(out[i].end(), stems[i], stems[i] + 2 * frames);
            return true;
        },
        settings);
    return out;
}

struct Scores {
    double drums = 0, bass = 0, rest = 0;
};

Scores score(const std::vector<Signal>& made, const TrueParts& parts) {
    return {best(made, parts.drums), best(made, parts.bass), best(made, parts.rest)};
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 7) {
        std::fprintf(stderr, "usage: separation_bench LEVELS_DIR [HARMONIC_FRAMES PERCUSSIVE_BINS POWER DRUM_MARGIN CROSSOVER_HZ]\n");
        return 2;
    }
    SplitSettings settings;
    if (argc == 7) {
        settings.harmonicFrames = std::atoi(argv[2]);
        settings.percussiveBins = std::atoi(argv[3]);
        settings.maskPower      = std::atoi(argv[4]);
        settings.drumMargin     = float(std::atof(argv[5]));
        settings.crossoverHz    = float(std::atof(argv[6]));
    }
    const fs::path levels = argv[1];
    std::printf("%-14s %-10s %8s %8s %8s\n", "level", "split", "drums", "bass", "rest");
    Scores sumBands, sumSplit;
    int    counted = 0, bassCounted = 0;
    bool   everyLevelBetter = true;
    for (const char* manifest : {"level.json", "sample_a.zip/level.json", "sample_b.zip/level.json",
                                 "sample_c.zip/level.json", "tutorialsong/level.json"}) {
        TrueParts parts;
        if (!loadParts(levels / manifest, parts)) continue;
        const std::string name  = fs::path(manifest).parent_path().empty() ? "default" : fs::path(manifest).parent_path().string();
        const Scores      was   = score(bands(parts.mix), parts);
        const Scores      now   = score(instruments(parts.mix, settings), parts);
        std::printf("%-14s %-10s %8.2f %8.2f %8.2f\n", name.c_str(), "bands", was.drums, was.bass, was.rest);
        std::printf("%-14s %-10s %8.2f %8.2f %8.2f\n", name.c_str(), "instrument", now.drums, now.bass, now.rest);
        ++counted;
        sumBands.drums += was.drums, sumSplit.drums += now.drums;
        sumBands.rest += was.rest, sumSplit.rest += now.rest;
        everyLevelBetter = everyLevelBetter && now.drums > was.drums && now.rest > was.rest;
        if (std::isfinite(now.bass)) {
            ++bassCounted;
            sumBands.bass += was.bass, sumSplit.bass += now.bass;
            everyLevelBetter = everyLevelBetter && now.bass > was.bass;
        }
    }
    if (counted == 0) {
        std::fprintf(stderr, "no generated levels in %s (run tools/generate-levels.sh)\n", levels.string().c_str());
        return 1;
    }
    const auto mean = [](double sum, int n) { return n ? sum / n : NAN; };
    std::printf("SI-SDR drums, bands: %.2f\n", mean(sumBands.drums, counted));
    std::printf("SI-SDR bass, bands: %.2f\n", mean(sumBands.bass, bassCounted));
    std::printf("SI-SDR rest, bands: %.2f\n", mean(sumBands.rest, counted));
    std::printf("SI-SDR drums, instruments: %.2f\n", mean(sumSplit.drums, counted));
    std::printf("SI-SDR bass, instruments: %.2f\n", mean(sumSplit.bass, bassCounted));
    std::printf("SI-SDR rest, instruments: %.2f\n", mean(sumSplit.rest, counted));
    std::printf("instruments better on every level: %s\n", everyLevelBetter ? "yes" : "no");
    return 0;
}
