// The embedded storage engine of the leaderboard server: one SQLite database file
// in WAL mode (readers never wait for the writer), a busy timeout for writers, and
// a small pool of connections, one per server thread, each with its statements
// prepared once. The schema is created on first open and carries a version.
#pragma once

#include "server/LeaderboardStore.h"

// connections is clamped to 1 for ":memory:" (each connection would see its own database).
std::unique_ptr<LeaderboardStore> openSqliteStore(const std::string& path, int connections, std::string& error);
