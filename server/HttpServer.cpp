#include "server/HttpServer.h"

#include "base/Log.h"
#include "server/Api.h"
#include "server/LeaderboardStore.h"

#include <httplib.h>

namespace {

// Names may hold anything once decoded, line breaks too: match every path.
constexpr const char* kAnyPath = R"([\s\S]*)";

// Replies the library makes itself (an unreadable request, a body over the limit)
// get the same JSON error shape as ours.
void fillLibraryError(const httplib::Request&, httplib::Response& response) {
    if (!response.body.empty()) return;
    const std::string message = response.status == 413 ? "body larger than " + std::to_string(kMaxUploadBytes) + " bytes"
                                                       : "request refused (status " + std::to_string(response.status) + ")";
    response.set_content(apiError(message), "application/json");
}

// The library's default also sets SO_REUSEPORT, which lets a second server take
// the same port and share its requests; a port in use must be an error instead.
void reuseAddressOnly(socket_t socket) {
    const int yes = 1;
    setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
}

}  // namespace

LeaderboardServer::LeaderboardServer() = default;
LeaderboardServer::~LeaderboardServer() = default;

bool LeaderboardServer::start(const ServerOptions& options) {
    std::string error;
    store_ = openLeaderboardStore(options.database, options.threads, error);
    if (!store_) {
        netlog::error("Failed to open leaderboard database %s: %s", printableLocation(options.database).c_str(),
                      error.c_str());
        return false;
    }
    http_ = std::make_unique<httplib::Server>();
    const size_t threads = static_cast<size_t>(options.threads);
    http_->new_task_queue = [threads] { return new httplib::ThreadPool(threads); };
    http_->set_payload_max_length(kMaxUploadBytes);
    http_->set_keep_alive_max_count(1000);
    // Headers and body go out in separate writes; without this each reply waits
    // for the client's delayed acknowledgement (about 40 ms).
    http_->set_tcp_nodelay(true);
    http_->set_error_handler(fillLibraryError);
    http_->set_socket_options(reuseAddressOnly);
    if (options.logRequests) {
        http_->set_logger([](const httplib::Request& request, const httplib::Response& response) {
            netlog::info("%s %s %d", request.method.c_str(), request.target.c_str(), response.status);
        });
    }
    route();
    port_ = options.port == 0 ? http_->bind_to_any_port(options.host.c_str())
                              : (http_->bind_to_port(options.host.c_str(), options.port) ? options.port : -1);
    if (port_ <= 0) {
        netlog::error("Failed to listen on %s:%d", options.host.c_str(), options.port);
        return false;
    }
    netlog::info("Leaderboard server listening on http://%s:%d/api (database %s)", options.host.c_str(), port_,
                 printableLocation(options.database).c_str());
    return true;
}

void LeaderboardServer::route() {
    LeaderboardStore& store = *store_;
    const auto handle = [&store](const httplib::Request& request, httplib::Response& response) {
        const ApiReply reply = handleApiRequest(store, request.method, request.target, request.body);
        response.status = reply.status;
        response.set_content(reply.body, "application/json");
    };
    http_->Get(kAnyPath, handle);
    http_->Post(kAnyPath, handle);
    http_->Put(kAnyPath, handle);
    http_->Patch(kAnyPath, handle);
    http_->Delete(kAnyPath, handle);
}

bool LeaderboardServer::serve() { return http_->listen_after_bind(); }

void LeaderboardServer::stop() {
    if (http_) http_->stop();
}
