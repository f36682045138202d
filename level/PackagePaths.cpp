#include "level/PackagePaths.h"

bool isConfinedPath(const std::string& path) {
    if (path.empty() || path.front() == '/') return false;
    // A backslash or a colon may be a separator or a drive on another system.
    if (path.find_first_of("\\:") != std::string::npos) return false;
    if (path.find('\0') != std::string::npos) return false;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) end = path.size();
        if (path.compare(start, end - start, "..") == 0) return false;
        start = end + 1;
    }
    return true;
}
