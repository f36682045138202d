// Gameplay driven directly, with an audio system and a render state that are
// never started: stems are built by hand (chart, flags, length) instead of
// loaded, and circles placed where a test wants them.
#pragma once

#include "audio/AudioSystem.h"
#include "game/GameLogic.h"
#include "input/InputManager.h"
#include "render/RenderState.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

inline MidiNoteEvent noteOn(double time, int note, int velocity, int channel = 0, double duration = 0.0) {
    MidiNoteEvent event;
    event.time     = time;
    event.note     = note;
    event.velocity = velocity;
    event.isNoteOn = true;
    event.channel  = channel;
    event.duration = duration;
    return event;
}

// A stem with a loaded chart of note-ons at the given times (pitch 60, velocity 100).
inline Stem& addChartStem(AudioSystem& audio, const std::vector<double>& noteTimes, double lengthSeconds,
                          bool active = true) {
    Stem stem;
    stem.index              = static_cast<uint32_t>(audio.stems.size());
    stem.name               = "stem" + std::to_string(stem.index) + ".wav";
    stem.active             = active;
    stem.midi.loaded        = true;
    stem.midi.lengthSeconds = lengthSeconds;
    for (double time : noteTimes) stem.midi.events.push_back(noteOn(time, 60, 100));
    audio.stems.push_back(std::move(stem));
    return audio.stems.back();
}

// A run in play on a 1920 x 1080 window with looping music.
inline void startPlayfield(GameLogic& game, AudioSystem& audio, RenderState& render) {
    game.reset(8);
    game.judgeLag = 0.0;  // the rules at the clock itself, as the tests set it
    game.inGame   = true;
    render.width  = 1920;
    render.height = 1080;
    audio.looping = true;
}

class GameFixture : public ::testing::Test {
protected:
    void SetUp() override { startPlayfield(game, audio, render); }

    Stem& addStem(const std::vector<double>& noteTimes, double lengthSeconds, bool active = true) {
        return addChartStem(audio, noteTimes, lengthSeconds, active);
    }

    // A circle as the spawner makes it, moved to (x, y) and already grown.
    Circle& addCircle(float x, float y, double time, int note = 40, int channel = 0, double holdSeconds = 0.0) {
        game.spawnCircle(noteOn(time, note, 64, channel, holdSeconds), 0, time, 1920, 1080);
        Circle& circle = game.circles.back();
        circle.x       = x;
        circle.y       = y;
        circle.radius  = circle.targetRadius;
        return circle;
    }

    // Advances the clock in frames of dt, as the frame loop does.
    void play(double seconds, float dt = 0.01f) {
        const int frames = static_cast<int>(seconds / dt + 0.5);
        for (int i = 0; i < frames; ++i) {
            game.streamTime += dt;
            game.updateCircles(dt);
        }
    }

    void click(float x, float yFromTop, bool down = true, bool up = false) {
        input.mouseX        = x;
        input.mouseY        = yFromTop;
        input.mouseWentDown = down;
        input.mouseWentUp   = up;
        frame();
    }

    // One frame of judging, then the input manager's end of frame.
    void frame() {
        game.handleInput(input, render.height);
        input.endFrame();
    }

    AudioSystem  audio;
    RenderState  render;
    GameLogic    game;
    InputManager input;
};

// Everything a block of code wrote to standard output and standard error.
struct CapturedOutput {
    std::string out;
    std::string err;
};

template <typename Body>
CapturedOutput capture(Body body) {
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    body();
    CapturedOutput output;
    output.out = ::testing::internal::GetCapturedStdout();
    output.err = ::testing::internal::GetCapturedStderr();
    return output;
}

// Each line must appear after the one before it.
inline ::testing::AssertionResult inOrder(const std::string& text, const std::vector<std::string>& lines) {
    size_t at = 0;
    for (const std::string& line : lines) {
        const size_t found = text.find(line, at);
        if (found == std::string::npos)
            return ::testing::AssertionFailure() << "missing or out of order: " << line << "\n--- in ---\n" << text;
        at = found + line.size();
    }
    return ::testing::AssertionSuccess();
}
