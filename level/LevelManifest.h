// A level.json manifest: its stems (audio, optional MIDI chart, unlocking order,
// background pulse and colour) and the song's tempo. Loading one replaces the
// level: playback stops, the stems are reloaded, the render state's animation
// slots and colours are set and every chart is brought to the song's BPM. It
// never starts playback. While the logic thread runs, the caller holds the
// game-state lock. Decoding and MIDI timing are the audio system's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class AudioSystem;
class GameLogic;
struct RenderState;

// One element of "stems", with the defaults of a missing member.
struct StemEntry {
    std::string file;
    std::string midi;
    int32_t     startOrder = 0;
    bool        playsNotes = true;
    std::string instrument;
    float       base       = 1.0f;
    float       peak       = 2.0f;
    float       lerpSpeed  = 18.0f;
    float       red        = 1.0f;
    float       green      = 1.0f;
    float       blue       = 1.0f;
};

// Reads the file into entries (sorted by startOrder, stable) and the song BPM into
// game.bpm; true when at least one entry is usable.
bool parseLevelManifest(const std::string& path, std::vector<StemEntry>& entries, GameLogic& game);

// Installs the level; true when at least one stem is loaded. A file that does not
// parse leaves the previous level in place.
bool loadLevelManifest(const std::string& path, AudioSystem& audio, RenderState& render, GameLogic& game);
