// The shared storage engine of the leaderboard server: PostgreSQL through libpq,
// one database for any number of server instances. Each server thread has its own
// connection with its statements prepared once; an upload is one transaction of
// pipelined statements whose merge only ever raises a score, safe against merges
// of other instances at the same moment. A lost connection fails the operation in
// progress (logged on one line) and is opened again by the next one. The schema
// is created by the first server that finds none and carries a version.
#pragma once

#include "server/LeaderboardStore.h"

// where: a libpq connection URI or key=value string.
std::unique_ptr<LeaderboardStore> openPostgresStore(const std::string& where, int connections, std::string& error);
