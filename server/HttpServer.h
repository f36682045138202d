// The leaderboard server's HTTP side: cpp-httplib with a fixed pool of threads,
// every request handed to handleApiRequest (server/Api.h), bodies over 1 MiB
// refused by the library before they are read, and at most one log line a
// request when asked for. stop() may be called from any thread; serve() then
// finishes the requests in progress and returns.
#pragma once

#include "leaderboard/LeaderboardProtocol.h"

#include <memory>
#include <string>

class LeaderboardStore;
namespace httplib { class Server; }

struct ServerOptions {
    std::string database;                        // SQLite file or PostgreSQL connection string
    std::string host        = "127.0.0.1";
    int         port        = kLeaderboardServerPort;  // 0: any free port
    int         threads     = 8;
    bool        logRequests = false;
};

class LeaderboardServer {
public:
    LeaderboardServer();
    ~LeaderboardServer();

    bool start(const ServerOptions& options);  // opens the database and binds; one line on failure
    bool serve();                              // until stop()
    void stop();
    int  port() const { return port_; }

private:
    void route();

    std::unique_ptr<LeaderboardStore> store_;
    std::unique_ptr<httplib::Server>  http_;
    int                               port_ = 0;
};
