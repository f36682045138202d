// Level packages as zip archives (through libzip). Unpacking takes the package
// (its level.json at the top of the archive or in one top-level folder) into an
// empty folder, after checking every entry: names that are absolute, climb with
// "..", carry a drive letter or backslash, and links, refuse the whole archive,
// as does an unpacked total over 1 GiB or over 100 times the archive's own size
// (a zip bomb is refused before anything is written). Nothing is written
// outside the given folder; on failure what was written there is the caller's
// to remove. Writing an archive replaces the target only once it is complete.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

inline constexpr uint64_t kMaxUnpackedBytes = 1ull << 30;
inline constexpr uint64_t kMaxUnpackRatio   = 100;

bool unpackPackageArchive(const std::string& zipPath, const std::string& into, std::string& error);
bool unpackPackageArchiveBytes(const void* data, size_t size, const std::string& into, std::string& error);

// Files as (name inside the archive, bytes).
using ArchiveFiles = std::vector<std::pair<std::string, std::string>>;
bool writePackageArchive(const std::string& zipPath, const ArchiveFiles& files, std::string& error);
