// A game without a window, for the threaded tests and benchmarks: the App with
// its audio system started (on SDL's current audio driver, or on no device),
// the run state reset and the note callback set, ready for the logic thread.
#pragma once

#include "app/App.h"

#include <memory>

namespace testsupport {

// Null when the audio system does not start.
inline std::unique_ptr<App> windowlessApp(Mixer::Output output = Mixer::Output::Device) {
    auto app = std::make_unique<App>();
    if (!app->audio.init(output)) return nullptr;
    app->game.reset(kLayerCap);
    app->game.setNoteCallback();
    app->render.width  = 1920;
    app->render.height = 1080;
    app->running       = true;
    stopRequested      = false;
    return app;
}

}  // namespace testsupport
