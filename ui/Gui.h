// What the GUI draws each frame: the main menu, the in-game HUD and the
// panels (results, leaderboard, settings, calibration, tutorial, credits), with the state they keep
// between frames. App::drawGui picks one of them per frame; every function here
// runs on the main thread inside a GUI frame, and the ones that read or change
// the run take the game-state lock themselves. Their shared look is ui/Widgets.h.
#pragma once

#include "leaderboard/LeaderboardProtocol.h"

#include <string>

class App;
struct LevelInfo;

extern int  selectedLevel;       // row of the main menu's level table
bool        hasSelectedLevel();  // the row names a level of the list
extern bool tutorialActive;
extern int  tutorialPage;                         // 0..4
bool        tutorialPageShowsCircles(int page);   // its song's circles are there to be hit
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
// The level table's additions and questions (ui/LevelTable.cpp). A level just
// imported joins the table, selected, unless installedName (the listed name of
// a level with the same charts and stems) is set: then the player is asked
// first, and a "no" removes it again. "Delete" (under the table) asks before
// it removes the selected level, only ever one the player added.
void addLevelToTable(const LevelInfo& level);
void addImportedLevel(const LevelInfo& level, const std::string& installedName);
void drawDeleteLevelButton();
void drawLevelQuestions();     // in the main menu's window, outside anything disabled
void drawLevelTableMessage();  // what the last answer came to
bool levelQuestionOpen();
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
