#include "server/Metrics.h"

#include "server/LeaderboardStore.h"

#include <cstdio>

namespace {

constexpr double kBucketBounds[] = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.5, 2.5};

void line(std::string& out, const char* format, auto... values) {
    char buffer[256];
    std::snprintf(buffer, sizeof buffer, format, values...);
    out += buffer;
}

void counter(std::string& out, const char* name, const char* help, uint64_t value) {
    line(out, "# HELP %s %s\n# TYPE %s counter\n%s %llu\n", name, help, name, name,
         static_cast<unsigned long long>(value));
}

}  // namespace

void ServerMetrics::recordRequest(const std::string& route, int status, double seconds) {
    std::lock_guard<std::mutex> lock(mutex_);
    ++requests_[{route, status}];
    int bucket = 0;
    while (bucket < kBuckets && seconds > kBucketBounds[bucket]) ++bucket;
    ++durationCounts_[bucket];
    durationSum_ += seconds;
}

void ServerMetrics::recordUpload(int stored, int refused) {
    stored_.fetch_add(static_cast<uint64_t>(stored), std::memory_order_relaxed);
    refused_.fetch_add(static_cast<uint64_t>(refused), std::memory_order_relaxed);
}

std::string ServerMetrics::text(const StoreCounters& store) const {
    std::string out;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        out +=
            "# HELP lumoka_requests_total Requests answered, by route and status.\n"
            "# TYPE lumoka_requests_total counter\n";
        for (const auto& [key, count] : requests_) {
            line(out, "lumoka_requests_total{route=\"%s\",status=\"%d\"} %llu\n", key.first.c_str(), key.second,
                 static_cast<unsigned long long>(count));
        }
        out +=
            "# HELP lumoka_request_duration_seconds Time from a complete request to its reply.\n"
            "# TYPE lumoka_request_duration_seconds histogram\n";
        uint64_t cumulative = 0;
        for (int i = 0; i < kBuckets; ++i) {
            cumulative += durationCounts_[i];
            line(out, "lumoka_request_duration_seconds_bucket{le=\"%g\"} %llu\n", kBucketBounds[i],
                 static_cast<unsigned long long>(cumulative));
        }
        cumulative += durationCounts_[kBuckets];
        line(out, "lumoka_request_duration_seconds_bucket{le=\"+Inf\"} %llu\n",
             static_cast<unsigned long long>(cumulative));
        line(out, "lumoka_request_duration_seconds_sum %.6f\n", durationSum_);
        line(out, "lumoka_request_duration_seconds_count %llu\n", static_cast<unsigned long long>(cumulative));
    }
    counter(out, "lumoka_entries_stored_total", "Uploaded entries accepted for merging.", stored_.load());
    counter(out, "lumoka_entries_refused_total", "Uploaded entries refused, with a reason in the reply.",
            refused_.load());
    counter(out, "lumoka_rate_limited_total", "Uploads answered 429.", rateLimited_.load());
    counter(out, "lumoka_database_errors_total", "Database operations that failed.", store.errors.load());
    counter(out, "lumoka_database_reconnections_total", "Database connections opened again.",
            store.reconnections.load());
    line(out,
         "# HELP lumoka_open_connections Client connections open now.\n# TYPE lumoka_open_connections gauge\n"
         "lumoka_open_connections %lld\n",
         static_cast<long long>(connections_.load()));
    return out;
}
