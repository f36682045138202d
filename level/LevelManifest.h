// A level.json manifest: its stems (audio, optional MIDI chart, unlocking order,
// background pulse and colour) and the song's tempo. Loading one replaces the
// level: playback stops, the stems are reloaded, the render state's animation
// slots and colours are set and every chart is brought to the song's BPM. It
// never starts playback. Reading and decoding (decodeLevelManifest) touch no
// game state and may run on a worker thread; installing the result
// (installLevel) is the main thread's, under the game-state lock while the
// logic thread runs. Decoding and MIDI timing are the audio system's.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class AudioSystem;
class GameLogic;
struct RenderState;
struct Stem;

// One element of "stems", with the defaults of a missing member.
struct StemEntry {
    std::string file;
    std::string midi;
    int32_t     startOrder = 0;
    bool        playsNotes = true;
    std::string instrument;
    float       base      = 1.0f;
    float       peak      = 2.0f;
    float       lerpSpeed = 18.0f;
    float       red       = 1.0f;
    float       green     = 1.0f;
    float       blue      = 1.0f;
};

// A manifest's stems decoded and charted, not installed yet. `charted[i]` says
// stems[i] loaded whole (audio and chart), so it gets the look of `looks[i]`.
struct DecodedLevel {
    DecodedLevel();
    ~DecodedLevel();
    DecodedLevel(DecodedLevel&&) noexcept;
    DecodedLevel& operator=(DecodedLevel&&) noexcept;

    std::string            path;
    bool                   parsed     = false;
    float                  bpm        = 120.0f;
    size_t                 entryCount = 0;  // entries the manifest gave, loaded or not
    std::vector<Stem>      stems;
    std::vector<StemEntry> looks;
    std::vector<bool>      charted;
};

// Shared between the thread that decodes and the one that asked: a cancel
// request, polled between files, and how far the decoding got.
struct LoadControl {
    std::atomic<bool> cancelled{false};
    std::atomic<int>  stemsDone{0};
    std::atomic<int>  stemsTotal{0};
};

// Reads the file into entries (sorted by startOrder, stable) and the song BPM;
// true when at least one entry is usable.
bool parseLevelManifest(const std::string& path, std::vector<StemEntry>& entries, float& bpm);

// Parses and decodes up to 8 stems with their charts; false when the file does
// not parse or the load was cancelled.
bool decodeLevelManifest(const std::string& path, DecodedLevel& level, LoadControl* control = nullptr);

// Replaces the level with a decoded one: playback stops, the stems, slots and
// tempo are swapped in. True when at least one stem is installed.
bool installLevel(DecodedLevel&& level, AudioSystem& audio, RenderState& render, GameLogic& game);

// Both at once. A file that does not parse leaves the previous level in place.
bool loadLevelManifest(const std::string& path, AudioSystem& audio, RenderState& render, GameLogic& game);
