// The state of a run: the circles on screen, score, combo, unlocked layers, and
// who plays which level. The logic thread spawns circles ahead of the music and
// applies the layer rules; the main thread grows, times, judges, removes and
// draws them. Both work on it only under the game-state lock (app/App.h).
// The music (stems, dispatch, the audio clock) is the audio system's; the
// background pulse and the text renderer are the render state's.
#pragma once

#include "audio/NoteTimeline.h"
#include "base/Mailbox.h"
#include "midi/MidiNoteEvent.h"
#include "game/RunStats.h"

#include <array>
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

class AudioSystem;
class InputManager;
struct LeaderboardEntry;
struct Stem;
struct RenderState;

inline constexpr int32_t kHoldChannel   = 1;    // notes on this MIDI channel make hold circles
inline constexpr int32_t kHoldPoints    = 100;  // a completed hold, before the multiplier
inline constexpr int32_t kLayerCap      = 8;    // no run unlocks more layers than this
inline constexpr int32_t kComboPerLayer = 5;    // combo per unlocked layer for the next unlock
inline constexpr int32_t kMissLimit     = 3;    // misses in a row that silence the newest layer

// One on-screen target, in window pixels with y measured from the bottom.
// Notes on MIDI channel 1 make hold circles, every other channel tap circles.
struct Circle {
    float              x            = 0.0f;
    float              y            = 0.0f;
    float              radius       = 0.0f;  // drawn disc; 0 once a tap is judged
    float              targetRadius = 0.0f;  // the ring; hits count within it + 2
    float              holdDuration = 0.0f;  // hold: note length; tap: time it lingers
    bool               active       = false;
    bool               judged       = false;
    float              heldTime     = 0.0f;
    bool               holdDone     = false;
    std::set<uint64_t> holders;          // finger ids, -1 for the mouse, key codes
    double             time      = 0.0;  // note time on the stream clock
    int32_t            note      = 0;
    int32_t            stemIndex = 0;
    int32_t            channel   = 0;
    bool               reached   = false;  // the clock reached it while on screen
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

enum class InputKind { Touch, Mouse, Key };

// A judged press or a miss, shown at its circle while it fades.
struct TierMark {
    float x    = 0.0f;  // window pixels, y from the bottom
    float y    = 0.0f;
    Tier  tier = Tier::Miss;
    float age  = 0.0f;  // seconds since it was judged
};
inline constexpr float kTierMarkLife = 0.5f;

// The player's best as the leaderboard fetch found it, for the run that asked.
struct FetchedBestScore {
    uint64_t run   = 0;
    int32_t  score = 0;
};

// Which circle each input is holding: finger id or -1 (mouse) → circle index,
// and key code → circle index. Emptied together with the circle list.
extern std::unordered_map<uint64_t, int32_t> pointerHolds;
extern std::unordered_map<int32_t, int32_t>  keyHolds;
extern const std::array<KeyColumn, 8>        keyColumns;

// A clock read at readNs, carried to stampNs (both on the SDL_GetTicksNS
// clock): the audio clocks run in real time between the device's takings.
double clockAtStamp(double clock, uint64_t readNs, uint64_t stampNs);

class GameLogic {
public:
    void       reset(int32_t layerCap);
    void       newRun();
    RunSummary summarize() const;       // before newRun forgets the run
    void       takeFetchedBestScore();  // main thread, once a frame, under the game-state lock
    void       setNoteCallback();
    void       takeDispatch(MidiDispatch dispatch);  // logic tick, under the game-state lock
    void       update(RenderState& render, AudioSystem& audio);
    void spawnCircle(const MidiNoteEvent& event, int32_t stemIndex, double circleTime, int32_t width, int32_t height);
    void updateCircles(float dt);
    // The frame's gameplay: presses first, each at its own moment, so a circle
    // whose window a press fell in is still there; then growth, holds, expiry.
    void             updateRun(InputManager& input, int32_t height, float dt);
    void             handleInput(InputManager& input, int32_t height);
    double           momentOf(uint64_t stampNs) const;  // an SDL event stamp on the heard clock
    double           heardTime() const { return streamTime - audioOffset; }
    int32_t          hitTest(float x, float y, double at) const;
    void             judge(int32_t index, InputKind kind, uint64_t id, bool press, double at);
    void             addScore(int32_t points);
    void             registerMiss();
    void             updateProgress(AudioSystem& audio);
    void             updateLayers(AudioSystem& audio);
    void             renderCircles(RenderState& render);
    void             drawStemProgressHud(int32_t stemCount) const;  // the GUI's row of layer segments
    int32_t          layersOfLevel() const;                         // what the entry's highest layer is out of
    LeaderboardEntry leaderboardEntry() const;                      // the run as the leaderboard keeps it

    int32_t                    score        = 0;
    int32_t                    combo        = 0;
    int32_t                    highestCombo = 0;
    int32_t                    layers       = 0;
    int32_t                    maxLayers    = 0;
    int32_t                    levelStems   = 0;  // of the level being played; 0: not known
    int32_t                    highestLayer = 0;
    bool                       inGame       = false;
    bool                       practice     = false;  // no run, but presses are judged: the tutorial's circles
    float                      multiplier   = 0.0f;
    int32_t                    highScore    = 0;
    std::string                levelName;
    std::string                playerName;
    float                      bpm              = 120.0f;
    bool                       keyboardGameplay = false;
    std::vector<MidiNoteEvent> triggeredEvents;
    double                     streamTime    = 0.0;
    uint64_t                   streamClockNs = 0;    // SDL_GetTicksNS when streamTime was read; 0: not a live reading
    double                     audioOffset   = 0.0;  // seconds the player hears the music after the clock
    NoteCallback               noteCallback;
    std::vector<Circle>        circles;
    int32_t                    comboPerLayer     = kComboPerLayer;
    int32_t                    missLimit         = kMissLimit;
    int32_t                    misses            = 0;
    int32_t                    comboAtLastUnlock = 0;
    RunStats                   stats;
    std::vector<TierMark>      tierMarks;
    uint64_t                   runNumber = 0;  // counts newRun calls; a fetched best names its run
    std::shared_ptr<Mailbox<FetchedBestScore>> fetchedBestScores = std::make_shared<Mailbox<FetchedBestScore>>();

private:
    void spawnDueNotes(Stem& stem, bool looping, int32_t width, int32_t height);
    bool isDuplicate(int32_t stemIndex, int32_t note, double circleTime) const;
    bool leavesList(Circle& circle);
    void removeCircle(size_t index);
    bool hittable(const Circle& circle, double at) const;
    void judgePress(int32_t index, InputKind kind, uint64_t id, double at);
    void judgeHoldRelease(int32_t index, InputKind kind, uint64_t id, double at);
    void awardPress(const Circle& circle, double at);
    void missAt(const Circle& circle);
    void markTier(const Circle& circle, Tier tier);
    void fadeTierMarks(float dt);
    void countHit();
    void clearCircles();
};
