#include "app/LogicThread.h"

#include "app/App.h"
#include "app/FixedRate.h"

#include <iostream>

void runLogicThread(App* app) {
    std::cout << "Game logic thread started" << "\n";
    runFixedRate(app->running, stopRequested, [app](SteadyTime) {
        std::lock_guard<std::mutex> lock(gameStateMutex);
        if (app->audio.playing) app->audio.dispatchMidi(app->game, &app->render);
        app->game.update(app->render, app->audio);
        app->game.updateProgress(app->audio);
    });
    std::cout << "Game logic thread ended" << "\n";
}
