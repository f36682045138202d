// The leaderboard server's HTTP side: an event-driven HTTP/1.1 layer (Boost.Beast
// on a fixed set of Asio threads, each connection on a strand) in front of
// handleApiRequest (server/Api.h). Waiting clients cost no thread: a request
// has a deadline for its whole header and body, an address a cap on its open
// connections and a rate of uploads (429 with Retry-After beyond it); header count
// and size are bounded, conflicting length headers refused, pipelined requests
// answered in order. Also GET /healthz, GET /metrics (server/Metrics.h) and the
// public pages GET / and GET /level/<name> (server/Pages.h). At most one log line
// a request when asked for. stop() may be called from any
// thread; serve() then returns once the requests in progress have finished.
#pragma once

#include "leaderboard/LeaderboardProtocol.h"
#include "server/Api.h"

#include <memory>
#include <string>

struct ServerOptions {
    std::string  database;  // SQLite file or PostgreSQL connection string
    std::string  host                  = "127.0.0.1";
    int          port                  = kLeaderboardServerPort;  // 0: any free port
    int          threads               = 8;                       // event threads, each may do database work
    bool         logRequests           = false;
    int          connectionsPerAddress = 64;
    int          uploadsPerMinute      = 30;  // per address, also the burst allowed
    int          requestSeconds        = 10;  // to send a whole request, or to idle between two
    UploadLimits limits;
};

struct ServerCore;

class LeaderboardServer {
public:
    LeaderboardServer();
    ~LeaderboardServer();

    bool start(const ServerOptions& options);  // opens the database and binds; one line on failure
    bool serve();                              // until stop()
    void stop();
    int  port() const { return port_; }

private:
    std::unique_ptr<ServerCore> core_;
    int                         port_ = 0;
};
