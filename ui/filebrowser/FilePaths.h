// The path rules of the file dialog. Both '/' and '\' count as separators, so
// POSIX paths and Windows paths with drive letters go through the same rules;
// whether a path is a folder, a file or nothing comes from SDL's file-system
// calls. Listing and sorting a folder are the dialog's own business.
#pragma once

#include <SDL3/SDL_filesystem.h>

#include <cstdint>
#include <string>
#include <vector>

namespace filebrowser {

enum class PathType { directory, file, notAccessible };

// One button of the dialog's path row.
struct PathComponent {
    std::string label;  // "/" or "C:" for the root, else the folder's name
    std::string path;   // the path up to and including this component
};

bool isSeparator(char c);
// "/" for "/x" and "/", "C:\" for "C:\x" and "C:\", "" when there is no separator;
// a trailing separator does not count.
std::string parentPath(const std::string& path);
// name alone when directory is empty; one separator between them otherwise.
std::string                joinPath(const std::string& directory, const std::string& name);
std::vector<PathComponent> pathComponents(const std::string& path);
PathType                   pathType(const std::string& path);
// SDL_EnumerateDirectory on path; SDL 3.2 strips a trailing separator and so
// cannot list the root "/" as written, which goes as "/." instead.
bool enumerateDirectory(const std::string& path, SDL_EnumerateDirectoryCallback callback, void* userdata);
uint32_t                   driveMask();  // bit i set when the drive letter 'A' + i exists

}  // namespace filebrowser
