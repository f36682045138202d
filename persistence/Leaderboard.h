// The local leaderboard: levels/leaderboard.json, the best result of every player
// per level, and the in-memory list the leaderboard panel shows.
// saveRun merges a finished run into the file and hands the whole document to the
// upload; mergeIntoFile does the same for a copy fetched from the server. Both
// hold one lock around read-merge-write, write a temporary file and rename it over
// the old one (a crash leaves the old file or the new one, never a torn one), and
// keep an unreadable file aside as leaderboard.json.corrupt-<time>.
// loadFromJson builds the panel's list on the thread that calls it (a worker) and
// posts it; the main thread swaps it in with takeLoadedLevels once a frame, so
// the panel never sees a list that is being replaced.
#pragma once

#include "persistence/LeaderboardDocument.h"

#include <cstdint>
#include <vector>

class GameLogic;

namespace Leaderboard {

inline constexpr const char* kFilePath = "levels/leaderboard.json";

bool           saveRun(const GameLogic& game);                  // main thread; true when the file was written
void           loadFromJson(const nlohmann::json& document);    // any thread
bool           takeLoadedLevels();                              // main thread; true when a new list came
nlohmann::json mergeIntoFile(const nlohmann::json& copy);       // any thread; returns the merged document

}  // namespace Leaderboard

// Main thread only: the panel reads and sorts it every frame.
extern std::vector<LeaderboardLevel> leaderboardLevels;
extern int32_t                       selectedLeaderboardLevel;
