#include "persistence/FileSave.h"

#include <SDL3/SDL_filesystem.h>
#include <SDL3/SDL_iostream.h>

bool saveFileReplacing(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp";
    if (!SDL_SaveFile(temporary.c_str(), text.data(), text.size())) {
        SDL_RemovePath(temporary.c_str());
        return false;
    }
    if (!SDL_RenamePath(temporary.c_str(), path.c_str())) {
        SDL_RemovePath(temporary.c_str());
        return false;
    }
    return true;
}
