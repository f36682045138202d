#include "app/LevelLoader.h"

#include "audio/AudioSystem.h"
#include "base/Catching.h"
#include "base/Log.h"
#include "level/ShaderCheck.h"

#include <SDL3/SDL_thread.h>

#include <utility>

LevelLoader::~LevelLoader() { shutdown(); }

// One worker for the whole run, started with the first request: a request
// never waits for a thread to end, so choosing a level never stalls a frame.
void LevelLoader::request(Request request) {
    cancel();
    pending_ = request;
    control_ = std::make_shared<LoadControl>();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queued_ = Job{std::move(request), generation_, control_};
    }
    wake_.notify_one();
    if (!worker_.joinable()) worker_ = std::thread(&LevelLoader::work, this);
}

void LevelLoader::cancel() {
    ++generation_;
    pending_.reset();
    if (control_) control_->cancelled = true;
    control_.reset();
    std::lock_guard<std::mutex> lock(mutex_);
    queued_.reset();
}

void LevelLoader::shutdown() {
    cancel();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (worker_.joinable()) worker_.join();
    done_->takeAll();
}

float LevelLoader::progress() const {
    if (!control_) return 0.0f;
    const int total = control_->stemsTotal;
    return total > 0 ? static_cast<float>(control_->stemsDone) / static_cast<float>(total) : 0.0f;
}

// Results of requests that were replaced or cancelled after they were posted
// are dropped here; the worker drops the ones it sees cancelled itself.
std::optional<LevelLoader::Ready> LevelLoader::takeReady() {
    std::optional<Ready> ready;
    for (Posted& posted : done_->takeAll()) {
        if (posted.generation == generation_ && pending_) ready = std::move(posted.ready);
    }
    if (ready) {
        pending_.reset();
        control_.reset();
    }
    return ready;
}

// Below the frame loop's priority: on a machine with few cores a decode must
// give way to a frame, not share the core with it.
void LevelLoader::work() {
    SDL_SetCurrentThreadPriority(SDL_THREAD_PRIORITY_LOW);
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || queued_.has_value(); });
            if (stopping_) {
                SDL_CleanupTLS();  // a failed file load leaves its error text in this thread's storage
                return;
            }
            job = std::move(*queued_);
            queued_.reset();
        }
        Posted posted;
        posted.generation     = job.generation;
        posted.ready.request  = std::move(job.request);
        LevelPackage& package = posted.ready.package;
        LevelPackage::prepare(posted.ready.request.folder, package);
        // Checked once per shader text, here and not in the frame loop: the check may take
        // its whole time limit. One that fails keeps the default background.
        if (package.hasShader && !packageShaderPasses(posted.ready.request.folder, kBackgroundVertexShader))
            package.hasShader = false;
        // A level too big to hold is refused like one that does not parse.
        std::string why;
        if (!base::runCatching(
                [&] {
                    return decodeLevelManifest(posted.ready.package.manifestPath, posted.ready.level,
                                               job.control.get());
                },
                why) &&
            !why.empty()) {
            base::logError("Cannot load %s: %s", posted.ready.package.manifestPath.c_str(), why.c_str());
            posted.ready.level = DecodedLevel{};
        }
        if (!job.control->cancelled) done_->post(std::move(posted));
    }
}
