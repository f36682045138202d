// The music a level is made of, as the composer writes it and the renderer and
// the MIDI writer read it: a song with a tempo and a whole number of bars, and
// its stems, each a list of notes on a tick grid. A note is either charted (it
// goes into the stem's MIDI file and becomes a circle) or accompaniment that is
// only heard (the inner voices of a chord, ghost hi-hats).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace levelgen {

inline constexpr int kSampleRate      = 44100;
inline constexpr int kTicksPerQuarter = 480;
inline constexpr int kBeatsPerBar     = 4;
inline constexpr int kTicksPerBar     = kTicksPerQuarter * kBeatsPerBar;
inline constexpr int kTicksPerStep    = kTicksPerQuarter / 4;  // a sixteenth
inline constexpr int kStepsPerBar     = 16;
inline constexpr int kDrumChannel     = 9;  // General MIDI percussion
inline constexpr int kHoldChannel     = 1;  // the game makes hold circles of these

struct Note {
    int  tick     = 0;
    int  length   = 0;  // ticks
    int  key      = 60;
    int  velocity = 80;
    int  channel  = 0;
    bool charted  = true;
};

// The velocities the playfield may move a charted note to (velocity is height on screen).
struct VelocityBand {
    int low  = 1;
    int high = 127;
};

struct Stem {
    std::string       name;        // file stem: "drums" gives drums.ogg and drums.mid
    std::string       instrument;  // General MIDI name, for the manifest
    int               program    = 0;
    int               pan        = 64;
    int               startOrder = 0;
    VelocityBand      band;
    double            minChartGap = 0.2;                         // seconds between two charted notes of this stem
    float             mixRms      = 0.1f;                        // loudness (RMS) the rendered stem is brought to
    double            base = 1.0, peak = 2.0, lerpSpeed = 18.0;  // the background's pulse
    double            color[3] = {1.0, 1.0, 1.0};
    std::vector<Note> notes;  // sorted by tick
};

struct Song {
    int               bpm  = 120;
    int               bars = 8;
    std::vector<Stem> stems;
};

// Whole samples per beat hold only for tempos dividing 44100 * 60; checked by the composer.
inline constexpr bool beatIsWholeSamples(int bpm) { return bpm > 0 && (kSampleRate * 60) % bpm == 0; }
inline int64_t        samplesPerBeat(int bpm) { return int64_t(kSampleRate) * 60 / bpm; }
inline int64_t        loopSamples(const Song& song) { return samplesPerBeat(song.bpm) * kBeatsPerBar * song.bars; }
inline int            loopTicks(const Song& song) { return kTicksPerBar * song.bars; }
inline int64_t        tickToSample(int64_t tick, int bpm) {
           return (tick * samplesPerBeat(bpm) + kTicksPerQuarter / 2) / kTicksPerQuarter;
}
inline double tickToSeconds(int64_t tick, int bpm) { return double(tick) * 60.0 / (double(bpm) * kTicksPerQuarter); }

}  // namespace levelgen
