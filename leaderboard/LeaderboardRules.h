// The rules the leaderboard server applies to each uploaded level and entry,
// shared with the game so it never sends an entry the server would refuse:
// names are strings of at most kMaxNameBytes, numbers integers from 0 to
// INT32_MAX. The server's per-upload and total quotas are its own.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <string>
#include <vector>

struct LeaderboardEntry;
struct LeaderboardLevel;

// True when value is a level object with an acceptable "name" and a "scores"
// array (its entries are not looked at); out.name is set. Else the reason,
// naming `where`, is in error.
bool readUploadLevel(const nlohmann::json& value, const std::string& where, LeaderboardLevel& out, std::string& error);
// True when value is an entry the server stores, read into out; else the reason in error.
bool readUploadEntry(const nlohmann::json& value, const std::string& where, LeaderboardEntry& out, std::string& error);
// The levels and entries of document the server accepts, as a document; one
// line per level or entry left out goes to refused.
nlohmann::json uploadableLeaderboard(const nlohmann::json& document, std::vector<std::string>& refused);
