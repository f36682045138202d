// Frame costs of the render passes on whatever GL the display offers (llvmpipe
// under Xvfb here): the background at full size, the circle shader with 1 to
// 32 live circles spread over the screen, one key label. Run with a display:
//   DISPLAY=:N MESA_GL_VERSION_OVERRIDE=4.6 MESA_GLSL_VERSION_OVERRIDE=460 ./render_bench
#include "render/GLFunctions.h"
#include "render/RenderState.h"

#include <SDL3/SDL_init.h>
#include <SDL3/SDL_video.h>
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

namespace {

RenderState& render() {
    static RenderState* shared = [] {
        if (!SDL_Init(SDL_INIT_VIDEO)) std::abort();
        static RenderState state;
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

// The circle pass as gameplay drives it: the arrays, blending, one triangle.
void BM_CirclePass(benchmark::State& state) {
    RenderState& r = render();
    const int n = static_cast<int>(state.range(0));
    std::vector<float> centres, radii, targets, progress;
    std::vector<int> ones(n, 1), zeros(n, 0), stems;
    for (int i = 0; i < n; ++i) {
        centres.push_back(static_cast<float>(150 + (i * 7 % 12) * 140));
        centres.push_back(static_cast<float>(150 + (i * 5 % 6) * 150));
        radii.push_back(60.0f);
        targets.push_back(100.0f);
        stems.push_back(i % kStemSlots);
        progress.push_back(0.5f);
    }
    const GLuint program = r.circleProgram;
    const auto at = [&](const char* name) { return gl.glGetUniformLocation(program, name); };
    for (auto _ : state) {
        gl.glUseProgram(program);
        gl.glUniform1i(at("uNumCircles"), n);
        gl.glUniform2fv(at("uCircleCenters"), n, centres.data());
        gl.glUniform1fv(at("uCircleRadii"), n, radii.data());
        gl.glUniform1fv(at("uTargetRadii"), n, targets.data());
        gl.glUniform1iv(at("uCircleActive"), n, ones.data());
        gl.glUniform1iv(at("uCircleHit"), n, zeros.data());
        gl.glUniform1iv(at("uCircleStemIndex"), n, stems.data());
        gl.glUniform4fv(at("neonColors"), 8, r.stemColor[0].data());
        gl.glUniform1iv(at("uCircleIsHoldNote"), n, zeros.data());
        gl.glUniform1fv(at("uCircleHoldProgress"), n, progress.data());
        gl.glEnable(GL_BLEND);
        gl.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        gl.glBindVertexArray(r.circleVertexArray);
        gl.glDrawArrays(GL_TRIANGLES, 0, 3);
        gl.glBindVertexArray(0);
        gl.glUseProgram(0);
        gl.glDisable(GL_BLEND);
        finish();
    }
}
BENCHMARK(BM_CirclePass)->Arg(1)->Arg(4)->Arg(8)->Arg(16)->Arg(32)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_KeyLabel(benchmark::State& state) {
    RenderState& r = render();
    for (auto _ : state) {
        r.renderText("K", 900.0f, 500.0f, 1.0f, 0.5f, 0.2f, 1.0f, 2.5f);
        finish();
    }
}
BENCHMARK(BM_KeyLabel)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
