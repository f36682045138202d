// Where the leaderboard server keeps its scores. The HTTP layer (server/Api.h)
// talks only to this interface; behind it are SQLite (server/SqliteStore.h), the
// embedded engine of a single server, and PostgreSQL (server/PostgresStore.h),
// one database shared by several servers. Every operation may be called from
// several server threads.
#pragma once

#include "leaderboard/LeaderboardDocument.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

enum class StoreStatus {
    Ok,
    NotFound,
    Unavailable,  // the engine failed; the reason has been logged
};

// Which entries an operator removes: every condition given must hold.
struct EntryFilter {
    std::optional<std::string> level;
    std::optional<std::string> player;
    std::optional<int32_t>     scoreAbove;
};

// A part of the leaderboard small enough for one answer: the levels in listing
// order from the firstLevel-th one (or only the named ones, in the order named,
// those without entries left out), each with its best entries from the
// firstEntry-th (highest score first, the first seen first among equals).
struct PageQuery {
    std::vector<std::string> names;  // empty: every level
    int64_t                  firstLevel      = 0;
    size_t                   levels          = 100;
    int64_t                  firstEntry      = 0;
    size_t                   entriesPerLevel = 1000;
    size_t                   entries         = 10000;  // in the whole page
};

struct PageLevel {
    LeaderboardLevel level;
    bool             moreEntries = false;  // the level holds entries beyond these
};

struct Page {
    std::vector<PageLevel> levels;
    int64_t                nextLevel = -1;  // where the next page starts; -1 when this is the last
};

// Failures and reconnections of an engine, for the server's metrics.
struct StoreCounters {
    std::atomic<uint64_t> errors{0};
    std::atomic<uint64_t> reconnections{0};
};

class LeaderboardStore {
public:
    virtual ~LeaderboardStore() = default;

    StoreCounters counters;

    // Every level with its entries, both in insertion order.
    virtual StoreStatus readAll(std::vector<LeaderboardLevel>& levels)                                   = 0;
    virtual StoreStatus readPage(const PageQuery& query, Page& page)                                     = 0;
    virtual StoreStatus playerScore(const std::string& level, const std::string& player, int32_t& score) = 0;
    // One transaction: each entry replaces the player's on its level only when its
    // score is strictly higher; all or nothing.
    virtual StoreStatus merge(const std::vector<LeaderboardLevel>& upload) = 0;
    // How many levels and entries are stored.
    virtual StoreStatus counts(int64_t& levels, int64_t& entries)           = 0;
    virtual StoreStatus remove(const EntryFilter& filter, int64_t& removed) = 0;
    // A consistent copy into file while servers go on writing; SQLite only.
    virtual bool backup(const std::string& file, std::string& error) {
        error = "backup " + file + " needs an SQLite database (use pg_dump for PostgreSQL)";
        return false;
    }
};

// The engine for where: a PostgreSQL URI (postgresql://...) or key=value
// connection string (host=... dbname=...), otherwise an SQLite database file
// (":memory:" for a private in-memory one). connections: how many threads may use
// it at once. Null, with the reason on one line in error, when it cannot open.
std::unique_ptr<LeaderboardStore> openLeaderboardStore(const std::string& where, int connections, std::string& error);
bool                              isPostgresLocation(const std::string& where);
// where with any password in it replaced by ***, for log lines.
std::string printableLocation(const std::string& where);
