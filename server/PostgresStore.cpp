#include "server/PostgresStore.h"

#include "base/Log.h"
#include "server/ConnectionPool.h"

#include <libpq-fe.h>

#include <arpa/inet.h>
#include <endian.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <deque>
#include <map>
#include <string_view>

namespace {

constexpr int kSchemaVersion = 1;
// Any number every server agrees on: servers starting together create the schema one at a time.
constexpr const char* kSchemaLock     = "5866001";
constexpr auto        kReconnectPause = std::chrono::seconds(1);
// The element types of the array parameters (PostgreSQL's own type numbers).
constexpr Oid kByteaType   = 17;
constexpr Oid kIntegerType = 23;

constexpr const char* kVersionTable = "CREATE TABLE IF NOT EXISTS schema_version (version INTEGER NOT NULL)";
// Names are bytes (a name may hold a NUL, and the database's text encoding is not ours to know).
constexpr const char* kTables = R"sql(
CREATE SEQUENCE uploads;
CREATE TABLE levels (
    id   BIGINT GENERATED ALWAYS AS IDENTITY PRIMARY KEY,
    name BYTEA NOT NULL UNIQUE
);
CREATE TABLE scores (
    level_id      BIGINT NOT NULL REFERENCES levels (id),
    player        BYTEA NOT NULL,
    score         INTEGER NOT NULL,
    time          INTEGER NOT NULL,
    highest_layer BYTEA NOT NULL,
    highest_combo INTEGER NOT NULL,
    seen          BIGINT NOT NULL,  -- the first upload's number times 2^20 plus the place in it
    PRIMARY KEY (level_id, player)
))sql";

// Made on every start, so databases made before them get them too: the best
// entries of a level and where a level was first seen, each a look-up.
constexpr const char* kIndexes = R"sql(
CREATE INDEX IF NOT EXISTS scores_rank ON scores (level_id, score DESC, seen);
CREATE INDEX IF NOT EXISTS scores_first_seen ON scores (level_id, seen))sql";

struct Prepared {
    const char* name;
    const char* sql;
};

enum Statement {
    Begin,
    Commit,
    NextUpload,
    InsertLevels,
    MergeScores,
    ReadAll,
    LevelNames,
    BestEntries,
    PlayerScore,
    Counts,
    StatementCount
};

// An upload's rows go in as arrays, one element a score, and are written in name
// order whatever the upload's order, so two merges never wait for each other in a
// circle; "seen" keeps the upload's order for listing.
constexpr std::array<Prepared, StatementCount> kStatements = {{
    {"lumoka_begin", "BEGIN"},
    {"lumoka_commit", "COMMIT"},
    {"lumoka_next_upload", "SELECT nextval('uploads')"},
    {"lumoka_insert_levels", R"sql(
INSERT INTO levels (name)
SELECT name FROM unnest($1::bytea[]) AS upload (name)
WHERE NOT EXISTS (SELECT FROM levels WHERE levels.name = upload.name)
ORDER BY name
ON CONFLICT (name) DO NOTHING)sql"},
    // A lower or equal score changes nothing: the player's best only ever rises.
    {"lumoka_merge_scores", R"sql(
INSERT INTO scores (level_id, player, score, time, highest_layer, highest_combo, seen)
SELECT levels.id, upload.player, upload.score, upload.time, upload.highest_layer, upload.highest_combo,
       currval('uploads') * 1048576 + upload.place
FROM unnest($1::bytea[], $2::bytea[], $3::integer[], $4::integer[], $5::bytea[], $6::integer[], $7::integer[])
     AS upload (level, player, score, time, highest_layer, highest_combo, place)
JOIN levels ON levels.name = upload.level
ORDER BY upload.level, upload.player
ON CONFLICT (level_id, player) DO UPDATE SET
    score = excluded.score, time = excluded.time,
    highest_layer = excluded.highest_layer, highest_combo = excluded.highest_combo
WHERE excluded.score > scores.score)sql"},
    // A level is listed where its first score was seen.
    {"lumoka_read_all", R"sql(
SELECT levels.name, scores.player, scores.score, scores.time, scores.highest_layer, scores.highest_combo
FROM scores JOIN levels ON levels.id = scores.level_id
ORDER BY min(scores.seen) OVER (PARTITION BY scores.level_id), scores.seen)sql"},
    {"lumoka_level_names", R"sql(
SELECT levels.name FROM levels
CROSS JOIN LATERAL (SELECT min(seen) AS first FROM scores WHERE scores.level_id = levels.id) AS seen
WHERE seen.first IS NOT NULL
ORDER BY seen.first LIMIT $2::bigint OFFSET $1::bigint)sql"},
    {"lumoka_best_entries", R"sql(
SELECT player, score, time, highest_layer, highest_combo FROM scores
WHERE level_id = (SELECT id FROM levels WHERE name = $1::bytea)
ORDER BY score DESC, seen LIMIT $3::bigint OFFSET $2::bigint)sql"},
    {"lumoka_player_score", R"sql(
SELECT scores.score FROM scores JOIN levels ON levels.id = scores.level_id
WHERE levels.name = $1::bytea AND scores.player = $2::bytea)sql"},
    {"lumoka_counts", "SELECT (SELECT count(*) FROM levels), (SELECT count(*) FROM scores)"},
}};

struct ResultFree {
    void operator()(PGresult* result) const { PQclear(result); }
};
using Result = std::unique_ptr<PGresult, ResultFree>;

// libpq's messages span several lines; ours are one.
std::string oneLine(std::string_view text) {
    std::string line;
    for (const char c : text) {
        const bool space = c == '\n' || c == '\r' || c == '\t' || c == ' ';
        if (!space) line += c;
        else if (!line.empty() && line.back() != ' ') line += ' ';
    }
    if (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

std::string failureOf(PGconn* connection, const PGresult* result) {
    return oneLine(result != nullptr ? PQresultErrorMessage(result) : PQerrorMessage(connection));
}

bool succeeded(const PGresult* result) {
    const ExecStatusType status = PQresultStatus(result);  // a null result is a fatal error
    return status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK;
}

// Notices such as "relation already exists, skipping" are ours to expect; warnings are logged.
void logWarnings(void*, const PGresult* notice) {
    const char* severity = PQresultErrorField(notice, PG_DIAG_SEVERITY_NONLOCALIZED);
    if (severity != nullptr && std::strcmp(severity, "WARNING") == 0) {
        base::logError("Leaderboard database warning: %s", oneLine(PQresultErrorMessage(notice)).c_str());
    }
}

void appendInteger(std::string& out, uint32_t value) {
    const uint32_t network = htonl(value);
    out.append(reinterpret_cast<const char*>(&network), sizeof network);
}

// A one-dimensional array parameter in PostgreSQL's binary form: names as bytea,
// numbers as 32-bit integers, each element its length and its bytes.
class Array {
public:
    explicit Array(Oid element) : element_(element) {}
    void add(std::string_view bytes) {
        appendInteger(elements_, static_cast<uint32_t>(bytes.size()));
        elements_.append(bytes);
        ++count_;
    }
    void add(int32_t value) {
        appendInteger(elements_, sizeof value);
        appendInteger(elements_, static_cast<uint32_t>(value));
        ++count_;
    }
    std::string encoded() const {
        std::string out;
        for (const uint32_t field : {1u, 0u, element_, count_, 1u})
            appendInteger(out, field);  // one dimension from 1, no nulls
        return out + elements_;
    }

private:
    uint32_t    element_;
    uint32_t    count_ = 0;
    std::string elements_;
};

// The values bound to one statement: names as bytea (binary), arrays in binary,
// text for the few set-up statements.
class Params {
public:
    Params& bytes(std::string_view value) { return add(value.data(), value.size(), 1); }
    Params& array(const Array& value) {
        owned_.push_back(value.encoded());
        return add(owned_.back().data(), owned_.back().size(), 1);
    }
    Params& arrays(const std::vector<Array>& values) {
        for (const Array& value : values) array(value);
        return *this;
    }
    Params& text(std::string value) {
        owned_.push_back(std::move(value));
        return add(owned_.back().c_str(), owned_.back().size(), 0);
    }

    int                count() const { return static_cast<int>(values_.size()); }
    const char* const* values() const { return values_.data(); }
    const int*         lengths() const { return lengths_.data(); }
    const int*         formats() const { return formats_.data(); }

private:
    Params& add(const char* data, size_t size, int format) {
        values_.push_back(data);
        lengths_.push_back(static_cast<int>(size));
        formats_.push_back(format);
        return *this;
    }

    std::deque<std::string>  owned_;  // a deque keeps its elements where they are
    std::vector<const char*> values_;
    std::vector<int>         lengths_;
    std::vector<int>         formats_;
};

std::string bytesAt(const PGresult* result, int row, int column) {
    return std::string(PQgetvalue(result, row, column), static_cast<size_t>(PQgetlength(result, row, column)));
}

int32_t integerAt(const PGresult* result, int row, int column) {
    uint32_t network = 0;
    std::memcpy(&network, PQgetvalue(result, row, column), sizeof network);
    return static_cast<int32_t>(ntohl(network));
}

int64_t bigintAt(const PGresult* result, int row, int column) {
    uint64_t network = 0;
    std::memcpy(&network, PQgetvalue(result, row, column), sizeof network);
    return static_cast<int64_t>(be64toh(network));
}

// The five columns of an entry from column first on: player, score, time, layer, combo.
LeaderboardEntry entryAt(const PGresult* result, int row, int first) {
    return {bytesAt(result, row, first), integerAt(result, row, first + 1), integerAt(result, row, first + 2),
            bytesAt(result, row, first + 3), integerAt(result, row, first + 4)};
}

// One row of the scores table an upload writes: for a player and level, the first
// of the highest entries (the merge rule applied in upload order) and the place of
// the first entry (a body of 1 MiB holds far fewer than 2^20).
struct Row {
    const std::string*      level;
    const LeaderboardEntry* entry;
    int32_t                 place;
};

std::vector<Row> rowsOf(const std::vector<LeaderboardLevel>& upload) {
    std::vector<Row>                                                rows;
    std::map<std::pair<std::string_view, std::string_view>, size_t> rowOf;
    int32_t                                                         place = 0;
    for (const LeaderboardLevel& level : upload) {
        for (const LeaderboardEntry& entry : level.scores) {
            const auto [row, added] = rowOf.try_emplace({level.name, entry.player}, rows.size());
            if (added) rows.push_back({&level.name, &entry, place});
            else if (entry.score > rows[row->second].entry->score) rows[row->second].entry = &entry;
            ++place;
        }
    }
    return rows;
}

Array uploadLevelNames(const std::vector<Row>& rows) {
    std::vector<std::string_view> names;
    for (const Row& row : rows) names.push_back(*row.level);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    Array array(kByteaType);
    for (const std::string_view name : names) array.add(name);
    return array;
}

// The merge statement's parameters, in its order.
std::vector<Array> scoreColumns(const std::vector<Row>& rows) {
    std::vector<Array> columns = {Array(kByteaType), Array(kByteaType),   Array(kIntegerType), Array(kIntegerType),
                                  Array(kByteaType), Array(kIntegerType), Array(kIntegerType)};
    for (const Row& row : rows) {
        columns[0].add(*row.level);
        columns[1].add(row.entry->player);
        columns[2].add(row.entry->score);
        columns[3].add(row.entry->time);
        columns[4].add(row.entry->highestLayer);
        columns[5].add(row.entry->highestCombo);
        columns[6].add(row.place);
    }
    return columns;
}

// Statements sent one after another without waiting for each reply: an upload
// costs one round trip to the database instead of one a statement. After a
// failure the database skips the rest up to the final sync.
class Pipeline {
public:
    explicit Pipeline(PGconn* connection) : connection_(connection) {
        if (PQenterPipelineMode(connection_) != 1) breakOff();
    }

    void send(Statement statement, const Params& params) {
        if (failed_) return;
        if (PQsendQueryPrepared(connection_, kStatements[statement].name, params.count(), params.values(),
                                params.lengths(), params.formats(), 1) != 1) {
            return breakOff();
        }
        ++pending_;
    }

    // Sends everything and reads every reply; false with the first failure in error.
    bool finish(std::string& error) {
        if (!broken_ && PQpipelineSync(connection_) != 1) breakOff();
        for (; !broken_ && pending_ > 0; --pending_) {
            if (!readReply()) breakOff();
        }
        if (!broken_) {
            const Result sync(PQgetResult(connection_));
            if (PQresultStatus(sync.get()) != PGRES_PIPELINE_SYNC) breakOff();
        }
        if (!broken_ && PQexitPipelineMode(connection_) != 1) breakOff();
        error = error_;
        return !failed_;
    }

    // Whether the connection is left in a state only closing it mends.
    bool broken() const { return broken_; }

private:
    // One statement's reply, then the null that ends it.
    bool readReply() {
        const Result reply(PQgetResult(connection_));
        if (reply == nullptr || PQstatus(connection_) == CONNECTION_BAD) return false;
        if (!succeeded(reply.get()) && PQresultStatus(reply.get()) != PGRES_PIPELINE_ABORTED) {
            fail(failureOf(connection_, reply.get()));
        }
        return Result(PQgetResult(connection_)) == nullptr;
    }

    void fail(const std::string& message) {
        if (!failed_) error_ = message;
        failed_ = true;
    }

    void breakOff() {
        fail(failureOf(connection_, nullptr));
        broken_ = true;
    }

    PGconn*     connection_;
    int         pending_ = 0;
    bool        failed_  = false;
    bool        broken_  = false;
    std::string error_;
};

class Connection {
public:
    Connection(std::string where, StoreCounters& counters) : where_(std::move(where)), counters_(counters) {}
    ~Connection() { PQfinish(connection_); }  // null is a no-op
    Connection(const Connection&)            = delete;
    Connection& operator=(const Connection&) = delete;

    bool open(bool createSchema, std::string& error) {
        return connect(error) && (!createSchema || prepareSchema(error)) && prepareStatements(error);
    }

    StoreStatus readAll(std::vector<LeaderboardLevel>& levels) {
        return run([&](std::string& error) { return readAllOnce(levels, error); });
    }

    StoreStatus levelNames(int64_t first, size_t count, std::vector<std::string>& names) {
        return run([&](std::string& error) { return levelNamesOnce(first, count, names, error); });
    }

    StoreStatus bestEntries(const std::string& level, int64_t first, size_t count,
                            std::vector<LeaderboardEntry>& entries) {
        return run([&](std::string& error) { return bestEntriesOnce(level, first, count, entries, error); });
    }

    StoreStatus playerScore(const std::string& level, const std::string& player, int32_t& score) {
        return run([&](std::string& error) { return playerScoreOnce(level, player, score, error); });
    }

    StoreStatus merge(const std::vector<LeaderboardLevel>& upload) {
        return run([&](std::string& error) { return mergeOnce(upload, error); });
    }

    StoreStatus counts(int64_t& levels, int64_t& entries) {
        return run([&](std::string& error) { return countsOnce(levels, entries, error); });
    }

    StoreStatus remove(const EntryFilter& filter, int64_t& removed) {
        return run([&](std::string& error) { return removeOnce(filter, removed, error); });
    }

private:
    // An operation that finds its connection lost runs once more on a new one:
    // the database may have restarted since the connection's last use. Running a
    // merge twice is harmless, the second finds nothing to raise.
    template <typename Operation>
    StoreStatus run(const Operation& operation) {
        std::string error;
        bool        reconnected = false;
        if (PQstatus(connection_) != CONNECTION_OK) {
            if (!reconnect(error)) return unavailable(error);
            reconnected = true;
        }
        StoreStatus status = operation(error);
        if (status == StoreStatus::Unavailable && PQstatus(connection_) != CONNECTION_OK && !reconnected) {
            if (!reconnect(error)) return unavailable(error);
            reconnected = true;
            status      = operation(error);
        }
        if (status == StoreStatus::Unavailable) return unavailable(error);
        if (reconnected) {
            counters_.reconnections.fetch_add(1, std::memory_order_relaxed);
            base::logInfo("Reconnected to the leaderboard database");
        }
        return status;
    }

    StoreStatus unavailable(const std::string& error) {
        base::logError("Leaderboard database error: %s", error.c_str());
        return StoreStatus::Unavailable;
    }

    // Our defaults come first: whatever the server's --db names overrides them.
    // The keepalives notice a database host gone silent within a minute.
    bool connect(std::string& error) {
        PQfinish(connection_);
        const char* keywords[] = {"connect_timeout",
                                  "application_name",
                                  "keepalives_idle",
                                  "keepalives_interval",
                                  "keepalives_count",
                                  "dbname",
                                  nullptr};
        const char* values[]   = {"5", "lumoka-server", "30", "10", "3", where_.c_str(), nullptr};
        connection_            = PQconnectdbParams(keywords, values, 1);
        if (PQstatus(connection_) != CONNECTION_OK) {
            error = connection_ != nullptr ? oneLine(PQerrorMessage(connection_)) : "out of memory";
            return false;
        }
        PQsetNoticeReceiver(connection_, logWarnings, nullptr);
        return true;
    }

    // While the database stays away, requests fail at once instead of each
    // waiting for a connection attempt of its own.
    bool reconnect(std::string& error) {
        const auto now = std::chrono::steady_clock::now();
        if (now < retryAt_) {
            error = lastError_;
            return false;
        }
        if (connect(error) && prepareStatements(error)) return true;
        PQfinish(connection_);  // half set up is not connected: the next operation tries again
        connection_ = nullptr;
        lastError_  = error;
        retryAt_    = now + kReconnectPause;
        return false;
    }

    bool prepareStatements(std::string& error) {
        for (const Prepared& statement : kStatements) {
            const Result prepared(PQprepare(connection_, statement.name, statement.sql, 0, nullptr));
            if (!succeeded(prepared.get())) return fail(prepared.get(), error);
        }
        return true;
    }

    bool prepareSchema(std::string& error) {
        if (!execute("BEGIN", error)) return false;
        int        version = 0;
        const bool ready   = execute("SELECT pg_advisory_xact_lock($1::bigint)", Params().text(kSchemaLock), error) &&
                           execute(kVersionTable, error) && storedVersion(version, error) &&
                           (version != 0 || createTables(error)) && notNewer(version, error) && createIndexes(error) &&
                           execute("COMMIT", error);
        if (!ready) {
            std::string ignored;
            execute("ROLLBACK", ignored);
        }
        return ready;
    }

    bool storedVersion(int& version, std::string& error) {
        const Result result(PQexecParams(connection_, "SELECT max(version) FROM schema_version", 0, nullptr, nullptr,
                                         nullptr, nullptr, 0));
        if (!succeeded(result.get())) return fail(result.get(), error);
        version = PQgetisnull(result.get(), 0, 0) ? 0 : std::atoi(PQgetvalue(result.get(), 0, 0));
        return true;
    }

    bool createTables(std::string& error) {
        const Result created(PQexec(connection_, kTables));
        if (!succeeded(created.get())) return fail(created.get(), error);
        return execute("INSERT INTO schema_version (version) VALUES ($1::integer)",
                       Params().text(std::to_string(kSchemaVersion)), error);
    }

    bool createIndexes(std::string& error) {
        const Result created(PQexec(connection_, kIndexes));
        return succeeded(created.get()) || fail(created.get(), error);
    }

    static bool notNewer(int version, std::string& error) {
        if (version <= kSchemaVersion) return true;
        error = "database schema version " + std::to_string(version) + " is newer than this server's " +
                std::to_string(kSchemaVersion);
        return false;
    }

    bool execute(const char* sql, std::string& error) { return execute(sql, Params(), error); }

    bool execute(const char* sql, const Params& params, std::string& error) {
        const Result result(PQexecParams(connection_, sql, params.count(), nullptr, params.values(), params.lengths(),
                                         params.formats(), 0));
        return succeeded(result.get()) || fail(result.get(), error);
    }

    Result prepared(Statement statement, const Params& params) {
        return Result(PQexecPrepared(connection_, kStatements[statement].name, params.count(), params.values(),
                                     params.lengths(), params.formats(), 1));
    }

    StoreStatus readAllOnce(std::vector<LeaderboardLevel>& levels, std::string& error) {
        levels.clear();
        const Result rows = prepared(ReadAll, Params());
        if (!succeeded(rows.get())) return unavailableWith(rows.get(), error);
        for (int row = 0; row < PQntuples(rows.get()); ++row) {
            std::string level = bytesAt(rows.get(), row, 0);
            if (levels.empty() || levels.back().name != level) levels.push_back({std::move(level), {}});
            levels.back().scores.push_back(entryAt(rows.get(), row, 1));
        }
        return StoreStatus::Ok;
    }

    StoreStatus levelNamesOnce(int64_t first, size_t count, std::vector<std::string>& names, std::string& error) {
        names.clear();
        const Result rows = prepared(LevelNames, Params().text(std::to_string(first)).text(std::to_string(count)));
        if (!succeeded(rows.get())) return unavailableWith(rows.get(), error);
        for (int row = 0; row < PQntuples(rows.get()); ++row) names.push_back(bytesAt(rows.get(), row, 0));
        return StoreStatus::Ok;
    }

    StoreStatus bestEntriesOnce(const std::string& level, int64_t first, size_t count,
                                std::vector<LeaderboardEntry>& entries, std::string& error) {
        entries.clear();
        const Result rows =
            prepared(BestEntries, Params().bytes(level).text(std::to_string(first)).text(std::to_string(count)));
        if (!succeeded(rows.get())) return unavailableWith(rows.get(), error);
        for (int row = 0; row < PQntuples(rows.get()); ++row) entries.push_back(entryAt(rows.get(), row, 0));
        return StoreStatus::Ok;
    }

    StoreStatus playerScoreOnce(const std::string& level, const std::string& player, int32_t& score,
                                std::string& error) {
        const Result rows = prepared(PlayerScore, Params().bytes(level).bytes(player));
        if (!succeeded(rows.get())) return unavailableWith(rows.get(), error);
        if (PQntuples(rows.get()) == 0) return StoreStatus::NotFound;
        score = integerAt(rows.get(), 0, 0);
        return StoreStatus::Ok;
    }

    StoreStatus countsOnce(int64_t& levels, int64_t& entries, std::string& error) {
        const Result rows = prepared(Counts, Params());
        if (!succeeded(rows.get())) return unavailableWith(rows.get(), error);
        levels  = bigintAt(rows.get(), 0, 0);
        entries = bigintAt(rows.get(), 0, 1);
        return StoreStatus::Ok;
    }

    StoreStatus removeOnce(const EntryFilter& filter, int64_t& removed, std::string& error) {
        std::string sql = "DELETE FROM scores WHERE true";
        Params      params;
        if (filter.level) {
            params.bytes(*filter.level);
            sql +=
                " AND level_id = (SELECT id FROM levels WHERE name = $" + std::to_string(params.count()) + "::bytea)";
        }
        if (filter.player) {
            params.bytes(*filter.player);
            sql += " AND player = $" + std::to_string(params.count()) + "::bytea";
        }
        if (filter.scoreAbove) {
            params.text(std::to_string(*filter.scoreAbove));
            sql += " AND score > $" + std::to_string(params.count()) + "::integer";
        }
        const Result result(PQexecParams(connection_, sql.c_str(), params.count(), nullptr, params.values(),
                                         params.lengths(), params.formats(), 0));
        if (!succeeded(result.get())) return unavailableWith(result.get(), error);
        removed = std::atoll(PQcmdTuples(result.get()));
        return StoreStatus::Ok;
    }

    StoreStatus mergeOnce(const std::vector<LeaderboardLevel>& upload, std::string& error) {
        const std::vector<Row> rows = rowsOf(upload);
        if (rows.empty()) return StoreStatus::Ok;
        Pipeline pipeline(connection_);
        pipeline.send(Begin, Params());
        pipeline.send(NextUpload, Params());
        pipeline.send(InsertLevels, Params().array(uploadLevelNames(rows)));
        pipeline.send(MergeScores, Params().arrays(scoreColumns(rows)));
        pipeline.send(Commit, Params());
        if (pipeline.finish(error)) return StoreStatus::Ok;
        if (pipeline.broken()) {
            PQfinish(connection_);  // the next operation connects afresh
            connection_ = nullptr;
        } else if (PQtransactionStatus(connection_) != PQTRANS_IDLE) {
            std::string ignored;
            execute("ROLLBACK", ignored);
        }
        return StoreStatus::Unavailable;
    }

    bool fail(const PGresult* result, std::string& error) {
        error = failureOf(connection_, result);
        return false;
    }

    StoreStatus unavailableWith(const PGresult* result, std::string& error) {
        fail(result, error);
        return StoreStatus::Unavailable;
    }

    std::string                           where_;
    StoreCounters&                        counters_;
    PGconn*                               connection_ = nullptr;
    std::chrono::steady_clock::time_point retryAt_;
    std::string                           lastError_;
};

class PostgresStore : public PooledStore<Connection> {
public:
    bool open(const std::string& where, int connections, std::string& error) {
        const auto openOne = [this, &where](std::unique_ptr<Connection>& connection, bool first, std::string& failure) {
            connection = std::make_unique<Connection>(where, counters);
            return connection->open(first, failure);
        };
        return fill(connections, openOne, error);
    }
};

}  // namespace

std::unique_ptr<LeaderboardStore> openPostgresStore(const std::string& where, int connections, std::string& error) {
    auto store = std::make_unique<PostgresStore>();
    if (!store->open(where, connections, error)) return nullptr;
    return store;
}
