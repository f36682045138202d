// The immediate-mode GUI on the game's window: set-up, per-frame begin and end,
// and the event hook. (The menus come with the GUI work; for now the spine only
// calls these at their places.)
#pragma once

union SDL_Event;
struct SDL_Window;
typedef struct SDL_GLContextState* SDL_GLContext;

class UISystem {
public:
    static bool init(SDL_Window* window, SDL_GLContext context);
    static bool processEvent(const SDL_Event& event);
    static void beginFrame();
    static void endFrame();
    static void shutdown();
};
