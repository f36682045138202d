// lumoka-server meeting careless and hostile clients over raw loopback sockets:
// slow and idle connections, floods of header fields, pipelined requests,
// conflicting length headers, too many uploads, one address filling the board,
// reads of a board too large for one answer, HEAD requests, running out of file
// descriptors; and what it tells operators (/healthz, /metrics).
#include "support/ServerProcess.h"

#include <gtest/gtest.h>
#include <httplib.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include <sys/resource.h>

#include <chrono>
#include <dirent.h>
#include <fstream>
#include <regex>
#include <thread>

using nlohmann::json;

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

const std::string kUpload = R"({"levels": [{"name": "Song A", "scores": [{"player": "Ann", "score": 12}]}]})";

// A client socket on loopback; from is the local address it binds first, so one
// test can be several clients.
class Socket {
public:
    Socket(int port, const char* from = "127.0.0.1") : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in local{};
        local.sin_family = AF_INET;
        inet_pton(AF_INET, from, &local.sin_addr);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&local), sizeof local);
        sockaddr_in server{};
        server.sin_family = AF_INET;
        server.sin_port   = htons(static_cast<uint16_t>(port));
        inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
        connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&server), sizeof server) == 0;
    }
    ~Socket() { ::close(fd_); }
    Socket(const Socket&)            = delete;
    Socket& operator=(const Socket&) = delete;

    bool connected() const { return connected_; }

    bool send(const std::string& bytes) {
        size_t sent = 0;
        while (sent < bytes.size()) {
            const ssize_t n = ::send(fd_, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
            if (n <= 0) return false;
            sent += static_cast<size_t>(n);
        }
        return true;
    }

    // Everything received until the peer closes, until `until` is found `count`
    // times, or until the time is up.
    std::string receive(std::chrono::milliseconds limit, const std::string& until = {}, size_t count = 1) {
        std::string             data;
        const Clock::time_point end = Clock::now() + limit;
        while (Clock::now() < end && (until.empty() || occurrences(data, until) < count)) {
            pollfd     ready{fd_, POLLIN, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            if (::poll(&ready, 1, static_cast<int>(std::max<int64_t>(1, left.count()))) <= 0) continue;
            char          buffer[65536];
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0) break;
            data.append(buffer, static_cast<size_t>(n));
        }
        return data;
    }

    static size_t occurrences(const std::string& text, const std::string& part) {
        size_t count = 0;
        for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++count;
        return count;
    }

private:
    int  fd_;
    bool connected_ = false;
};

std::string statusLine(const std::string& reply) { return reply.substr(0, reply.find("\r\n")); }

std::string get(const std::string& path) { return "GET " + path + " HTTP/1.1\r\nHost: lumoka\r\n\r\n"; }

TEST(ServerLimits, AnotherClientIsAnsweredQuicklyWhileTwoHundredConnectionsDripOrIdle) {
    testsupport::ServerProcess server;
    ASSERT_TRUE(server.started());
    std::vector<std::unique_ptr<Socket>> slow;
    for (int i = 0; i < 200; ++i) {
        slow.push_back(std::make_unique<Socket>(server.port(), "127.0.0.2"));
        // Half send the first bytes of a request and stop there, half send nothing.
        if (i % 2 == 0) slow.back()->send("POST /api/leaderboard HTTP/1.1\r\nHost: lumoka\r\nContent-Le");
    }
    for (int round = 0; round < 3; ++round) {
        for (size_t i = 0; i < slow.size(); i += 2) slow[i]->send("n");  // a drip, never a whole line
        const Clock::time_point start = Clock::now();
        Socket                  other(server.port());
        ASSERT_TRUE(other.send(get("/api/leaderboard")));
        const std::string reply = other.receive(2000ms, "{\"levels\":[]}");
        const auto        took  = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
        EXPECT_EQ(statusLine(reply), "HTTP/1.1 200 OK");
        EXPECT_LT(took.count(), 100) << "round " << round;
    }
}

TEST(ServerLimits, ARequestMustArriveWholeWithinItsDeadline) {
    testsupport::ServerProcess server({}, {"--request-seconds", "1"});
    ASSERT_TRUE(server.started());
    Socket drip(server.port());
    ASSERT_TRUE(drip.connected());
    const Clock::time_point start = Clock::now();
    for (const char byte : get("/api/leaderboard")) {
        if (!drip.send(std::string(1, byte)) || !drip.receive(100ms).empty()) break;
    }
    EXPECT_EQ(drip.receive(2000ms), "") << "closed without a reply";
    EXPECT_LT(Clock::now() - start, 3s);
}

TEST(ServerLimits, HeaderFloodsAreRefusedBeforeTheyGrow) {
    testsupport::ServerProcess server;
    ASSERT_TRUE(server.started());
    std::string many = "GET /api/leaderboard HTTP/1.1\r\nHost: lumoka\r\n";
    for (int i = 0; i < 150; ++i) many += "x: y\r\n";
    Socket counted(server.port());
    counted.send(many + "\r\n");
    EXPECT_EQ(statusLine(counted.receive(2000ms)), "HTTP/1.1 431 Request Header Fields Too Large");

    Socket large(server.port());
    large.send("GET /api/leaderboard HTTP/1.1\r\nHost: lumoka\r\nx: " + std::string(20000, 'y') + "\r\n\r\n");
    EXPECT_EQ(statusLine(large.receive(2000ms)), "HTTP/1.1 431 Request Header Fields Too Large");
}

TEST(ServerLimits, PipelinedRequestsAreAllAnsweredInOrder) {
    testsupport::ServerProcess server;
    ASSERT_TRUE(server.started());
    Socket      client(server.port());
    std::string burst;
    for (int i = 0; i < 1000; ++i)
        burst += get(i % 2 == 0 ? "/api/leaderboard" : "/api/player/L/p" + std::to_string(i));
    ASSERT_TRUE(client.send(burst));
    const std::string replies = client.receive(20s, "HTTP/1.1 ", 1000);
    EXPECT_EQ(Socket::occurrences(replies, "HTTP/1.1 200 OK"), 500u);
    EXPECT_EQ(Socket::occurrences(replies, "HTTP/1.1 404 Not Found"), 500u);
    // The order shows in the alternation: every 404 follows a 200.
    const std::regex line("HTTP/1\\.1 (\\d+)");
    int              expected = 200, seen = 0;
    for (auto it = std::sregex_iterator(replies.begin(), replies.end(), line); it != std::sregex_iterator();
         ++it, ++seen) {
        ASSERT_EQ(std::stoi((*it)[1]), expected) << "reply " << seen;
        expected = expected == 200 ? 404 : 200;
    }
}

TEST(ServerLimits, ConflictingLengthHeadersAreRefused) {
    testsupport::ServerProcess server;
    ASSERT_TRUE(server.started());
    const std::string head    = "POST /api/leaderboard HTTP/1.1\r\nHost: lumoka\r\nContent-Type: application/json\r\n";
    const std::string chunked = "Transfer-Encoding: chunked\r\n";
    const std::string length  = "Content-Length: " + std::to_string(kUpload.size()) + "\r\n";
    for (const std::string& fields :
         {length + chunked, chunked + length, length + length, "Content-Length: 3, 3\r\n" + chunked}) {
        Socket client(server.port());
        client.send(head + fields + "\r\n" + kUpload);
        EXPECT_EQ(statusLine(client.receive(2000ms)), "HTTP/1.1 400 Bad Request") << fields;
    }
    httplib::Client check("127.0.0.1", server.port());
    EXPECT_EQ(check.Get("/api/leaderboard")->body, R"({"levels":[]})") << "none of them was stored";
}

TEST(ServerLimits, UploadsBeyondTheRateOfAnAddressWaitWithRetryAfter) {
    testsupport::ServerProcess server({}, {"--uploads-per-minute", "2"});
    ASSERT_TRUE(server.started());
    httplib::Client client("127.0.0.1", server.port());
    for (int i = 0; i < 2; ++i) EXPECT_EQ(client.Post("/api/leaderboard", kUpload, "application/json")->status, 200);
    const httplib::Result limited = client.Post("/api/leaderboard", kUpload, "application/json");
    ASSERT_TRUE(limited);
    EXPECT_EQ(limited->status, 429);
    EXPECT_EQ(limited->get_header_value("Retry-After"), "30");
    EXPECT_EQ(client.Get("/api/leaderboard")->status, 200) << "reading is not limited";
    Socket elsewhere(server.port(), "127.0.0.3");
    elsewhere.send("POST /api/leaderboard HTTP/1.1\r\nHost: lumoka\r\nContent-Length: " +
                   std::to_string(kUpload.size()) + "\r\n\r\n" + kUpload);
    EXPECT_EQ(statusLine(elsewhere.receive(2000ms, "}")), "HTTP/1.1 200 OK") << "another address has its own allowance";
}

// The value of one sample line of the metrics text, or -1.
double sample(const std::string& metrics, const std::string& name) {
    const size_t at = metrics.find("\n" + name + " ");
    return at == std::string::npos ? -1 : std::stod(metrics.substr(at + name.size() + 2));
}

TEST(ServerLimits, HealthAndMetricsAfterAKnownSequenceOfRequests) {
    testsupport::ServerProcess server({}, {"--uploads-per-minute", "1"});
    ASSERT_TRUE(server.started());
    httplib::Client       client("127.0.0.1", server.port());
    const httplib::Result health = client.Get("/healthz");
    ASSERT_TRUE(health);
    EXPECT_EQ(health->status, 200);
    EXPECT_EQ(health->body, "ok\n");
    client.Post(
        "/api/leaderboard",
        R"({"levels": [{"name": "L", "scores": [{"player": "a", "score": 1}, {"player": "b", "score": "2"}, {"player": "c", "score": 3}]}]})",
        "application/json");
    client.Post("/api/leaderboard", kUpload, "application/json");  // over the rate
    client.Get("/api/player/L/a");
    client.Get("/api/player/L/zed");
    const std::string metrics = client.Get("/metrics")->body;
    EXPECT_EQ(sample(metrics, "lumoka_requests_total{route=\"/healthz\",status=\"200\"}"), 1) << metrics;
    EXPECT_EQ(sample(metrics, "lumoka_requests_total{route=\"/api/leaderboard\",status=\"200\"}"), 1);
    EXPECT_EQ(sample(metrics, "lumoka_requests_total{route=\"/api/leaderboard\",status=\"429\"}"), 1);
    EXPECT_EQ(sample(metrics, "lumoka_requests_total{route=\"/api/player\",status=\"200\"}"), 1);
    EXPECT_EQ(sample(metrics, "lumoka_requests_total{route=\"/api/player\",status=\"404\"}"), 1);
    EXPECT_EQ(sample(metrics, "lumoka_request_duration_seconds_count"), 5);
    EXPECT_EQ(sample(metrics, "lumoka_request_duration_seconds_bucket{le=\"+Inf\"}"), 5);
    EXPECT_EQ(sample(metrics, "lumoka_entries_stored_total"), 2);
    EXPECT_EQ(sample(metrics, "lumoka_entries_refused_total"), 1);
    EXPECT_EQ(sample(metrics, "lumoka_rate_limited_total"), 1);
    EXPECT_EQ(sample(metrics, "lumoka_database_errors_total"), 0);
    EXPECT_GE(sample(metrics, "lumoka_open_connections"), 1) << "this client's at least";
    EXPECT_NE(metrics.find("# TYPE lumoka_request_duration_seconds histogram\n"), std::string::npos);
}

}  // namespace

namespace {

// The body of the reply to one POST of body from the address `from`.
json postFrom(int port, const char* from, const json& body) {
    Socket            client(port, from);
    const std::string text = body.dump();
    client.send("POST /api/leaderboard HTTP/1.1\r\nHost: lumoka\r\nConnection: close\r\nContent-Length: " +
                std::to_string(text.size()) + "\r\n\r\n" + text);
    const std::string reply = client.receive(20s);
    const size_t      start = reply.find("\r\n\r\n");
    return start == std::string::npos ? json() : json::parse(reply.substr(start + 4), nullptr, false);
}

json players(const std::string& level, int count, int score) {
    json scores = json::array();
    for (int p = 0; p < count; ++p) scores.push_back({{"player", "p" + std::to_string(p)}, {"score", score + p}});
    return {{"levels", {{{"name", level}, {"scores", scores}}}}};
}

size_t refusedWith(const json& reply, const std::string& reason) {
    size_t count = 0;
    for (const json& item : reply.value("refused", json::array())) count += item["reason"] == reason;
    return count;
}

TEST(ServerQuotas, OneAddressCannotFillTheLeaderboardWithNewEntriesOrNames) {
    testsupport::ServerProcess entries({}, {"--entries-per-address", "30"});
    ASSERT_TRUE(entries.started());
    const json first = postFrom(entries.port(), "127.0.0.2", players("A", 40, 100));
    EXPECT_EQ(first["success"], true) << first;
    EXPECT_EQ(refusedWith(first, "this address has sent 30 different entries this hour"), 10u) << first;
    const json again = postFrom(entries.port(), "127.0.0.2", players("A", 30, 500));
    EXPECT_EQ(again, json({{"success", true}})) << "sending the same entries again costs nothing";
    const json other = postFrom(entries.port(), "127.0.0.3", players("B", 40, 100));
    EXPECT_EQ(refusedWith(other, "this address has sent 30 different entries this hour"), 10u) << other;
    httplib::Client client("127.0.0.1", entries.port());
    EXPECT_EQ(client.Get("/api/player/A/p29")->body, R"({"score":529})");
    EXPECT_EQ(client.Get("/api/player/A/p30")->status, 404);
    EXPECT_EQ(client.Get("/api/player/B/p29")->status, 200) << "another address has its own allowance";

    testsupport::ServerProcess names({}, {"--names-per-address", "11"});
    ASSERT_TRUE(names.started());
    const json named = postFrom(names.port(), "127.0.0.2", players("A", 20, 1));
    EXPECT_EQ(refusedWith(named, "this address has sent 11 different names this hour"), 10u) << named;
    const json none = postFrom(names.port(), "127.0.0.2", players("New", 1, 1));
    EXPECT_EQ(none["success"], false) << "a twelfth name, and nothing else";
}

std::string bodyOf(const httplib::Result& reply) { return reply ? reply->body : std::string(); }

TEST(ServerReads, EveryAnswerIsAPageOfBoundedSizeWhateverTheBoardHolds) {
    testsupport::ServerProcess server({}, {"--entries-per-address", "100000", "--names-per-address", "100000"});
    ASSERT_TRUE(server.started());
    httplib::Client client("127.0.0.1", server.port());
    ASSERT_EQ(client.Post("/api/leaderboard", players("Big", 3000, 0).dump(), "application/json")->status, 200);
    json small = {{"levels", json::array()}};
    for (int l = 0; l < 150; ++l)
        small["levels"].push_back({{"name", "L" + std::to_string(l)}, {"scores", {{{"player", "a"}, {"score", l}}}}});
    ASSERT_EQ(client.Post("/api/leaderboard", small.dump(), "application/json")->status, 200);

    const json page = json::parse(bodyOf(client.Get("/api/leaderboard")));
    ASSERT_EQ(page["levels"].size(), 100u);
    const json& big = page["levels"][0];
    EXPECT_EQ(big["name"], "Big");
    ASSERT_EQ(big["scores"].size(), 1000u) << "a level's best 1000 only";
    EXPECT_EQ(big["scores"][0]["score"], 2999);
    EXPECT_EQ(big["scores"][999]["score"], 2000);
    EXPECT_EQ(big["moreScores"], true);
    EXPECT_EQ(page["nextFrom"], 100);
    const json rest = json::parse(bodyOf(client.Get("/api/leaderboard?from=100")));
    ASSERT_EQ(rest["levels"].size(), 51u);
    EXPECT_EQ(rest["levels"][50]["name"], "L149");
    EXPECT_FALSE(rest.contains("nextFrom"));

    const json asked = json::parse(bodyOf(client.Get("/api/leaderboard?level=L7&level=None&level=Big")));
    ASSERT_EQ(asked["levels"].size(), 2u) << asked.dump().substr(0, 200);
    EXPECT_EQ(asked["levels"][0]["name"], "L7");
    EXPECT_EQ(asked["levels"][1]["scores"].size(), 1000u);
    std::string many = "/api/leaderboard?level=x";
    for (int i = 0; i < 100; ++i) many += "&level=x";
    EXPECT_EQ(client.Get(many.c_str())->status, 400);

    const std::string front = bodyOf(client.Get("/"));
    EXPECT_EQ(Socket::occurrences(front, "<section>"), 20u);
    EXPECT_NE(front.find("href=\"/?from=20\""), std::string::npos);
    const std::string deeper = bodyOf(client.Get("/level/Big?from=100"));
    EXPECT_EQ(Socket::occurrences(deeper, "<tr><td>"), 100u);
    EXPECT_NE(deeper.find("<tr><td>101</td><td>p2899</td>"), std::string::npos) << "ranks go on from the page's first";
}

TEST(ServerReads, HeadIsAnsweredAsGetWithoutItsBody) {
    testsupport::ServerProcess server;
    ASSERT_TRUE(server.started());
    Socket client(server.port());
    ASSERT_TRUE(
        client.send("HEAD /healthz HTTP/1.1\r\nHost: lumoka\r\n\r\nHEAD /nothing HTTP/1.1\r\nHost: lumoka\r\n\r\n" +
                    get("/healthz")));
    const std::string replies = client.receive(5000ms, "ok\n");
    const std::regex  shape(
         "HTTP/1\\.1 200 OK\r\n[^]*?Content-Length: 3\r\n\r\n"
          "HTTP/1\\.1 404 Not Found\r\n[^]*?\r\n\r\n"
          "HTTP/1\\.1 200 OK\r\n[^]*?\r\n\r\nok\n");
    EXPECT_TRUE(std::regex_match(replies, shape)) << replies;
    httplib::Client       check("127.0.0.1", server.port());
    const httplib::Result page = check.Head("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_EQ(page->get_header_value("Content-Length"), std::to_string(bodyOf(check.Get("/")).size()));
}

int openDescriptors(int pid) {
    int  count     = 0;
    DIR* directory = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
    while (directory != nullptr && readdir(directory) != nullptr) ++count;
    if (directory != nullptr) closedir(directory);
    return count - 2;  // . and ..
}

// User and system time of a process so far, in seconds.
double cpuSeconds(int pid) {
    std::ifstream      stat("/proc/" + std::to_string(pid) + "/stat");
    std::string        text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string        field;
    double             ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i >= 14) ticks += std::stod(field);
    }
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

TEST(ServerLimits, OutOfFileDescriptorsItSaysSoOnceWaitsAndServesAgain) {
#ifdef LUMOKA_SANITIZED
    // The sanitizers test memory through a pipe before they trust a vtable, and
    // report every virtual call as bad once no descriptor is left for it.
    GTEST_SKIP() << "a sanitized server cannot run out of descriptors";
#endif
    testsupport::ServerProcess server;
    ASSERT_TRUE(server.started());
    const int    pid = server.process().pid();
    const rlimit few{static_cast<rlim_t>(openDescriptors(pid) + 6), static_cast<rlim_t>(openDescriptors(pid) + 6)};
    ASSERT_EQ(prlimit(pid, RLIMIT_NOFILE, &few, nullptr), 0);
    std::vector<std::unique_ptr<Socket>> held;
    for (int i = 0; i < 20; ++i) held.push_back(std::make_unique<Socket>(server.port(), "127.0.0.2"));
    const Clock::time_point end = Clock::now() + 20s;
    while (server.process().stderrText().find("Out of file descriptors") == std::string::npos && Clock::now() < end) {
        std::this_thread::sleep_for(50ms);
    }
    const double before = cpuSeconds(pid);
    std::this_thread::sleep_for(1s);
    EXPECT_LT(cpuSeconds(pid) - before, 0.5) << "waiting, not spinning";
    const std::string errors = server.process().stderrText();
    EXPECT_EQ(Socket::occurrences(errors, "Out of file descriptors"), 1u) << errors;
    held.clear();
    // The server first works through the backlog the held clients left; a slow
    // (sanitized) build needs its own time for that.
    const Clock::time_point served = Clock::now() + 60s;
    std::string             reply;
    while (statusLine(reply) != "HTTP/1.1 200 OK" && Clock::now() < served) {
        Socket other(server.port());
        other.send(get("/healthz"));
        reply = other.receive(2000ms, "ok\n");
    }
    EXPECT_EQ(statusLine(reply), "HTTP/1.1 200 OK") << server.process().stderrText();
}

}  // namespace
