// The leaderboard server's requests without the HTTP library: the three requests
// under /api, the validation of uploads and the JSON replies, every failure as
// {"success": false, "error": "..."} with a 4xx (5xx when storage fails).
//   GET  /api/leaderboard                the document a page at a time, each level's
//                                        best entries (leaderboard/LeaderboardProtocol.h)
//   GET  /api/player/<level>/<player>    {"score": N}, 404 when there is none
//   POST /api/leaderboard                merges the valid entries: {"success": true},
//                                        plus "refused": [...] when some were not;
//                                        400 with "refused" when none was valid
// The names in the player path are percent-decoded segments. server/HttpServer.h
// feeds this from cpp-httplib; the fuzzer and the tests call it directly.
#pragma once

#include "leaderboard/LeaderboardDocument.h"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class LeaderboardStore;

struct ApiReply {
    int         status = 200;
    std::string body;
    int         stored  = 0;  // entries of an upload taken and refused
    int         refused = 0;
};

// Sizes an upload may have and the leaderboard may grow to; far above what a
// group of players reaches, so only a flood meets them.
struct UploadLimits {
    size_t  levelsPerUpload  = 1000;
    size_t  entriesPerUpload = 50000;
    int64_t levels           = 10000;
    int64_t entries          = 1000000;
    // Different entries (level and player) and different names (of levels and
    // players) one client address may send in an hour.
    size_t entriesPerAddress = 10000;
    size_t namesPerAddress   = 1000;
};

// A readable upload: the entries to store and the refused ones, each
// {"level", "player", "reason"} (a name only when it could be read).
struct Upload {
    std::vector<LeaderboardLevel> levels;
    nlohmann::json                refused = nlohmann::json::array();
};

// The stored totals as last counted plus all accepted since: an upper bound while
// one server writes, so an upload asks the database to count only near the quota,
// or once the count is a few seconds old (other servers may share the database).
class QuotaGauge {
public:
    bool surelyFits(const UploadLimits& limits, int64_t levels, int64_t entries);
    void counted(int64_t levels, int64_t entries);
    void added(int64_t levels, int64_t entries);

private:
    std::mutex                            mutex_;
    int64_t                               levels_  = 0;
    int64_t                               entries_ = 0;
    std::chrono::steady_clock::time_point countedAt_;
    bool                                  known_ = false;
};

// What each client address has sent in its current hour, so that one address
// cannot fill the leaderboard: an upload's entries beyond its allowance are refused
// by entry. Sending the same entries again costs nothing, as the game does on
// every run. An address's hour starts with its first upload.
class AddressQuotas {
public:
    // Moves upload's entries beyond the allowance of address to upload.refused and
    // counts the others as sent.
    void take(const UploadLimits& limits, const std::string& address, Upload& upload);

private:
    struct Sent {
        std::chrono::steady_clock::time_point since;
        std::unordered_set<uint64_t>          entries;  // hashes, which keep an hour's memory small
        std::unordered_set<uint64_t>          names;
    };
    void forgetPastHours(std::chrono::steady_clock::time_point now);

    std::mutex                            mutex_;
    std::unordered_map<std::string, Sent> addresses_;
    std::chrono::steady_clock::time_point swept_;
};

// Who sent a request: quotas null for no per-address allowance.
struct Sender {
    AddressQuotas* quotas = nullptr;
    std::string    address;
};

// gauge: null to count the stored totals on every upload.
ApiReply    handleApiRequest(LeaderboardStore& store, const std::string& method, const std::string& target,
                             const std::string& body, const UploadLimits& limits = {}, QuotaGauge* gauge = nullptr,
                             const Sender& sender = {});
std::string apiError(const std::string& message);
// The valid entries of an upload body within the per-upload limits; false with the
// reason when the body is not a leaderboard document or none of its entries is valid.
bool readUpload(const std::string& body, const UploadLimits& limits, Upload& upload, std::string& error);
