// Process entry: SDL's application entry runs lumokaMain, whose result is the
// exit code (0 after a normal quit, -1 when start-up failed).
#define SDL_MAIN_HANDLED
#include "app/App.h"
#include "app/LogicThread.h"

#include <SDL3/SDL.h>
#include <SDL3/SDL_main.h>

#include <cstdio>
#include <iostream>
#include <memory>

namespace {

int lumokaMain(int, char**) {
    // The log is read as it happens, also when the console is a pipe or a file.
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    // The App is large (the glyph map, the mixer); keep it off the stack.
    auto app = std::make_unique<App>();
    if (!app->init()) {
        std::cerr << "Failed to initialize application"
                  << "\n";
        return -1;
    }
    std::cout << "Controls:"
              << "\n"
              << "  Tap - Hit on beat (when playing)"
              << "\n"
              << "  UI buttons for other controls"
              << "\n";

    std::thread    logicThread(runLogicThread, app.get());
    uint64_t       last      = SDL_GetPerformanceCounter();
    const uint64_t frequency = SDL_GetPerformanceFrequency();
    while (app->running && app->runFrame(last, frequency)) {
    }
    app->shutdown(logicThread);
    return 0;
}

}  // namespace

int main() { return SDL_RunApp(0, nullptr, lumokaMain, nullptr); }
