// The online leaderboard client: plain HTTP with JSON bodies to the leaderboard
// server at baseUrl (LUMOKA_SERVER_URL, else our local server's default URL).
// Each async operation runs its synchronous twin on a detached worker thread; the
// two fetches fall back to levels/leaderboard.json when the server cannot answer.
// A fetched leaderboard is merged into the local file (runs saved offline are
// kept) and uploaded again when it holds anything the server lacked.
// Callbacks run on the worker: they must only post their result for the main
// thread (persistence/Leaderboard.h, GameLogic::takeFetchedBestScore).
// shutdown() lets requests in flight finish for a moment, then cancels them; a
// worker still inside a connect then touches nothing that exit destroys.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <functional>
#include <string>

namespace HttpDatabase {

// configuredBaseUrl() at start; tests point it elsewhere before making requests.
extern std::string baseUrl;
std::string        configuredBaseUrl();  // LUMOKA_SERVER_URL without trailing '/', else the default

void init();
void shutdown();

// True on a 2xx reply, with its body in response.
bool request(const std::string& url, const std::string& method, const std::string& body, std::string& response);

void loadLeaderboard(const std::function<void(const nlohmann::json&)>& callback);
void getPlayerScore(const std::string& levelName, const std::string& playerName,
                    const std::function<void(int)>& callback);
void uploadLeaderboard(const nlohmann::json& document);

void loadLeaderboardAsync(std::function<void(const nlohmann::json&)> callback);
void getPlayerScoreAsync(const std::string& levelName, const std::string& playerName,
                         std::function<void(int)> callback);
void uploadLeaderboardAsync(nlohmann::json document);

}  // namespace HttpDatabase
