// Writes a stem's chart as a Standard MIDI File, format 1: a tempo track (time
// signature, tempo) and one note track (program and pan of every channel it
// uses, then note-on / note-off pairs of the charted notes). Both tracks end at
// the loop's end, so the file is exactly as long as the stem's audio.
#pragma once

#include <cstdint>
#include <vector>

namespace levelgen {

struct Song;
struct Stem;

std::vector<uint8_t> writeStemMidi(const Song& song, const Stem& stem);

}  // namespace levelgen
