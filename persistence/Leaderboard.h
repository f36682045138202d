// The local leaderboard: levels/leaderboard.json, the best result of every
// player per level, and the in-memory list the leaderboard panel shows.
// (Saving and loading come with the leaderboard work; for now the list stays
// empty and the panel shows its empty state.)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct LeaderboardEntry {
    std::string player;
    int32_t     score        = 0;
    int32_t     time         = 0;  // song seconds when the run ended
    std::string highestLayer;      // "3/8": highest layer / layer cap
    int32_t     highestCombo = 0;
};

struct LeaderboardLevel {
    std::string                   name;
    std::vector<LeaderboardEntry> scores;
};

// Main thread only: the panel reads and sorts it every frame.
extern std::vector<LeaderboardLevel> leaderboardLevels;
extern int32_t                       selectedLeaderboardLevel;
