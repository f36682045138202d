#include "server/HttpServer.h"

#include "base/Log.h"
#include "server/LeaderboardStore.h"
#include "server/Metrics.h"
#include "server/Pages.h"

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <mutex>
#include <optional>
#include <regex>
#include <thread>
#include <unordered_map>

namespace asio  = boost::asio;
namespace beast = boost::beast;
namespace http  = beast::http;
using tcp       = asio::ip::tcp;
using Clock     = std::chrono::steady_clock;

namespace {

constexpr size_t kMaxHeaderBytes  = 16 * 1024;
constexpr size_t kMaxHeaderFields = 100;
// Room for a whole header and the start of the next pipelined request; a body
// passes through it in pieces.
constexpr size_t kMaxBufferBytes = 4 * kMaxHeaderBytes;
// How long a refused client may go on sending before its connection is closed.
constexpr auto kDrainTime = std::chrono::seconds(2);
// Checking the database for /healthz may take this long before it counts as down.
constexpr auto kHealthDeadline = std::chrono::seconds(1);
// Out of file descriptors, accepting waits this long before it tries again.
constexpr auto kAcceptPause = std::chrono::milliseconds(100);

using Request  = http::request<http::string_body>;
using Response = http::response<http::string_body>;

Response reply(unsigned version, int status, std::string body, const char* type) {
    Response response(static_cast<http::status>(status), version);
    response.set(http::field::content_type, type);
    response.body() = std::move(body);
    response.prepare_payload();
    return response;
}

Response refusal(unsigned version, int status, const std::string& message) {
    Response response = reply(version, status, apiError(message), "application/json");
    response.keep_alive(false);
    return response;
}

// What a request that could not be read is answered with; nothing when the client
// went away or let its deadline pass (there is nobody to tell).
std::optional<std::pair<int, std::string>> readFailure(const beast::error_code& error) {
    if (error == http::error::header_limit || error == http::error::buffer_overflow) {
        return std::pair(431, "request header larger than " + std::to_string(kMaxHeaderBytes) + " bytes");
    }
    if (error == http::error::body_limit) {
        return std::pair(413, "body larger than " + std::to_string(kMaxUploadBytes) + " bytes");
    }
    if (error == http::error::bad_content_length || error == http::error::bad_transfer_encoding) {
        return std::pair(400, "conflicting or malformed length headers");
    }
    if (error.category() == http::make_error_code(http::error::end_of_stream).category() &&
        error != http::error::end_of_stream && error != http::error::partial_message) {
        return std::pair(400, "malformed request (" + error.message() + ")");
    }
    return std::nullopt;
}

// Smuggling guards the parser leaves to us: a length given twice, even with the
// same value, or together with a transfer coding.
bool conflictingLengths(const Request& request) {
    const size_t lengths = request.count(http::field::content_length);
    if (lengths > 1) return true;
    if (lengths == 1 && request.count(http::field::transfer_encoding) > 0) return true;
    return lengths == 1 && request[http::field::content_length].find(',') != beast::string_view::npos;
}

size_t fieldCount(const Request& request) { return static_cast<size_t>(std::distance(request.begin(), request.end())); }

// The metrics' route names: a fixed few, whatever the path holds.
std::string routeOf(const std::string& target) {
    const std::string path = target.substr(0, target.find('?'));
    if (path == "/api/leaderboard") return "/api/leaderboard";
    if (path.starts_with("/api/player/")) return "/api/player";
    if (path == "/healthz" || path == "/metrics" || path == "/") return path;
    if (path.starts_with("/level/")) return "/level";
    return "other";
}

// Open connections and the upload allowance of every client address, for all
// event threads.
class AddressBook {
public:
    AddressBook(int connectionsPerAddress, int uploadsPerMinute)
        : cap_(connectionsPerAddress), burst_(uploadsPerMinute), perSecond_(uploadsPerMinute / 60.0) {}

    bool admit(const std::string& address) {
        std::lock_guard<std::mutex> lock(mutex_);
        Peer&                       peer = find(address);
        if (peer.connections >= cap_) return false;
        ++peer.connections;
        return true;
    }

    void leave(const std::string& address) {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto                  it = peers_.find(address);
        if (it == peers_.end()) return;
        --it->second.connections;
        forgetIfIdle(it);
    }

    // Seconds until this address may upload again; 0 when it may now (and it is counted).
    int uploadWait(const std::string& address) {
        std::lock_guard<std::mutex> lock(mutex_);
        Peer&                       peer = find(address);
        refill(peer);
        if (peer.tokens >= 1) {
            peer.tokens -= 1;
            return 0;
        }
        return std::max(1, static_cast<int>(std::ceil((1 - peer.tokens) / perSecond_)));
    }

private:
    struct Peer {
        int               connections = 0;
        double            tokens      = 0;
        Clock::time_point refilled;
    };

    Peer& find(const std::string& address) {
        const auto [it, added] = peers_.try_emplace(address);
        if (added) it->second = {0, static_cast<double>(burst_), Clock::now()};
        return it->second;
    }

    void refill(Peer& peer) {
        const Clock::time_point now     = Clock::now();
        const double            seconds = std::chrono::duration<double>(now - peer.refilled).count();
        peer.tokens                     = std::min<double>(burst_, peer.tokens + seconds * perSecond_);
        peer.refilled                   = now;
    }

    // An address with nothing open and its allowance back in full need not be remembered.
    void forgetIfIdle(std::unordered_map<std::string, Peer>::iterator it) {
        refill(it->second);
        if (it->second.connections == 0 && it->second.tokens >= burst_) peers_.erase(it);
    }

    std::mutex                            mutex_;
    int                                   cap_;
    int                                   burst_;
    double                                perSecond_;
    std::unordered_map<std::string, Peer> peers_;
};

}  // namespace

struct ServerCore {
    explicit ServerCore(const ServerOptions& options)
        : options(options),
          addresses(options.connectionsPerAddress, options.uploadsPerMinute),
          events(options.threads),
          work(static_cast<size_t>(options.threads)) {}

    void accept();
    void pauseAccepting(const beast::error_code& error);
    // The pool a request is answered on: /healthz has its own, so no load of
    // reads or uploads keeps it waiting.
    asio::thread_pool::executor_type poolFor(const Request& request);
    // The reply to a complete request, on a thread of its pool.
    Response answer(const Request& request, const std::string& address);
    Response health(unsigned version);
    Response publicPage(unsigned version, const std::string& target);
    Response metricsText(unsigned version);

    // Sessions still queued when the server ends are destroyed with the pools and
    // the event loop, and they touch the address book and the metrics.
    ServerOptions                     options;
    std::unique_ptr<LeaderboardStore> store;
    std::unique_ptr<LeaderboardStore> healthStore;  // a connection of its own
    ServerMetrics                     metrics;
    QuotaGauge                        quota;
    AddressQuotas                     senders;
    AddressBook                       addresses;
    asio::io_context                  events;
    tcp::acceptor                     acceptor{events};
    asio::steady_timer                acceptPause{events};
    bool                              descriptorsOut = false;  // accept handlers run one at a time
    // The store's work, off the event threads: one thread a connection.
    asio::thread_pool work;
    asio::thread_pool checks{1};
};

namespace {

// One client connection on the event thread: reads a request within the deadline,
// hands it to a worker, writes the reply, then reads the next (pipelined ones wait
// in the buffer, so replies keep their order).
class Session : public std::enable_shared_from_this<Session> {
public:
    Session(tcp::socket socket, ServerCore& server, std::string address)
        : stream_(std::move(socket)), server_(server), address_(std::move(address)) {
        server_.metrics.connectionOpened();
    }
    ~Session() {
        server_.addresses.leave(address_);
        server_.metrics.connectionClosed();
    }

    void readHeader() {
        parser_.emplace();
        parser_->header_limit(kMaxHeaderBytes);
        parser_->body_limit(kMaxUploadBytes);
        stream_.expires_after(std::chrono::seconds(server_.options.requestSeconds));
        http::async_read_header(
            stream_, buffer_, *parser_,
            [self = shared_from_this()](beast::error_code error, size_t) { self->onHeader(error); });
    }

private:
    void onHeader(const beast::error_code& error) {
        if (error) return fail(error);
        const Request& request = parser_->get();
        if (fieldCount(request) > kMaxHeaderFields) {
            return refuse(431, "more than " + std::to_string(kMaxHeaderFields) + " header fields");
        }
        if (conflictingLengths(request)) return refuse(400, "conflicting or malformed length headers");
        if (parser_->is_done()) return dispatch();
        http::async_read(stream_, buffer_, *parser_, [self = shared_from_this()](beast::error_code failure, size_t) {
            if (failure) return self->fail(failure);
            self->dispatch();
        });
    }

    void fail(const beast::error_code& error) {
        const auto answer = readFailure(error);
        if (answer) return refuse(answer->first, answer->second);
        close();
    }

    void dispatch() {
        stream_.expires_never();  // the time a request waits for the database is not the client's
        request_ = parser_->release();
        started_ = Clock::now();
        if (request_.method() == http::verb::post) {
            const int wait = server_.addresses.uploadWait(address_);
            if (wait > 0) {
                server_.metrics.recordRateLimited();
                Response response =
                    reply(request_.version(), 429, apiError("too many uploads, try again later"), "application/json");
                response.set(http::field::retry_after, std::to_string(wait));
                response.keep_alive(request_.keep_alive());
                return writeAnswer(std::move(response));
            }
        }
        // Nothing else touches the session until the reply comes back to its strand.
        asio::post(server_.poolFor(request_), [self = shared_from_this()] {
            Response response = self->server_.answer(self->request_, self->address_);
            asio::post(self->stream_.get_executor(),
                       [self, response = std::move(response)]() mutable { self->writeAnswer(std::move(response)); });
        });
    }

    void writeAnswer(Response response) {
        write(std::move(response), std::string(request_.method_string()), std::string(request_.target()));
    }

    void refuse(int status, const std::string& message) {
        started_ = Clock::now();
        refused_ = true;
        write(refusal(11, status, message), "-", "-");
    }

    void write(Response response, const std::string& method, const std::string& target) {
        const double seconds = std::chrono::duration<double>(Clock::now() - started_).count();
        server_.metrics.recordRequest(routeOf(target), response.result_int(), seconds);
        if (server_.options.logRequests)
            base::logInfo("%s %s %u", method.c_str(), target.c_str(), response.result_int());
        response_ = std::move(response);
        // A client that does not take its reply is as slow as one that does not send.
        stream_.expires_after(std::chrono::seconds(server_.options.requestSeconds));
        http::async_write(stream_, response_, [self = shared_from_this()](beast::error_code error, size_t) {
            if (!error && self->refused_) return self->drainThenClose();
            if (error || !self->response_.keep_alive()) return self->close();
            self->readHeader();
        });
    }

    // A refused client may still be sending; closing on unread data would reset
    // the connection and lose the reply it has not read yet.
    void drainThenClose() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
        stream_.expires_after(kDrainTime);
        drain();
    }

    void drain() {
        static std::array<char, 16384> discarded;  // one event thread, and nobody reads it
        stream_.async_read_some(asio::buffer(discarded), [self = shared_from_this()](beast::error_code error, size_t) {
            if (error) return self->close();
            self->drain();
        });
    }

    void close() {
        beast::error_code ignored;
        stream_.socket().shutdown(tcp::socket::shutdown_both, ignored);
        stream_.close();
    }

    beast::tcp_stream                                      stream_;
    ServerCore&                                            server_;
    std::string                                            address_;
    beast::flat_buffer                                     buffer_{kMaxBufferBytes};
    std::optional<http::request_parser<http::string_body>> parser_;
    Request                                                request_;
    Response                                               response_;
    Clock::time_point                                      started_;
    bool                                                   refused_ = false;
};

std::string peerAddress(const tcp::socket& socket) {
    beast::error_code   error;
    const tcp::endpoint peer = socket.remote_endpoint(error);
    return error ? std::string() : peer.address().to_string();
}

}  // namespace

void ServerCore::accept() {
    acceptor.async_accept(asio::make_strand(events), [this](beast::error_code error, tcp::socket socket) {
        if (error == asio::error::operation_aborted) return;
        if (error.category() == asio::error::get_system_category() &&
            (error.value() == EMFILE || error.value() == ENFILE)) {
            return pauseAccepting(error);
        }
        if (!error) {
            descriptorsOut = false;
            socket.set_option(tcp::no_delay(true), error);
            std::string address = peerAddress(socket);
            // Beyond its cap an address's new connection is closed at once, costing nothing.
            if (!address.empty() && addresses.admit(address)) {
                std::make_shared<Session>(std::move(socket), *this, std::move(address))->readHeader();
            }
        }
        accept();
    });
}

// The connection waiting in the queue would fail again at once: wait for clients
// to leave instead of spinning, and say so once.
void ServerCore::pauseAccepting(const beast::error_code& error) {
    if (!descriptorsOut) {
        base::logError("Out of file descriptors (%s): new connections wait until clients leave",
                       error.message().c_str());
    }
    descriptorsOut = true;
    acceptPause.expires_after(kAcceptPause);
    acceptPause.async_wait([this](const beast::error_code& cancelled) {
        if (!cancelled) accept();
    });
}

asio::thread_pool::executor_type ServerCore::poolFor(const Request& request) {
    const std::string target(request.target());
    return target.substr(0, target.find('?')) == "/healthz" ? checks.get_executor() : work.get_executor();
}

Response ServerCore::health(unsigned version) {
    const Clock::time_point start = Clock::now();
    int32_t                 score = 0;
    // An indexed look-up reaches the tables and costs the same whatever they hold.
    const bool answered =
        healthStore->playerScore("", "", score) != StoreStatus::Unavailable && Clock::now() - start <= kHealthDeadline;
    return answered ? reply(version, 200, "ok\n", "text/plain; charset=utf-8")
                    : reply(version, 503, "database unavailable\n", "text/plain; charset=utf-8");
}

// "/" or "/level/<percent-encoded name>", each with an optional "?from=N" for
// the page that starts at the N-th level or entry.
Response ServerCore::publicPage(unsigned version, const std::string& target) {
    constexpr std::string_view kLevelPrefix = "/level/";
    const char*                html         = "text/html; charset=utf-8";
    static const std::regex    fromPart(R"((?:^|&)from=(\d{1,15})(?:&|$))");
    const size_t               question = target.find('?');
    const std::string          path     = target.substr(0, question);
    std::smatch                from;
    const std::string          query = question == std::string::npos ? std::string() : target.substr(question + 1);
    const int64_t              first = std::regex_search(query, from, fromPart) ? std::stoll(from[1]) : 0;
    PageQuery                  shown;
    if (path == "/") {
        shown.firstLevel      = first;
        shown.levels          = kPageLevelsShown;
        shown.entriesPerLevel = kPageLevelEntries;
        shown.entries         = kPageLevelsShown * kPageLevelEntries;
    } else {
        std::string name;
        if (!percentDecode(std::string_view(path).substr(kLevelPrefix.size()), name)) {
            return reply(version, 400, levelPage("Malformed level name", nullptr, 0), html);
        }
        shown.names           = {name};
        shown.firstEntry      = first;
        shown.entriesPerLevel = kPageEntriesShown;
        shown.entries         = kPageEntriesShown;
    }
    Page page;
    if (store->readPage(shown, page) != StoreStatus::Ok) {
        return reply(version, 503, "database unavailable\n", "text/plain");
    }
    if (path == "/") return reply(version, 200, leaderboardPage(page, first), html);
    const PageLevel* level = page.levels.empty() ? nullptr : &page.levels.front();
    return reply(version, level != nullptr ? 200 : 404, levelPage(shown.names.front(), level, first), html);
}

Response ServerCore::metricsText(unsigned version) {
    StoreCounters both;  // the request connections' and the health check's
    both.errors        = store->counters.errors + healthStore->counters.errors;
    both.reconnections = store->counters.reconnections + healthStore->counters.reconnections;
    return reply(version, 200, metrics.text(both), "text/plain; version=0.0.4");
}

Response ServerCore::answer(const Request& request, const std::string& address) {
    const std::string target(request.target());
    const std::string path = target.substr(0, target.find('?'));
    const bool        head = request.method() == http::verb::head;
    const bool        get  = head || request.method() == http::verb::get;
    Response          response;
    if (get && path == "/healthz") {
        response = health(request.version());
    } else if (get && (path == "/" || path.starts_with("/level/"))) {
        response = publicPage(request.version(), target);
    } else if (get && path == "/metrics") {
        response = metricsText(request.version());
    } else {
        const std::string method = head ? "GET" : std::string(request.method_string());
        const ApiReply    api =
            handleApiRequest(*store, method, target, request.body(), options.limits, &quota, {&senders, address});
        if (api.stored > 0 || api.refused > 0) metrics.recordUpload(api.stored, api.refused);
        response = reply(request.version(), api.status, api.body, "application/json");
    }
    response.keep_alive(request.keep_alive());
    // A HEAD is told what a GET would get, its length included, but never the body:
    // a keep-alive client would read it as the next reply.
    if (head) response.body().clear();
    return response;
}

LeaderboardServer::LeaderboardServer()  = default;
LeaderboardServer::~LeaderboardServer() = default;

bool LeaderboardServer::start(const ServerOptions& options) {
    core_ = std::make_unique<ServerCore>(options);
    std::string error;
    core_->store = openLeaderboardStore(options.database, options.threads, error);
    if (core_->store) core_->healthStore = openLeaderboardStore(options.database, 1, error);
    if (!core_->store || !core_->healthStore) {
        base::logError("Failed to open leaderboard database %s: %s", printableLocation(options.database).c_str(),
                       error.c_str());
        return false;
    }
    beast::error_code failure;
    tcp::resolver     resolver(core_->events);
    const auto        found    = resolver.resolve(options.host, std::to_string(options.port), failure);
    tcp::acceptor&    acceptor = core_->acceptor;
    // Only SO_REUSEADDR: a second server must not be able to take a port in use.
    if (!failure && !found.empty()) {
        const tcp::endpoint endpoint = found.begin()->endpoint();
        acceptor.open(endpoint.protocol(), failure);
        if (!failure) acceptor.set_option(tcp::acceptor::reuse_address(true), failure);
        if (!failure) acceptor.bind(endpoint, failure);
        if (!failure) acceptor.listen(asio::socket_base::max_listen_connections, failure);
    }
    if (failure || found.empty()) {
        base::logError("Failed to listen on %s:%d", options.host.c_str(), options.port);
        return false;
    }
    port_ = acceptor.local_endpoint().port();
    base::logInfo("Leaderboard server listening on http://%s:%d/api (database %s)", options.host.c_str(), port_,
                  printableLocation(options.database).c_str());
    return true;
}

bool LeaderboardServer::serve() {
    core_->accept();
    std::vector<std::thread> more;
    for (int i = 1; i < core_->options.threads; ++i) more.emplace_back([this] { core_->events.run(); });
    core_->events.run();
    for (std::thread& thread : more) thread.join();
    // Requests in progress finish; those still waiting end with their connections.
    for (asio::thread_pool* pool : {&core_->work, &core_->checks}) {
        pool->stop();
        pool->join();
    }
    return true;
}

void LeaderboardServer::stop() {
    if (core_) core_->events.stop();
}
