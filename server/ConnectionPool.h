// A fixed set of database connections shared by the server's threads, and the
// store both engines build on it (server/SqliteStore.h, server/PostgresStore.h):
// an operation leases one connection, uses it alone and gives it back; while every
// one is in use the next lease waits. What a connection is and does is the
// engine's matter; it offers the store's operations under the same names.
#pragma once

#include "server/LeaderboardStore.h"

#include <algorithm>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <vector>

template <typename Connection>
class ConnectionPool {
public:
    class Lease {
    public:
        explicit Lease(ConnectionPool& pool) : pool_(pool) {
            std::unique_lock<std::mutex> lock(pool_.mutex_);
            pool_.returned_.wait(lock, [this] { return !pool_.idle_.empty(); });
            connection_ = std::move(pool_.idle_.back());
            pool_.idle_.pop_back();
        }
        ~Lease() { pool_.add(std::move(connection_)); }
        Lease(const Lease&)                 = delete;
        Lease&      operator=(const Lease&) = delete;
        Connection* operator->() const { return connection_.get(); }

    private:
        ConnectionPool&             pool_;
        std::unique_ptr<Connection> connection_;
    };

    void add(std::unique_ptr<Connection> connection) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            idle_.push_back(std::move(connection));
        }
        returned_.notify_one();
    }

    Lease lease() { return Lease(*this); }

private:
    std::mutex                               mutex_;
    std::condition_variable                  returned_;
    std::vector<std::unique_ptr<Connection>> idle_;
};

// Every operation of the store on a leased connection.
template <typename Connection>
class PooledStore : public LeaderboardStore {
public:
    // open(connection, first, error) opens one new connection; the first one
    // also prepares the schema.
    template <typename Open>
    bool fill(int count, const Open& open, std::string& error) {
        for (int i = 0; i < std::max(1, count); ++i) {
            std::unique_ptr<Connection> connection;
            if (!open(connection, i == 0, error)) return false;
            pool_.add(std::move(connection));
        }
        return true;
    }

    StoreStatus readAll(std::vector<LeaderboardLevel>& levels) override {
        return counted(pool_.lease()->readAll(levels));
    }

    // The page's levels and entries are read on one connection, a statement each.
    StoreStatus readPage(const PageQuery& query, Page& page) override {
        const auto               connection = pool_.lease();
        std::vector<std::string> names      = query.names;
        page                                = {};
        if (names.empty()) {
            const StoreStatus listed = connection->levelNames(query.firstLevel, query.levels + 1, names);
            if (listed != StoreStatus::Ok) return counted(listed);
            if (names.size() > query.levels) page.nextLevel = query.firstLevel + static_cast<int64_t>(query.levels);
            names.resize(std::min(names.size(), query.levels));
        }
        size_t budget = query.entries;
        for (size_t i = 0; i < names.size(); ++i) {
            if (budget == 0) {
                if (query.names.empty()) page.nextLevel = query.firstLevel + static_cast<int64_t>(i);
                break;
            }
            const size_t      wanted = std::min(query.entriesPerLevel, budget);
            PageLevel         level{{names[i], {}}};
            const StoreStatus read =
                connection->bestEntries(names[i], query.firstEntry, wanted + 1, level.level.scores);
            if (read != StoreStatus::Ok) return counted(read);
            if (level.level.scores.empty()) continue;
            level.moreEntries = level.level.scores.size() > wanted;
            level.level.scores.resize(std::min(wanted, level.level.scores.size()));
            budget -= level.level.scores.size();
            page.levels.push_back(std::move(level));
        }
        return StoreStatus::Ok;
    }

    StoreStatus playerScore(const std::string& level, const std::string& player, int32_t& score) override {
        return counted(pool_.lease()->playerScore(level, player, score));
    }

    StoreStatus merge(const std::vector<LeaderboardLevel>& upload) override {
        return counted(pool_.lease()->merge(upload));
    }

    StoreStatus counts(int64_t& levels, int64_t& entries) override {
        return counted(pool_.lease()->counts(levels, entries));
    }

    StoreStatus remove(const EntryFilter& filter, int64_t& removed) override {
        return counted(pool_.lease()->remove(filter, removed));
    }

protected:
    StoreStatus counted(StoreStatus status) {
        if (status == StoreStatus::Unavailable) counters.errors.fetch_add(1, std::memory_order_relaxed);
        return status;
    }

    ConnectionPool<Connection> pool_;
};
