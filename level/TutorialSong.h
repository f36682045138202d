// The tutorial's song: the level package at levels/tutorialsong, whose stems the
// tutorial pages play in different combinations. The song keeps running across
// pages; a page change silences every stem and fades in that page's ones over a
// second. Page 0 stops the music and gives the package up. Loading the package
// is the caller's (off the main thread); a page plays whatever stems are
// installed. The caller holds the game-state lock.
#pragma once

class AudioSystem;
class GameLogic;

inline constexpr int         kTutorialPages      = 5;
inline constexpr const char* kTutorialSongFolder = "levels/tutorialsong";

bool tutorialSongLoaded();  // the current package is the tutorial song

void playTutorialPage(int page, AudioSystem& audio, GameLogic& game);
