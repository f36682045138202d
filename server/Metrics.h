// What lumoka-server counts for operators, written in the Prometheus text format
// for GET /metrics: requests by route and status, a request-duration histogram,
// entries stored and refused, rate-limited requests, database errors and
// reconnections (the store's own counters), open connections. Any thread may
// record; the HTTP layer decides what a route is.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>

struct StoreCounters;

class ServerMetrics {
public:
    void recordRequest(const std::string& route, int status, double seconds);
    void recordUpload(int stored, int refused);
    void recordRateLimited() { rateLimited_.fetch_add(1, std::memory_order_relaxed); }
    void connectionOpened() { connections_.fetch_add(1, std::memory_order_relaxed); }
    void connectionClosed() { connections_.fetch_sub(1, std::memory_order_relaxed); }

    std::string text(const StoreCounters& store) const;

private:
    static constexpr int kBuckets = 9;

    mutable std::mutex                              mutex_;
    std::map<std::pair<std::string, int>, uint64_t> requests_;
    uint64_t                                        durationCounts_[kBuckets + 1] = {};  // the last is +Inf
    double                                          durationSum_                  = 0;
    std::atomic<uint64_t>                           stored_{0};
    std::atomic<uint64_t>                           refused_{0};
    std::atomic<uint64_t>                           rateLimited_{0};
    std::atomic<int64_t>                            connections_{0};
};
