#include "support/ServerProcess.h"

#include <csignal>
#include <regex>

namespace testsupport {

using namespace std::chrono_literals;

int listeningPort(const std::string& output) {
    static const std::regex line(R"(listening on http://[^:/]+:([0-9]+)/api)");
    std::smatch             match;
    return std::regex_search(output, match, line) ? std::stoi(match[1]) : -1;
}

ServerProcess::ServerProcess(std::string database, std::vector<std::string> extraArgs)
    : database_(database.empty() ? (folder_.path() / "leaderboard.sqlite").string() : std::move(database)) {
    std::vector<std::string> args{"--db", database_, "--port", "0"};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    process_ = std::make_unique<GameProcess>(LUMOKA_SERVER_BINARY, args, folder_.path());
    if (process_->waitForOutput("Leaderboard server listening on", 20s)) port_ = listeningPort(process_->stdoutText());
}

std::string ServerProcess::baseUrl() const { return "http://127.0.0.1:" + std::to_string(port_) + "/api"; }

ProcessResult ServerProcess::stop(int signal) {
    process_->signal(signal);
    return process_->wait(20s);
}

}  // namespace testsupport
