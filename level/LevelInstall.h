// Adds a finished level to a levels folder so that a crash at any moment leaves
// either the old state or the new level whole. The caller builds the package in
// a staging folder made here (beside the levels, so the final rename never
// crosses file systems); `installLevel` renames it to a free folder name (name,
// name-2, name-3, ...) and then merges the level's entry into levels.json with
// the game's whole-file writer, keeping every entry already there; both under
// the levels folder's lock (level/LevelsLock.h), so two processes installing
// at once both get listed. On any
// failure the staging folder is removed and levels/ and levels.json are left
// exactly as they were. Messages are one line each, also handed back as `error`.
// Copying the files into the staging folder is the caller's business.
#pragma once

#include <string>

struct LevelInfo;

// A fresh folder "<levels>/.incoming-<pid>-XXXXXX" (the levels folder is made
// when missing, and stale staging folders are removed first); empty, with
// error set, on failure.
std::string makeStagingFolder(const std::string& levelsDir, std::string& error);
// Removes what killed imports left: staging folders whose process is gone, or
// older than an hour (never this process's own). One line for each.
void        removeStaleStagingFolders(const std::string& levelsDir);
void        removeStagingFolder(const std::string& staging);  // with everything in it

// A folder name for a title: lower-case ASCII letters and digits, every other
// run of characters one '-', at most 48 characters, "level" when nothing is left.
std::string levelSlug(const std::string& title);

// Renames staging into levelsDir under wantedFolder (or the first free name
// after it) and lists it with entry's name, difficulty and description; on
// success entry.file is the folder used. Takes the staging folder in any case.
bool installLevel(const std::string& levelsDir, const std::string& staging, const std::string& wantedFolder,
                  LevelInfo& entry, std::string& error);
// Deletes a level the player added (its entry is marked "imported"; a shipped
// one is refused): its folder and its levels.json entry together, keeping every
// other entry; the leaderboard keeps its scores. On failure both stay.
bool removeLevel(const std::string& levelsDir, const std::string& folder, std::string& error);
