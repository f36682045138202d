// Frame costs of the render passes on whatever GL the display offers (llvmpipe
// under Xvfb here): the background at full size, the circle pass with 1 to
// 256 live circles spread over the screen, one key label. Run with a display:
//   DISPLAY=:N MESA_GL_VERSION_OVERRIDE=4.6 MESA_GLSL_VERSION_OVERRIDE=460 ./render_bench
#include "game/GameLogic.h"
#include "render/GLFunctions.h"
#include "render/RenderState.h"

#include <SDL3/SDL_init.h>
#include <SDL3/SDL_video.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

RenderState& render() {
    static RenderState* shared = [] {
        if (!SDL_Init(SDL_INIT_VIDEO)) std::abort();
        static RenderState          state;
        const std::filesystem::path previous = std::filesystem::current_path();
        std::filesystem::current_path(LUMOKA_ASSETS_DIR);
        if (!state.init("Lumoka render bench", 1920, 1080)) std::abort();
        std::filesystem::current_path(previous);
        for (int i = 0; i < kStemSlots; ++i) state.stemActive[i] = true;
        state.activeStemCount = kStemSlots;
        state.bindUniformBlocks();
        return &state;
    }();
    return *shared;
}

void finish() {
    static const auto glFinish = reinterpret_cast<PFNGLFINISHPROC>(SDL_GL_GetProcAddress("glFinish"));
    glFinish();
}

void BM_BackgroundFrame(benchmark::State& state) {
    RenderState& r = render();
    for (auto _ : state) {
        r.update(1.0f / 60.0f);
        r.renderFrame();
        finish();
    }
    state.counters["pixels"] = static_cast<double>(r.width) * r.height;
}
BENCHMARK(BM_BackgroundFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The circle pass as gameplay drives it (GameLogic::renderCircles), with 1 to
// 256 live circles spread over the screen on a low-discrepancy pattern: growing
// discs, every fourth a hold note half done, the stems in turn. Each iteration
// also draws a background frame just before, so that "over_background" (the
// median ratio of the two) holds on a machine whose load comes and goes.
void BM_CirclePass(benchmark::State& state) {
    RenderState& r = render();
    GameLogic    game;
    game.reset(kStemSlots);
    game.streamTime = 10.0;
    const int n     = static_cast<int>(state.range(0));
    for (int i = 0; i < n; ++i) {
        Circle circle;
        circle.x            = 60.0f + 1800.0f * static_cast<float>(std::fmod(0.5 + i * 0.7548776662, 1.0));
        circle.y            = 60.0f + 960.0f * static_cast<float>(std::fmod(0.5 + i * 0.5698402910, 1.0));
        circle.radius       = 60.0f;
        circle.targetRadius = 100.0f;
        circle.active       = true;
        circle.stemIndex    = i % kStemSlots;
        circle.channel      = i % 4 == 0 ? kHoldChannel : 0;
        circle.holdDuration = circle.channel == kHoldChannel ? 2.0f : 0.2f;
        circle.time         = game.streamTime - (circle.channel == kHoldChannel ? 1.0 : -0.3);
        game.circles.push_back(circle);
    }
    using Clock = std::chrono::steady_clock;
    std::vector<double> ratios;
    for (auto _ : state) {
        const Clock::time_point start = Clock::now();
        r.renderFrame();
        finish();
        const Clock::time_point between = Clock::now();
        game.renderCircles(r);
        finish();
        const std::chrono::duration<double> background = between - start, circles = Clock::now() - between;
        state.SetIterationTime(circles.count());
        ratios.push_back(circles / background);
    }
    state.counters["circles"]         = n;
    state.counters["over_background"] = median(ratios);
}
BENCHMARK(BM_CirclePass)->Arg(1)->Arg(8)->Arg(32)->Arg(64)->Arg(256)->Unit(benchmark::kMillisecond)->UseManualTime();

void BM_KeyLabel(benchmark::State& state) {
    RenderState& r = render();
    for (auto _ : state) {
        r.renderText("K", 900.0f, 500.0f, 1.0f, 0.5f, 0.2f, 1.0f, 2.5f);
        finish();
    }
}
BENCHMARK(BM_KeyLabel)->Unit(benchmark::kMicrosecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
