// lumoka-import's song mode: `[--title T] [--difficulty easy|normal|hard]
// --levels DIR FILE...` makes a level of one mixed song or of 2 to 8 stem
// files, as the game's "Add Song..." does. Progress goes to stdout, the
// result or the one-line reason to stdout or stderr.
#pragma once

#include <string>
#include <vector>

// True when the arguments ask for a song import (they hold no other mode's options).
bool isSongCommand(const std::vector<std::string>& args);
// The exit code: 0 when the level was added, 1 when the import failed, 2 for bad arguments.
int  runSongCommand(const std::vector<std::string>& args);
void printSongUsage();
