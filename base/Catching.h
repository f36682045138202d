// Work that runs on a worker thread (or for a command's whole run) where an
// exception from a library (std::bad_alloc on a hostile file, above all)
// would end the process: it becomes a failed result with its reason. The
// game raises none of its own; this only stops a library's.
#pragma once

#include <exception>
#include <new>
#include <string>

namespace base {

// work() returns bool; false when it threw, with why set to the reason.
template <typename Work>
bool runCatching(Work&& work, std::string& why) {
    try {
        return work();
    } catch (const std::bad_alloc&) {
        why = "it needs more memory than there is";
    } catch (const std::exception& failure) {
        why = failure.what();
    } catch (...) {
        why = "an unknown error";
    }
    return false;
}

}  // namespace base
