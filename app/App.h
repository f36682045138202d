// The application object: owns every system, runs the start-up sequence, one
// frame of the main loop and the shut-down sequence. The fixed-rate gameplay
// tick runs on its own thread (app/LogicThread.h).
#pragma once

#include "app/LevelLoader.h"
#include "app/RunKeeper.h"
#include "audio/AudioSystem.h"
#include "game/GameLogic.h"
#include "input/InputManager.h"
#include "render/RenderState.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <thread>

// Set once by the main thread after the frame loop; the logic thread stops when
// it sees it.
extern std::atomic<bool> stopRequested;

// The game-state lock. It serialises the logic tick (dispatch, spawning, layer
// rules) with the main thread's game-state work of a frame (stem flags through
// the circle pass) and with GUI code that reads, resets or starts a run: the
// circle list, score/combo/layer counters, stem flags and MIDI cursors, the
// stream time and the high score. The tick never holds it while it sleeps.
extern std::mutex gameStateMutex;

class App {
public:
    bool init();
    bool runFrame(uint64_t& last, uint64_t frequency);
    void shutdown(std::thread& logicThread);
    void drawGui();
    void drawMainMenu();
    void updateTutorialSong();
    void startSelectedLevel();                        // the main menu's chosen level, loaded off the main thread
    void requestLevel(LevelLoader::Request request);  // with the game-state lock held
    void endRun();                                    // the exit button: save, upload, then the results
    void installLoadedLevel();  // a level the loader finished: installed, then its run or page starts

    AudioSystem  audio;
    RenderState  render;
    InputManager input;
    GameLogic    game;
    bool         showLeaderboard = false;
    bool         guiVisible      = false;
    bool         showSettings    = false;
    bool         showCredits     = false;
    bool         showCalibration = false;
    bool         showResults     = false;
    RunSummary   lastRun;
    bool         running = false;
    LevelLoader  levelLoader;
    RunKeeper    runKeeper;
    std::string  runFolder;  // the package folder of the run in play

private:
    void copyStemFlags();
    bool togglePlayback();
    bool mainMenuShown() const;
    void saveRunBeforeQuitting();
    void startRun(const std::string& levelName);
    void cancelLoadOnLeaving();
    void openLeaderboard();
    void drawExitButton();
    FinishedRun finishedRun() const;
};

// The frame time step fed to fades, animation and circles: the counter delta in
// seconds, capped at 1/30 s so a stall never advances them further.
float frameStep(uint64_t now, uint64_t last, uint64_t frequency);
