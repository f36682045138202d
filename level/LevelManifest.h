// Loading a level.json manifest into the audio system, the render state's
// animation slots and the game's BPM. (The loader comes with the gameplay work;
// for now it loads nothing and says so.)
#pragma once

#include <string>

class AudioSystem;
class GameLogic;
struct RenderState;

bool loadLevelManifest(const std::string& path, AudioSystem& audio, RenderState& render, GameLogic& game);
