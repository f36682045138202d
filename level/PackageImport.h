// Importing a level package (a zip archive or a folder holding level.json) into
// a levels folder, and exporting a listed level as a zip archive. An import is
// validated in a staging folder before it is installed (level/LevelInstall.h):
// level.json must parse as a manifest, every stem it names must be in the
// package and decode, every chart it plays must load, and at least one stem
// must be there, no more than the game plays, no chart denser than a player can
// hit. No step of a copied file's path may be a link; copies get the player's
// default mode. A background.frag that the shader check refuses is left out,
// one it passes is marked, so the game does not check it again, and one it
// could not check (no GL context) is kept unmarked for the game to check. Title,
// description and difficulty come from level.json's optional "package" object,
// else from the package's file name. Export writes level.json (with that
// object), the stems, the charts and the shader; importing the archive gives
// back the same files byte for byte. Each failure is one line, also in error.
#pragma once

#include <functional>
#include <string>

struct LevelInfo;

// What an import is doing, for a progress bar: its step and how far it is (0 to 1).
// Called on the importing thread, between files; false cancels the import
// ("Import cancelled"), leaving levels/ as it was.
using PackageImportSteps = std::function<bool(const std::string& step, float fraction)>;

// vertexShader: the game's background vertex stage, which the shader is checked with.
bool importPackage(const std::string& source, const std::string& levelsDir, const std::string& vertexShader,
                   LevelInfo& installed, std::string& error, const PackageImportSteps& steps = {});
bool exportPackage(const std::string& levelsDir, const std::string& folder, const std::string& zipPath,
                   std::string& error);
