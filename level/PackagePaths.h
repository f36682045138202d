// Whether a path that a level names (a stem or chart in level.json, a package
// folder in levels.json, a file inside an archive) stays inside the folder it
// is relative to. Decided on the text alone: relative, '/'-separated, with no
// ".." step, no drive letter or backslash, so nothing outside the package is
// ever read or written through it.
#pragma once

#include <string>

bool isConfinedPath(const std::string& path);
