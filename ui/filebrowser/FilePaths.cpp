#include "ui/filebrowser/FilePaths.h"

#include <SDL3/SDL_filesystem.h>
#include <SDL3/SDL_iostream.h>

namespace filebrowser {

namespace {

// Joined paths must open on this system: a backslash is an ordinary character
// in a POSIX file name.
#ifdef _WIN32
constexpr char kNativeSeparator = '\\';
#else
constexpr char kNativeSeparator = '/';
#endif

constexpr const char* kSeparators = "/\\";

SDL_EnumerationResult SDLCALL stopAtFirstName(void*, const char*, const char*) { return SDL_ENUM_SUCCESS; }

}  // namespace

bool isSeparator(char c) { return c == '/' || c == '\\'; }

std::string parentPath(const std::string& path) {
    const size_t at = path.find_last_of(kSeparators);
    if (at == std::string::npos) return "";
    if (at == 0) return "/";
    if (at == 2 && path[1] == ':') return path.substr(0, 3);
    if (at + 1 == path.size()) return parentPath(path.substr(0, at));
    return path.substr(0, at);
}

std::string joinPath(const std::string& directory, const std::string& name) {
    if (directory.empty()) return name;
    if (isSeparator(directory.back())) return directory + name;
    return directory + kNativeSeparator + name;
}

std::vector<PathComponent> pathComponents(const std::string& path) {
    std::vector<PathComponent> components;
    size_t                     start = 0;
    if (!path.empty() && isSeparator(path[0])) {
        components.push_back({"/", path.substr(0, 1)});
        start = 1;
    } else if (path.size() >= 2 && path[1] == ':') {
        const bool hasRootSeparator = path.size() > 2 && isSeparator(path[2]);
        components.push_back({path.substr(0, 2), hasRootSeparator ? path.substr(0, 3) : path.substr(0, 2) + '\\'});
        start = 2;
    }
    while (start < path.size()) {
        size_t end = path.find_first_of(kSeparators, start);
        if (end == std::string::npos) end = path.size();
        if (end > start) components.push_back({path.substr(start, end - start), path.substr(0, end)});
        start = end + 1;
    }
    return components;
}

PathType pathType(const std::string& path) {
    SDL_PathInfo info;
    if (SDL_GetPathInfo(path.c_str(), &info)) {
        return info.type == SDL_PATHTYPE_DIRECTORY ? PathType::directory : PathType::file;
    }
    if (enumerateDirectory(path, stopAtFirstName, nullptr)) return PathType::directory;
    if (SDL_IOStream* stream = SDL_IOFromFile(path.c_str(), "r")) {
        SDL_CloseIO(stream);
        return PathType::file;
    }
    return PathType::notAccessible;
}

bool enumerateDirectory(const std::string& path, SDL_EnumerateDirectoryCallback callback, void* userdata) {
    const bool onlySeparators = !path.empty() && path.find_first_not_of(kSeparators) == std::string::npos;
    const std::string listed  = onlySeparators ? "/." : path;
    return SDL_EnumerateDirectory(listed.c_str(), callback, userdata);
}

uint32_t driveMask() {
    uint32_t mask = 0;
    for (int letter = 0; letter < 26; ++letter) {
        const std::string root = std::string(1, static_cast<char>('A' + letter)) + ":\\";
        if (pathType(root) != PathType::notAccessible) mask |= 1u << letter;
    }
    return mask;
}

}  // namespace filebrowser
