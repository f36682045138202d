// A stem's chart as a Standard MIDI File (written by midi/MidiWriter): a tempo
// track (time signature, tempo) and one note track (the stem's name, program
// and pan of every channel it uses, then the charted notes, note-offs before
// note-ons at one tick). Both tracks end at the loop's end, so the file is
// exactly as long as the stem's audio.
#pragma once

#include <cstdint>
#include <vector>

namespace levelgen {

struct Song;
struct Stem;

std::vector<uint8_t> writeStemMidi(const Song& song, const Stem& stem);

}  // namespace levelgen
