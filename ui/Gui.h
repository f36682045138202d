// What the GUI draws each frame: the main menu, the in-game HUD and the
// panels (results, leaderboard, settings, calibration, tutorial, credits), with the state they keep
// between frames. App::drawGui picks one of them per frame; every function here
// runs on the main thread inside a GUI frame, and the ones that read or change
// the run take the game-state lock themselves.
#pragma once

#include <cstdint>

class App;

extern int  selectedLevel;       // row of the main menu's level table
bool        hasSelectedLevel();  // the row names a level of the list
extern bool tutorialActive;
extern int  tutorialPage;           // 0..4
extern int  lastTutorialPage;       // the page the tutorial song last played; -1: none
extern char playerNameBuffer[64];   // the settings panel's edit field
extern bool playerNameBufferReady;  // the field holds a copy of the player name

// Shared look: the dimmed screen with the glowing, hue-cycling title, and the
// image buttons with their labels.
void drawPanelTitle(const char* text, float hueSpeed, float saturation);
void drawCenteredLabel(const char* label);
bool drawImageButton(const char* id, uint32_t texture, uint32_t activeTexture, float width, float height,
                     const char* label);

class GameLogic;

void drawScoreHud(App& app);
void drawTierLabels(const GameLogic& game);
void drawLeaderboardPanel(App& app);
void drawSettingsPanel(App& app);
void drawCalibrationPanel(App& app);
void drawResultsPanel(App& app);
void drawTutorialPanel(App& app);
void drawCreditsPanel(App& app);
