// A real window for GUI tests: its own SDL window with an OpenGL 4.6 core
// context and a Dear ImGui context on the SDL3 and OpenGL3 back ends, driven by
// synthetic SDL input events that go through SDL's own event queue. Widgets are
// found by their label and the window that draws them.
#pragma once

#include <SDL3/SDL_keycode.h>
#include <SDL3/SDL_scancode.h>
#include <imgui.h>

#include <functional>

struct ImGuiWindow;
struct SDL_Window;
typedef struct SDL_GLContextState* SDL_GLContext;

class GuiTestWindow {
public:
    explicit GuiTestWindow(std::function<void()> draw);  // draw: the GUI of one frame
    ~GuiTestWindow();
    GuiTestWindow(const GuiTestWindow&)            = delete;
    GuiTestWindow& operator=(const GuiTestWindow&) = delete;

    void frames(int count = 1);  // pending events to the GUI, draw, present

    // Windows drawn by the last frame (nullptr when none).
    static ImGuiWindow* window(const char* name);
    static ImGuiWindow* child(ImGuiWindow* parent, const char* name);
    static ImGuiWindow* topPopup();
    // Centre of the widget with this label in window, found the way keyboard
    // navigation finds it; (-1, -1) when it was not drawn.
    ImVec2 centreOf(ImGuiWindow* window, const char* label);

    void click(ImGuiWindow* window, const char* label, SDL_Keymod held = SDL_KMOD_NONE);
    void doubleClick(ImGuiWindow* window, const char* label);
    void press(SDL_Keycode key, SDL_Scancode scancode, SDL_Keymod held = SDL_KMOD_NONE);
    void type(const char* text);  // to the active text field

private:
    void moveTo(ImVec2 at);
    void click(ImVec2 at, SDL_Keymod held);
    void button(bool down);
    void hold(SDL_Keymod held, bool down);
    void key(SDL_Keycode key, SDL_Scancode scancode, SDL_Keymod mod, bool down);

    std::function<void()> draw_;
    std::function<void()> beforeDraw_;
    SDL_Window*           sdlWindow_ = nullptr;
    SDL_GLContext         glContext_ = nullptr;
    ImGuiContext*         gui_       = nullptr;
};
