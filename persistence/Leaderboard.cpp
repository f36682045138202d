#include "persistence/Leaderboard.h"

std::vector<LeaderboardLevel> leaderboardLevels;
int32_t                       selectedLeaderboardLevel = 0;
