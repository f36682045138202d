// An HTTP server on a free loopback port that answers each request with the reply
// a test set for its target (or the default one), can hold replies back until the
// test releases them, and remembers what it was asked.
#pragma once

#include <httplib.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct CannedReply {
    int         status = 200;
    std::string body;
    bool        held = false;  // waits for release() (at most 10 s)
};

struct SeenRequest {
    std::string method;
    std::string target;
    std::string body;
    std::string contentType;
};

class CannedServer {
public:
    CannedServer() {
        const auto handler = [this](const httplib::Request& request, httplib::Response& response) {
            answer(request, response);
        };
        server_.Get(R"([\s\S]*)", handler);
        server_.Post(R"([\s\S]*)", handler);
        port_   = server_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { server_.listen_after_bind(); });
    }

    ~CannedServer() {
        release();
        server_.stop();
        thread_.join();
    }

    CannedServer(const CannedServer&)            = delete;
    CannedServer& operator=(const CannedServer&) = delete;

    std::string baseUrl() const { return "http://127.0.0.1:" + std::to_string(port_) + "/api"; }
    int         port() const { return port_; }

    void set(CannedReply reply) {
        std::lock_guard<std::mutex> lock(mutex_);
        default_ = std::move(reply);
    }

    void setFor(const std::string& target, CannedReply reply) {
        std::lock_guard<std::mutex> lock(mutex_);
        byTarget_[target] = std::move(reply);
    }

    void release() {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

    bool waitForRequests(size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::seconds(10), [&] { return seen_.size() >= count; });
    }

    std::vector<SeenRequest> seen() const {
        std::lock_guard<std::mutex> lock(mutex_);
        return seen_;
    }

private:
    void answer(const httplib::Request& request, httplib::Response& response) {
        std::unique_lock<std::mutex> lock(mutex_);
        seen_.push_back({request.method, request.target, request.body, request.get_header_value("Content-Type")});
        changed_.notify_all();
        const auto        it    = byTarget_.find(request.target);
        const CannedReply reply = it == byTarget_.end() ? default_ : it->second;
        if (reply.held) changed_.wait_for(lock, std::chrono::seconds(10), [this] { return released_; });
        response.status = reply.status;
        response.body   = reply.body;
    }

    httplib::Server                    server_;
    std::thread                        thread_;
    int                                port_ = -1;
    mutable std::mutex                 mutex_;
    std::condition_variable            changed_;
    CannedReply                        default_;
    std::map<std::string, CannedReply> byTarget_;
    std::vector<SeenRequest>           seen_;
    bool                               released_ = false;
};
