// Makes every level of the catalogue under an output folder (the game's
// levels/): composes each song, makes its chart playable, renders and encodes
// its stems on a few threads, and writes the level's files into a temporary
// folder that is renamed into place only when complete, so a failure never
// leaves half a level. Progress goes to stdout, one line per level; a failure
// is one line on stderr.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace levelgen {

struct LevelPlan;

inline constexpr const char* kDefaultSoundfont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

struct GeneratorOptions {
    std::string outputDir;
    std::string soundfont = kDefaultSoundfont;
    int         jobs      = 2;
};

// File name (relative to the level's folder) to contents.
using LevelFiles = std::map<std::string, std::vector<uint8_t>>;

// The files of one level; false after a one-line message.
bool buildLevel(const LevelPlan& plan, const GeneratorOptions& options, LevelFiles& files);
bool generateLevels(const GeneratorOptions& options);

}  // namespace levelgen
