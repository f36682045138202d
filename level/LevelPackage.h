// A level package: a folder holding a level.json manifest (with the stems it
// names) and, optionally, background.frag, a background shader used while the
// level plays. Nothing else in the folder is looked at, and a name ending in
// ".zip" is still read as a folder. `prepare` only reads the folder (any
// thread); `apply` decodes the manifest's stems and installs them, `install`
// installs stems decoded beforehand: the shader into the render state (only
// when it compiles and links), the stems into the audio system, the tempo into
// the game. While the logic thread runs, the caller of either holds the
// game-state lock.
#pragma once

#include <string>

class AudioSystem;
class GameLogic;
struct DecodedLevel;
struct RenderState;

struct LevelPackage {
    std::string name;  // folder's last component without its extension
    std::string shaderSource;
    bool        hasShader   = false;
    bool        hasManifest = false;
    std::string manifestPath;

    static bool prepare(const std::string& folder, LevelPackage& package);  // always true
    bool        apply(AudioSystem& audio, RenderState& render, GameLogic& game);
    bool        install(DecodedLevel&& level, AudioSystem& audio, RenderState& render, GameLogic& game);
};

// The package the game plays now: the menu's chosen level or the tutorial song.
extern LevelPackage currentPackage;
extern bool         packageLoaded;

// After the last '/' or backslash, cut before the last '.'.
std::string baseName(const std::string& path);
