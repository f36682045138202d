// The densest chart a player can meet: more notes than this in any one second
// of any stem cannot be hit, and a chart of a million notes in a second would
// only cost the game its frames. Import refuses such a chart; a level that
// holds one anyway loads with that stem's chart left out. Counted on note-ons,
// at the song's tempo.
#pragma once

#include <cstddef>
#include <string>

struct StemMidi;

inline constexpr size_t kMostNotesInASecond = 50;

// The most note-ons that fall within any one second of the chart once it is
// scaled to songBpm (the chart's own timing when that tempo cannot be used).
size_t densestSecond(const StemMidi& chart, float songBpm);

// Empty when the chart is playable, else the one-line reason naming chartName.
std::string chartDensityProblem(const StemMidi& chart, float songBpm, const std::string& chartName);
