// What the GUI draws each frame: the main menu, the in-game HUD and the
// panels (results, leaderboard, settings, calibration, tutorial, credits), with the state they keep
// between frames. App::drawGui picks one of them per frame; every function here
// runs on the main thread inside a GUI frame, and the ones that read or change
// the run take the game-state lock themselves. Their shared look is ui/Widgets.h.
#pragma once

#include "leaderboard/LeaderboardProtocol.h"

#include <string>

class App;

extern int  selectedLevel;       // row of the main menu's level table
bool        hasSelectedLevel();  // the row names a level of the list
extern bool tutorialActive;
extern int  tutorialPage;                         // 0..4
extern int  lastTutorialPage;                     // the page the tutorial song last played; -1: none
extern char playerNameBuffer[kMaxNameBytes + 1];  // the settings panel's edit field
extern bool playerNameBufferReady;                // the field holds a copy of the player name

// "Add Song...": the audio-file dialog, the title and difficulty window, the
// import's progress; the new level joins the table, selected. Escape closes
// what is open. stopSongImport cancels a running import and waits for it.
void               openSongImport();
void               drawSongImport();
bool               songImportWindowOpen();
const std::string& songImportMessage();  // the last import's outcome; empty when none
void               stopSongImport();
// "Import Package...": the chosen package is checked and installed off the main
// thread; the menu draws its progress, then what it came to, under its button.
// stopPackageImport cancels a running import and waits for it to stop.
void startPackageImport(const std::string& source);
bool packageImportRunning();
void drawPackageImportStatus();  // also takes a finished import's level into the table
void forgetPackageImportMessage();
void stopPackageImport();
// Whether a dialog or window of the GUI takes the Escape key this frame.
bool guiTakesEscape();

class GameLogic;

void drawScoreHud(App& app);
void drawTierLabels(const GameLogic& game);
void drawLeaderboardPanel(App& app);
void drawSettingsPanel(App& app);
void drawCalibrationPanel(App& app);
void drawResultsPanel(App& app);
void drawTutorialPanel(App& app);
void drawCreditsPanel(App& app);
