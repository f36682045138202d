// Levels decoded off the main thread, so the frame loop keeps drawing while a
// long song loads. The main thread asks for a package and, once a frame, takes
// what is ready and installs it under the game-state lock; a newer request or a
// cancel makes the worker drop what it was decoding. The worker sees only its
// request and hands the decoded level over through a Mailbox; installing,
// starting the run and GL work stay with the caller. Main-thread calls only.
#pragma once

#include "base/Mailbox.h"
#include "level/LevelManifest.h"
#include "level/LevelPackage.h"

#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

class LevelLoader {
public:
    enum class Purpose { Run, Tutorial };

    struct Request {
        std::string folder;     // the package folder, e.g. "levels/sample_a.zip"
        std::string levelName;  // shown while loading and given to the run
        Purpose     purpose = Purpose::Run;
    };

    struct Ready {
        Request      request;
        LevelPackage package;
        DecodedLevel level;
    };

    LevelLoader() = default;
    ~LevelLoader();  // cancels and joins
    LevelLoader(const LevelLoader&)            = delete;
    LevelLoader& operator=(const LevelLoader&) = delete;

    void                 request(Request request);  // replaces whatever is loading
    void                 cancel();
    void                 shutdown();
    bool                 loading() const { return pending_.has_value(); }
    bool                 loading(Purpose purpose) const { return pending_ && pending_->purpose == purpose; }
    const Request*       pending() const { return pending_ ? &*pending_ : nullptr; }
    float                progress() const;  // 0..1: stems decoded of the manifest's
    std::optional<Ready> takeReady();       // the level asked for last, once decoded

private:
    struct Job {
        Request                      request;
        uint64_t                     generation = 0;
        std::shared_ptr<LoadControl> control;
    };
    struct Posted {
        uint64_t generation = 0;
        Ready    ready;
    };

    void work();

    std::mutex                       mutex_;
    std::condition_variable          wake_;
    std::optional<Job>               queued_;            // guarded by mutex_
    bool                             stopping_ = false;  // guarded by mutex_
    std::thread                      worker_;
    std::shared_ptr<LoadControl>     control_;  // of the latest request
    std::shared_ptr<Mailbox<Posted>> done_       = std::make_shared<Mailbox<Posted>>();
    uint64_t                         generation_ = 0;
    std::optional<Request>           pending_;
};
