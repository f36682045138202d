// Where a level made from a song begins. A song that opens with a long
// silence would keep the player waiting with nothing to hit: its level starts
// two seconds before the bar of its first note instead. Reads the
// decoded song only; cutting it is the caller's. The first note is taken to
// open its bar: the beat tracker's first beats after a silence are too rough
// to place a bar line (a fifth of a beat off on the generated songs).
#pragma once

#include <cstdint>
#include <vector>

struct DecodedSong;

inline constexpr double kLeadInSeconds = 2.0;

// The first frame the level keeps: 0 unless the stems, played together, are
// silent for longer than the lead-in and a bar before their first note.
uint64_t levelStartFrame(const std::vector<const DecodedSong*>& stems);
