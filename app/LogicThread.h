// The game logic thread: about 120 ticks a second of MIDI dispatch, circle
// spawning and layer rules, all driven by the audio clock rather than a time step.
#pragma once

class App;

void runLogicTick(App& app);  // one tick, under the game-state lock
void runLogicThread(App* app);
