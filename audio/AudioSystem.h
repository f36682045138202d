// The level's music: its stems, their fades and the master clock. The mixer and
// decoding live in Mixer and Sound; what the notes mean is gameplay's business.
// (The body is filled in with the music work; for now the spine only calls it.)
#pragma once

#include <vector>

class GameLogic;
struct RenderState;

struct Stem {
    bool active = false;
};

class AudioSystem {
public:
    bool init();
    void shutdown();
    void update(float dt);
    void playAll();
    void stopAll();
    void activateFirstStem();
    void dispatchMidi(GameLogic& game, RenderState* render);

    std::vector<Stem> stems;
    bool              playing = false;
};
