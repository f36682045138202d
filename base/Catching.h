// Work that runs on a worker thread (or for a command's whole run) where an
// exception from a library (std::bad_alloc on a hostile file, above all)
// would end the process: it becomes one logged line and a failed result.
// The game raises none of its own; this only stops a library's.
#pragma once

#include "base/Log.h"

#include <exception>

namespace base {

// work() returns bool; false when it threw, with "<what> failed: <reason>".
template <typename Work>
bool runCatching(const char* what, Work&& work) {
    try {
        return work();
    } catch (const std::exception& failure) {
        logError("%s failed: %s", what, failure.what());
    } catch (...) {
        logError("%s failed", what);
    }
    return false;
}

}  // namespace base
