// Writes a chart as a Standard MIDI File (format 1: a tempo track and one note
// track), the counterpart of the reader for the charts the game makes itself.
// Times are seconds at one fixed tempo, rounded to 480 ticks a quarter note.
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
