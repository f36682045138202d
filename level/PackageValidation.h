// The checks a level package must pass before it is installed, on its unpacked
// folder: level.json parses as a manifest with stems, every stem it names is in
// the folder (no path reaching outside it) and decodes, every chart it plays
// loads. The shader is checked apart (level/ShaderCheck.h).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

struct StemEntry;

bool validatePackageFolder(const std::string& folder, std::string& error);  // error: the one-line reason

// The manifest's stems as the loader reads them; false (with the loader's own message) when it has none.
bool manifestStems(const std::filesystem::path& manifest, std::vector<StemEntry>& entries);
bool readPackageFile(const std::filesystem::path& path, std::string& bytes);
