// The online leaderboard client. (Requests come with the online work; for now
// the spine calls init at its place and a run asks for the player's best score,
// which nothing answers yet.)
#pragma once

#include <functional>
#include <string>

namespace HttpDatabase {
void init();
// The player's best score on the level, delivered to callback on a worker thread.
void getPlayerScoreAsync(const std::string& levelName, const std::string& playerName,
                         std::function<void(int)> callback);
}
