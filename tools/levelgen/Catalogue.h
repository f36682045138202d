// The levels the generator makes: the default level, the three sample packages
// of the level list (difficulty rising from A to C: faster, denser, more holds)
// and the tutorial song, each with its style, where it goes and how it is listed.
#pragma once

#include "tools/levelgen/Composer.h"

#include <string>
#include <vector>

namespace levelgen {

struct LevelPlan {
    std::string folder;              // below levels/
    bool        standalone = false;  // manifest at levels/level.json, stems in the folder
    std::string title;               // name in the level list; empty: not listed
    std::string description;         // one line
    int         difficulty = 1;
    const char* shader     = nullptr;  // background.frag, or none
    SongStyle   style;
};

std::vector<LevelPlan> levelCatalogue();

}  // namespace levelgen
