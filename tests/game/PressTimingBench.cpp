// How far a judged press is from the playback clock at the moment of the press,
// with the frame loop at 20 and 60 frames a second. The mixer plays on a real
// device (SDL's dummy driver in tools/bench.sh); a presser thread reads the
// clock and pushes a key event stamped at that instant; the frame loop reads
// the events through the input manager and the clock once a frame, as the
// game does, and judges each press at its stamp. The press read at the frame's
// clock, as the game did before, is reported beside it.
#include "audio/AudioFiles.h"
#include "audio/AudioSystem.h"
#include "audio/Mixer.h"
#include "game/GameLogic.h"
#include "input/InputManager.h"

#include <SDL3/SDL.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

namespace {

constexpr double   kSeconds       = 5.0;
constexpr uint64_t kTrustedReadNs = 200'000;  // a clock read taking longer was preempted: its moment is unsure

double percentileMs(std::vector<double> seconds, double share) {
    if (seconds.empty()) return 0.0;
    for (double& value : seconds) value = std::abs(value) * 1000.0;
    std::sort(seconds.begin(), seconds.end());
    return seconds[static_cast<size_t>(share * static_cast<double>(seconds.size() - 1))];
}

// The clock at each press's stamp, as the presser read it.
struct Truths {
    std::mutex                 lock;
    std::map<uint64_t, double> byStamp;
};

void pressAtRandomMoments(Mixer& mixer, uint32_t voice, Truths& truths, const std::atomic<bool>& stop) {
    std::mt19937                       random(7);
    std::uniform_int_distribution<int> waitUs(15'000, 70'000);
    int32_t                            key = 'a';
    while (!stop.load()) {
        std::this_thread::sleep_for(std::chrono::microseconds(waitUs(random)));
        SDL_Event event{};
        event.type            = SDL_EVENT_KEY_DOWN;
        event.key.key         = static_cast<SDL_Keycode>(key);
        const uint64_t before = SDL_GetTicksNS();
        const double   clock  = mixer.getPlaybackTime(voice);
        const uint64_t after  = SDL_GetTicksNS();
        if (after - before > kTrustedReadNs) continue;
        const uint64_t stamp   = before + (after - before) / 2;
        event.common.timestamp = stamp;
        {
            std::lock_guard<std::mutex> guard(truths.lock);
            truths.byStamp[stamp] = clock;
        }
        SDL_PushEvent(&event);
        key = key == 'z' ? 'a' : key + 1;  // two presses in one frame stay two keys
    }
}

void BM_JudgedTimeError(benchmark::State& state) {
    const int fps = static_cast<int>(state.range(0));
    if (!SDL_Init(SDL_INIT_EVENTS | SDL_INIT_AUDIO)) {
        state.SkipWithError(SDL_GetError());
        return;
    }
    Mixer mixer;
    if (mixer.init() != Mixer::kOk) {
        state.SkipWithError("no audio device");
        SDL_Quit();
        return;
    }
    const Sound         silence = testaudio::soundFrom(std::vector<float>(2 * Sound::kSampleRate, 0.0f), true);
    const uint32_t      voice   = mixer.play(silence);
    std::vector<double> judged, framed;
    for (auto _ : state) {
        InputManager input;
        input.init();
        GameLogic         game;
        Truths            truths;
        std::atomic<bool> stop{false};
        std::thread       presser(pressAtRandomMoments, std::ref(mixer), voice, std::ref(truths), std::cref(stop));
        const auto        frame = std::chrono::nanoseconds(1'000'000'000 / fps);
        auto              next  = std::chrono::steady_clock::now();
        for (int i = 0; i < static_cast<int>(kSeconds * fps); ++i) {
            next += frame;
            std::this_thread::sleep_until(next);
            input.processEvents(nullptr, false);
            game.streamTime = playbackTimeNow(mixer, voice, game.streamClockNs);
            std::lock_guard<std::mutex> guard(truths.lock);
            for (const auto& [key, stamp] : input.keysPressed) {
                const double truth = truths.byStamp.at(stamp);
                judged.push_back(game.momentOf(stamp) - truth);
                framed.push_back(game.streamTime - truth);
            }
            input.endFrame();
        }
        stop.store(true);
        presser.join();
    }
    state.counters["presses"]         = static_cast<double>(judged.size());
    state.counters["p50_ms"]          = percentileMs(judged, 0.5);
    state.counters["p99_ms"]          = percentileMs(judged, 0.99);
    state.counters["at_frame_p50_ms"] = percentileMs(framed, 0.5);
    state.counters["at_frame_p99_ms"] = percentileMs(framed, 0.99);
    mixer.deinit();
    SDL_Quit();
}

BENCHMARK(BM_JudgedTimeError)
    ->ArgName("fps")
    ->Arg(20)
    ->Arg(60)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
