// Turns SDL's event queue into one frame of input: edge flags for quit, Space
// and F12, the left mouse button, touch points and the keys that went down or
// up. Every event is offered first to the GUI's hook, which the frame loop passes
// while the GUI is visible, and handled here as well; what a press means is
// decided by gameplay and the frame loop.
#pragma once

#include <cstdint>
#include <map>
#include <set>

union SDL_Event;

using GuiEventHook = void (*)(const SDL_Event& event);

struct TouchPoint {
    bool  active   = false;
    bool  pressed  = false;
    bool  released = false;
    float x        = 0.0f;
    float y        = 0.0f;
};

class InputManager {
public:
    void init();
    void processEvents(GuiEventHook gui);  // nullptr: the GUI sees nothing
    void handleEvent(const SDL_Event& event);
    void endFrame();

    bool quitRequested() const { return quit; }
    bool playTogglePressed() const { return playToggle; }
    bool guiTogglePressed() const { return guiToggle; }
    bool mousePressed() const { return mouseWentDown; }
    bool mouseReleased() const { return mouseWentUp; }
    void getMousePosition(float& x, float& y) const {
        x = mouseX;
        y = mouseY;
    }

    bool                           quit          = false;
    bool                           escapeQuits   = true;  // false while a dialog takes Escape itself
    bool                           playToggle    = false;
    bool                           guiToggle     = false;
    bool                           mouseWentDown = false;
    bool                           mouseWentUp   = false;
    float                          mouseX        = 0.0f;
    float                          mouseY        = 0.0f;
    std::map<uint64_t, TouchPoint> touches;
    std::set<int32_t>              keysPressed;
    std::set<int32_t>              keysReleased;
};
