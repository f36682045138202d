// What the game's leaderboard client and our leaderboard server agree on: the
// default port and base URL, the limits the server enforces, and the encoding of
// level and player names as path segments of GET /api/player/<level>/<player>.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

inline constexpr int         kLeaderboardServerPort = 5866;
inline constexpr const char* kDefaultServerUrl      = "http://127.0.0.1:5866/api";
inline constexpr size_t      kMaxUploadBytes        = 1024 * 1024;
inline constexpr size_t      kMaxNameBytes          = 64;

// name cut to kMaxNameBytes, never inside a UTF-8 sequence: the length the
// server accepts, wherever the game reads a player name.
std::string cutToNameLimit(std::string name);

// Every byte but the unreserved ones (letters, digits, "-._~") as %XX, so '/', '%',
// spaces and non-ASCII bytes survive as one segment.
std::string percentEncodeSegment(std::string_view text);
// The inverse; false on a '%' not followed by two hex digits.
bool percentDecode(std::string_view text, std::string& decoded);
