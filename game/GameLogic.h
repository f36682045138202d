// The live run: the rules (judge/Judge.h) fed with the frame's stamped inputs
// and advanced on the heard clock, the circles' growth and drawing, and who
// plays which level. The main thread judges and draws; the logic thread only
// dispatches the music's notes and has the audio follow the layer rules. Both
// work on it only under the game-state lock (app/App.h).
// The music (stems, dispatch, the audio clock) is the audio system's; the
// background pulse and the text renderer are the render state's.
#pragma once

#include "audio/NoteTimeline.h"
#include "base/Mailbox.h"
#include "midi/MidiNoteEvent.h"
#include "judge/Judge.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class AudioSystem;
class InputManager;
struct LeaderboardEntry;
struct Stem;
struct RenderState;

// The player's best as the leaderboard fetch found it, for the run that asked.
struct FetchedBestScore {
    uint64_t run   = 0;
    int32_t  score = 0;
};

// A clock read at readNs, carried to stampNs (both on the SDL_GetTicksNS
// clock): the audio clocks run in real time between the device's takings.
double clockAtStamp(double clock, uint64_t readNs, uint64_t stampNs);

// Frames may decide when a circle is drawn, never what it earns: the rules run
// a little behind the clock (judgeLag), so a press pumped a frame late still
// finds the moment it was stamped at not yet judged.
inline constexpr double kJudgeLag = 0.05;

class GameLogic : public Judge {
public:
    void       reset(int32_t layerCap);
    void       newRun();
    void       startJudging(const AudioSystem& audio, int32_t width, int32_t height);  // after newRun, stems playing
    void       finishJudging();             // the run's end: everything up to the heard clock
    RunSummary summarize() const;           // before newRun forgets the run
    void       takeFetchedBestScore();      // main thread, once a frame, under the game-state lock
    void       setNoteCallback();
    void       takeDispatch(MidiDispatch dispatch);  // logic tick, under the game-state lock
    void       update(RenderState& render, AudioSystem& audio);
    // The rules up to the heard clock (less the lag), then the circles' growth
    // and the fading tier marks.
    void updateCircles(float dt);
    // The frame's gameplay: presses first, each at its own moment, then the clock.
    void             updateRun(InputManager& input, int32_t width, int32_t height, float dt);
    void             handleInput(InputManager& input, int32_t height);
    double           momentOf(uint64_t stampNs) const;  // an SDL event stamp on the heard clock
    double           heardTime() const { return streamTime - audioOffset; }
    void             updateProgress(AudioSystem& audio);  // the audio follows the layer rules
    void             renderCircles(RenderState& render);
    void             drawStemProgressHud(int32_t stemCount) const;  // the GUI's row of layer segments
    int32_t          layersOfLevel() const;                         // what the entry's highest layer is out of
    LeaderboardEntry leaderboardEntry() const;                      // the run as the leaderboard keeps it

    bool                       inGame     = false;
    int32_t                    levelStems = 0;      // of the level being played; 0: not known
    bool                       practice   = false;  // no run, but presses are judged: the tutorial's circles
    std::string                levelName;
    std::string                playerName;
    float                      bpm = 120.0f;
    std::vector<MidiNoteEvent> triggeredEvents;
    double                     streamTime    = 0.0;
    uint64_t                   streamClockNs = 0;    // SDL_GetTicksNS when streamTime was read; 0: not a live reading
    double                     audioOffset   = 0.0;  // seconds the player hears the music after the clock
    double                     judgeLag      = kJudgeLag;
    int64_t                    runEndUs      = 0;  // heard time the run ended at
    NoteCallback               noteCallback;
    uint64_t                   runNumber = 0;  // counts newRun calls; a fetched best names its run
    std::shared_ptr<Mailbox<FetchedBestScore>> fetchedBestScores = std::make_shared<Mailbox<FetchedBestScore>>();

private:
    void growCircles();
    void fadeTierMarks(float dt);
};
