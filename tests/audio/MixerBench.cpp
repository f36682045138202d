// Benchmarks of the stem mixer on a level-sized load: 8 stems of 3 minutes,
// Ogg Vorbis, generated here once and kept under the temp folder. Decoding is
// compared with sox decoding the same files to raw floats; peak memory of
// loading the level is compared with the decoded PCM size; mixing is timed
// per 2048-frame chunk with 8 voices; the playback clock is compared with what
// a device plays. Numbers are reported, not asserted.
#include "audio/Mixer.h"

#include "AudioFiles.h"
#include "PlaybackProbe.h"
#include "audio/Sound.h"
#include "support/TestSupport.h"

#include <benchmark/benchmark.h>
#include <sndfile.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr int    kStems        = 8;
constexpr int    kStemSeconds  = 180;
constexpr double kChunkSeconds = static_cast<double>(Mixer::kChunkFrames) / Mixer::kSampleRate;

// Something music-like for the encoder: a few detuned partials per stem with a
// beat-length envelope and a little noise, so Vorbis does real work.
std::vector<float> stemSignal(int stem) {
    const int                             frames = kStemSeconds * Sound::kSampleRate;
    std::vector<float>                    out(static_cast<size_t>(frames) * 2);
    std::mt19937                          noise(static_cast<unsigned>(stem + 1));
    std::uniform_real_distribution<float> hiss(-0.02f, 0.02f);
    const double                          base = 55.0 * std::pow(2.0, stem / 3.0);
    for (int i = 0; i < frames; ++i) {
        const double t        = static_cast<double>(i) / Sound::kSampleRate;
        const double beat     = std::fmod(t * 2.0, 1.0);  // 120 BPM
        const double envelope = std::exp(-4.0 * beat);
        double       s        = 0;
        for (int k = 1; k <= 4; ++k) s += std::sin(2 * M_PI * base * k * (1 + 0.001 * k) * t) / k;
        out[2 * i]     = static_cast<float>(0.12 * envelope * s) + hiss(noise);
        out[2 * i + 1] = static_cast<float>(0.12 * envelope * std::sin(2 * M_PI * base * 1.5 * t)) + hiss(noise);
    }
    return out;
}

fs::path levelFolder() { return fs::temp_directory_path() / "lumoka-mixer-bench"; }
fs::path stemPath(int stem) { return levelFolder() / ("stem" + std::to_string(stem) + ".ogg"); }

testaudio::Bytes readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return testaudio::Bytes(std::istreambuf_iterator<char>(in), {});
}

// The level's OGG images in memory, written to disk first if missing.
const std::vector<testaudio::Bytes>& levelFiles() {
    static const std::vector<testaudio::Bytes> files = [] {
        fs::create_directories(levelFolder());
        std::vector<std::thread> writers;
        for (int half = 0; half < 2; ++half) {
            writers.emplace_back([half] {
                for (int stem = half; stem < kStems; stem += 2) {
                    if (fs::exists(stemPath(stem))) continue;
                    const testaudio::Bytes ogg =
                        testaudio::encoded(stemSignal(stem), 2, Sound::kSampleRate, SF_FORMAT_OGG | SF_FORMAT_VORBIS);
                    const fs::path partial = stemPath(stem).string() + ".part";
                    std::ofstream(partial, std::ios::binary)
                        .write(reinterpret_cast<const char*>(ogg.data()), static_cast<std::streamsize>(ogg.size()));
                    fs::rename(partial, stemPath(stem));
                }
            });
        }
        for (std::thread& w : writers) w.join();
        std::vector<testaudio::Bytes> images;
        for (int stem = 0; stem < kStems; ++stem) images.push_back(readBytes(stemPath(stem)));
        return images;
    }();
    return files;
}

std::vector<Sound> decodeLevel() {
    std::vector<Sound> sounds(kStems);
    for (int stem = 0; stem < kStems; ++stem) {
        const testaudio::Bytes& file = levelFiles()[stem];
        if (sounds[stem].loadMem(file.data(), file.size()) != Sound::kOk) std::abort();
    }
    return sounds;
}

uint64_t pcmBytes(const std::vector<Sound>& sounds) {
    uint64_t bytes = 0;
    for (const Sound& s : sounds) bytes += s.frameCount() * Sound::kChannels * sizeof(*s.samples());
    return bytes;
}

void BM_DecodeLevelOurs(benchmark::State& state) {
    levelFiles();
    uint64_t bytes = 0;
    for (auto _ : state) {
        std::vector<Sound> sounds = decodeLevel();
        bytes                     = pcmBytes(sounds);
        benchmark::DoNotOptimize(sounds.data());
    }
    state.counters["pcm_MiB"] = static_cast<double>(bytes) / (1 << 20);
}
BENCHMARK(BM_DecodeLevelOurs)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

double childCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// sox runs as a child process, so its CPU time is taken from the children's
// account; it is the fairer figure on a busy machine.
void BM_DecodeLevelSox(benchmark::State& state) {
    levelFiles();
    const double cpuBefore = childCpuSeconds();
    for (auto _ : state) {
        for (int stem = 0; stem < kStems; ++stem) {
            const std::string command =
                "sox -q '" + stemPath(stem).string() + "' -t raw -e floating-point -b 32 -r 44100 -c 2 /dev/null";
            if (std::system(command.c_str()) != 0) {
                state.SkipWithError("sox failed (is it installed?)");
                return;
            }
        }
    }
    state.counters["sox_cpu_ms"] = 1000 * (childCpuSeconds() - cpuBefore) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_DecodeLevelSox)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// Peak resident memory while the level loads, above what was resident before.
void BM_LoadLevelPeakMemory(benchmark::State& state) {
    levelFiles();
    double   peakKiB = 0, keptKiB = 0;
    uint64_t bytes = 0;
    for (auto _ : state) {
        std::ofstream("/proc/self/clear_refs") << "5";  // resets the high-water mark
        const double       before = testsupport::statusKiB("VmRSS:");
        std::vector<Sound> sounds = decodeLevel();
        peakKiB                   = testsupport::statusKiB("VmHWM:") - before;
        keptKiB                   = testsupport::statusKiB("VmRSS:") - before;
        bytes                     = pcmBytes(sounds);
    }
    const double pcmKiB             = static_cast<double>(bytes) / 1024;
    state.counters["pcm_MiB"]       = pcmKiB / 1024;
    state.counters["peak_MiB"]      = peakKiB / 1024;
    state.counters["kept_MiB"]      = keptKiB / 1024;
    state.counters["peak_over_pcm"] = peakKiB / pcmKiB;
}
BENCHMARK(BM_LoadLevelPeakMemory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// One chunk of the whole level playing; range(0) is the group's speed in
// thousandths (1000: native, the game's case; anything else resamples).
void BM_MixChunk8Voices(benchmark::State& state) {
    static const std::vector<Sound> sounds = [] {
        std::vector<Sound> level = decodeLevel();
        for (Sound& s : level) s.setLooping(true);
        return level;
    }();
    Mixer mixer;
    mixer.init(Mixer::kClipRoundoff, Mixer::Output::None);
    const uint32_t group = mixer.createVoiceGroup();
    for (const Sound& s : sounds) mixer.addVoiceToGroup(group, mixer.play(s, 0.7f));
    mixer.setRelativePlaySpeed(group, static_cast<float>(state.range(0)) / 1000);
    std::vector<float> out(2 * Mixer::kChunkFrames);
    const auto         start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        mixer.mix(out.data(), Mixer::kChunkFrames);
        benchmark::DoNotOptimize(out.data());
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    state.counters["percent_of_chunk_duration"] =
        100 * elapsed.count() / (static_cast<double>(state.iterations()) * kChunkSeconds);
}
BENCHMARK(BM_MixChunk8Voices)->Arg(1000)->Arg(1010)->Unit(benchmark::kMicrosecond);

// The playback clock against what the speaker plays (SDL's disk driver into a
// pipe, see PlaybackProbe.h), sampled at random moments for 10 s, next to the
// chunked stream time; milliseconds of error, absolute.
void BM_PlaybackClockError(benchmark::State& state) {
    const fs::path folder = fs::temp_directory_path() / ("lumoka-clock-bench-" + std::to_string(getpid()));
    fs::create_directories(folder);
    testaudio::ClockErrors errors;
    for (auto _ : state) errors = testaudio::measureClockErrors(folder, 10.0, 7);
    fs::remove_all(folder);
    state.counters["samples"]        = static_cast<double>(errors.playback.size());
    state.counters["monotonic"]      = errors.monotonic ? 1 : 0;
    state.counters["p50_ms"]         = testaudio::absolutePercentile(errors.playback, 0.5);
    state.counters["p99_ms"]         = testaudio::absolutePercentile(errors.playback, 0.99);
    state.counters["max_ms"]         = testaudio::absolutePercentile(errors.playback, 1.0);
    state.counters["chunked_p50_ms"] = testaudio::absolutePercentile(errors.chunked, 0.5);
    state.counters["chunked_max_ms"] = testaudio::absolutePercentile(errors.chunked, 1.0);
}
BENCHMARK(BM_PlaybackClockError)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

// Console output plus the decode ratios once both decode runs are in.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.benchmark_name().rfind("BM_DecodeLevelOurs", 0) == 0) {
                oursWallMs_ = run.GetAdjustedRealTime();
                oursCpuMs_  = run.GetAdjustedCPUTime();
            } else if (run.benchmark_name().rfind("BM_DecodeLevelSox", 0) == 0 && run.counters.count("sox_cpu_ms")) {
                soxWallMs_ = run.GetAdjustedRealTime();
                soxCpuMs_  = run.counters.at("sox_cpu_ms");
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        if (oursWallMs_ > 0 && soxWallMs_ > 0)
            std::printf("decoding the level, ours / sox: wall time %.3f, CPU time %.3f\n", oursWallMs_ / soxWallMs_,
                        oursCpuMs_ / soxCpuMs_);
    }

private:
    double oursWallMs_ = 0, oursCpuMs_ = 0, soxWallMs_ = 0, soxCpuMs_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
}
