// Loading a long level while the frame loop runs: a package of 8 ten-minute
// stems (44.1 kHz stereo 16-bit WAVs, 847 MB of files, or 11025 Hz mono ones,
// 106 MB) is started as the main menu starts a level, with the real logic
// thread and SDL's dummy audio device running. Reported: the whole process's
// peak resident memory and the longest frame from the start request until the
// level has played for a second, both from one frame start to the next and
// the frame's own game-state work (the rest is waiting for the CPU on a busy
// machine). The WAVs are written once under the temp
// folder and kept. Numbers are reported, not asserted.
#include "app/App.h"
#include "app/LogicThread.h"
#include "support/AppRig.h"
#include "support/LevelFiles.h"

#include <SDL3/SDL_hints.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int    kStems         = 8;
constexpr int    kStemSeconds   = 600;
constexpr auto   kFramePeriod   = 16667us;
constexpr double kPlayedSeconds = 1.0;

void putLittle(std::ofstream& out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A 16-bit PCM WAV of a quiet tone per stem, written block by block so the
// writer never holds the whole file.
void writeLongWav(const fs::path& path, int rate, int channels, int stem) {
    const uint64_t frames    = uint64_t{kStemSeconds} * static_cast<uint64_t>(rate);
    const uint32_t dataBytes = static_cast<uint32_t>(frames * static_cast<uint64_t>(channels) * 2);
    const fs::path partial   = path.string() + ".part";
    std::ofstream  out(partial, std::ios::binary);
    out.write("RIFF", 4);
    putLittle(out, 36 + dataBytes, 4);
    out.write("WAVEfmt ", 8);
    putLittle(out, 16, 4);
    putLittle(out, 1, 2);
    putLittle(out, static_cast<uint32_t>(channels), 2);
    putLittle(out, static_cast<uint32_t>(rate), 4);
    putLittle(out, static_cast<uint32_t>(rate * channels * 2), 4);
    putLittle(out, static_cast<uint32_t>(channels * 2), 2);
    putLittle(out, 16, 2);
    out.write("data", 4);
    putLittle(out, dataBytes, 4);
    std::vector<int16_t> block;
    const double         hz = 110.0 * (1 + stem);
    for (uint64_t i = 0; i < frames; ++i) {
        const auto value = static_cast<int16_t>(3000.0 * std::sin(2.0 * M_PI * hz * static_cast<double>(i) / rate));
        for (int c = 0; c < channels; ++c) block.push_back(value);
        if (block.size() >= 65536 || i + 1 == frames) {
            out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(block.size() * 2));
            block.clear();
        }
    }
    out.close();
    fs::rename(partial, path);
}

// levels/<name>/ with level.json, 8 long WAVs and a chart for each.
fs::path writeLevel(const std::string& name, int rate, int channels) {
    const fs::path folder = fs::temp_directory_path() / "lumoka-level-load-bench" / "levels" / name;
    fs::create_directories(folder);
    std::string stems;
    for (int s = 0; s < kStems; ++s) {
        const std::string wav = "stem" + std::to_string(s) + ".wav";
        const std::string mid = "stem" + std::to_string(s) + ".mid";
        if (!fs::exists(folder / wav)) writeLongWav(folder / wav, rate, channels, s);
        std::vector<levelfiles::Note> notes;
        for (int i = 0; i < 600; ++i) notes.push_back({0.5 + i, 0.1, 40 + s * 5, 90});
        levelfiles::writeMidi(folder / mid, notes);
        stems += (s ? ", " : "") + std::string(R"({"file": ")") + wav + R"(", "midi": ")" + mid +
                 R"(", "startOrder": )" + std::to_string(s) + "}";
    }
    testsupport::writeFile(folder / "level.json", "{\"bpm\": 120, \"stems\": [" + stems + "]}");
    return folder.parent_path().parent_path();
}

struct LoadFigures {
    double longestFrameMs = 0;
    double longestWorkMs  = 0;
    double loadSeconds    = 0;
    bool   played         = false;
};

// One frame's game-state work without drawing, paced like a 60 Hz swap: the
// level the loader finished is installed and its run started here.
void frame(App& app, float dt) {
    std::lock_guard<std::mutex> lock(gameStateMutex);
    app.installLoadedLevel();
    app.audio.update(dt);
    app.audio.updateStreamTime(app.game.streamTime, app.game.streamClockNs);
    app.game.updateCircles(dt);
}

LoadFigures runFrames(App& app, const std::string& name) {
    LoadFigures             figures;
    const Clock::time_point requested = Clock::now();
    Clock::time_point       last      = requested;
    Clock::time_point       playingAt{};
    bool                    started = false;
    while (Clock::now() - requested < 300s) {
        if (!started) {
            app.levelLoader.request({"levels/" + name, name, LevelLoader::Purpose::Run});
            started = true;
        }
        const Clock::time_point begin = Clock::now();
        frame(app, 1.0f / 60.0f);
        figures.longestWorkMs =
            std::max(figures.longestWorkMs, std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
        if (app.audio.playing && playingAt == Clock::time_point{}) {
            playingAt           = Clock::now();
            figures.loadSeconds = std::chrono::duration<double>(playingAt - requested).count();
        }
        std::this_thread::sleep_until(last + kFramePeriod);
        const Clock::time_point now = Clock::now();
        figures.longestFrameMs =
            std::max(figures.longestFrameMs, std::chrono::duration<double, std::milli>(now - last).count());
        last = now;
        if (playingAt != Clock::time_point{} && now - playingAt > std::chrono::duration<double>(kPlayedSeconds)) {
            figures.played = true;
            break;
        }
    }
    return figures;
}

void BM_LoadLongLevel(benchmark::State& state, const char* name, int rate, int channels) {
    const fs::path root     = writeLevel(name, rate, channels);
    const fs::path previous = fs::current_path();
    fs::current_path(root);
    SDL_SetHint(SDL_HINT_AUDIO_DRIVER, "dummy");
    LoadFigures figures;
    double      peakKiB = 0;
    for (auto _ : state) {
        std::ofstream("/proc/self/clear_refs") << "5";  // resets the high-water mark
        std::unique_ptr<App> app = testsupport::windowlessApp();
        if (!app) {
            state.SkipWithError("no audio device");
            return;
        }
        std::thread logic(runLogicThread, app.get());
        figures       = runFrames(*app, name);
        peakKiB       = testsupport::statusKiB("VmHWM:");
        stopRequested = true;
        logic.join();
        app->levelLoader.shutdown();
        app->audio.shutdown();
    }
    fs::current_path(previous);
    if (!figures.played) state.SkipWithError("the level did not start playing");
    state.counters["peak_MiB"]         = peakKiB / 1024;
    state.counters["longest_frame_ms"] = figures.longestFrameMs;
    state.counters["longest_work_ms"]  = figures.longestWorkMs;
    state.counters["load_s"]           = figures.loadSeconds;
}
BENCHMARK_CAPTURE(BM_LoadLongLevel, stereo44k, "long_stereo", 44100, 2)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_LoadLongLevel, mono11k, "long_mono", 11025, 1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
