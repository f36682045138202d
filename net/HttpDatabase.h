// The online leaderboard client: plain HTTP with JSON bodies to the leaderboard
// server at baseUrl (LUMOKA_SERVER_URL, else our local server's default URL).
// Each async operation runs its synchronous twin on a detached worker thread; the
// two fetches fall back to the local copy when the server cannot answer. A
// fetched leaderboard is merged into the local copy (runs saved offline are
// kept) and uploaded again when it holds anything the server lacked; it is asked
// for the levels the game has, a page at a time, each reply and the whole of
// bounded size (the server sends each level's best entries). An upload
// leaves out, with one line each, the entries the server's rules refuse. The local
// copy is passed in (the App passes the file's, persistence/Leaderboard.h).
// Callbacks run on the worker: they must only post their result for the main
// thread (persistence/Leaderboard.h, GameLogic::takeFetchedBestScore).
// shutdown() lets requests in flight finish for a moment, then cancels them; a
// worker still inside a connect then touches nothing that exit destroys.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace HttpDatabase {

// The local copy's three operations; any left empty, a failed fetch answers an
// empty document or 0 and a fetched copy is handed on as it came.
struct LocalCopy {
    std::function<void(const std::function<void(const nlohmann::json&)>&)> load;
    std::function<void(const std::string& levelName, const std::string& playerName, const std::function<void(int)>&)>
                                                         loadScore;
    std::function<nlohmann::json(const nlohmann::json&)> merge;  // returns the merged document
    // The levels to fetch; nullopt: every level the server has.
    std::function<std::optional<std::vector<std::string>>()> levels;
};

// configuredBaseUrl() at start; tests point it elsewhere before making requests.
extern std::string baseUrl;
std::string        configuredBaseUrl();  // LUMOKA_SERVER_URL without trailing '/', else the default

void init();
void shutdown();
void useLocalCopy(LocalCopy local);  // before the first request

// True on a 2xx reply, with its body in response; maxReplyBytes (0: any) refuses a
// longer reply.
bool request(const std::string& url, const std::string& method, const std::string& body, std::string& response,
             size_t maxReplyBytes = 0);

void loadLeaderboard(const std::function<void(const nlohmann::json&)>& callback);
void getPlayerScore(const std::string& levelName, const std::string& playerName,
                    const std::function<void(int)>& callback);
void uploadLeaderboard(const nlohmann::json& document);

// Whether the last leaderboard upload or fetch could not reach the server (and
// so fell back to, or stayed in, the local copy).
bool serverLastFailed();

void loadLeaderboardAsync(std::function<void(const nlohmann::json&)> callback);
void getPlayerScoreAsync(const std::string& levelName, const std::string& playerName,
                         std::function<void(int)> callback);
void uploadLeaderboardAsync(nlohmann::json document);

}  // namespace HttpDatabase
