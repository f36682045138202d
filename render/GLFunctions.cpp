#include "render/GLFunctions.h"

#include "base/Log.h"
#include "render/RenderState.h"

#include <SDL3/SDL_video.h>

#include <string>

GLFunctionTable gl;

using base::logError;
using base::logInfo;

namespace {

struct EntryPointCheck {
    const char* name;
    bool        found;
};

}  // namespace

bool loadOpenGLFunctions(GLProcResolver resolve) {
    logInfo("Loading OpenGL functions...");

#define LUMOKA_GL_RESOLVE(type, name, critical) gl.name = reinterpret_cast<type>(resolve(#name));
    LUMOKA_GL_FUNCTIONS(LUMOKA_GL_RESOLVE)
#undef LUMOKA_GL_RESOLVE

#define LUMOKA_GL_CHECK(type, name, critical) {#name, !(critical) || gl.name != nullptr},
    const EntryPointCheck checks[] = {LUMOKA_GL_FUNCTIONS(LUMOKA_GL_CHECK)};
#undef LUMOKA_GL_CHECK

    bool allFound = true;
    for (const EntryPointCheck& check : checks) allFound = allFound && check.found;
    if (allFound) {
        logInfo("OpenGL functions loaded successfully!");
        return true;
    }
    logError("Failed to load critical OpenGL functions");
    for (const EntryPointCheck& check : checks)
        if (!check.found) logError("  %s failed to load", check.name);
    return false;
}

bool loadOpenGLFunctions() { return loadOpenGLFunctions(SDL_GL_GetProcAddress); }

bool checkGLError(const std::string& context) {
    const GLenum error = gl.glGetError();
    if (error == GL_NO_ERROR) return true;
    std::string name;
    switch (error) {
    case GL_INVALID_ENUM: name = "GL_INVALID_ENUM"; break;
    case GL_INVALID_VALUE: name = "GL_INVALID_VALUE"; break;
    case GL_INVALID_OPERATION: name = "GL_INVALID_OPERATION"; break;
    case GL_OUT_OF_MEMORY: name = "GL_OUT_OF_MEMORY"; break;
    default: name = "Unknown error " + std::to_string(error); break;
    }
    logError("OpenGL error in %s: %s", context.c_str(), name.c_str());
    return false;
}

void releaseBuffer(GLuint& name) {
    if (name != 0) gl.glDeleteBuffers(1, &name);
    name = 0;
}

void releaseVertexArray(GLuint& name) {
    if (name != 0) gl.glDeleteVertexArrays(1, &name);
    name = 0;
}

void releaseTexture(GLuint& name) {
    if (name != 0) glDeleteTextures(1, &name);
    name = 0;
}

void releaseProgram(GLuint& name) {
    if (name != 0) gl.glDeleteProgram(name);
    name = 0;
}

void releaseShader(GLuint& name) {
    if (name != 0) gl.glDeleteShader(name);
    name = 0;
}
