// The leaderboard server's public pages, HTML rendered on the server: "/" with
// every level's leaderboard and "/level/<name>" with one, entries best first. One
// small stylesheet of our own in the game's dark neon look, inline; no scripts and
// nothing fetched from elsewhere. Every name is escaped. Reading the store and
// routing are the HTTP layer's (server/HttpServer.h).
#pragma once

#include "leaderboard/LeaderboardDocument.h"

#include <string>
#include <string_view>
#include <vector>

std::string escapeHtml(std::string_view text);
std::string leaderboardPage(const std::vector<LeaderboardLevel>& levels);
// level null: the page saying there is no such level.
std::string levelPage(const std::string& name, const LeaderboardLevel* level);
