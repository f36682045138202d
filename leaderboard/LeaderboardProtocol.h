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
// One answer of GET /api/leaderboard holds at most kPageLevels levels, each with
// its best kPageLevelScores entries, kPageScores entries in all; a level cut
// short has "moreScores": true, and "nextFrom": N asks for ?from=N to go on.
// ?level=NAME, up to kPageLevels times, asks for those levels alone.
inline constexpr size_t kPageLevels      = 100;
inline constexpr size_t kPageLevelScores = 1000;
inline constexpr size_t kPageScores      = 10000;

// name cut to kMaxNameBytes, never inside a UTF-8 sequence: the length the
// server accepts, wherever the game reads a player name.
std::string cutToNameLimit(std::string name);

// Whether text holds a C0 control byte, DEL, or a C1 control in UTF-8 (U+0080 to
// U+009F, which terminals also obey).
bool holdsControlCharacter(std::string_view text);

// Every byte but the unreserved ones (letters, digits, "-._~") as %XX, so '/', '%',
// spaces and non-ASCII bytes survive as one segment.
std::string percentEncodeSegment(std::string_view text);
// The inverse; false on a '%' not followed by two hex digits.
bool percentDecode(std::string_view text, std::string& decoded);
