// The frame's presses and releases handed to the rules, each at its own
// moment on the heard clock, in the order they happened.
#include "game/GameLogic.h"

#include "input/InputManager.h"

#include <algorithm>
#include <cmath>

namespace {

struct Stamped {
    JudgeInput input;
    uint64_t   stampNs = 0;
};

JudgeInput inputOf(InputKind kind, bool press, uint64_t id, float x = 0.0f, float y = 0.0f) {
    JudgeInput input;
    input.kind  = kind;
    input.press = press;
    input.id    = id;
    input.x     = x;
    input.y     = y;
    return input;
}

}  // namespace

void GameLogic::handleInput(InputManager& input, int32_t height) {
    if (!inGame && !practice) return;
    const float          h = static_cast<float>(height);
    std::vector<Stamped> frame;

    if (keyboardGameplay) {
        for (const auto& [key, stamp] : input.keysPressed)
            frame.push_back({inputOf(InputKind::Key, true, static_cast<uint64_t>(key)), stamp});
        for (const auto& [key, stamp] : input.keysReleased)
            frame.push_back({inputOf(InputKind::Key, false, static_cast<uint64_t>(key)), stamp});
    }
    for (const auto& [finger, touch] : input.touches) {
        if (touch.pressed) frame.push_back({inputOf(InputKind::Touch, true, finger, touch.x, h - touch.y), touch.pressedAt});
        else if (touch.released)
            frame.push_back({inputOf(InputKind::Touch, false, finger, touch.x, h - touch.y), touch.releasedAt});
    }
    // Mouse events in a frame with touches are SDL's synthetic copies of them.
    if (input.touches.empty()) {
        float mouseX = 0.0f;
        float mouseY = 0.0f;
        input.getMousePosition(mouseX, mouseY);
        if (input.mousePressed())
            frame.push_back({inputOf(InputKind::Mouse, true, kMouseId, mouseX, h - mouseY), input.mouseDownAt});
        if (input.mouseReleased())
            frame.push_back({inputOf(InputKind::Mouse, false, kMouseId, mouseX, h - mouseY), input.mouseUpAt});
    }

    for (Stamped& stamped : frame) {
        const double at   = std::round(momentOf(stamped.stampNs) * 1e6);
        stamped.input.us  = std::isfinite(at) ? static_cast<int64_t>(std::clamp(at, -9.0e18, 9.0e18)) : judgedUntil();
    }
    std::stable_sort(frame.begin(), frame.end(),
                     [](const Stamped& a, const Stamped& b) { return a.input.us < b.input.us; });
    // A press stamped before what the rules already judged is taken at that
    // point, and recorded so: the replay must see what the run saw.
    for (const Stamped& stamped : frame) feed(stamped.input);
}

double clockAtStamp(double clock, uint64_t readNs, uint64_t stampNs) {
    return clock - (static_cast<double>(readNs) - static_cast<double>(stampNs)) * 1e-9;
}

// Without a stamp or a live reading, the press is taken at the frame's clock.
double GameLogic::momentOf(uint64_t stampNs) const {
    if (stampNs == 0 || streamClockNs == 0) return heardTime();
    return clockAtStamp(heardTime(), streamClockNs, stampNs);
}
