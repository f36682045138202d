// Our leaderboard server (lumoka-server) as a child process for tests: on a free
// loopback port, with a fresh SQLite database in a folder of its own unless one
// (a file, or a PostgreSQL connection string) is given.
#pragma once

#include "support/TestSupport.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

class ServerProcess {
public:
    explicit ServerProcess(std::string database = {}, std::vector<std::string> extraArgs = {});

    bool               started() const { return port_ > 0; }
    int                port() const { return port_; }
    std::string        baseUrl() const;  // http://127.0.0.1:<port>/api
    const std::string& database() const { return database_; }
    GameProcess&       process() { return *process_; }
    ProcessResult      stop(int signal = SIGTERM);

private:
    TempDir                      folder_;
    std::string                  database_;
    std::unique_ptr<GameProcess> process_;
    int                          port_ = -1;
};

// The port a "listening on http://host:port/api" line names, or -1.
int listeningPort(const std::string& output);

}  // namespace testsupport
