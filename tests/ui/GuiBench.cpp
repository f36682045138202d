// One GUI frame on the main thread, as the frame loop runs it between the
// circle pass and the swap: the main menu, and the in-game HUD with five layer
// segments. The swap is left out; glFinish makes the GL work count.
//   DISPLAY=:N MESA_GL_VERSION_OVERRIDE=4.6 MESA_GLSL_VERSION_OVERRIDE=460 ./gui_bench
#include "app/App.h"
#include "render/GLFunctions.h"
#include "ui/UISystem.h"

#include <SDL3/SDL_init.h>
#include <SDL3/SDL_video.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

namespace {

App& app() {
    static App* shared = [] {
        if (!SDL_Init(SDL_INIT_VIDEO)) std::abort();
        static App                  state;
        const std::filesystem::path previous = std::filesystem::current_path();
        std::filesystem::current_path(LUMOKA_ASSETS_DIR);
        if (!state.render.init("Lumoka GUI bench", 1920, 1080) || !UISystem::init(state.render)) std::abort();
        std::filesystem::current_path(previous);
        state.game.reset(kLayerCap);
        state.guiVisible = true;
        for (int i = 0; i < 5; ++i) state.audio.stems.emplace_back();
        return &state;
    }();
    return *shared;
}

void finish() {
    static const auto glFinish = reinterpret_cast<PFNGLFINISHPROC>(SDL_GL_GetProcAddress("glFinish"));
    glFinish();
}

void guiFrames(benchmark::State& state, bool inGame) {
    App& a        = app();
    a.game.inGame = inGame;
    a.game.layers = 2;
    for (auto _ : state) {
        SDL_PumpEvents();
        UISystem::beginFrame();
        a.drawGui();
        UISystem::endFrame();
        finish();
    }
}

void BM_MainMenuFrame(benchmark::State& state) { guiFrames(state, false); }
void BM_HudFrame(benchmark::State& state) { guiFrames(state, true); }
BENCHMARK(BM_MainMenuFrame)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HudFrame)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
