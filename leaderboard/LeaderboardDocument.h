// The leaderboard document that levels/leaderboard.json, the server's reply and the
// upload body share: {"levels": [{"name", "scores": [{"player", "score", "time",
// "highestLayer", "highestCombo"}]}]}, levels and entries in insertion order, one
// entry per player per level. Pure JSON work: reading a document into the panel's
// list, the best-per-player merge and comparing two documents. The file itself,
// its lock and the hand-over to the panel are persistence/Leaderboard.h's.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct LeaderboardEntry {
    std::string player;
    int32_t     score = 0;
    int32_t     time  = 0;     // song seconds when the run ended
    std::string highestLayer;  // "3/8": highest layer / layer cap
    int32_t     highestCombo = 0;
};

struct LeaderboardLevel {
    std::string                   name;
    std::vector<LeaderboardEntry> scores;
};

// A JSON number as an int32: floats truncated, booleans 0/1, out of range clamped.
std::optional<int32_t> leaderboardInt(const nlohmann::json& value);

// The levels and entries of a document, in order. A level or entry that cannot be
// read (not an object, "name"/"player" not a string, "scores" not an array,
// "score" not a number) is left out with one line in problems.
std::vector<LeaderboardLevel> readLeaderboardLevels(const nlohmann::json& document, std::vector<std::string>& problems);
nlohmann::json                leaderboardEntryJson(const LeaderboardEntry& entry);
nlohmann::json                leaderboardDocument(const std::vector<LeaderboardLevel>& levels);

// An object whose "levels" is an array; other members stay, anything else is
// replaced by {"levels": []}.
void normaliseLeaderboard(nlohmann::json& document);
// Stores entry as the player's result on the level unless the entry already there
// has a score at least as high; false when it was kept. An entry whose "score"
// cannot be read counts as missing and is replaced in place.
bool mergeLeaderboardEntry(nlohmann::json& document, const std::string& level, const LeaderboardEntry& entry);
// Every readable entry of incoming merged into document; the number stored.
int mergeLeaderboards(nlohmann::json& document, const nlohmann::json& incoming);
// Whether document has an entry that other lacks, or holds with a lower score.
bool holdsScoresMissingFrom(const nlohmann::json& document, const nlohmann::json& other);
