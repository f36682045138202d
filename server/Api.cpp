#include "server/Api.h"

#include "leaderboard/LeaderboardProtocol.h"
#include "leaderboard/LeaderboardRules.h"
#include "server/LeaderboardStore.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string_view>

using nlohmann::json;

namespace {

constexpr std::string_view kLeaderboardPath = "/api/leaderboard";
constexpr std::string_view kPlayerPrefix    = "/api/player/";

std::string compact(const json& document) { return document.dump(-1, ' ', false, json::error_handler_t::replace); }

ApiReply failure(int status, const std::string& message) { return {status, apiError(message)}; }

ApiReply storageFailure() { return failure(503, "leaderboard storage unavailable"); }

json refusal(const json& level, const json& entry, const std::string& reason) {
    json item = {{"reason", reason}};
    if (level.is_object() && level.contains("name") && level["name"].is_string()) item["level"] = level["name"];
    if (entry.is_object() && entry.contains("player") && entry["player"].is_string()) item["player"] = entry["player"];
    return item;
}

// Keeps every readable entry within the per-upload limits; the rest go to
// upload.refused with their reasons, so one bad entry never blocks the others.
class UploadCollector {
public:
    UploadCollector(const UploadLimits& limits, Upload& upload) : limits_(limits), upload_(upload) {}

    void level(const json& value, const std::string& where) {
        std::string      error;
        LeaderboardLevel level;
        if (!readUploadLevel(value, where, level, error)) {
            upload_.refused.push_back(refusal(json(), json(), error));
            return;
        }
        if (upload_.levels.size() >= limits_.levelsPerUpload) {
            refuseAll(value, "more than " + std::to_string(limits_.levelsPerUpload) + " levels in one upload");
            return;
        }
        const json& scores = value["scores"];
        for (size_t i = 0; i < scores.size(); ++i) {
            LeaderboardEntry entry;
            if (!readUploadEntry(scores[i], where + ".scores[" + std::to_string(i) + "]", entry, error)) {
                upload_.refused.push_back(refusal(value, scores[i], error));
            } else if (entries_ >= limits_.entriesPerUpload) {
                upload_.refused.push_back(
                    refusal(value, scores[i],
                            "more than " + std::to_string(limits_.entriesPerUpload) + " entries in one upload"));
            } else {
                level.scores.push_back(std::move(entry));
                ++entries_;
            }
        }
        if (!level.scores.empty()) upload_.levels.push_back(std::move(level));
    }

private:
    void refuseAll(const json& level, const std::string& reason) {
        for (const json& entry : level["scores"]) upload_.refused.push_back(refusal(level, entry, reason));
    }

    const UploadLimits& limits_;
    Upload&             upload_;
    size_t              entries_ = 0;
};

// The stored totals are only compared with the upload's size, as if each of its
// levels and entries were new: near the quota a few updates may be refused too,
// which a group that never gets near it never sees.
void applyTotalQuota(const UploadLimits& limits, int64_t storedLevels, int64_t storedEntries, Upload& upload) {
    int64_t                       levels = storedLevels, entries = storedEntries;
    std::vector<LeaderboardLevel> kept;
    for (LeaderboardLevel& level : upload.levels) {
        if (levels >= limits.levels || entries >= limits.entries) {
            const std::string reason =
                levels >= limits.levels
                    ? "the leaderboard holds its limit of " + std::to_string(limits.levels) + " levels"
                    : "the leaderboard holds its limit of " + std::to_string(limits.entries) + " entries";
            for (const LeaderboardEntry& entry : level.scores) {
                upload.refused.push_back({{"level", level.name}, {"player", entry.player}, {"reason", reason}});
            }
            continue;
        }
        ++levels;
        const size_t room = static_cast<size_t>(std::min<int64_t>(limits.entries - entries, level.scores.size()));
        for (size_t i = room; i < level.scores.size(); ++i) {
            upload.refused.push_back(
                {{"level", level.name},
                 {"player", level.scores[i].player},
                 {"reason", "the leaderboard holds its limit of " + std::to_string(limits.entries) + " entries"}});
        }
        level.scores.resize(room);
        entries += static_cast<int64_t>(room);
        kept.push_back(std::move(level));
    }
    upload.levels = std::move(kept);
}

// The query of GET /api/leaderboard: "level" (repeated) and "from"; others are ignored.
bool readPageQuery(std::string_view query, PageQuery& page, std::string& error) {
    page                 = PageQuery();
    page.levels          = kPageLevels;
    page.entriesPerLevel = kPageLevelScores;
    page.entries         = kPageScores;
    while (!query.empty()) {
        const std::string_view part = query.substr(0, query.find('&'));
        query.remove_prefix(std::min(query.size(), part.size() + 1));
        const size_t equals = part.find('=');
        std::string  value;
        if (equals == std::string_view::npos || !percentDecode(part.substr(equals + 1), value)) continue;
        const std::string_view key = part.substr(0, equals);
        if (key == "level") page.names.push_back(std::move(value));
        if (key == "from") {
            char*           end  = nullptr;
            const long long from = std::strtoll(value.c_str(), &end, 10);
            if (value.empty() || *end != '\0' || from < 0) {
                error = "from must be a count of levels";
                return false;
            }
            page.firstLevel = from;
        }
    }
    if (page.names.size() > kPageLevels) {
        error = "at most " + std::to_string(kPageLevels) + " levels in one request";
        return false;
    }
    return true;
}

ApiReply getLeaderboard(LeaderboardStore& store, std::string_view query) {
    PageQuery   request;
    std::string error;
    if (!readPageQuery(query, request, error)) return failure(400, error);
    Page page;
    if (store.readPage(request, page) != StoreStatus::Ok) return storageFailure();
    std::vector<LeaderboardLevel> levels;
    for (PageLevel& level : page.levels) levels.push_back(std::move(level.level));
    json document = leaderboardDocument(levels);
    for (size_t i = 0; i < page.levels.size(); ++i) {
        if (page.levels[i].moreEntries) document["levels"][i]["moreScores"] = true;
    }
    if (page.nextLevel >= 0) document["nextFrom"] = page.nextLevel;
    return {200, compact(document)};
}

ApiReply refusedUpload(const std::string& message, const json& refused) {
    return {400, compact({{"success", false}, {"error", message}, {"refused", refused}}), 0,
            static_cast<int>(refused.size())};
}

int entryCount(const std::vector<LeaderboardLevel>& levels) {
    size_t count = 0;
    for (const LeaderboardLevel& level : levels) count += level.scores.size();
    return static_cast<int>(count);
}

ApiReply postLeaderboard(LeaderboardStore& store, const UploadLimits& limits, QuotaGauge* gauge, const Sender& sender,
                         const std::string& body) {
    if (body.size() > kMaxUploadBytes) {
        return failure(413, "body larger than " + std::to_string(kMaxUploadBytes) + " bytes");
    }
    Upload      upload;
    std::string error;
    if (!readUpload(body, limits, upload, error)) {
        return upload.refused.empty() ? failure(400, error) : refusedUpload(error, upload.refused);
    }
    if (sender.quotas != nullptr) sender.quotas->take(limits, sender.address, upload);
    const auto levelCount = static_cast<int64_t>(upload.levels.size());
    if (gauge == nullptr || !gauge->surelyFits(limits, levelCount, entryCount(upload.levels))) {
        int64_t storedLevels = 0, storedEntries = 0;
        if (store.counts(storedLevels, storedEntries) != StoreStatus::Ok) return storageFailure();
        if (gauge != nullptr) gauge->counted(storedLevels, storedEntries);
        applyTotalQuota(limits, storedLevels, storedEntries, upload);
    }
    if (upload.levels.empty() && !upload.refused.empty()) {
        return refusedUpload("no entry of the upload could be stored", upload.refused);
    }
    if (store.merge(upload.levels) != StoreStatus::Ok) return storageFailure();
    if (gauge != nullptr) gauge->added(static_cast<int64_t>(upload.levels.size()), entryCount(upload.levels));
    json      reply   = {{"success", true}};
    const int refused = static_cast<int>(upload.refused.size());
    if (refused > 0) reply["refused"] = std::move(upload.refused);
    return {200, compact(reply), entryCount(upload.levels), refused};
}

// rest is "<level>/<player>", each a percent-encoded path segment.
ApiReply getPlayerScore(LeaderboardStore& store, std::string_view rest) {
    const size_t slash = rest.find('/');
    if (slash == std::string_view::npos || rest.find('/', slash + 1) != std::string_view::npos) {
        return failure(400, "expected /api/player/<level>/<player>");
    }
    std::string level, player;
    if (!percentDecode(rest.substr(0, slash), level) || !percentDecode(rest.substr(slash + 1), player)) {
        return failure(400, "malformed percent-encoding");
    }
    if (level.size() > kMaxNameBytes || player.size() > kMaxNameBytes) {
        return failure(400, "names are at most " + std::to_string(kMaxNameBytes) + " bytes");
    }
    int32_t score = 0;
    switch (store.playerScore(level, player, score)) {
    case StoreStatus::Ok: return {200, compact({{"score", score}})};
    case StoreStatus::NotFound: return failure(404, "no score for this player on this level");
    case StoreStatus::Unavailable: break;
    }
    return storageFailure();
}

uint64_t nameHash(std::string_view name) { return std::hash<std::string_view>()(name); }

uint64_t entryHash(const std::string& level, const std::string& player) {
    return nameHash(level) * 0x9E3779B97F4A7C15ull ^ nameHash(player);
}

}  // namespace

void AddressQuotas::take(const UploadLimits& limits, const std::string& address, Upload& upload) {
    const auto                  now = std::chrono::steady_clock::now();
    std::lock_guard<std::mutex> lock(mutex_);
    forgetPastHours(now);
    Sent&                         sent  = addresses_.try_emplace(address, Sent{now, {}, {}}).first->second;
    const auto                    known = [&](uint64_t hash) { return sent.names.contains(hash); };
    std::vector<LeaderboardLevel> kept;
    for (LeaderboardLevel& level : upload.levels) {
        LeaderboardLevel allowed{std::move(level.name), {}};
        const uint64_t   levelName = nameHash(allowed.name);
        for (LeaderboardEntry& entry : level.scores) {
            const uint64_t entryKey   = entryHash(allowed.name, entry.player);
            const uint64_t playerName = nameHash(entry.player);
            const size_t newNames = (known(levelName) ? 0 : 1) + (known(playerName) || playerName == levelName ? 0 : 1);
            std::string  reason;
            if (!sent.entries.contains(entryKey) && sent.entries.size() >= limits.entriesPerAddress) {
                reason = "this address has sent " + std::to_string(limits.entriesPerAddress) +
                         " different entries this hour";
            } else if (sent.names.size() + newNames > limits.namesPerAddress) {
                reason =
                    "this address has sent " + std::to_string(limits.namesPerAddress) + " different names this hour";
            }
            if (!reason.empty()) {
                upload.refused.push_back({{"level", allowed.name}, {"player", entry.player}, {"reason", reason}});
                continue;
            }
            sent.entries.insert(entryKey);
            sent.names.insert(levelName);
            sent.names.insert(playerName);
            allowed.scores.push_back(std::move(entry));
        }
        if (!allowed.scores.empty()) kept.push_back(std::move(allowed));
    }
    upload.levels = std::move(kept);
}

// Once a minute at most: the addresses whose hour is over start afresh.
void AddressQuotas::forgetPastHours(std::chrono::steady_clock::time_point now) {
    constexpr auto kHour = std::chrono::hours(1);
    if (now - swept_ < std::chrono::minutes(1)) return;
    swept_ = now;
    std::erase_if(addresses_, [&](const auto& item) { return now - item.second.since >= kHour; });
}

bool QuotaGauge::surelyFits(const UploadLimits& limits, int64_t levels, int64_t entries) {
    constexpr auto              kFresh = std::chrono::seconds(5);
    std::lock_guard<std::mutex> lock(mutex_);
    return known_ && std::chrono::steady_clock::now() - countedAt_ < kFresh && levels_ + levels <= limits.levels &&
           entries_ + entries <= limits.entries;
}

void QuotaGauge::counted(int64_t levels, int64_t entries) {
    std::lock_guard<std::mutex> lock(mutex_);
    levels_    = levels;
    entries_   = entries;
    countedAt_ = std::chrono::steady_clock::now();
    known_     = true;
}

void QuotaGauge::added(int64_t levels, int64_t entries) {
    std::lock_guard<std::mutex> lock(mutex_);
    levels_ += levels;
    entries_ += entries;
}

std::string apiError(const std::string& message) { return compact({{"success", false}, {"error", message}}); }

bool readUpload(const std::string& body, const UploadLimits& limits, Upload& upload, std::string& error) {
    json document;
    try {
        document = json::parse(body);
    } catch (const json::exception& failure) {
        error = std::string("body is not JSON: ") + failure.what();
        return false;
    }
    const auto list = document.is_object() ? document.find("levels") : document.end();
    if (!document.is_object() || list == document.end() || !list->is_array()) {
        error = "body must be an object whose \"levels\" is an array";
        return false;
    }
    UploadCollector collector(limits, upload);
    for (size_t i = 0; i < list->size(); ++i) collector.level((*list)[i], "levels[" + std::to_string(i) + "]");
    if (upload.levels.empty() && !upload.refused.empty()) {
        error = "no entry of the upload could be stored";
        return false;
    }
    return true;
}

ApiReply handleApiRequest(LeaderboardStore& store, const std::string& method, const std::string& target,
                          const std::string& body, const UploadLimits& limits, QuotaGauge* gauge,
                          const Sender& sender) {
    const size_t           question = target.find('?');
    const std::string_view path     = std::string_view(target).substr(0, question);
    const std::string_view query =
        question == std::string::npos ? std::string_view() : std::string_view(target).substr(question + 1);
    if (path == kLeaderboardPath) {
        if (method == "GET") return getLeaderboard(store, query);
        if (method == "POST") return postLeaderboard(store, limits, gauge, sender, body);
        return failure(405, "method not allowed");
    }
    if (path.starts_with(kPlayerPrefix)) {
        if (method != "GET") return failure(405, "method not allowed");
        return getPlayerScore(store, path.substr(kPlayerPrefix.size()));
    }
    return failure(404, "no such request");
}
