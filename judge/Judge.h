// The rules of a run, driven by the heard clock alone: circles spawn from the
// charts of the audible stems, presses and releases are judged at their own
// moments, holds count their press-to-release span and circles expire at their
// time, and the layer rules follow each judged moment. The live game and the
// replay checker drive this same code; what it earns depends on the charts, the
// settings and the inputs, never on when frames fall. Drawing, the music and
// the devices are the caller's: layer changes are handed out for the audio to
// follow, and the circle list is there to be drawn. No SDL, GL or GUI here.
#pragma once

#include "judge/RunStats.h"
#include "midi/MidiNoteEvent.h"

#include <array>
#include <cstdint>
#include <limits>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

inline constexpr int32_t kHoldChannel   = 1;    // notes on this MIDI channel make hold circles
inline constexpr int32_t kHoldPoints    = 100;  // a completed hold, before the multiplier
inline constexpr int32_t kLayerCap      = 8;    // no run unlocks more layers than this
inline constexpr int32_t kComboPerLayer = 5;    // combo per unlocked layer for the next unlock
inline constexpr int32_t kMissLimit     = 3;    // misses in a row that silence the newest layer
inline constexpr int32_t kLastVisualStem = 7;   // stems past this one make no circles

// One on-screen target, in playfield pixels with y measured from the bottom.
// Notes on MIDI channel 1 make hold circles, every other channel tap circles.
struct Circle {
    float              x            = 0.0f;
    float              y            = 0.0f;
    float              radius       = 0.0f;  // drawn disc; 0 once a tap is judged
    float              targetRadius = 0.0f;  // the ring; hits count within it + 2
    float              holdDuration = 0.0f;  // hold: note length; tap: time it lingers
    bool               active       = false;
    bool               judged       = false;
    float              heldTime     = 0.0f;  // set when the hold completes or is released
    bool               holdDone     = false;
    double             heldFrom     = 0.0;   // heard time of the press that started the hold
    std::set<uint64_t> holders;              // finger ids, -1 for the mouse, key codes
    double             time      = 0.0;      // note time on the heard clock
    int32_t            note      = 0;
    int32_t            stemIndex = 0;
    int32_t            channel   = 0;
    bool               reached   = false;  // drawing: the ring is full grown
    int32_t            key       = 0;      // keyboard gameplay: SDL key code
    char               label     = 0;      // keyboard gameplay: drawn character
};

// Keyboard gameplay: pitch picks the column, velocity the row (soft, middle, loud).
struct KeyColumn {
    int32_t lowestNote  = 0;
    int32_t highestNote = 0;  // inclusive
    int32_t keys[3]     = {};
    char    labels[3]   = {};
};
extern const std::array<KeyColumn, 8> keyColumns;

// Resize carries the new playfield size in x and y; it places later circles.
enum class InputKind : uint8_t { Touch, Mouse, Key, Resize };
inline constexpr uint64_t kMouseId = static_cast<uint64_t>(-1);

// One input as it was judged: heard-clock microseconds, playfield position.
struct JudgeInput {
    int64_t   us    = 0;
    InputKind kind  = InputKind::Mouse;
    bool      press = false;
    uint64_t  id    = 0;  // finger id, kMouseId, or key code
    float     x     = 0.0f;
    float     y     = 0.0f;  // from the bottom
};

// A judged press or a miss, shown at its circle while it fades.
struct TierMark {
    float x    = 0.0f;
    float y    = 0.0f;
    Tier  tier = Tier::Miss;
    float age  = 0.0f;  // seconds since it was judged
};
inline constexpr float kTierMarkLife = 0.5f;

// A stem as the rules see it: its chart (time order) and the loop it repeats in.
struct JudgeStem {
    std::vector<MidiNoteEvent> events;
    std::string                name;
    double                     loopSeconds = 0.0;  // 0: no loop
    bool                       charted     = false;
    bool                       active      = false;  // audible when the run starts
};

// What a run's outcome depends on besides its charts and inputs.
struct JudgeSettings {
    bool    keyboardGameplay = false;
    double  audioOffset      = 0.0;  // seconds; kept with a replay, the inputs are already on the heard clock
    int32_t width            = 1920;
    int32_t height           = 1080;
    int32_t comboPerLayer    = kComboPerLayer;
    int32_t missLimit        = kMissLimit;
    int32_t layerCap         = kLayerCap;
};

// The audio's part of a layer rule: fade this stem in, or silence it.
struct LayerChange {
    int32_t stem = 0;
    bool    on   = false;
};

// The outcome of a run as a replay claims it and the checker finds it.
struct RunResult {
    int32_t score        = 0;
    int32_t perfect      = 0;
    int32_t great        = 0;
    int32_t good         = 0;
    int32_t misses       = 0;
    int32_t strays       = 0;
    int32_t highestCombo = 0;
    int32_t highestLayer = 0;
    int32_t errorMedianUs = 0;  // hit error, press minus note
    int32_t errorSpreadUs = 0;  // interquartile range of the hit errors

    bool operator==(const RunResult&) const = default;
};
// A circle's height in a playfield `height` pixels tall, y from the bottom: from
// its note's velocity, every ring kept inside the window and clear of the HUD.
float playfieldY(int32_t velocity, int32_t height);

// The first field in which two results differ ("score", "perfect"...), or "" when equal.
const char* firstDifference(const RunResult& a, const RunResult& b);

class Judge {
public:
    void beginRun(std::vector<JudgeStem> runStems, const JudgeSettings& runSettings);
    void advanceTo(int64_t us);          // spawns, hold completions, expiries due before it
    void feed(const JudgeInput& input);  // advances to its moment, judges and records it
    int64_t  judgedUntil() const { return frontierUs; }
    RunResult result() const;
    std::vector<LayerChange> takeLayerChanges();
    const std::vector<JudgeInput>& inputs() const { return recorded; }
    const JudgeSettings&           settings() const { return runSettings_; }  // as the run began
    int32_t                        playWidth() const { return width; }          // as the last resize left it
    int32_t                        playHeight() const { return height; }
    std::vector<JudgeStem>         runStems() const;  // the charts as the run began
    uint32_t                       startStems() const { return startMask; }  // bit per stem audible at the start

    // Lower-level steps the game and its tests call directly.
    void    spawnCircle(const MidiNoteEvent& event, int32_t stemIndex, double circleTime, int32_t width, int32_t height);
    int32_t hitTest(float x, float y, double at) const;
    void    judge(int32_t index, InputKind kind, uint64_t id, bool press, double at);
    void    addScore(int32_t points);
    void    registerMiss();
    void    applyLayerRules(double at);  // after a judged moment at `at`

    int32_t               score             = 0;
    int32_t               combo             = 0;
    int32_t               highestCombo      = 0;
    int32_t               layers            = 1;
    int32_t               maxLayers         = kLayerCap;
    int32_t               highestLayer      = 1;
    float                 multiplier        = 1.0f;
    int32_t               highScore         = 0;
    bool                  keyboardGameplay  = false;
    int32_t               comboPerLayer     = kComboPerLayer;
    int32_t               missLimit         = kMissLimit;
    int32_t               misses            = 0;
    int32_t               comboAtLastUnlock = 0;
    bool                  logRules          = true;  // the design's log lines; the checker runs quiet
    RunStats              stats;
    std::vector<Circle>   circles;
    std::vector<TierMark> tierMarks;
    // Which circle each input is holding: finger id or kMouseId, and key code.
    std::unordered_map<uint64_t, int32_t> pointerHolds;
    std::unordered_map<int32_t, int32_t>  keyHolds;

protected:
    void resetRules();
    void clearCircles();

private:
    struct Cursor {  // the next note of a stem to have its turn at a circle
        int64_t pass  = 0;
        size_t  index = 0;
    };
    struct RunStem {
        JudgeStem                           stem;
        bool                                active = false;
        Cursor                              next;
        std::unordered_map<int32_t, double> lastCircleTime;  // by pitch, for the duplicate rule
    };

    bool   hittable(const Circle& circle, double at) const;
    void   judgeKeyPress(uint64_t key, double at);
    void   judgePress(int32_t index, InputKind kind, uint64_t id, double at);
    void   judgeHoldRelease(int32_t index, InputKind kind, uint64_t id, double at);
    void   judgeInput(const JudgeInput& input, double at);
    void   awardPress(const Circle& circle, double at);
    void   countHit();
    void   missAt(const Circle& circle);
    void   markTier(const Circle& circle, Tier tier);
    void   say(bool touch, const char* message) const;
    double deadline(const Circle& circle) const;
    void   expire(size_t index, double at);
    void   removeCircle(size_t index);
    void   removeSetAside();
    static bool   settle(RunStem& stem);  // skips what spawns nothing; false when the chart is done
    static double spawnTime(const RunStem& stem);
    void          spawnNext(int32_t stemIndex);
    int32_t       nextSpawner(double before);
    void   activate(int32_t stemIndex, double at);
    const int32_t* findHold(InputKind kind, uint64_t id) const;
    void           setHold(InputKind kind, uint64_t id, int32_t index);
    void           dropHold(InputKind kind, uint64_t id);

    std::vector<RunStem>     stems;
    JudgeSettings            runSettings_;
    int64_t                  frontierUs = std::numeric_limits<int64_t>::min();
    uint32_t                 startMask  = 0;
    int32_t                  width      = 1920;
    int32_t                  height     = 1080;
    std::vector<JudgeInput>  recorded;
    std::vector<LayerChange> layerChanges;
};
