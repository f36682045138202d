#include "GuiTestWindow.h"

#include <SDL3/SDL_events.h>
#include <SDL3/SDL_init.h>
#include <SDL3/SDL_mouse.h>
#include <SDL3/SDL_timer.h>
#include <SDL3/SDL_video.h>
#include <gtest/gtest.h>
#include <imgui_impl_opengl3.h>
#include <imgui_impl_sdl3.h>
#include <imgui_internal.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "test set-up: %s: %s\n", what, SDL_GetError());
    std::abort();
}

// Video starts once and stays up for the process: shutting it down unloads the
// GL driver, whose own allocations would then read as leaks. A busy shared
// display now and then turns a new client away; a later try gets through.
void startVideo() {
    static const bool started = [] {
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (SDL_InitSubSystem(SDL_INIT_VIDEO)) return true;
            SDL_Delay(300);
        }
        return false;
    }();
    if (!started) fail("SDL video");
}

}  // namespace

GuiTestWindow::GuiTestWindow(std::function<void()> draw) : draw_(std::move(draw)) {
    startVideo();
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 4);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 6);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    sdlWindow_ = SDL_CreateWindow("Lumoka GUI test", 1280, 800, SDL_WINDOW_OPENGL);
    if (!sdlWindow_) fail("window");
    glContext_ = SDL_GL_CreateContext(sdlWindow_);
    if (!glContext_) fail("OpenGL 4.6 context");
    SDL_GL_MakeCurrent(sdlWindow_, glContext_);
    SDL_GL_SetSwapInterval(0);

    IMGUI_CHECKVERSION();
    gui_                       = ImGui::CreateContext();
    ImGui::GetIO().IniFilename = nullptr;  // tests leave no window settings behind
    if (!ImGui_ImplSDL3_InitForOpenGL(sdlWindow_, glContext_) || !ImGui_ImplOpenGL3_Init("#version 460")) {
        fail("GUI back ends");
    }
    frames(2);
}

GuiTestWindow::~GuiTestWindow() {
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplSDL3_Shutdown();
    ImGui::DestroyContext(gui_);
    SDL_GL_DestroyContext(glContext_);
    SDL_DestroyWindow(sdlWindow_);
}

void GuiTestWindow::frames(int count) {
    for (int i = 0; i < count; ++i) {
        SDL_Event event;
        while (SDL_PollEvent(&event)) ImGui_ImplSDL3_ProcessEvent(&event);
        ImGui_ImplOpenGL3_NewFrame();
        ImGui_ImplSDL3_NewFrame();
        ImGui::NewFrame();
        if (beforeDraw_) beforeDraw_();
        draw_();
        ImGui::Render();
        ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
        SDL_GL_SwapWindow(sdlWindow_);
    }
}

ImGuiWindow* GuiTestWindow::window(const char* name) {
    ImGuiWindow* found = ImGui::FindWindowByName(name);
    return found && found->WasActive ? found : nullptr;
}

ImGuiWindow* GuiTestWindow::child(ImGuiWindow* parent, const char* name) {
    // Child windows are named "<parent>/<name>_<id>".
    const std::string prefix = std::string(parent->Name) + "/" + name + "_";
    for (ImGuiWindow* candidate : GImGui->Windows) {
        if (candidate->ParentWindow == parent && candidate->WasActive &&
            std::strncmp(candidate->Name, prefix.c_str(), prefix.size()) == 0) {
            return candidate;
        }
    }
    return nullptr;
}

ImGuiWindow* GuiTestWindow::topPopup() {
    const ImVector<ImGuiPopupData>& popups = GImGui->OpenPopupStack;
    return popups.empty() ? nullptr : popups.back().Window;
}

ImVec2 GuiTestWindow::centreOf(ImGuiWindow* window, const char* label) {
    if (!window) return ImVec2(-1, -1);
    // Giving the widget navigation focus makes the next frame record its rectangle.
    const ImGuiID id                       = window->GetID(label);
    window->NavRectRel[ImGuiNavLayer_Main] = ImRect();
    beforeDraw_                            = [id, window] { ImGui::SetFocusID(id, window); };
    frames(1);
    beforeDraw_           = nullptr;
    const ImRect relative = window->NavRectRel[ImGuiNavLayer_Main];
    if (GImGui->NavId != id || !GImGui->NavIdIsAlive || relative.IsInverted()) return ImVec2(-1, -1);
    return ImGui::WindowRectRelToAbs(window, relative).GetCenter();
}

void GuiTestWindow::moveTo(ImVec2 at) {
    // The back end reads the pointer itself while the window has focus, so the
    // real pointer goes there too.
    SDL_WarpMouseInWindow(sdlWindow_, at.x, at.y);
    SDL_Event event{};
    event.type            = SDL_EVENT_MOUSE_MOTION;
    event.motion.windowID = SDL_GetWindowID(sdlWindow_);
    event.motion.x        = at.x;
    event.motion.y        = at.y;
    SDL_PushEvent(&event);
    frames(1);
}

void GuiTestWindow::button(bool down) {
    SDL_Event event{};
    event.type            = down ? SDL_EVENT_MOUSE_BUTTON_DOWN : SDL_EVENT_MOUSE_BUTTON_UP;
    event.button.windowID = SDL_GetWindowID(sdlWindow_);
    event.button.button   = SDL_BUTTON_LEFT;
    event.button.down     = down;
    event.button.clicks   = 1;
    SDL_PushEvent(&event);
    frames(1);
}

void GuiTestWindow::key(SDL_Keycode keycode, SDL_Scancode scancode, SDL_Keymod mod, bool down) {
    SDL_Event event{};
    event.type         = down ? SDL_EVENT_KEY_DOWN : SDL_EVENT_KEY_UP;
    event.key.windowID = SDL_GetWindowID(sdlWindow_);
    event.key.key      = keycode;
    event.key.scancode = scancode;
    event.key.mod      = mod;
    event.key.down     = down;
    SDL_PushEvent(&event);
    frames(1);
}

void GuiTestWindow::hold(SDL_Keymod held, bool down) {
    const SDL_Keymod mod = down ? held : SDL_KMOD_NONE;
    if (held & SDL_KMOD_LSHIFT) key(SDLK_LSHIFT, SDL_SCANCODE_LSHIFT, mod, down);
    if (held & SDL_KMOD_LCTRL) key(SDLK_LCTRL, SDL_SCANCODE_LCTRL, mod, down);
}

void GuiTestWindow::click(ImVec2 at, SDL_Keymod held) {
    moveTo(at);
    hold(held, true);
    button(true);
    button(false);
    hold(held, false);
}

void GuiTestWindow::click(ImGuiWindow* window, const char* label, SDL_Keymod held) {
    const ImVec2 at = centreOf(window, label);
    ASSERT_GE(at.x, 0.0f) << "\"" << label << "\" is not drawn";
    click(at, held);
}

void GuiTestWindow::doubleClick(ImGuiWindow* window, const char* label) {
    const ImVec2 at = centreOf(window, label);
    ASSERT_GE(at.x, 0.0f) << "\"" << label << "\" is not drawn";
    moveTo(at);
    for (int i = 0; i < 2; ++i) {
        button(true);
        button(false);
    }
    frames(1);
}

void GuiTestWindow::press(SDL_Keycode keycode, SDL_Scancode scancode, SDL_Keymod held) {
    hold(held, true);
    key(keycode, scancode, held, true);
    key(keycode, scancode, held, false);
    hold(held, false);
}

void GuiTestWindow::type(const char* text) {
    SDL_Event event{};
    event.type          = SDL_EVENT_TEXT_INPUT;
    event.text.windowID = SDL_GetWindowID(sdlWindow_);
    event.text.text     = text;  // read before this call returns
    SDL_PushEvent(&event);
    frames(2);
}
