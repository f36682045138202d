// Renders a stem's notes, charted and accompaniment alike, with FluidSynth and
// a General MIDI soundfont into 44.1 kHz stereo float samples that loop without
// a seam: the sound still ringing after the loop's end (release and reverb
// tails) is folded back onto its start, as it would sound on the next pass.
// The result is brought to the stem's mixing loudness. Encoding is left to
// OggWriter; the file system to the generator.
#pragma once

#include <string>
#include <vector>

namespace levelgen {

struct Song;
struct Stem;

// Call once before rendering: quiets FluidSynth's own messages; false, with one
// line naming the package to (re)install, when the soundfont is missing or unreadable.
bool synthReady(const std::string& soundfontPath);
// Interleaved left/right, exactly loopSamples(song) frames; empty on failure.
std::vector<float> renderStem(const Song& song, const Stem& stem, const std::string& soundfontPath);

}  // namespace levelgen
