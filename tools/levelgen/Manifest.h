// The JSON the game reads: a level's manifest (level.json: its stems with their
// audio and MIDI files, unlocking order, instrument, background pulse and colour,
// and the song's tempo) and the level list (levels/levels.json). Written with
// an indent of 4, keys in ascending order, no trailing newline.
#pragma once

#include <string>
#include <vector>

namespace levelgen {

struct Song;
struct LevelPlan;

// stemPrefix goes before every file name ("default/" for the level beside levels/).
std::string manifestText(const Song& song, const std::string& stemPrefix);
std::string levelListText(const std::vector<LevelPlan>& levels);  // the listed levels only

}  // namespace levelgen
