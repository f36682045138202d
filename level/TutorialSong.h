// The tutorial's song: the level package at levels/tutorialsong, whose stems the
// tutorial pages play in different combinations. The song keeps running across
// pages; a page change silences every stem and fades in that page's ones over a
// second. Page 0 stops the music and gives the package up. The caller holds the
// game-state lock.
#pragma once

class AudioSystem;
class GameLogic;
struct RenderState;

inline constexpr int kTutorialPages = 5;

void playTutorialPage(int page, AudioSystem& audio, RenderState& render, GameLogic& game);
