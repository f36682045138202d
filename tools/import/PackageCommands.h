// lumoka-import's level package modes, with the game's own import and export
// code and messages. Each returns the process exit code: 0, or 1 after the
// one-line reason on standard error.
#pragma once

#include <string>

// --levels DIR --package FILE.zip|FOLDER
int runPackageImport(const std::string& levelsDir, const std::string& source);
// --levels DIR --export FOLDER_NAME --to FILE.zip
int runPackageExport(const std::string& levelsDir, const std::string& folder, const std::string& zipPath);
