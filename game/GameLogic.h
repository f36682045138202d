// The state of a run: circles, score, combo, layers, and who plays which level.
// Spawning runs on the logic thread; animation, judging and drawing on the main
// thread. (The rules are filled in with the gameplay work; for now the spine
// only calls the operations at their places.)
#pragma once

#include "game/MidiNoteEvent.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class App;
class InputManager;
struct RenderState;

using NoteCallback = std::function<void(const MidiNoteEvent&, RenderState*)>;

class GameLogic {
public:
    void reset(int32_t layerCap);
    void setNoteCallback();
    void update(RenderState& render, App& app);
    void updateProgress(App& app);
    void updateCircles(float dt);
    void handleInput(InputManager& input, int32_t height);
    void renderCircles(RenderState& render);

    int32_t     score            = 0;
    int32_t     combo            = 0;
    int32_t     highestCombo     = 0;
    int32_t     layers           = 0;
    int32_t     maxLayers        = 0;
    int32_t     highestLayer     = 0;
    bool        inGame           = false;
    float       multiplier       = 0.0f;
    int32_t     highScore        = 0;
    std::string levelName;
    std::string playerName;
    float       bpm              = 0.0f;
    bool        keyboardGameplay = false;
    std::vector<MidiNoteEvent> triggeredEvents;
    double      streamTime       = 0.0;
    NoteCallback noteCallback;
};
