#include "server/Api.h"

#include "leaderboard/LeaderboardProtocol.h"
#include "server/LeaderboardStore.h"

#include <nlohmann/json.hpp>

#include <limits>
#include <string_view>

using nlohmann::json;

namespace {

constexpr std::string_view kLeaderboardPath = "/api/leaderboard";
constexpr std::string_view kPlayerPrefix    = "/api/player/";
constexpr int64_t          kIntMax          = std::numeric_limits<int32_t>::max();

std::string compact(const json& document) { return document.dump(-1, ' ', false, json::error_handler_t::replace); }

ApiReply failure(int status, const std::string& message) { return {status, apiError(message)}; }

ApiReply storageFailure() { return failure(503, "leaderboard storage unavailable"); }

// Reads one member of an upload into its field; false with the reason in error.
class UploadReader {
public:
    explicit UploadReader(std::string& error) : error_(error) {}

    bool name(const json& object, const char* key, const std::string& where, std::string& out, bool required) {
        const auto it = object.find(key);
        if (it == object.end() && !required) return true;
        if (it == object.end() || !it->is_string() || it->get_ref<const std::string&>().size() > kMaxNameBytes) {
            return fail(where + "." + key + " must be a string of at most " + std::to_string(kMaxNameBytes) + " bytes");
        }
        out = it->get<std::string>();
        return true;
    }

    bool count(const json& object, const char* key, const std::string& where, int32_t& out, bool required) {
        const auto it = object.find(key);
        if (it == object.end() && !required) return true;
        const bool inRange = it != object.end() && it->is_number_integer() &&
                             (it->is_number_unsigned() ? it->get<uint64_t>() <= static_cast<uint64_t>(kIntMax)
                                                       : it->get<int64_t>() >= 0 && it->get<int64_t>() <= kIntMax);
        if (!inRange) return fail(where + "." + key + " must be an integer from 0 to " + std::to_string(kIntMax));
        out = static_cast<int32_t>(it->get<int64_t>());
        return true;
    }

    bool entry(const json& value, const std::string& where, LeaderboardEntry& out) {
        if (!value.is_object()) return fail(where + " must be an object");
        out.highestLayer = "0/0";
        return name(value, "player", where, out.player, true) && count(value, "score", where, out.score, true) &&
               count(value, "time", where, out.time, false) &&
               name(value, "highestLayer", where, out.highestLayer, false) &&
               count(value, "highestCombo", where, out.highestCombo, false);
    }

    bool level(const json& value, const std::string& where, LeaderboardLevel& out) {
        if (!value.is_object()) return fail(where + " must be an object");
        if (!name(value, "name", where, out.name, true)) return false;
        const auto scores = value.find("scores");
        if (scores == value.end() || !scores->is_array()) return fail(where + ".scores must be an array");
        out.scores.resize(scores->size());
        for (size_t i = 0; i < scores->size(); ++i) {
            if (!entry((*scores)[i], where + ".scores[" + std::to_string(i) + "]", out.scores[i])) return false;
        }
        return true;
    }

private:
    bool fail(const std::string& message) {
        error_ = message;
        return false;
    }

    std::string& error_;
};

ApiReply getLeaderboard(LeaderboardStore& store) {
    std::vector<LeaderboardLevel> levels;
    if (store.readAll(levels) != StoreStatus::Ok) return storageFailure();
    return {200, compact(leaderboardDocument(levels))};
}

ApiReply postLeaderboard(LeaderboardStore& store, const std::string& body) {
    if (body.size() > kMaxUploadBytes) {
        return failure(413, "body larger than " + std::to_string(kMaxUploadBytes) + " bytes");
    }
    std::vector<LeaderboardLevel> levels;
    std::string error;
    if (!readUpload(body, levels, error)) return failure(400, error);
    if (store.merge(levels) != StoreStatus::Ok) return storageFailure();
    return {200, compact({{"success", true}})};
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

}  // namespace

std::string apiError(const std::string& message) { return compact({{"success", false}, {"error", message}}); }

bool readUpload(const std::string& body, std::vector<LeaderboardLevel>& levels, std::string& error) {
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
    UploadReader reader(error);
    levels.resize(list->size());
    for (size_t i = 0; i < list->size(); ++i) {
        if (!reader.level((*list)[i], "levels[" + std::to_string(i) + "]", levels[i])) return false;
    }
    return true;
}

ApiReply handleApiRequest(LeaderboardStore& store, const std::string& method, const std::string& target,
                          const std::string& body) {
    const std::string_view path = std::string_view(target).substr(0, target.find('?'));
    if (path == kLeaderboardPath) {
        if (method == "GET") return getLeaderboard(store);
        if (method == "POST") return postLeaderboard(store, body);
        return failure(405, "method not allowed");
    }
    if (path.starts_with(kPlayerPrefix)) {
        if (method != "GET") return failure(405, "method not allowed");
        return getPlayerScore(store, path.substr(kPlayerPrefix.size()));
    }
    return failure(404, "no such request");
}
