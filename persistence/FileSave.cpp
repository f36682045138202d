#include "persistence/FileSave.h"

#include <SDL3/SDL_error.h>
#include <SDL3/SDL_filesystem.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <string>

namespace {

bool writeAll(int fd, const std::string& text) {
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t wrote = write(fd, text.data() + done, text.size() - done);
        if (wrote < 0 && errno == EINTR) continue;
        if (wrote <= 0) return false;
        done += static_cast<size_t>(wrote);
    }
    return true;
}

// The bytes must be on the disk before the rename makes them the file: a
// power loss after a rename of unsynced data can leave an empty file. opened:
// the file is ours to remove on failure (what blocks its name is not).
bool writeSynced(const std::string& path, const std::string& text, bool& opened) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    opened       = fd >= 0;
    if (fd < 0) return SDL_SetError("Couldn't open %s: %s", path.c_str(), std::strerror(errno));
    const bool written = writeAll(fd, text) && fsync(fd) == 0;
    const int  failure = errno;
    const bool closed  = close(fd) == 0;
    if (!written) return SDL_SetError("Couldn't write %s: %s", path.c_str(), std::strerror(failure));
    if (!closed) return SDL_SetError("Couldn't close %s: %s", path.c_str(), std::strerror(errno));
    return true;
}

// The rename itself lives in the folder's entry, which has its own sync.
void syncFolderOf(const std::string& path) {
    const size_t      slash  = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    const int         fd     = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    fsync(fd);
    close(fd);
}

}  // namespace

std::string asidePathFor(const std::string& path) {
    const std::time_t now = std::time(nullptr);
    std::tm           local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base  = path + ".corrupt-" + stamp;
    std::string       aside = base;
    for (int n = 2; SDL_GetPathInfo(aside.c_str(), nullptr); ++n) aside = base + "-" + std::to_string(n);
    return aside;
}

std::string temporaryPathFor(const std::string& path) { return path + "." + std::to_string(getpid()) + ".tmp"; }

bool saveFileReplacing(const std::string& path, const std::string& text) {
    const std::string temporary = temporaryPathFor(path);
    bool              opened    = false;
    if (writeSynced(temporary, text, opened) && SDL_RenamePath(temporary.c_str(), path.c_str())) {
        syncFolderOf(path);
        return true;
    }
    // The reason survives the clean-up, for the caller's message.
    const std::string reason = SDL_GetError();
    if (opened) SDL_RemovePath(temporary.c_str());
    SDL_SetError("%s", reason.c_str());
    return false;
}
