#include "server/SqliteStore.h"

#include "base/Log.h"
#include "server/ConnectionPool.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <mutex>

namespace {

constexpr int kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 5000;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS levels (
    id   INTEGER PRIMARY KEY,
    name TEXT NOT NULL UNIQUE
);
CREATE TABLE IF NOT EXISTS scores (
    id            INTEGER PRIMARY KEY,
    level_id      INTEGER NOT NULL REFERENCES levels (id),
    player        TEXT NOT NULL,
    score         INTEGER NOT NULL,
    time          INTEGER NOT NULL,
    highest_layer TEXT NOT NULL,
    highest_combo INTEGER NOT NULL,
    UNIQUE (level_id, player)
);
CREATE INDEX IF NOT EXISTS scores_rank ON scores (level_id, score DESC);
)sql";

constexpr const char* kReadAll = R"sql(
SELECT levels.name, scores.player, scores.score, scores.time, scores.highest_layer, scores.highest_combo
FROM scores JOIN levels ON levels.id = scores.level_id
ORDER BY levels.id, scores.id)sql";

// Levels without entries (an operator removed them) are not listed.
constexpr const char* kLevelNames = R"sql(
SELECT name FROM levels WHERE EXISTS (SELECT 1 FROM scores WHERE scores.level_id = levels.id)
ORDER BY id LIMIT ?2 OFFSET ?1)sql";

constexpr const char* kBestEntries = R"sql(
SELECT player, score, time, highest_layer, highest_combo FROM scores
WHERE level_id = (SELECT id FROM levels WHERE name = ?1)
ORDER BY score DESC, id LIMIT ?3 OFFSET ?2)sql";

constexpr const char* kPlayerScore = R"sql(
SELECT scores.score FROM scores JOIN levels ON levels.id = scores.level_id
WHERE levels.name = ?1 AND scores.player = ?2)sql";

constexpr const char* kCounts = "SELECT (SELECT count(*) FROM levels), (SELECT count(*) FROM scores)";

constexpr const char* kInsertLevel = "INSERT INTO levels (name) VALUES (?1) ON CONFLICT (name) DO NOTHING";
constexpr const char* kLevelId     = "SELECT id FROM levels WHERE name = ?1";

// A lower or equal score changes nothing: the player's best only ever rises.
constexpr const char* kMergeScore = R"sql(
INSERT INTO scores (level_id, player, score, time, highest_layer, highest_combo)
VALUES (?1, ?2, ?3, ?4, ?5, ?6)
ON CONFLICT (level_id, player) DO UPDATE SET
    score = excluded.score, time = excluded.time,
    highest_layer = excluded.highest_layer, highest_combo = excluded.highest_combo
WHERE excluded.score > scores.score)sql";

enum Statement {
    ReadAll,
    LevelNames,
    BestEntries,
    PlayerScore,
    Counts,
    InsertLevel,
    LevelId,
    MergeScore,
    StatementCount
};
constexpr std::array<const char*, StatementCount> kStatements = {kReadAll, kLevelNames,  kBestEntries, kPlayerScore,
                                                                 kCounts,  kInsertLevel, kLevelId,     kMergeScore};

std::string columnText(sqlite3_stmt* statement, int column) {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
    return text == nullptr ? std::string()
                           : std::string(text, static_cast<size_t>(sqlite3_column_bytes(statement, column)));
}

// The five columns of an entry from column first on: player, score, time, layer, combo.
LeaderboardEntry entryAt(sqlite3_stmt* statement, int first) {
    return {columnText(statement, first), sqlite3_column_int(statement, first + 1),
            sqlite3_column_int(statement, first + 2), columnText(statement, first + 3),
            sqlite3_column_int(statement, first + 4)};
}

void bindText(sqlite3_stmt* statement, int index, const std::string& text) {
    sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
}

// Resets a prepared statement when its use ends, however it ends.
class Use {
public:
    explicit Use(sqlite3_stmt* statement) : statement_(statement) {}
    ~Use() {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
    }
    Use(const Use&)                     = delete;
    Use&          operator=(const Use&) = delete;
    sqlite3_stmt* operator*() const { return statement_; }

private:
    sqlite3_stmt* statement_;
};

class Connection {
public:
    ~Connection() {
        for (sqlite3_stmt* statement : statements_) sqlite3_finalize(statement);  // null is a no-op
        sqlite3_close_v2(db_);
    }

    bool open(const std::string& path, bool createSchema, std::string& error) {
        const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
        if (sqlite3_open_v2(path.c_str(), &db_, flags, nullptr) != SQLITE_OK) return fail(error);
        sqlite3_busy_timeout(db_, kBusyTimeoutMs);
        if (!execute("PRAGMA journal_mode = WAL; PRAGMA synchronous = NORMAL;")) return fail(error);
        if (createSchema && !prepareSchema(error)) return false;
        for (size_t i = 0; i < StatementCount; ++i) {
            if (sqlite3_prepare_v3(db_, kStatements[i], -1, SQLITE_PREPARE_PERSISTENT, &statements_[i], nullptr) !=
                SQLITE_OK) {
                return fail(error);
            }
        }
        return true;
    }

    StoreStatus readAll(std::vector<LeaderboardLevel>& levels) {
        levels.clear();
        const Use use(statements_[ReadAll]);
        int       step;
        while ((step = sqlite3_step(*use)) == SQLITE_ROW) {
            std::string level = columnText(*use, 0);
            if (levels.empty() || levels.back().name != level) levels.push_back({std::move(level), {}});
            levels.back().scores.push_back(entryAt(*use, 1));
        }
        return step == SQLITE_DONE ? StoreStatus::Ok : failed();
    }

    StoreStatus levelNames(int64_t first, size_t count, std::vector<std::string>& names) {
        names.clear();
        const Use use(statements_[LevelNames]);
        sqlite3_bind_int64(*use, 1, first);
        sqlite3_bind_int64(*use, 2, static_cast<sqlite3_int64>(count));
        int step;
        while ((step = sqlite3_step(*use)) == SQLITE_ROW) names.push_back(columnText(*use, 0));
        return step == SQLITE_DONE ? StoreStatus::Ok : failed();
    }

    StoreStatus bestEntries(const std::string& level, int64_t first, size_t count,
                            std::vector<LeaderboardEntry>& entries) {
        entries.clear();
        const Use use(statements_[BestEntries]);
        bindText(*use, 1, level);
        sqlite3_bind_int64(*use, 2, first);
        sqlite3_bind_int64(*use, 3, static_cast<sqlite3_int64>(count));
        int step;
        while ((step = sqlite3_step(*use)) == SQLITE_ROW) entries.push_back(entryAt(*use, 0));
        return step == SQLITE_DONE ? StoreStatus::Ok : failed();
    }

    StoreStatus playerScore(const std::string& level, const std::string& player, int32_t& score) {
        const Use use(statements_[PlayerScore]);
        bindText(*use, 1, level);
        bindText(*use, 2, player);
        const int step = sqlite3_step(*use);
        if (step == SQLITE_ROW) {
            score = sqlite3_column_int(*use, 0);
            return StoreStatus::Ok;
        }
        return step == SQLITE_DONE ? StoreStatus::NotFound : failed();
    }

    StoreStatus counts(int64_t& levels, int64_t& entries) {
        const Use use(statements_[Counts]);
        if (sqlite3_step(*use) != SQLITE_ROW) return failed();
        levels  = sqlite3_column_int64(*use, 0);
        entries = sqlite3_column_int64(*use, 1);
        return StoreStatus::Ok;
    }

    StoreStatus remove(const EntryFilter& filter, int64_t& removed) {
        std::string sql = "DELETE FROM scores WHERE 1";
        if (filter.level) sql += " AND level_id = (SELECT id FROM levels WHERE name = ?1)";
        if (filter.player) sql += " AND player = ?2";
        if (filter.scoreAbove) sql += " AND score > ?3";
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) return failed();
        if (filter.level) bindText(statement, 1, *filter.level);
        if (filter.player) bindText(statement, 2, *filter.player);
        if (filter.scoreAbove) sqlite3_bind_int(statement, 3, *filter.scoreAbove);
        const int step = sqlite3_step(statement);
        removed        = sqlite3_changes(db_);
        sqlite3_finalize(statement);
        return step == SQLITE_DONE ? StoreStatus::Ok : failed();
    }

    // SQLite's online backup: pages are copied in steps, the writers of other
    // connections only restart the copy.
    bool backup(const std::string& file, std::string& error) {
        sqlite3* target = nullptr;
        bool     copied = sqlite3_open(file.c_str(), &target) == SQLITE_OK;
        if (copied) {
            sqlite3_backup* step   = sqlite3_backup_init(target, "main", db_, "main");
            int             result = SQLITE_OK;
            while (step != nullptr && (result = sqlite3_backup_step(step, 256)) == SQLITE_OK) sqlite3_sleep(5);
            copied = step != nullptr && result == SQLITE_DONE && sqlite3_backup_finish(step) == SQLITE_OK;
            if (!copied && step != nullptr) sqlite3_backup_finish(step);
        }
        if (!copied) error = target != nullptr ? sqlite3_errmsg(target) : "out of memory";
        sqlite3_close(target);
        return copied;
    }

    StoreStatus merge(const std::vector<LeaderboardLevel>& upload) {
        if (!execute("BEGIN IMMEDIATE")) return failed();
        for (const LeaderboardLevel& level : upload) {
            if (level.scores.empty()) continue;
            sqlite3_int64 levelId = 0;
            if (!storeLevel(level.name, levelId)) return rollBack();
            for (const LeaderboardEntry& entry : level.scores) {
                if (!storeEntry(levelId, entry)) return rollBack();
            }
        }
        if (!execute("COMMIT")) return rollBack();
        return StoreStatus::Ok;
    }

private:
    bool prepareSchema(std::string& error) {
        const int version = userVersion();
        if (version > kSchemaVersion) {
            error = "database schema version " + std::to_string(version) + " is newer than this server's " +
                    std::to_string(kSchemaVersion);
            return false;
        }
        if (version < 0 || !execute("BEGIN IMMEDIATE")) return fail(error);
        const std::string schema =
            std::string(kSchema) + "PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";";
        if (!execute(schema.c_str()) || !execute("COMMIT")) {
            fail(error);
            execute("ROLLBACK");
            return false;
        }
        return true;
    }

    int userVersion() {
        sqlite3_stmt* statement = nullptr;
        if (sqlite3_prepare_v2(db_, "PRAGMA user_version", -1, &statement, nullptr) != SQLITE_OK) return -1;
        const int version = sqlite3_step(statement) == SQLITE_ROW ? sqlite3_column_int(statement, 0) : -1;
        sqlite3_finalize(statement);
        return version;
    }

    bool storeLevel(const std::string& name, sqlite3_int64& levelId) {
        {
            const Use insert(statements_[InsertLevel]);
            bindText(*insert, 1, name);
            if (sqlite3_step(*insert) != SQLITE_DONE) return false;
        }
        const Use select(statements_[LevelId]);
        bindText(*select, 1, name);
        if (sqlite3_step(*select) != SQLITE_ROW) return false;
        levelId = sqlite3_column_int64(*select, 0);
        return true;
    }

    bool storeEntry(sqlite3_int64 levelId, const LeaderboardEntry& entry) {
        const Use use(statements_[MergeScore]);
        sqlite3_bind_int64(*use, 1, levelId);
        bindText(*use, 2, entry.player);
        sqlite3_bind_int(*use, 3, entry.score);
        sqlite3_bind_int(*use, 4, entry.time);
        bindText(*use, 5, entry.highestLayer);
        sqlite3_bind_int(*use, 6, entry.highestCombo);
        return sqlite3_step(*use) == SQLITE_DONE;
    }

    bool execute(const char* sql) { return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }

    bool fail(std::string& error) {
        error = db_ != nullptr ? sqlite3_errmsg(db_) : "out of memory";
        return false;
    }

    StoreStatus failed() {
        base::logError("Leaderboard database error: %s", sqlite3_errmsg(db_));
        return StoreStatus::Unavailable;
    }

    StoreStatus rollBack() {
        const StoreStatus status = failed();
        execute("ROLLBACK");
        return status;
    }

    sqlite3*                                  db_ = nullptr;
    std::array<sqlite3_stmt*, StatementCount> statements_{};
};

class SqliteStore : public PooledStore<Connection> {
public:
    bool open(const std::string& path, int connections, std::string& error) {
        const auto openOne = [&path](std::unique_ptr<Connection>& connection, bool first, std::string& failure) {
            connection = std::make_unique<Connection>();
            return connection->open(path, first, failure);
        };
        return fill(path == ":memory:" ? 1 : connections, openOne, error);
    }

    StoreStatus merge(const std::vector<LeaderboardLevel>& upload) override {
        // Writers of this process queue here; SQLite's busy timeout, which polls
        // with sleeps of up to 100 ms, is left for writers in other processes.
        std::lock_guard<std::mutex> writing(writer_);
        return PooledStore::merge(upload);
    }

    bool backup(const std::string& file, std::string& error) override { return pool_.lease()->backup(file, error); }

private:
    std::mutex writer_;
};

}  // namespace

std::unique_ptr<LeaderboardStore> openSqliteStore(const std::string& path, int connections, std::string& error) {
    auto store = std::make_unique<SqliteStore>();
    if (!store->open(path, connections, error)) return nullptr;
    return store;
}
