// Whether a level just installed is one the levels folder already holds: the
// same charts and stems, file for file, in the manifests' order. Reads only;
// the level list and the folders stay as they are. Safe on a worker thread.
#pragma once

#include <string>

// The listed name of another level in levelsDir/levels.json whose level.json
// names stems with the same audio and chart bytes as folder's, in the same
// order; "" when there is none.
std::string installedCopyOf(const std::string& levelsDir, const std::string& folder);
