#include "net/HttpDatabase.h"

#include "base/Log.h"
#include "leaderboard/LeaderboardDocument.h"
#include "leaderboard/LeaderboardProtocol.h"
#include "leaderboard/LeaderboardRules.h"

#include <SDL3/SDL.h>
#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

using nlohmann::json;
using namespace std::chrono_literals;

namespace {

constexpr int  kTimeoutSeconds = 10;
constexpr auto kFinishGrace    = 1s;  // requests in flight at shut-down may finish on their own
constexpr auto kCancelGrace    = 1s;  // then they are cancelled and given this long to end
// A page of the server's leaderboard is a few MiB at most; what the game takes
// of it in all is bounded too, whatever the server holds or sends.
constexpr size_t kMaxPageBytes        = 4 * 1024 * 1024;
constexpr size_t kMaxLeaderboardBytes = 32 * 1024 * 1024;
constexpr int    kMaxPages            = 1000;

// The worker threads and the clients they are talking through. Never destroyed:
// a worker may outlive shut-down while it waits for a connect.
struct Workers {
    std::mutex                                    mutex;
    std::condition_variable                       finished;
    int                                           running  = 0;
    bool                                          stopping = false;
    std::vector<std::shared_ptr<httplib::Client>> clients;
    HttpDatabase::LocalCopy                       local;
};

Workers& workers() {
    static auto* state = new Workers;
    return *state;
}

HttpDatabase::LocalCopy localCopy() {
    std::lock_guard<std::mutex> lock(workers().mutex);
    return workers().local;
}

bool stopping() {
    std::lock_guard<std::mutex> lock(workers().mutex);
    return workers().stopping;
}

void finishWorker() {
    Workers&                    w = workers();
    std::lock_guard<std::mutex> lock(w.mutex);
    --w.running;
    w.finished.notify_all();
}

void launch(std::function<void()> job) {
    // Registered at the first request, after every static object a worker could
    // reach, so it runs before they are destroyed when the program ends without
    // shutting down (tests, helpers).
    static const bool finishAtExit = std::atexit(HttpDatabase::shutdown) == 0;
    (void)finishAtExit;
    Workers& w = workers();
    {
        std::lock_guard<std::mutex> lock(w.mutex);
        if (w.stopping) return;
        ++w.running;
    }
    try {
        std::thread([job = std::move(job)]() mutable {
            // The job and what it captured are gone before shut-down may return.
            std::exchange(job, nullptr)();
            SDL_CleanupTLS();  // the error text of a failed file load lives in this thread's storage
            finishWorker();
        }).detach();
    } catch (...) {
        finishWorker();
        throw;
    }
}

// Registers a client for the length of one request, so shut-down can cancel it.
class ClientLease {
public:
    explicit ClientLease(std::shared_ptr<httplib::Client> client) : client_(std::move(client)) {
        Workers&                    w = workers();
        std::lock_guard<std::mutex> lock(w.mutex);
        if (w.stopping) return;
        w.clients.push_back(client_);
        leased_ = true;
    }
    ~ClientLease() {
        Workers&                    w = workers();
        std::lock_guard<std::mutex> lock(w.mutex);
        std::erase(w.clients, client_);
    }
    ClientLease(const ClientLease&)            = delete;
    ClientLease& operator=(const ClientLease&) = delete;
    explicit     operator bool() const { return leased_; }

private:
    std::shared_ptr<httplib::Client> client_;
    bool                             leased_ = false;
};

// A stop waits for a connect in progress, so it runs on a thread of its own.
void cancelRequests(std::vector<std::shared_ptr<httplib::Client>> clients) {
    try {
        std::thread([clients = std::move(clients)] {
            for (const auto& client : clients) client->stop();
        }).detach();
    } catch (const std::exception&) {
    }
}

struct Target {
    std::string host;
    int         port = 80;
    std::string path;
};

Target parseTarget(const std::string& url, size_t schemeEnd, const std::string& scheme) {
    Target       target;
    const size_t hostStart = schemeEnd + 3;
    const size_t pathStart = url.find('/', hostStart);
    const size_t hostEnd   = pathStart == std::string::npos ? url.size() : pathStart;
    target.path            = pathStart == std::string::npos ? "/" : url.substr(pathStart);
    target.host            = url.substr(hostStart, hostEnd - hostStart);
    target.port            = scheme == "https" ? 443 : 80;
    const size_t colon     = url.find(':', hostStart);
    if (colon != std::string::npos && colon < hostEnd) {
        target.host = url.substr(hostStart, colon - hostStart);
        target.port = std::stoi(url.substr(colon + 1, hostEnd - colon - 1));
    }
    return target;
}

// A GET with a cap reads the reply in pieces and stops at the cap.
httplib::Result send(httplib::Client& client, const std::string& method, const Target& target, const std::string& body,
                     size_t maxReplyBytes, std::string& capped) {
    if (method == "GET" && maxReplyBytes > 0) {
        return client.Get(target.path.c_str(), [&](const char* data, size_t length) {
            if (capped.size() + length > maxReplyBytes) return false;
            capped.append(data, length);
            return true;
        });
    }
    if (method == "GET") return client.Get(target.path.c_str());
    return client.Post(target.path.c_str(), httplib::Headers{}, body, "application/json");
}

void loadLocalLeaderboard(const HttpDatabase::LocalCopy& local, const std::function<void(const json&)>& callback) {
    if (local.load) local.load(callback);
    else callback(json());
}

void loadLocalScore(const HttpDatabase::LocalCopy& local, const std::string& levelName, const std::string& playerName,
                    const std::function<void(int)>& callback) {
    if (local.loadScore) local.loadScore(levelName, playerName, callback);
    else callback(0);
}

int levelCount(const json& document) {
    if (!document.is_object() || !document.contains("levels") || !document["levels"].is_array()) return 0;
    return static_cast<int>(document["levels"].size());
}

}  // namespace

namespace HttpDatabase {

std::string baseUrl = configuredBaseUrl();

std::string configuredBaseUrl() {
    const char* configured = std::getenv("LUMOKA_SERVER_URL");
    std::string url        = configured != nullptr && *configured != '\0' ? configured : kDefaultServerUrl;
    while (url.size() > 1 && url.back() == '/') url.pop_back();
    return url;
}

void init() {
    {
        std::lock_guard<std::mutex> lock(workers().mutex);
        workers().stopping = false;
    }
    base::logInfo("HTTP Database initialized (pointing to %s)", baseUrl.c_str());
}

void useLocalCopy(LocalCopy local) {
    std::lock_guard<std::mutex> lock(workers().mutex);
    workers().local = std::move(local);
}

void shutdown() {
    Workers&                     w = workers();
    std::unique_lock<std::mutex> lock(w.mutex);
    w.stopping      = true;
    const auto idle = [&w] { return w.running == 0; };
    if (w.finished.wait_for(lock, kFinishGrace, idle)) return;
    cancelRequests(w.clients);
    if (w.finished.wait_for(lock, kCancelGrace, idle)) return;
    base::logError("Leaving %d leaderboard requests to end with the program", w.running);
}

bool request(const std::string& url, const std::string& method, const std::string& body, std::string& response,
             size_t maxReplyBytes) {
    try {
        const size_t schemeEnd = url.find("://");
        if (url.size() < 3 || schemeEnd == std::string::npos) {
            base::logError("Invalid URL format: %s", url.c_str());
            return false;
        }
        const std::string scheme = url.substr(0, schemeEnd);
        Target            target = parseTarget(url, schemeEnd, scheme);
        if (scheme == "https") {
            base::logInfo("Converting HTTPS to HTTP for local development: %s", url.c_str());
            if (target.port == 443) target.port = 80;
        }
        auto client = std::make_shared<httplib::Client>(target.host, target.port);
        if (!client->is_valid()) {
            base::logError("Failed to create HTTP client for %s", url.c_str());
            return false;
        }
        client->set_connection_timeout(kTimeoutSeconds, 0);
        client->set_read_timeout(kTimeoutSeconds, 0);
        client->set_write_timeout(kTimeoutSeconds, 0);
        client->set_tcp_nodelay(true);  // an upload's body must not wait for the headers' acknowledgement
        if (method != "GET" && method != "POST") {
            base::logError("Unsupported HTTP method: %s", method.c_str());
            return false;
        }
        const ClientLease lease(client);
        if (!lease) return false;
        std::string           capped;
        const httplib::Result result = send(*client, method, target, body, maxReplyBytes, capped);
        if (!result && result.error() == httplib::Error::Canceled && maxReplyBytes > 0 && !stopping()) {
            base::logError("Leaderboard server reply larger than %zu bytes ignored", maxReplyBytes);
            return false;
        }
        if (!result) {
            base::logError("HTTP request failed: %s", httplib::to_string(result.error()).c_str());
            return false;
        }
        if (result->status < 200 || result->status > 299) {
            base::logError("HTTP request failed with status: %d", result->status);
            return false;
        }
        response = maxReplyBytes > 0 && method == "GET" ? std::move(capped) : result->body;
        return true;
    } catch (const std::exception& error) {
        base::logError("HTTP request exception: %s", error.what());
        return false;
    }
}

// Workers are handed the base URL and the local copy when they start: they read
// no global that exit destroys.
namespace {

// What the server would refuse stays in the local file only; sending it would
// only earn a refusal on every save.
json uploadableDocument(const json& document) {
    std::vector<std::string> refused;
    json                     uploadable = uploadableLeaderboard(document, refused);
    for (const std::string& reason : refused) {
        base::logError("Not uploading a leaderboard entry the server would refuse (kept locally): %s", reason.c_str());
    }
    return uploadable;
}

// Whether the last upload or fetch found the server out of reach; read by the GUI.
std::atomic<bool> lastExchangeFailed{false};

void uploadLeaderboardTo(const std::string& base, const json& document) {
    const json uploadable = uploadableDocument(document);
    if (uploadable["levels"].empty()) return;
    std::string       reply;
    const std::string body = uploadable.dump(-1, ' ', false, json::error_handler_t::replace);
    if (!request(base + "/leaderboard", "POST", body, reply)) {
        lastExchangeFailed = true;
        base::logError("Failed to upload leaderboard to HTTP server, data saved locally only");
        return;
    }
    lastExchangeFailed = false;
    base::logInfo("Successfully uploaded leaderboard to HTTP server");
    try {
        const json parsed = json::parse(reply);
        if (parsed.is_object() && parsed.contains("success") && parsed["success"].get<bool>()) {
            base::logInfo("Server confirmed leaderboard upload");
        } else {
            base::logError("Server rejected leaderboard upload");
        }
    } catch (const json::exception& error) {
        base::logError("Failed to parse upload response: %s", error.what());
    }
}

// The server's pages, gathered into one document: the levels asked for (an older
// server sends them all: only those asked for are kept, each once), or every
// level, following "nextFrom". lowest: for each level the server cut short, the
// lowest score it sent.
class PageGatherer {
public:
    PageGatherer(const std::optional<std::vector<std::string>>& names) : names_(names) {}

    // The query of the next request; false when there is none.
    bool next(std::string& query) {
        if (names_) {
            if (asked_ >= names_->size()) return false;
            query.clear();
            for (size_t end = std::min(names_->size(), asked_ + kPageLevels); asked_ < end; ++asked_) {
                query += (query.empty() ? "?level=" : "&level=") + percentEncodeSegment((*names_)[asked_]);
            }
            return true;
        }
        if (from_ < 0 || pages_ >= kMaxPages) return false;
        query = from_ == 0 ? "" : "?from=" + std::to_string(from_);
        return true;
    }

    // A page's body; false when it is no leaderboard document or goes over the total.
    bool add(const std::string& body) {
        received_ += body.size();
        ++pages_;
        const json page = json::parse(body);
        if (!page.is_object() || !page.contains("levels") || !page["levels"].is_array()) return false;
        const int64_t from = page.value("nextFrom", int64_t{-1});
        from_              = !names_ && from > from_ ? from : -1;  // a page that does not go on ends it
        for (const json& level : page["levels"]) keep(level);
        return true;
    }

    bool full() const { return received_ > kMaxLeaderboardBytes; }

    json                           document = {{"levels", json::array()}};
    std::map<std::string, int32_t> lowest;

private:
    void keep(const json& level) {
        if (!level.is_object() || !level.contains("name") || !level["name"].is_string()) return;
        const std::string name = level["name"];
        if (!seen_.insert(name).second) return;
        if (names_ && std::find(names_->begin(), names_->end(), name) == names_->end()) return;
        json kept = level;
        if (kept.value("moreScores", false) && kept["scores"].is_array()) {
            int32_t least = INT32_MAX;
            for (const json& entry : kept["scores"]) {
                if (entry.is_object())
                    least = std::min(least, leaderboardInt(entry.value("score", json())).value_or(0));
            }
            lowest[name] = least;
        }
        kept.erase("moreScores");
        document["levels"].push_back(std::move(kept));
    }

    const std::optional<std::vector<std::string>>& names_;
    size_t                                         asked_    = 0;
    int64_t                                        from_     = 0;
    int                                            pages_    = 0;
    size_t                                         received_ = 0;
    std::set<std::string>                          seen_;
};

// False when a page could not be fetched or read; what came is in gathered.
bool fetchServerLeaderboard(const std::string& base, PageGatherer& gathered) {
    std::string query;
    while (gathered.next(query)) {
        std::string body;
        if (!request(base + "/leaderboard" + query, "GET", "", body, kMaxPageBytes) || body.empty()) return false;
        if (!gathered.add(body)) {
            base::logError("Failed to parse server response: not a leaderboard document");
            return false;
        }
        if (gathered.full()) {
            base::logError("Leaderboard from the server cut at %zu bytes", kMaxLeaderboardBytes);
            break;
        }
    }
    return true;
}

// The entries of document the server's answer could show as missing: in a level
// it cut short, one scoring no higher than the lowest it sent may be there unseen.
json comparableEntries(json document, const std::map<std::string, int32_t>& lowest) {
    for (json& level : document["levels"]) {
        const auto cut = lowest.find(level["name"].get<std::string>());
        if (cut == lowest.end()) continue;
        json& scores = level["scores"];
        json  shown  = json::array();
        for (json& entry : scores) {
            if (leaderboardInt(entry["score"]).value_or(0) > cut->second) shown.push_back(std::move(entry));
        }
        scores = std::move(shown);
    }
    return document;
}

void loadLeaderboardFrom(const std::string& base, const LocalCopy& local,
                         const std::function<void(const json&)>& callback) {
    const std::optional<std::vector<std::string>> names = local.levels ? local.levels() : std::nullopt;
    PageGatherer                                  gathered(names);
    bool                                          fetched = false;
    try {
        fetched = fetchServerLeaderboard(base, gathered);
    } catch (const json::exception& error) {
        base::logError("Failed to parse server response: %s", error.what());
    }
    if (fetched) {
        try {
            const json& server = gathered.document;
            base::logInfo("Loaded leaderboard from HTTP server (%d levels)", levelCount(server));
            lastExchangeFailed = false;
            // Runs saved while the server was out of reach stay, and go up again.
            const json merged = local.merge ? local.merge(server) : server;
            callback(merged);
            std::vector<std::string> refused;  // reported when the upload leaves them out
            if (holdsScoresMissingFrom(comparableEntries(uploadableLeaderboard(merged, refused), gathered.lowest),
                                       server)) {
                base::logInfo("Local leaderboard holds runs the server has not seen; uploading them");
                uploadLeaderboardTo(base, merged);
            }
            return;
        } catch (const std::exception& error) {
            base::logError("Failed to parse server response: %s", error.what());
        }
    }
    if (stopping()) return;
    lastExchangeFailed = true;
    loadLocalLeaderboard(local, callback);
}

void getPlayerScoreFrom(const std::string& base, const LocalCopy& local, const std::string& levelName,
                        const std::string& playerName, const std::function<void(int)>& callback) {
    const std::string url =
        base + "/player/" + percentEncodeSegment(levelName) + "/" + percentEncodeSegment(playerName);
    std::string body;
    if (request(url, "GET", "", body) && !body.empty()) {
        try {
            const json reply = json::parse(body);
            if (reply.is_object() && reply.contains("score") && reply["score"].is_number()) {
                const int score = leaderboardInt(reply["score"]).value_or(0);
                base::logInfo("Loaded player score from server: %s on %s = %d", playerName.c_str(), levelName.c_str(),
                              score);
                callback(score);
                return;
            }
        } catch (const json::exception& error) {
            base::logError("Failed to parse server response for player score: %s", error.what());
        }
    }
    if (stopping()) return;
    loadLocalScore(local, levelName, playerName, callback);
}

}  // namespace

bool serverLastFailed() { return lastExchangeFailed; }

void loadLeaderboard(const std::function<void(const json&)>& callback) {
    loadLeaderboardFrom(baseUrl, localCopy(), callback);
}

void getPlayerScore(const std::string& levelName, const std::string& playerName,
                    const std::function<void(int)>& callback) {
    getPlayerScoreFrom(baseUrl, localCopy(), levelName, playerName, callback);
}

void uploadLeaderboard(const json& document) { uploadLeaderboardTo(baseUrl, document); }

void loadLeaderboardAsync(std::function<void(const json&)> callback) {
    launch([base = baseUrl, local = localCopy(), callback = std::move(callback)] {
        loadLeaderboardFrom(base, local, callback);
    });
}

void getPlayerScoreAsync(const std::string& levelName, const std::string& playerName,
                         std::function<void(int)> callback) {
    launch([base = baseUrl, local = localCopy(), levelName, playerName, callback = std::move(callback)] {
        getPlayerScoreFrom(base, local, levelName, playerName, callback);
    });
}

void uploadLeaderboardAsync(json document) {
    launch([base = baseUrl, document = std::move(document)] { uploadLeaderboardTo(base, document); });
}

}  // namespace HttpDatabase
