#include "base/Log.h"
#include "render/GLFunctions.h"
#include "render/RenderState.h"

#include <SDL3/SDL_iostream.h>
#include <SDL3/SDL_stdinc.h>
#include <SDL3/SDL_error.h>

#include <vector>

using base::logError;
using base::logInfo;

namespace {

const char* shaderKind(uint32_t shaderType) {
    switch (shaderType) {
    case GL_VERTEX_SHADER: return "vertex";
    case GL_FRAGMENT_SHADER: return "fragment";
    case GL_COMPUTE_SHADER: return "compute";
    default: return "unknown";
    }
}

// The driver's log for a failed compile or link; empty when it has none.
template <typename GetIv, typename GetLog>
std::vector<char> infoLog(GLuint object, GetIv getIv, GetLog getLog) {
    GLint length = 0;
    getIv(object, GL_INFO_LOG_LENGTH, &length);
    if (length <= 0) return {};
    std::vector<char> log(static_cast<size_t>(length) + 1, '\0');
    getLog(object, length, nullptr, log.data());
    return log;
}

}  // namespace

std::string loadShaderFile(const std::string& path) {
    size_t size = 0;
    void*  data = SDL_LoadFile(path.c_str(), &size);
    if (!data) {
        logError("Failed to load shader file with SDL_LoadFile, Error: %s)", SDL_GetError());
        return {};
    }
    if (size == 0) {
        logError("Shader file is empty(or SDL_LoadFile reported 0 size)");
        SDL_free(data);
        return {};
    }
    std::string source(static_cast<const char*>(data), size);
    SDL_free(data);
    logInfo("Loaded shader source using SDL_LoadFile: %s (%zu characters)", path.c_str(), size);
    return source;
}

uint32_t compileShader(const std::string& source, uint32_t shaderType) {
    const GLuint shader = gl.glCreateShader(shaderType);
    if (shader == 0) {
        logError("Failed to create shader object");
        return 0;
    }
    const char* text = source.c_str();
    gl.glShaderSource(shader, 1, &text, nullptr);
    gl.glCompileShader(shader);

    GLint status = 0;
    gl.glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    if (status == GL_TRUE) {
        logInfo("Successfully compiled %s shader", shaderKind(shaderType));
        return shader;
    }
    const std::vector<char> log = infoLog(shader, gl.glGetShaderiv, gl.glGetShaderInfoLog);
    if (!log.empty()) logError("Shader compilation failed:\n%s", log.data());
    gl.glDeleteShader(shader);
    return 0;
}

uint32_t createShaderProgram(uint32_t vertexShader, uint32_t fragmentShader) {
    const GLuint program = gl.glCreateProgram();
    if (program == 0) {
        logError("Failed to create shader program");
        return 0;
    }
    gl.glAttachShader(program, vertexShader);
    gl.glAttachShader(program, fragmentShader);
    gl.glLinkProgram(program);

    GLint status = 0;
    gl.glGetProgramiv(program, GL_LINK_STATUS, &status);
    if (status == GL_TRUE) {
        logInfo("Successfully created shader program");
        return program;
    }
    const std::vector<char> log = infoLog(program, gl.glGetProgramiv, gl.glGetProgramInfoLog);
    if (!log.empty()) logError("Shader program linking failed:\n%s", log.data());
    gl.glDeleteProgram(program);
    return 0;
}

namespace {

// The stage's own shader, compiled now; the one it reuses is left to its owner.
uint32_t compileStage(const ShaderStage& stage, uint32_t shaderType, const std::string& label, BuildFailures failures) {
    if (stage.compiled != 0) return stage.compiled;
    const uint32_t shader = compileShader(stage.source, shaderType);
    if (shader == 0 && failures == BuildFailures::Said)
        logError("Failed to compile %s%s shader", label.c_str(), shaderKind(shaderType));
    return shader;
}

void releaseOwnShader(const ShaderStage& stage, GLuint& shader) {
    if (stage.compiled == 0) releaseShader(shader);
}

}  // namespace

ShaderProgram buildProgram(const ShaderStage& vertex, const ShaderStage& fragment, const std::string& label,
                           BuildFailures failures) {
    GLuint vertexShader = compileStage(vertex, GL_VERTEX_SHADER, label, failures);
    if (vertexShader == 0) return {};
    GLuint fragmentShader = compileStage(fragment, GL_FRAGMENT_SHADER, label, failures);
    if (fragmentShader == 0) {
        releaseOwnShader(vertex, vertexShader);
        return {};
    }
    const GLuint program = createShaderProgram(vertexShader, fragmentShader);
    if (program == 0) {
        if (failures == BuildFailures::Said) logError("Failed to create %sshader program", label.c_str());
        releaseOwnShader(vertex, vertexShader);
        releaseOwnShader(fragment, fragmentShader);
        return {};
    }
    return {vertexShader, fragmentShader, program};
}

ShaderProgram loadProgram(const std::string& vertexPath, const std::string& fragmentPath, const std::string& label,
                          BuildFailures failures) {
    ShaderStage vertex{loadShaderFile(vertexPath)};
    if (vertex.source.empty()) {
        logError("Failed to load %svertex shader source", label.c_str());
        return {};
    }
    ShaderStage fragment{loadShaderFile(fragmentPath)};
    if (fragment.source.empty()) {
        logError("Failed to load %sfragment shader source", label.c_str());
        return {};
    }
    return buildProgram(vertex, fragment, label, failures);
}
