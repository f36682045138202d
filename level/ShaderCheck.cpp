#include "level/ShaderCheck.h"

#include "persistence/FileSave.h"

#include <SDL3/SDL_filesystem.h>
#include <SDL3/SDL_iostream.h>
#include <SDL3/SDL_stdinc.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <iostream>
#include <thread>

extern char** environ;

namespace {

// A real shader draws 64 x 64 pixels in milliseconds even on a software
// renderer; the rest is the checker's start-up. SIGKILL, because SDL turns
// SIGTERM into a quit event that a stuck frame never reads.
constexpr auto kTimeLimit = std::chrono::seconds(5);
constexpr auto kPollEvery = std::chrono::milliseconds(10);

std::string shaderPath(const std::string& folder) { return folder + "/background.frag"; }
std::string markerPath(const std::string& folder) { return folder + "/.background.frag.checked"; }

std::string fileText(const std::string& path) {
    size_t      size = 0;
    void*       data = SDL_LoadFile(path.c_str(), &size);
    std::string text = data != nullptr ? std::string(static_cast<const char*>(data), size) : std::string();
    SDL_free(data);
    return text;
}

// FNV-1a: stable across builds and machines, unlike std::hash.
std::string textHash(const std::string& text) {
    uint64_t hash = 14695981039346656037ull;
    for (const unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
    char out[17];
    std::snprintf(out, sizeof out, "%016" PRIx64, hash);
    return out;
}

std::string checkerPath() {
    const char* base = SDL_GetBasePath();
    return std::string(base != nullptr ? base : "./") + "lumoka-shader-check";
}

constexpr int kTookTooLong = -1;
constexpr int kStopped     = -2;
constexpr int kCrashed     = 128;
constexpr int kNoContext   = 2;  // the checker's own exit code

// The child's exit status, or one of the two above when it was killed.
int waitWithLimit(pid_t child, const StopShaderCheck& stop) {
    const auto deadline = std::chrono::steady_clock::now() + kTimeLimit;
    int        status   = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        const bool stopped = stop && stop();
        if (stopped || std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            return stopped ? kStopped : kTookTooLong;
        }
        std::this_thread::sleep_for(kPollEvery);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : kCrashed;
}

}  // namespace

ShaderVerdict checkShaderInChildProcess(const std::string& vertexPath, const std::string& fragmentPath,
                                        std::string& why, const StopShaderCheck& stop) {
    const std::string checker = checkerPath();
    char*             argv[]  = {const_cast<char*>(checker.c_str()), const_cast<char*>(vertexPath.c_str()),
                                 const_cast<char*>(fragmentPath.c_str()), nullptr};
    // Its compile log goes to our standard error; its progress lines are not ours.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t     child   = 0;
    const int spawned = posix_spawn(&child, checker.c_str(), &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        why = "the shader check " + checker + " cannot run";
        return ShaderVerdict::Unchecked;
    }
    switch (waitWithLimit(child, stop)) {
    case 0: return ShaderVerdict::Passed;
    case kStopped: why = "the check was stopped"; return ShaderVerdict::Unchecked;
    case kTookTooLong:
        why = "it did not finish a frame within " + std::to_string(kTimeLimit.count()) + " s";
        return ShaderVerdict::Refused;
    case kNoContext: why = "the shader check could not make a GL context"; return ShaderVerdict::Unchecked;
    case kCrashed: why = "the shader check crashed on it"; return ShaderVerdict::Refused;
    default: why = "it does not compile or link"; return ShaderVerdict::Refused;
    }
}

ShaderVerdict checkPackageShader(const std::string& packageFolder, const std::string& vertexPath,
                                 const StopShaderCheck& stop) {
    const std::string hash = textHash(fileText(shaderPath(packageFolder)));
    if (fileText(markerPath(packageFolder)) == hash) return ShaderVerdict::Passed;
    std::string         why;
    const ShaderVerdict verdict = checkShaderInChildProcess(vertexPath, shaderPath(packageFolder), why, stop);
    if (verdict == ShaderVerdict::Passed) saveFileReplacing(markerPath(packageFolder), hash);
    else if (verdict == ShaderVerdict::Refused)
        std::cerr << "The package's background.frag was left out (" << why << ")" << std::endl;
    else if (!(stop && stop()))  // a stopped check is the caller's to report
        std::cerr << "The package's background.frag could not be checked (" << why
                  << "); it is kept, unused until a check passes" << std::endl;
    return verdict;
}

bool packageShaderPasses(const std::string& packageFolder, const std::string& vertexPath) {
    return checkPackageShader(packageFolder, vertexPath) == ShaderVerdict::Passed;
}
