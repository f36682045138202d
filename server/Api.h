// The leaderboard server's requests without the HTTP library: the three requests
// under /api, the validation of uploads and the JSON replies, every failure as
// {"success": false, "error": "..."} with a 4xx (5xx when storage fails).
//   GET  /api/leaderboard                the whole document
//   GET  /api/player/<level>/<player>    {"score": N}, 404 when there is none
//   POST /api/leaderboard                merges the upload, {"success": true}
// The names in the player path are percent-decoded segments. server/HttpServer.h
// feeds this from cpp-httplib; the fuzzer and the tests call it directly.
#pragma once

#include "leaderboard/LeaderboardDocument.h"

#include <string>
#include <vector>

class LeaderboardStore;

struct ApiReply {
    int         status = 200;
    std::string body;
};

ApiReply    handleApiRequest(LeaderboardStore& store, const std::string& method, const std::string& target,
                             const std::string& body);
std::string apiError(const std::string& message);
// An upload body in the leaderboard schema, within the limits; false with the reason.
bool        readUpload(const std::string& body, std::vector<LeaderboardLevel>& levels, std::string& error);
