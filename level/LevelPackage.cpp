#include "level/LevelPackage.h"

#include "audio/AudioSystem.h"
#include "base/Log.h"
#include "level/LevelManifest.h"
#include "render/GLFunctions.h"
#include "render/RenderState.h"

#include <SDL3/SDL_iostream.h>
#include <SDL3/SDL_stdinc.h>

#include <utility>

using base::logError;
using base::logInfo;

LevelPackage currentPackage;
bool         packageLoaded = false;

namespace {

// The previous program stays in use unless the new shader compiles and links.
void installShader(const std::string& source, RenderState& render) {
    const ShaderProgram built = buildProgram({"", render.backgroundVertexShader}, {source}, "custom ");
    if (built.program == 0) {
        logError("Failed to load custom shader, keeping current shader");
        return;
    }
    releaseProgram(render.backgroundProgram);
    releaseShader(render.backgroundFragmentShader);
    render.backgroundProgram        = built.program;
    render.backgroundFragmentShader = built.fragmentShader;
    logInfo("Custom shader compiled and loaded successfully");
}

}  // namespace

std::string baseName(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    std::string  name  = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot   = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    return name;
}

bool LevelPackage::prepare(const std::string& folder, LevelPackage& package) {
    logInfo("Loading level package from conventional paths in: %s", folder.c_str());
    package      = LevelPackage{};
    package.name = baseName(folder);

    const std::string shaderPath = folder + "/background.frag";
    size_t            size       = 0;
    if (void* data = SDL_LoadFile(shaderPath.c_str(), &size)) {
        package.shaderSource.assign(static_cast<const char*>(data), size);
        SDL_free(data);
        package.hasShader = true;
        logInfo("Found and loaded conventional shader: %s", shaderPath.c_str());
    } else {
        logInfo("No shader found at %s. The current shader will be used.", shaderPath.c_str());
    }

    package.manifestPath = folder + "/level.json";
    package.hasManifest  = true;
    logInfo("Package prepared. Manifest: '%s', Has Shader: %s", package.manifestPath.c_str(),
            package.hasShader ? "Yes" : "No");
    return true;
}

bool LevelPackage::apply(AudioSystem& audio, RenderState& render, GameLogic& game) {
    DecodedLevel level;
    if (hasManifest) decodeLevelManifest(manifestPath, level);
    return install(std::move(level), audio, render, game);
}

bool LevelPackage::install(DecodedLevel&& level, AudioSystem& audio, RenderState& render, GameLogic& game) {
    logInfo("Applying package to systems...");
    if (hasShader) installShader(shaderSource, render);

    audio.stopAll();
    audio.clearStems();
    if (!hasManifest) {
        logError("No level.json manifest found for package, cannot load.");
        return false;
    }
    if (!level.parsed || !installLevel(std::move(level), audio, render, game)) {
        logError("CRITICAL: Failed to load level from manifest: %s", manifestPath.c_str());
        return false;
    }
    logInfo("Loaded stems successfully via level.json manifest.");
    return true;
}
