// The checks a level package must pass before it is installed, on its unpacked
// folder: level.json parses as a manifest with stems, every stem it names is in
// the folder (no path reaching outside it) and decodes, every chart it plays
// loads and is playable, and it names no more stems than the game plays. The
// shader is checked apart (level/ShaderCheck.h).
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

struct StemEntry;

// Follows the slow part, the decoding of each stem; false cancels the check.
using StemChecked = std::function<bool(size_t checked, size_t stems)>;

// error: the one-line reason. More stems than the game plays, or a chart
// denser than a player can hit (level/ChartDensity.h), refuse the package.
bool validatePackageFolder(const std::string& folder, std::string& error, const StemChecked& stemChecked = {});

// The manifest's stems as the loader reads them; false (with the loader's own message) when it has none.
bool manifestStems(const std::filesystem::path& manifest, std::vector<StemEntry>& entries);
bool readPackageFile(const std::filesystem::path& path, std::string& bytes);
