// The note timeline: a stem's chart as time-sorted note events scaled to the
// song's BPM, and the dispatch pass that fires, by the group's clock, the notes
// each audible stem has reached since its last pass. What the fired notes mean
// is for the caller: the logic tick hands them to gameplay.
#pragma once

#include "midi/MidiNoteEvent.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class MidiFile;
struct RenderState;

inline constexpr float kDefaultBpm = 120.0f;  // a song or chart that names no tempo

using NoteCallback = std::function<void(const MidiNoteEvent&, RenderState*)>;

// A stem's chart: the note events in time order and the dispatch cursor.
struct StemMidi {
    StemMidi();
    ~StemMidi();
    StemMidi(StemMidi&&) noexcept;
    StemMidi& operator=(StemMidi&&) noexcept;

    bool load(const std::string& path);
    void scaleToBpm(float songBpm);
    void rewind();  // back to the top of the song

    std::unique_ptr<MidiFile>  file;
    std::vector<MidiNoteEvent> events;
    std::string                path;
    double                     lastDispatchTime = 0.0;
    bool                       loaded           = false;
    double                     lengthSeconds    = 0.0;
    uint32_t                   loopCount        = 0;
    double                     lastStreamTime   = 0.0;
    float                      bpm              = kDefaultBpm;
};

// What one dispatch pass fired, stem by stem, and the clock it read: unset
// when no audible stem has a chart (the game's clock then stays where it is).
struct MidiDispatch {
    std::vector<MidiNoteEvent> fired;
    std::optional<double>      clock;
};
