// Whole-file writes that never leave a truncated file behind: the text goes to
// a temporary file beside the target (named for this process, so two processes
// never share one), is synced to the disk, and is then renamed over the target,
// whose folder is synced in turn, so a crash, a power loss or a full disk leaves
// either the old file or the new one. One sync per save: never call it per frame.
#pragma once

#include <string>

// False when writing or renaming failed (SDL_GetError says why); the target is
// then unchanged and the temporary file removed.
bool        saveFileReplacing(const std::string& path, const std::string& text);
std::string temporaryPathFor(const std::string& path);
// Where an unreadable file is kept: "<path>.corrupt-<date>-<time>", with "-2",
// "-3"... when that name is taken.
std::string asidePathFor(const std::string& path);
