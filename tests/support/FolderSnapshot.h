// Every file and folder under a folder with its bytes, to check that a failed
// operation left the folder exactly as it was.
#pragma once

#include "support/TestSupport.h"

#include <filesystem>
#include <map>
#include <string>

namespace testsupport {

// Relative path -> contents ("<dir>" for a folder, "<link>" for a symbolic link).
inline std::map<std::string, std::string> folderSnapshot(const std::filesystem::path& root) {
    namespace fs = std::filesystem;
    std::map<std::string, std::string> snapshot;
    if (!fs::exists(root)) return snapshot;
    for (const fs::directory_entry& item : fs::recursive_directory_iterator(root)) {
        const std::string name = fs::relative(item.path(), root).string();
        if (item.is_symlink()) snapshot[name] = "<link>";
        else if (item.is_directory()) snapshot[name] = "<dir>";
        else snapshot[name] = readFile(item.path());
    }
    return snapshot;
}

}  // namespace testsupport
