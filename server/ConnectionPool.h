// A fixed set of database connections shared by the server's threads, for the
// storage engines (server/SqliteStore.h, server/PostgresStore.h): an operation
// leases one connection, uses it alone and gives it back; while every one is in
// use the next lease waits. What a connection is and does is the engine's matter.
#pragma once

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
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
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
