// lumoka-server: the leaderboard server the game talks to (net/HttpDatabase.h).
//   lumoka-server [--db PATH|URI] [--host HOST] [--port PORT] [--threads N] [--log] [limits]
//   lumoka-server admin ... (server/Admin.h)
// SIGINT and SIGTERM stop it: requests in progress finish, then the database is
// closed, so an SQLite file is consistent (WAL) whenever the process has ended.
#include "base/Log.h"
#include "server/Admin.h"
#include "server/HttpServer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <pthread.h>
#include <sys/resource.h>

namespace {

constexpr const char* kUsage =
    "Usage: lumoka-server [--db PATH|URI] [--host HOST] [--port PORT] [--threads N] [--log]\n"
    "       lumoka-server admin [--db PATH|URI] COMMAND (lumoka-server admin help)\n"
    "  --db PATH     SQLite database file (default: $XDG_DATA_HOME/lumoka/leaderboard.sqlite)\n"
    "  --db URI      PostgreSQL database shared by several servers: postgresql://user@host/db\n"
    "                or a connection string such as \"host=db.example.org dbname=lumoka\"\n"
    "  --host HOST   address to listen on (default: 127.0.0.1)\n"
    "  --port PORT   port to listen on, 0 for any free one (default: 5866)\n"
    "  --threads N   request threads, 1 to 256 (default: 8)\n"
    "  --log         one line per request on standard output\n"
    "Limits (defaults in brackets):\n"
    "  --connections-per-address N  open connections of one client address [64]\n"
    "  --uploads-per-minute N       uploads of one client address, also its burst [30]\n"
    "  --request-seconds N          to send a whole request, or to idle between two [10]\n"
    "  --levels-per-upload N        [1000]    --entries-per-upload N  [50000]\n"
    "  --max-levels N               levels stored in total [10000]\n"
    "  --max-entries N              entries stored in total [1000000]\n"
    "  --entries-per-address N      different entries one client address may send an hour [10000]\n"
    "  --names-per-address N        different level and player names of one address an hour [1000]\n";

// The user's data folder, made if needed; the current folder when there is none.
std::string defaultDatabase() {
    namespace fs     = std::filesystem;
    const char* data = std::getenv("XDG_DATA_HOME");
    const char* home = std::getenv("HOME");
    fs::path    folder;
    if (data != nullptr && *data != '\0') folder = fs::path(data) / "lumoka";
    else if (home != nullptr && *home != '\0') folder = fs::path(home) / ".local" / "share" / "lumoka";
    else return "leaderboard.sqlite";
    std::error_code ignored;
    fs::create_directories(folder, ignored);
    return (folder / "leaderboard.sqlite").string();
}

bool readNumber(const char* text, int low, int high, int& out) {
    char*      end   = nullptr;
    const long value = std::strtol(text, &end, 10);
    if (end == text || *end != '\0' || value < low || value > high) return false;
    out = static_cast<int>(value);
    return true;
}

bool readLimit(const std::string& option, const char* value, ServerOptions& options) {
    constexpr int kMost  = 1'000'000'000;
    int           number = 0;
    if (!readNumber(value, 1, kMost, number)) return false;
    UploadLimits& limits = options.limits;
    if (option == "--connections-per-address") options.connectionsPerAddress = number;
    else if (option == "--uploads-per-minute") options.uploadsPerMinute = number;
    else if (option == "--request-seconds") options.requestSeconds = number;
    else if (option == "--levels-per-upload") limits.levelsPerUpload = static_cast<size_t>(number);
    else if (option == "--entries-per-upload") limits.entriesPerUpload = static_cast<size_t>(number);
    else if (option == "--max-levels") limits.levels = number;
    else if (option == "--max-entries") limits.entries = number;
    else if (option == "--entries-per-address") limits.entriesPerAddress = static_cast<size_t>(number);
    else if (option == "--names-per-address") limits.namesPerAddress = static_cast<size_t>(number);
    else return false;
    return true;
}

bool parseArguments(int argc, char** argv, ServerOptions& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        const char*       value  = i + 1 < argc ? argv[i + 1] : nullptr;
        if (option == "--log") {
            options.logRequests = true;
            continue;
        }
        if (value == nullptr) return false;
        ++i;
        if (option == "--db") options.database = value;
        else if (option == "--host") options.host = value;
        else if (option == "--port") {
            if (!readNumber(value, 0, 65535, options.port)) return false;
        } else if (option == "--threads") {
            if (!readNumber(value, 1, 256, options.threads)) return false;
        } else if (!readLimit(option, value, options)) return false;
    }
    return true;
}

// Every client holds a descriptor: take all the system lets this process have.
void raiseDescriptorLimit() {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max) return;
    limit.rlim_cur = limit.rlim_max;
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) base::logError("Could not raise the open-file limit to its maximum");
}

// Waits for SIGINT or SIGTERM on its own thread and stops the server. The signals
// are blocked in every thread, so none of them is interrupted mid-request.
class SignalWatch {
public:
    explicit SignalWatch(LeaderboardServer& server) : server_(server) {
        sigemptyset(&signals_);
        sigaddset(&signals_, SIGINT);
        sigaddset(&signals_, SIGTERM);
        pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
    }

    void start() {
        thread_ = std::thread([this] {
            int signal = 0;
            sigwait(&signals_, &signal);
            // A stop before the server runs would be lost: repeat until serve() returned.
            while (!served_) {
                server_.stop();
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }

    void served() {
        served_ = true;
        pthread_kill(thread_.native_handle(), SIGTERM);  // wakes the wait when no signal came
        thread_.join();
    }

private:
    LeaderboardServer& server_;
    sigset_t           signals_{};
    std::thread        thread_;
    std::atomic<bool>  served_{false};
};

}  // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "admin") {
        std::vector<std::string> arguments(argv + 2, argv + argc);
        const bool               named = std::find(arguments.begin(), arguments.end(), "--db") != arguments.end();
        return runAdmin(arguments, named ? std::string() : defaultDatabase());
    }
    ServerOptions options;
    if (!parseArguments(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (options.database.empty()) options.database = defaultDatabase();

    raiseDescriptorLimit();
    LeaderboardServer server;
    SignalWatch       watch(server);
    if (!server.start(options)) return 1;
    watch.start();
    const bool served = server.serve();
    watch.served();
    base::logInfo("Leaderboard server stopped");
    return served ? 0 : 1;
}
