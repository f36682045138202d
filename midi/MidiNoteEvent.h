// One note-on or note-off of a stem's chart, as the music timeline hands it to
// gameplay and to the background pulse. Times are seconds on the audio clock,
// already scaled to the song's BPM.
#pragma once

#include <cstdint>

struct MidiNoteEvent {
    int32_t note      = 0;      // MIDI key number
    int32_t velocity  = 0;      // 0 for a note-off written as a velocity-0 note-on
    int32_t pan       = 64;     // controller 10 of the channel at the event
    double  time      = 0.0;    // seconds from the start of the song
    double  duration  = 0.0;    // seconds to the paired note-off (note-ons only)
    int32_t tick      = 0;      // absolute MIDI tick
    bool    isNoteOn  = false;  // note-on with velocity > 0
    int32_t channel   = 0;      // 0..15
    int32_t track     = 0;      // source track index
    int32_t stemIndex = 0;      // set on the copies the dispatcher hands out
};
