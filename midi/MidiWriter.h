// Writes Standard MIDI Files, format 1 (a tempo track, then note tracks): the
// counterpart of the reader, for the charts the game makes itself and for the
// level generator's. writeChartMidi takes seconds at one fixed tempo or on a
// map of beats, rounded to 480 ticks a quarter note; the pieces under it take ticks and raw bytes,
// and what goes into a track is the caller's.
#pragma once

#include <cstdint>
#include <vector>

struct ChartNote {
    double seconds  = 0.0;
    double length   = 0.0;  // seconds
    int    key      = 60;
    int    velocity = 64;
    int    channel  = 0;
};

std::vector<uint8_t> writeChartMidi(float bpm, const std::vector<ChartNote>& notes);
// The same on a tempo map: each of `beats` (seconds, rising) a quarter note,
// with a tempo event at each; `bpm` before the first and after the last, and
// as the file's first tempo.
std::vector<uint8_t> writeChartMidi(float bpm, const std::vector<double>& beats, const std::vector<ChartNote>& notes);

// One message of a track; at one tick, the lower order is written first.
struct TimedMidiMessage {
    int64_t              tick  = 0;
    int                  order = 0;
    std::vector<uint8_t> bytes;
};

TimedMidiMessage     midiMetaMessage(int64_t tick, uint8_t type, const std::vector<uint8_t>& data);
TimedMidiMessage     midiTempoMessage(uint32_t microsPerQuarter);  // at tick 0
std::vector<uint8_t> midiFileHeader(int tracks, int ticksPerQuarter);
// The messages in time order; the end of the track at endTick, or at the last message when that is later.
std::vector<uint8_t> midiTrackChunk(std::vector<TimedMidiMessage> messages, int64_t endTick = 0);
