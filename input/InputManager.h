// Turns SDL's event queue into one frame of input: edge flags for quit, Space
// and F12, the left mouse button, touch points and the keys that went down or
// up, each press and release with SDL's stamp of when it happened (nanoseconds
// on the SDL_GetTicksNS clock), so gameplay judges the moment, not the frame.
// Every event is offered first to the GUI's hook, which the frame loop passes
// while the GUI is visible, and handled here as well, except keys the GUI takes
// as typed text; what a press means is
// decided by gameplay and the frame loop.
#pragma once

#include <cstdint>
#include <map>

union SDL_Event;

using GuiEventHook = void (*)(const SDL_Event& event);

struct TouchPoint {
    bool     active     = false;
    bool     pressed    = false;
    bool     released   = false;
    float    x          = 0.0f;
    float    y          = 0.0f;
    uint64_t pressedAt  = 0;
    uint64_t releasedAt = 0;
};

class InputManager {
public:
    void init();
    void processEvents(GuiEventHook gui, bool guiTakesText);  // gui nullptr: the GUI sees nothing
    // guiTakesText: a GUI text field has the keyboard, so keys other than
    // Escape and F12 are its text, not the game's presses or toggles.
    void handleEvent(const SDL_Event& event, bool guiTakesText);
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
    uint64_t                       mouseDownAt   = 0;
    uint64_t                       mouseUpAt     = 0;
    std::map<uint64_t, TouchPoint> touches;
    std::map<int32_t, uint64_t>    keysPressed;   // key code -> when it went down
    std::map<int32_t, uint64_t>    keysReleased;  // key code -> when it went up
};
