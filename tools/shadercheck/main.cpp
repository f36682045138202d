// lumoka-shader-check VERTEX FRAGMENT: compiles and links a level's background
// shader with the game's vertex stage and draws one small frame with it, in a
// hidden window of its own. The game runs it as a child process and kills it
// when it takes too long, so a shader that never finishes cannot freeze the
// game. Exit code 0: it drew; 1: it does not compile or link; 2: no GL here.
#include "render/GLFunctions.h"
#include "render/RenderState.h"

#include <SDL3/SDL.h>

#include <cstdio>
#include <string>

namespace {

constexpr int    kSide         = 64;
constexpr size_t kUniformBytes = 208;  // the ShaderUniforms block, all zero

bool readText(const char* path, std::string& text) {
    size_t size = 0;
    void*  data = SDL_LoadFile(path, &size);
    if (data == nullptr) return false;
    text.assign(static_cast<const char*>(data), size);
    SDL_free(data);
    return true;
}

bool makeContext() {
    if (!SDL_Init(SDL_INIT_VIDEO)) return false;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 6);
    SDL_Window* window = SDL_CreateWindow("shader check", kSide, kSide, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    return window != nullptr && SDL_GL_CreateContext(window) != nullptr && loadOpenGLFunctions(SDL_GL_GetProcAddress);
}

template <typename Function>
Function glEntry(const char* name) {
    return reinterpret_cast<Function>(SDL_GL_GetProcAddress(name));
}

// A hidden window's own framebuffer may never be drawn; an off-screen one is.
void bindOffscreenTarget() {
    GLuint framebuffer = 0, colour = 0;
    glEntry<PFNGLGENFRAMEBUFFERSPROC>("glGenFramebuffers")(1, &framebuffer);
    glEntry<PFNGLBINDFRAMEBUFFERPROC>("glBindFramebuffer")(GL_FRAMEBUFFER, framebuffer);
    glEntry<PFNGLGENRENDERBUFFERSPROC>("glGenRenderbuffers")(1, &colour);
    glEntry<PFNGLBINDRENDERBUFFERPROC>("glBindRenderbuffer")(GL_RENDERBUFFER, colour);
    glEntry<PFNGLRENDERBUFFERSTORAGEPROC>("glRenderbufferStorage")(GL_RENDERBUFFER, GL_RGBA8, kSide, kSide);
    glEntry<PFNGLFRAMEBUFFERRENDERBUFFERPROC>("glFramebufferRenderbuffer")(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0,
                                                                           GL_RENDERBUFFER, colour);
}

// Waits for the frame's pixels: a shader that never finishes keeps us here until killed.
void drawOneFrame(GLuint program) {
    bindOffscreenTarget();
    GLuint buffer = 0, vertexArray = 0;
    gl.glGenBuffers(1, &buffer);
    gl.glBindBuffer(GL_UNIFORM_BUFFER, buffer);
    const std::string zeros(kUniformBytes, '\0');
    gl.glBufferData(GL_UNIFORM_BUFFER, kUniformBytes, zeros.data(), GL_STATIC_DRAW);
    gl.glBindBufferBase(GL_UNIFORM_BUFFER, 0, buffer);
    const GLuint block = gl.glGetUniformBlockIndex(program, "ShaderUniforms");
    if (block != GL_INVALID_INDEX) gl.glUniformBlockBinding(program, block, 0);
    gl.glGenVertexArrays(1, &vertexArray);
    gl.glBindVertexArray(vertexArray);
    gl.glViewport(0, 0, kSide, kSide);
    gl.glUseProgram(program);
    gl.glDrawArrays(GL_TRIANGLES, 0, 3);
    unsigned char pixels[kSide * kSide * 4];
    glEntry<PFNGLREADPIXELSPROC>("glReadPixels")(0, 0, kSide, kSide, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
}

}  // namespace

int main(int argc, char** argv) {
    std::string vertexText, fragmentText;
    if (argc != 3 || !readText(argv[1], vertexText) || !readText(argv[2], fragmentText)) {
        std::fprintf(stderr, "usage: lumoka-shader-check VERTEX_SHADER FRAGMENT_SHADER (both readable)\n");
        return 2;
    }
    if (!makeContext()) {
        std::fprintf(stderr, "Shader check: no OpenGL 4.6 context: %s\n", SDL_GetError());
        return 2;
    }
    GLuint vertex   = compileShader(vertexText, GL_VERTEX_SHADER);
    GLuint fragment = compileShader(fragmentText, GL_FRAGMENT_SHADER);
    GLuint program  = vertex != 0 && fragment != 0 ? createShaderProgram(vertex, fragment) : 0;
    if (program == 0) return 1;
    drawOneFrame(program);
    return 0;
}
