// Our leaderboard server (lumoka-server) as a child process for tests: on a free
// loopback port, with a fresh database in a folder of its own unless one is given.
#pragma once

#include "support/TestSupport.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

class ServerProcess {
public:
    explicit ServerProcess(std::filesystem::path database = {}, std::vector<std::string> extraArgs = {});

    bool                         started() const { return port_ > 0; }
    int                          port() const { return port_; }
    std::string                  baseUrl() const;  // http://127.0.0.1:<port>/api
    const std::filesystem::path& database() const { return database_; }
    GameProcess&                 process() { return *process_; }
    ProcessResult                stop(int signal = SIGTERM);

private:
    TempDir                      folder_;
    std::filesystem::path        database_;
    std::unique_ptr<GameProcess> process_;
    int                          port_ = -1;
};

// The port a "listening on http://host:port/api" line names, or -1.
int listeningPort(const std::string& output);

}  // namespace testsupport
