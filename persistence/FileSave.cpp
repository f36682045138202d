#include "persistence/FileSave.h"

#include <SDL3/SDL_error.h>
#include <SDL3/SDL_filesystem.h>
#include <SDL3/SDL_iostream.h>

#include <unistd.h>

std::string temporaryPathFor(const std::string& path) { return path + "." + std::to_string(getpid()) + ".tmp"; }

bool saveFileReplacing(const std::string& path, const std::string& text) {
    const std::string temporary = temporaryPathFor(path);
    SDL_IOStream*     stream    = SDL_IOFromFile(temporary.c_str(), "wb");
    if (stream == nullptr) return false;
    bool written = SDL_WriteIO(stream, text.data(), text.size()) == text.size();
    written      = SDL_FlushIO(stream) && written;
    written      = SDL_CloseIO(stream) && written;
    if (written && SDL_RenamePath(temporary.c_str(), path.c_str())) return true;
    // The reason survives the clean-up, for the caller's message.
    const std::string reason = SDL_GetError();
    SDL_RemovePath(temporary.c_str());
    SDL_SetError("%s", reason.c_str());
    return false;
}
