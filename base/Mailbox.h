// Results that worker threads post for the main thread, which takes them all at
// once (once a frame). Holders share it through a shared_ptr, so a worker whose
// answer comes after its requester is gone writes into a box nobody reads
// instead of into freed memory.
#pragma once

#include <mutex>
#include <utility>
#include <vector>

template <typename T>
class Mailbox {
public:
    void post(T value) {
        std::lock_guard<std::mutex> lock(mutex_);
        items_.push_back(std::move(value));
    }

    std::vector<T> takeAll() {
        std::lock_guard<std::mutex> lock(mutex_);
        return std::exchange(items_, {});
    }

private:
    std::mutex     mutex_;
    std::vector<T> items_;
};
