#include "leaderboard/LeaderboardDocument.h"

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <limits>
#include <unordered_map>

using nlohmann::json;

namespace {

constexpr int64_t kIntMin = std::numeric_limits<int32_t>::min();
constexpr int64_t kIntMax = std::numeric_limits<int32_t>::max();

// A member that is a number (not a boolean) as an int32, else fallback.
int32_t optionalNumber(const json& object, const char* key, int32_t fallback) {
    const auto it = object.find(key);
    if (it == object.end() || !it->is_number()) return fallback;
    return leaderboardInt(*it).value_or(fallback);
}

std::optional<LeaderboardEntry> readEntry(const json& entry, const std::string& level, size_t index,
                                          std::vector<std::string>& problems) {
    const std::string where = "entry " + std::to_string(index) + " of level \"" + level + "\"";
    if (!entry.is_object()) {
        problems.push_back(where + " is not an object");
        return std::nullopt;
    }
    const auto player = entry.find("player");
    const auto score  = entry.find("score");
    if (player == entry.end() || !player->is_string()) {
        problems.push_back(where + " has no \"player\" string");
        return std::nullopt;
    }
    const std::optional<int32_t> value = score == entry.end() ? std::nullopt : leaderboardInt(*score);
    if (!value) {
        problems.push_back(where + " has no numeric \"score\"");
        return std::nullopt;
    }
    LeaderboardEntry read;
    read.player       = player->get<std::string>();
    read.score        = *value;
    read.time         = optionalNumber(entry, "time", 0);
    const auto layer  = entry.find("highestLayer");
    read.highestLayer = layer != entry.end() && layer->is_string() ? layer->get<std::string>() : "0/0";
    read.highestCombo = optionalNumber(entry, "highestCombo", 0);
    return read;
}

using BestScores = std::unordered_map<std::string, std::unordered_map<std::string, int32_t>>;

BestScores bestScores(const std::vector<LeaderboardLevel>& levels) {
    BestScores best;
    for (const LeaderboardLevel& level : levels) {
        auto& players = best[level.name];
        for (const LeaderboardEntry& entry : level.scores) {
            const auto [it, added] = players.emplace(entry.player, entry.score);
            if (!added) it->second = std::max(it->second, entry.score);
        }
    }
    return best;
}

// Finds levels by name and entries by player the way a reader of the file does
// (the first object whose key equals the name), without scanning for every merge.
class DocumentIndex {
public:
    explicit DocumentIndex(json& document) : levels_(normalisedLevels(document)) {
        for (size_t i = 0; i < levels_.size(); ++i) {
            const json& level = levels_[i];
            if (!level.is_object()) continue;
            const auto name = level.find("name");
            if (name != level.end() && name->is_string()) levelAt_.emplace(name->get<std::string>(), i);
        }
    }

    bool merge(const std::string& levelName, const LeaderboardEntry& entry) {
        json&      scores  = scoresOf(levelName);
        auto&      players = entryAt_[levelName];
        const auto found   = players.find(entry.player);
        if (found == players.end()) {
            players.emplace(entry.player, scores.size());
            scores.push_back(leaderboardEntryJson(entry));
            return true;
        }
        json&                        stored      = scores[found->second];
        const auto                   score       = stored.find("score");
        const std::optional<int32_t> storedScore = score == stored.end() ? std::nullopt : leaderboardInt(*score);
        if (storedScore && entry.score <= *storedScore) return false;
        stored["score"]        = entry.score;
        stored["time"]         = entry.time;
        stored["highestLayer"] = entry.highestLayer;
        stored["highestCombo"] = entry.highestCombo;
        return true;
    }

private:
    static json& normalisedLevels(json& document) {
        normaliseLeaderboard(document);
        return document["levels"];
    }

    json& scoresOf(const std::string& levelName) {
        auto at = levelAt_.find(levelName);
        if (at == levelAt_.end()) {
            at = levelAt_.emplace(levelName, levels_.size()).first;
            levels_.push_back({{"name", levelName}, {"scores", json::array()}});
        }
        json& scores = levels_[at->second]["scores"];
        if (!scores.is_array()) {
            scores = json::array();
            entryAt_.erase(levelName);
        }
        if (!entryAt_.contains(levelName)) {
            auto& players = entryAt_[levelName];
            for (size_t i = 0; i < scores.size(); ++i) {
                const json& entry = scores[i];
                if (!entry.is_object()) continue;
                const auto player = entry.find("player");
                if (player != entry.end() && player->is_string()) players.emplace(player->get<std::string>(), i);
            }
        }
        return scores;
    }

    json&                                                                    levels_;
    std::unordered_map<std::string, size_t>                                  levelAt_;
    std::unordered_map<std::string, std::unordered_map<std::string, size_t>> entryAt_;
};

}  // namespace

std::optional<int32_t> leaderboardInt(const json& value) {
    if (value.is_boolean()) return value.get<bool>() ? 1 : 0;
    if (value.is_number_unsigned()) return static_cast<int32_t>(std::min<uint64_t>(value.get<uint64_t>(), kIntMax));
    if (value.is_number_integer())
        return static_cast<int32_t>(std::clamp<int64_t>(value.get<int64_t>(), kIntMin, kIntMax));
    if (value.is_number_float()) {
        const double truncated = std::trunc(value.get<double>());
        if (std::isnan(truncated)) return 0;
        return static_cast<int32_t>(std::clamp(truncated, static_cast<double>(kIntMin), static_cast<double>(kIntMax)));
    }
    return std::nullopt;
}

std::vector<LeaderboardLevel> readLeaderboardLevels(const json& document, std::vector<std::string>& problems) {
    std::vector<LeaderboardLevel> levels;
    if (!document.is_object()) return levels;
    const auto list = document.find("levels");
    if (list == document.end() || !list->is_array()) return levels;
    for (size_t i = 0; i < list->size(); ++i) {
        const json& level = (*list)[i];
        if (!level.is_object()) {
            problems.push_back("level " + std::to_string(i) + " is not an object");
            continue;
        }
        const auto name   = level.find("name");
        const auto scores = level.find("scores");
        if (name == level.end() || !name->is_string()) {
            problems.push_back("level " + std::to_string(i) + " has no \"name\" string");
            continue;
        }
        LeaderboardLevel read{name->get<std::string>(), {}};
        if (scores == level.end() || !scores->is_array()) {
            problems.push_back("level \"" + read.name + "\" has no \"scores\" array");
            continue;
        }
        for (size_t j = 0; j < scores->size(); ++j) {
            if (auto entry = readEntry((*scores)[j], read.name, j, problems)) read.scores.push_back(std::move(*entry));
        }
        levels.push_back(std::move(read));
    }
    return levels;
}

json leaderboardEntryJson(const LeaderboardEntry& entry) {
    return {{"player", entry.player},
            {"score", entry.score},
            {"time", entry.time},
            {"highestLayer", entry.highestLayer},
            {"highestCombo", entry.highestCombo}};
}

json leaderboardDocument(const std::vector<LeaderboardLevel>& levels) {
    json list = json::array();
    for (const LeaderboardLevel& level : levels) {
        json scores = json::array();
        for (const LeaderboardEntry& entry : level.scores) scores.push_back(leaderboardEntryJson(entry));
        list.push_back({{"name", level.name}, {"scores", std::move(scores)}});
    }
    return {{"levels", std::move(list)}};
}

void normaliseLeaderboard(json& document) {
    if (!document.is_object()) document = json::object();
    json& levels = document["levels"];
    if (!levels.is_array()) levels = json::array();
}

bool mergeLeaderboardEntry(json& document, const std::string& level, const LeaderboardEntry& entry) {
    return DocumentIndex(document).merge(level, entry);
}

int mergeLeaderboards(json& document, const json& incoming) {
    std::vector<std::string> ignored;
    DocumentIndex            index(document);
    int                      stored = 0;
    for (const LeaderboardLevel& level : readLeaderboardLevels(incoming, ignored)) {
        for (const LeaderboardEntry& entry : level.scores) stored += index.merge(level.name, entry) ? 1 : 0;
    }
    return stored;
}

bool holdsScoresMissingFrom(const json& document, const json& other) {
    std::vector<std::string> ignored;
    const BestScores         theirs = bestScores(readLeaderboardLevels(other, ignored));
    for (const LeaderboardLevel& level : readLeaderboardLevels(document, ignored)) {
        const auto players = theirs.find(level.name);
        for (const LeaderboardEntry& entry : level.scores) {
            if (players == theirs.end()) return true;
            const auto score = players->second.find(entry.player);
            if (score == players->second.end() || score->second < entry.score) return true;
        }
    }
    return false;
}
