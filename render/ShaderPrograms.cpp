// The background and circle programs (with the circle program's storage
// buffer), the binding of their "ShaderUniforms" block to point 0, and the
// background pass.
#include "render/RenderState.h"

#include "base/Log.h"
#include "render/GLFunctions.h"

#include <SDL3/SDL_video.h>

using base::logError;
using base::logInfo;

namespace {

// Binds the program's block to point 0; false when the program has no block.
bool bindBlockToPointZero(uint32_t program) {
    const GLuint index = gl.glGetUniformBlockIndex(program, "ShaderUniforms");
    if (index == GL_INVALID_INDEX) return false;
    gl.glUniformBlockBinding(program, index, 0);
    return true;
}

void uploadUniforms(const RenderState& render) {
    gl.glBindBuffer(GL_UNIFORM_BUFFER, render.uniformBuffer);
    gl.glBufferSubData(GL_UNIFORM_BUFFER, 0, sizeof(ShaderUniforms), &render.uniforms);
}

}  // namespace

bool RenderState::initShaders() {
    const ShaderProgram built = loadProgram("shaders/fullscreen.vert", "shaders/background_uniform.frag", "");
    if (built.program == 0) return false;
    backgroundVertexShader   = built.vertexShader;
    backgroundFragmentShader = built.fragmentShader;
    backgroundProgram        = built.program;
    if (bindBlockToPointZero(backgroundProgram)) logInfo("Uniform buffer block bound successfully");
    else logError("Warning: Could not find uniform block 'ShaderUniforms'");
    logInfo("Successfully created OpenGL shaders");
    return true;
}

bool RenderState::initCircleRendering() {
    const ShaderProgram built =
        loadProgram("shaders/circle_sdf.vert", "shaders/circle_sdf.frag", "circle SDF ", BuildFailures::DriverLogOnly);
    if (built.program == 0) return false;
    circleVertexShader   = built.vertexShader;
    circleFragmentShader = built.fragmentShader;
    circleProgram        = built.program;

    if (bindBlockToPointZero(circleProgram)) logInfo("Circle shader uniform buffer block bound successfully");
    else logError("Warning: Could not find uniform block 'ShaderUniforms' in circle shader");

    gl.glGenVertexArrays(1, &circleVertexArray);
    gl.glBindVertexArray(circleVertexArray);
    gl.glBindVertexArray(0);
    gl.glGenBuffers(1, &circleBuffer);
    logInfo("Circle SDF rendering system initialized successfully!");
    return true;
}

void RenderState::bindUniformBlocks() {
    writeUniforms();
    if (uniformBuffer != 0) {
        uploadUniforms(*this);
        gl.glBindBufferBase(GL_UNIFORM_BUFFER, 0, uniformBuffer);
    }
    for (const uint32_t program : {backgroundProgram, circleProgram})
        if (program != 0) bindBlockToPointZero(program);
    logInfo("All uniforms initialized and verified after level load");
}

void RenderState::renderFrame() {
    int32_t pixelWidth  = 0;
    int32_t pixelHeight = 0;
    SDL_GetWindowSizeInPixels(window, &pixelWidth, &pixelHeight);
    if (pixelWidth != width || pixelHeight != height) {
        width  = pixelWidth;
        height = pixelHeight;
        gl.glViewport(0, 0, width, height);
        writeUniforms();
    }
    uploadUniforms(*this);
    gl.glClear(GL_COLOR_BUFFER_BIT);
    gl.glUseProgram(backgroundProgram);
    gl.glBindVertexArray(backgroundVertexArray);
    gl.glDrawArrays(GL_TRIANGLES, 0, 3);
    checkGLError("Frame rendering");
}
