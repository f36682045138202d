#include "render/RenderState.h"

#include "base/Log.h"
#include "render/GLFunctions.h"

#include <SDL3/SDL_video.h>

#include <cmath>

using base::logError;
using base::logInfo;

namespace {

constexpr SDL_WindowFlags kWindowFlags = SDL_WINDOW_FULLSCREEN | SDL_WINDOW_OPENGL | SDL_WINDOW_HIGH_PIXEL_DENSITY;
static_assert(kWindowFlags == 0x2003);

const char* glText(GLenum name) {
    const GLubyte* text = gl.glGetString ? gl.glGetString(name) : nullptr;
    return text ? reinterpret_cast<const char*>(text) : "";
}

void requestCoreContext() {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 6);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 24);
}

// Rainbow around the hue circle, one colour per slot.
void resetAnimation(RenderState& render) {
    render.elapsedTime = 0.0f;
    render.frameCount  = 0;
    for (int i = 0; i < kStemSlots; ++i) {
        render.stemBase[i]      = 1.0f;
        render.stemValue[i]     = 1.0f;
        render.stemTarget[i]    = 1.0f;
        render.stemPeak[i]      = 2.0f;
        render.stemLerpSpeed[i] = 18.0f;
        render.stemPulsing[i]   = false;
        const float angle       = static_cast<float>(i) * 0.125f * 6.28318f;
        render.stemColor[i]     = {std::sin(angle) * 0.5f + 0.5f, std::sin(angle + 2.0944f) * 0.5f + 0.5f,
                                   std::sin(angle + 4.1888f) * 0.5f + 0.5f, 1.0f};
    }
}

bool createUniformBuffer(RenderState& render) {
    gl.glGenBuffers(1, &render.uniformBuffer);
    gl.glBindBuffer(GL_UNIFORM_BUFFER, render.uniformBuffer);
    gl.glBufferData(GL_UNIFORM_BUFFER, sizeof(ShaderUniforms), nullptr, GL_DYNAMIC_DRAW);
    gl.glBindBufferBase(GL_UNIFORM_BUFFER, 0, render.uniformBuffer);
    return checkGLError("Uniform buffer creation");
}

}  // namespace

bool RenderState::init(const char* title, int32_t windowWidth, int32_t windowHeight) {
    window = SDL_CreateWindow(title, windowWidth, windowHeight, kWindowFlags);
    if (!window) {
        logError("Failed to create window: %s", SDL_GetError());
        return false;
    }
    requestCoreContext();
    glContext = SDL_GL_CreateContext(window);
    if (!glContext) {
        logError("Failed to create OpenGL context: %s", SDL_GetError());
        return false;
    }
    if (!loadOpenGLFunctions()) {
        logError("Failed to load OpenGL functions");
        return false;
    }
    SDL_GL_SetSwapInterval(1);
    SDL_GetWindowSize(window, &width, &height);

    if (!initOpenGL()) {
        logError("Failed to initialize OpenGL");
        return false;
    }
    if (!initShaders()) {
        logError("Failed to initialize shaders");
        return false;
    }
    if (!initCircleRendering()) {
        logError("Failed to initialize circle rendering");
        return false;
    }
    if (!initTextRendering()) {
        logError("Failed to initialize text rendering");
        return false;
    }
    // The circles' letters: in Orbitron D, O, B and C look alike at a glance.
    if (!loadFontAtlas("fonts/Roboto-Regular.ttf", 32)) {
        logError("Failed to load font atlas, trying fallback font");
        if (!loadFontAtlas("fonts/Orbitron-Regular.ttf", 32)) {
            logError("Failed to load fallback font atlas");
            return false;
        }
    }
    if (!createUniformBuffer(*this)) {
        logError("Failed to create uniform buffer");
        return false;
    }
    resetAnimation(*this);
    writeUniforms();

    logInfo("OpenGL render system initialized successfully!");
    logInfo("OpenGL Version: %s", glText(GL_VERSION));
    logInfo("GLSL Version: %s", glText(GL_SHADING_LANGUAGE_VERSION));
    return true;
}

bool RenderState::initOpenGL() {
    logInfo("OpenGL Vendor: %s", glText(GL_VENDOR));
    logInfo("OpenGL Renderer: %s", glText(GL_RENDERER));
    logInfo("OpenGL Version: %s", glText(GL_VERSION));

    GLint major = 0;
    GLint minor = 0;
    gl.glGetIntegerv(GL_MAJOR_VERSION, &major);
    gl.glGetIntegerv(GL_MINOR_VERSION, &minor);
    if (major < 3) {
        logError("OpenGL ES 3.0 or higher required, but found %d.%d", major, minor);
        return false;
    }

    gl.glViewport(0, 0, width, height);
    gl.glClearColor(0.1f, 0.2f, 0.3f, 1.0f);
    gl.glGenVertexArrays(1, &backgroundVertexArray);
    gl.glBindVertexArray(backgroundVertexArray);
    return checkGLError("OpenGL initialization");
}

void RenderState::refreshWindowSize() { SDL_GetWindowSize(window, &width, &height); }

void RenderState::swapBuffers() { SDL_GL_SwapWindow(window); }

void RenderState::shutdown() {
    releaseBuffer(textVertexBuffer);
    releaseVertexArray(textVertexArray);
    releaseTexture(fontTexture);
    releaseProgram(textProgram);
    releaseShader(textVertexShader);
    releaseShader(textFragmentShader);
    releaseBuffer(circleBuffer);
    releaseVertexArray(circleVertexArray);
    releaseProgram(circleProgram);
    releaseShader(circleVertexShader);
    releaseShader(circleFragmentShader);
    releaseBuffer(uniformBuffer);
    releaseVertexArray(backgroundVertexArray);
    releaseProgram(backgroundProgram);
    releaseShader(backgroundVertexShader);
    releaseShader(backgroundFragmentShader);
    if (glContext) SDL_GL_DestroyContext(glContext);
    glContext = nullptr;
    if (window) SDL_DestroyWindow(window);
    window = nullptr;
}
