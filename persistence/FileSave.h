// Whole-file writes that never leave a truncated file behind: the text goes to
// a temporary file beside the target (named for this process, so two processes
// never share one), is flushed, and is then renamed over the target, so a crash
// or a full disk leaves either the old file or the new one.
#pragma once

#include <string>

// False when writing or renaming failed (SDL_GetError says why); the target is
// then unchanged and the temporary file removed.
bool        saveFileReplacing(const std::string& path, const std::string& text);
std::string temporaryPathFor(const std::string& path);
