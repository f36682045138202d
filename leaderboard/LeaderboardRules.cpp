#include "leaderboard/LeaderboardRules.h"

#include "leaderboard/LeaderboardDocument.h"
#include "leaderboard/LeaderboardProtocol.h"

#include <nlohmann/json.hpp>

#include <limits>

using nlohmann::json;

namespace {

constexpr int64_t kIntMax = std::numeric_limits<int32_t>::max();

bool fail(std::string& error, const std::string& message) {
    error = message;
    return false;
}

bool readName(const json& object, const char* key, const std::string& where, std::string& out, bool required,
              std::string& error) {
    const auto it = object.find(key);
    if (it == object.end() && !required) return true;
    if (it == object.end() || !it->is_string() || it->get_ref<const std::string&>().size() > kMaxNameBytes) {
        return fail(error,
                    where + "." + key + " must be a string of at most " + std::to_string(kMaxNameBytes) + " bytes");
    }
    // A name is shown on terminals and in tab-separated lists: no byte of it may steer them.
    if (holdsControlCharacter(it->get_ref<const std::string&>())) {
        return fail(error, where + "." + key + " must hold no control characters");
    }
    out = it->get<std::string>();
    return true;
}

bool readCount(const json& object, const char* key, const std::string& where, int32_t& out, bool required,
               std::string& error) {
    const auto it = object.find(key);
    if (it == object.end() && !required) return true;
    const bool inRange = it != object.end() && it->is_number_integer() &&
                         (it->is_number_unsigned() ? it->get<uint64_t>() <= static_cast<uint64_t>(kIntMax)
                                                   : it->get<int64_t>() >= 0 && it->get<int64_t>() <= kIntMax);
    if (!inRange) return fail(error, where + "." + key + " must be an integer from 0 to " + std::to_string(kIntMax));
    out = static_cast<int32_t>(it->get<int64_t>());
    return true;
}

}  // namespace

bool readUploadLevel(const json& value, const std::string& where, LeaderboardLevel& out, std::string& error) {
    if (!value.is_object()) return fail(error, where + " must be an object");
    if (!readName(value, "name", where, out.name, true, error)) return false;
    const auto scores = value.find("scores");
    if (scores == value.end() || !scores->is_array()) return fail(error, where + ".scores must be an array");
    return true;
}

bool readUploadEntry(const json& value, const std::string& where, LeaderboardEntry& out, std::string& error) {
    if (!value.is_object()) return fail(error, where + " must be an object");
    out.highestLayer = "0/0";
    return readName(value, "player", where, out.player, true, error) &&
           readCount(value, "score", where, out.score, true, error) &&
           readCount(value, "time", where, out.time, false, error) &&
           readName(value, "highestLayer", where, out.highestLayer, false, error) &&
           readCount(value, "highestCombo", where, out.highestCombo, false, error);
}

json uploadableLeaderboard(const json& document, std::vector<std::string>& refused) {
    std::vector<LeaderboardLevel> levels;
    const auto                    list = document.find("levels");
    if (list == document.end() || !list->is_array()) return leaderboardDocument(levels);
    for (size_t i = 0; i < list->size(); ++i) {
        const std::string where = "levels[" + std::to_string(i) + "]";
        std::string       error;
        LeaderboardLevel  level;
        if (!readUploadLevel((*list)[i], where, level, error)) {
            refused.push_back(error);
            continue;
        }
        const json& scores = (*list)[i]["scores"];
        for (size_t j = 0; j < scores.size(); ++j) {
            LeaderboardEntry entry;
            if (readUploadEntry(scores[j], where + ".scores[" + std::to_string(j) + "]", entry, error))
                level.scores.push_back(std::move(entry));
            else refused.push_back(error);
        }
        if (!level.scores.empty()) levels.push_back(std::move(level));
    }
    return leaderboardDocument(levels);
}
