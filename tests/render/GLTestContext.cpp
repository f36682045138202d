#include "GLTestContext.h"

#include "render/RenderState.h"

#include <SDL3/SDL_init.h>
#include <SDL3/SDL_timer.h>
#include <SDL3/SDL_video.h>
#include <gtest/gtest.h>

#include <cstdlib>

namespace rendertest {

namespace {

template <typename T>
void resolve(T& entry, const char* name) {
    entry = reinterpret_cast<T>(SDL_GL_GetProcAddress(name));
    if (!entry) {
        std::fprintf(stderr, "test set-up: %s is missing\n", name);
        std::abort();
    }
}

// Under a parallel test run Xvfb now and then turns a new client away
// ("No available video device"); a later try gets through.
void initVideo() {
    for (int attempt = 1; attempt <= 5; ++attempt) {
        if (SDL_Init(SDL_INIT_VIDEO)) return;
        std::fprintf(stderr, "test set-up: SDL_Init failed (try %d): %s\n", attempt, SDL_GetError());
        SDL_Delay(300);
    }
    std::abort();
}

RenderState* createShared() {
    initVideo();
    static RenderState     render;
    const WorkingDirectory assets(LUMOKA_ASSETS_DIR);
    if (!render.init("Lumoka render tests", 1920, 1080)) {
        std::fprintf(stderr, "test set-up: RenderState::init failed\n");
        std::abort();
    }
    return &render;
}

}  // namespace

RenderState& sharedRender() {
    static RenderState* render = createShared();
    return *render;
}

void makeSharedCurrent() {
    RenderState& render = sharedRender();
    SDL_GL_MakeCurrent(render.window, render.glContext);
    ASSERT_TRUE(loadOpenGLFunctions());
    while (gl.glGetError() != GL_NO_ERROR) {
    }
    gl.glDisable(GL_BLEND);
    gl.glUseProgram(0);
    gl.glBindVertexArray(0);
    gl.glClearColor(0.1f, 0.2f, 0.3f, 1.0f);
}

const GLProbe& probe() {
    static const GLProbe probes = [] {
        sharedRender();
        GLProbe p;
        resolve(p.glGetBufferSubData, "glGetBufferSubData");
        resolve(p.glGetBufferParameteriv, "glGetBufferParameteriv");
        resolve(p.glReadPixels, "glReadPixels");
        resolve(p.glFinish, "glFinish");
        resolve(p.glGetActiveUniformBlockiv, "glGetActiveUniformBlockiv");
        resolve(p.glGetUniformIndices, "glGetUniformIndices");
        resolve(p.glGetActiveUniformsiv, "glGetActiveUniformsiv");
        resolve(p.glGetActiveUniform, "glGetActiveUniform");
        resolve(p.glIsProgram, "glIsProgram");
        resolve(p.glIsBuffer, "glIsBuffer");
        return p;
    }();
    return probes;
}

Pixels readBackBuffer(int width, int height) {
    Pixels pixels;
    pixels.width  = width;
    pixels.height = height;
    pixels.rgba.resize(static_cast<size_t>(width) * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    probe().glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.rgba.data());
    return pixels;
}

}  // namespace rendertest
