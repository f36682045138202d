// The local leaderboard: levels/leaderboard.json, the best result of every player
// per level, and the in-memory list the leaderboard panel shows.
// saveRun merges a finished run into the file and gives back the whole document
// for the caller to upload; mergeIntoFile does the same for a copy fetched from
// the server, keeping in the file only the levels that are installed (the
// returned document, which the panel shows, has the copy's others too). Both
// hold one lock around read-merge-write, write a temporary file and rename it over
// the old one (a crash leaves the old file or the new one, never a torn one), and
// keep an unreadable file aside as leaderboard.json.corrupt-<time>.
// loadFromJson builds the panel's list on the thread that calls it (a worker) and
// posts it; the main thread swaps it in with takeLoadedLevels once a frame, so
// the panel never sees a list that is being replaced. loadLocal and
// loadLocalScore read the file for the online client when the server cannot
// answer; the App hands them to it.
#pragma once

#include "leaderboard/LeaderboardDocument.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace Leaderboard {

inline constexpr const char* kFilePath = "levels/leaderboard.json";

// Any thread; true when the file was written. `upload` gets the merged document,
// or stays null when it cannot be made. onNewBest runs under the file's lock
// when the run replaced the player's best and the file was written.
bool           saveRun(const std::string& levelName, const LeaderboardEntry& run, nlohmann::json& upload,
                       const std::function<void()>& onNewBest = {});
void           loadFromJson(const nlohmann::json& document);  // any thread
bool           takeLoadedLevels();                            // main thread; true when a new list came
nlohmann::json mergeIntoFile(const nlohmann::json& copy);     // any thread; returns the merged document
// The level names a fetched copy may add to the file; nullopt (the start): all.
void setInstalledLevels(std::optional<std::vector<std::string>> names);      // any thread
std::optional<std::vector<std::string>> installedLevelNames();               // any thread
void loadLocal(const std::function<void(const nlohmann::json&)>& callback);  // any thread
void loadLocalScore(const std::string& levelName, const std::string& playerName,
                    const std::function<void(int)>& callback);  // any thread

}  // namespace Leaderboard

// Main thread only: the panel reads and sorts it every frame.
extern std::vector<LeaderboardLevel> leaderboardLevels;
extern int32_t                       selectedLeaderboardLevel;
