// The composer: turns a song's style (seed, tempo, key, chord progression,
// density and the stems wanted) into notes. Harmony first (one chord of the
// progression after another), then each stem plays its part over it: a drum
// groove with fills, a bass line on the chord roots, pad chords, an arpeggio, a
// lead melody built from a motif that is repeated and varied. The same style
// always gives the same notes. Making the chart playable is Playfield's job.
#pragma once

#include "tools/levelgen/Music.h"

#include <cstdint>
#include <string>
#include <vector>

namespace levelgen {

enum class Role { Drums, Bass, Pad, Stabs, Arp, Lead };
enum class Mode { Major, Minor, Dorian };

struct Voice {
    Role        role = Role::Lead;
    std::string name;        // the stem's file name
    std::string instrument;  // General MIDI name
    int         program = 0;
};

struct SongStyle {
    uint64_t           seed  = 1;
    int                bpm   = 120;
    int                bars  = 8;
    int                tonic = 0;  // pitch class, 0 = C
    Mode               mode  = Mode::Major;
    std::vector<int>   progression;  // scale degrees from 0, one per chord
    int                chordsPerBar = 1;
    int                density      = 1;    // 0 calm, 1 steady, 2 busy
    double             holdShare    = 0.3;  // share of long notes charted as holds
    std::vector<Voice> voices;              // in unlocking order
};

// False, with a one-line reason, for a style the composer cannot honour (a tempo
// whose beat is not a whole number of samples or a MIDI tempo of whole microseconds).
bool styleIsValid(const SongStyle& style, std::string& why);
Song composeSong(const SongStyle& style);

}  // namespace levelgen
