// The one writer of a levels folder at a time, across threads and processes:
// the game, its worker threads and every lumoka-import take it around any
// read-merge-write of levels.json (or anything else that must see the folder
// unchanged between reading and writing). An advisory flock on
// "<levels>/.levels.lock", held for the object's lifetime; the folder is made
// when missing. Other programs that ignore the lock are not stopped by it.
#pragma once

#include <string>

class LevelsLock {
public:
    explicit LevelsLock(const std::string& levelsDir);  // blocks until it holds the lock
    ~LevelsLock();
    LevelsLock(const LevelsLock&)            = delete;
    LevelsLock& operator=(const LevelsLock&) = delete;

    bool held() const { return fd_ >= 0; }  // false: a one-line reason was logged

private:
    int fd_ = -1;
};
