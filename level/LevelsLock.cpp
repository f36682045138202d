#include "level/LevelsLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <system_error>

LevelsLock::LevelsLock(const std::string& levelsDir) {
    std::error_code ec;
    std::filesystem::create_directories(levelsDir, ec);
    const std::string path = (std::filesystem::path(levelsDir) / ".levels.lock").string();
    // Each holder opens the file anew: flock belongs to the open file, so two
    // threads of one process exclude each other as two processes do.
    fd_ = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    int locked = fd_ < 0 ? -1 : 0;
    while (fd_ >= 0 && (locked = flock(fd_, LOCK_EX)) != 0 && errno == EINTR) {
    }
    if (locked == 0) return;
    std::cerr << "Cannot lock " << path << ": " << std::strerror(errno) << std::endl;
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
}

LevelsLock::~LevelsLock() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
}
