// The leaderboard server's public pages, HTML rendered on the server: "/" with
// a page of levels, each with its best entries and a link to its own page, and
// "/level/<name>" with a page of one level's entries, best first. One
// small stylesheet of our own in the game's dark neon look, inline; no scripts and
// nothing fetched from elsewhere. Every name is escaped. Reading the store and
// routing are the HTTP layer's (server/HttpServer.h).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

struct Page;
struct PageLevel;

// What one page shows: levels on "/", entries on a level's page.
inline constexpr size_t kPageLevelsShown  = 20;
inline constexpr size_t kPageLevelEntries = 10;
inline constexpr size_t kPageEntriesShown = 100;

std::string escapeHtml(std::string_view text);
// first: the place of page's first level in the listing (for the links).
std::string leaderboardPage(const Page& page, int64_t first);
// The level's entries from rank firstRank (counted from 0); level null: the page
// saying there is no such level.
std::string levelPage(const std::string& name, const PageLevel* level, int64_t firstRank);
