#include "level/LevelCopies.h"

#include "level/LevelList.h"
#include "level/LevelManifest.h"
#include "level/PackagePaths.h"
#include "level/PackageValidation.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

// One stem's files as the manifest names them, in its folder.
struct StemFiles {
    fs::path audio;
    fs::path chart;  // empty: the stem plays no chart
};

bool stemFilesOf(const fs::path& folder, std::vector<StemFiles>& stems) {
    std::vector<StemEntry> entries;
    std::error_code        ec;
    // A listed level whose folder is gone is no copy, and not worth a message.
    if (!fs::is_regular_file(folder / "level.json", ec)) return false;
    if (!manifestStems(folder / "level.json", entries) || entries.empty()) return false;
    for (const StemEntry& entry : entries) {
        if (!isConfinedPath(entry.file) || (!entry.midi.empty() && !isConfinedPath(entry.midi))) return false;
        stems.push_back({folder / entry.file, entry.midi.empty() ? fs::path() : folder / entry.midi});
    }
    return true;
}

uintmax_t sizeOf(const fs::path& path) {
    std::error_code ec;
    const uintmax_t size = path.empty() ? 0 : fs::file_size(path, ec);
    return ec ? static_cast<uintmax_t>(-1) : size;
}

bool sameBytes(const fs::path& a, const fs::path& b) {
    if (a.empty() || b.empty()) return a.empty() && b.empty();
    std::string bytesA, bytesB;
    return readPackageFile(a, bytesA) && readPackageFile(b, bytesB) && bytesA == bytesB;
}

// Sizes first: most levels differ there, and reading stems whole is slow.
bool sameStems(const std::vector<StemFiles>& a, const std::vector<StemFiles>& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (sizeOf(a[i].audio) != sizeOf(b[i].audio) || sizeOf(a[i].chart) != sizeOf(b[i].chart)) return false;
        if (a[i].chart.empty() != b[i].chart.empty()) return false;
    }
    for (size_t i = 0; i < a.size(); ++i)
        if (!sameBytes(a[i].chart, b[i].chart) || !sameBytes(a[i].audio, b[i].audio)) return false;
    return true;
}

}  // namespace

std::string installedCopyOf(const std::string& levelsDir, const std::string& folder) {
    const fs::path         levels = levelsDir;
    std::vector<StemFiles> added;
    std::string            listText;
    if (!stemFilesOf(levels / folder, added) || !readPackageFile(levels / "levels.json", listText)) return "";
    for (const LevelInfo& level : readLevelList(listText)) {
        if (level.file == folder || !isConfinedPath(level.file)) continue;
        std::vector<StemFiles> installed;
        if (stemFilesOf(levels / level.file, installed) && sameStems(added, installed)) return level.name;
    }
    return "";
}
