#include "input/InputManager.h"

#include "input/X11PressStamps.h"

#include <SDL3/SDL.h>

namespace {

constexpr int32_t kEscapeKey = 27;
constexpr int32_t kSpaceKey  = 32;

// Touch coordinates arrive normalised; the window may have been resized since
// the last event, so its size is read at every touch event.
void touchScale(SDL_WindowID windowId, float& w, float& h) {
    int iw = 0;
    int ih = 0;
    if (SDL_Window* window = SDL_GetWindowFromID(windowId)) {
        SDL_GetWindowSize(window, &iw, &ih);
    }
    w = static_cast<float>(iw);
    h = static_cast<float>(ih);
}

}  // namespace

void InputManager::init() {
    *this = InputManager{};
    X11PressStamps::install();
}

void InputManager::processEvents(GuiEventHook gui, bool guiTakesText) {
    SDL_Event event;
    while (SDL_PollEvent(&event)) {
        if (gui != nullptr) gui(event);
        handleEvent(event, guiTakesText);
    }
}

void InputManager::handleEvent(const SDL_Event& event, bool guiTakesText) {
    switch (event.type) {
    case SDL_EVENT_QUIT: quit = true; break;
    case SDL_EVENT_KEY_DOWN: {
        if (event.key.repeat) break;
        const uint64_t stamp = X11PressStamps::takeKey(event.key.raw, true, event.key.timestamp);
        const int32_t  key   = static_cast<int32_t>(event.key.key);
        if (guiTakesText && key != kEscapeKey && event.key.key != SDLK_F12) break;
        keysPressed[key] = stamp;
        if (event.key.key == SDLK_F12) guiToggle = true;
        else if (key == kEscapeKey) quit = quit || escapeQuits;
        else if (key == kSpaceKey) playToggle = true;
        break;
    }
    case SDL_EVENT_KEY_UP:
        if (!event.key.repeat)
            keysReleased[static_cast<int32_t>(event.key.key)] =
                X11PressStamps::takeKey(event.key.raw, false, event.key.timestamp);
        break;
    case SDL_EVENT_MOUSE_MOTION:
        mouseX = event.motion.x;
        mouseY = event.motion.y;
        break;
    case SDL_EVENT_MOUSE_BUTTON_DOWN:
    case SDL_EVENT_MOUSE_BUTTON_UP:
        if (event.button.button != SDL_BUTTON_LEFT) break;
        if (event.type == SDL_EVENT_MOUSE_BUTTON_DOWN) {
            mouseWentDown = true;
            mouseDownAt   = X11PressStamps::takeButton(event.button.button, true, event.button.timestamp);
        } else {
            mouseWentUp = true;
            mouseUpAt   = X11PressStamps::takeButton(event.button.button, false, event.button.timestamp);
        }
        mouseX = event.button.x;
        mouseY = event.button.y;
        break;
    case SDL_EVENT_FINGER_DOWN: {
        float w, h;
        touchScale(event.tfinger.windowID, w, h);
        TouchPoint& touch = touches[event.tfinger.fingerID];
        touch.active      = true;
        touch.pressed     = true;
        touch.released    = false;
        touch.x           = w * event.tfinger.x;
        touch.y           = h * event.tfinger.y;
        touch.pressedAt   = event.tfinger.timestamp;
        break;
    }
    // A cancelled touch (the system took the finger, say for a gesture) ends
    // like a lift; left down, it would hold its circle and mute the mouse for good.
    case SDL_EVENT_FINGER_UP:
    case SDL_EVENT_FINGER_CANCELED: {
        TouchPoint& touch = touches[event.tfinger.fingerID];
        touch.active      = false;
        touch.released    = true;
        touch.releasedAt  = event.tfinger.timestamp;
        break;
    }
    case SDL_EVENT_FINGER_MOTION: {
        float w, h;
        touchScale(event.tfinger.windowID, w, h);
        TouchPoint& touch = touches[event.tfinger.fingerID];
        touch.x           = w * event.tfinger.x;
        touch.y           = h * event.tfinger.y;
        break;
    }
    default: break;
    }
}

void InputManager::endFrame() {
    playToggle    = false;
    guiToggle     = false;
    mouseWentDown = false;
    mouseWentUp   = false;
    keysPressed.clear();
    keysReleased.clear();
    for (auto it = touches.begin(); it != touches.end();) {
        it->second.pressed  = false;
        it->second.released = false;
        it                  = it->second.active ? std::next(it) : touches.erase(it);
    }
}
