#include "app/LogicThread.h"

#include "app/App.h"
#include "app/FixedRate.h"

#include <iostream>

void runLogicTick(App& app) {
    std::lock_guard<std::mutex> lock(gameStateMutex);
    if (app.audio.playing) app.game.takeDispatch(app.audio.dispatchMidi(app.game.noteCallback, &app.render));
    app.game.update(app.render, app.audio);
    app.game.updateProgress(app.audio);
}

void runLogicThread(App* app) {
    std::cout << "Game logic thread started"
              << "\n";
    runFixedRate(app->running, stopRequested, [app](SteadyTime) { runLogicTick(*app); });
    std::cout << "Game logic thread ended"
              << "\n";
}
