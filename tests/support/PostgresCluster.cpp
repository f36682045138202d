#include "support/PostgresCluster.h"

#include <libpq-fe.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <memory>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace testsupport {

namespace {

constexpr const char* kRunuser = "/usr/sbin/runuser";

// Debian keeps the server programs out of PATH, one folder per major version.
fs::path findBinaries() {
    std::vector<std::pair<int, fs::path>> found;
    std::error_code                       ignored;
    for (const fs::directory_entry& version : fs::directory_iterator("/usr/lib/postgresql", ignored)) {
        const fs::path bin = version.path() / "bin";
        if (fs::exists(bin / "initdb") && fs::exists(bin / "pg_ctl")) {
            found.emplace_back(std::atoi(version.path().filename().c_str()), bin);
        }
    }
    if (found.empty()) return {};
    return std::max_element(found.begin(), found.end())->second;
}

int freePort() {
    const int   probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family      = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size          = sizeof address;
    int       port          = 0;
    if (bind(probe, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        port = ntohs(address.sin_port);
    }
    close(probe);
    return port;
}

struct ConnectionClose {
    void operator()(PGconn* connection) const { PQfinish(connection); }
};
struct ResultClear {
    void operator()(PGresult* result) const { PQclear(result); }
};
using Connection = std::unique_ptr<PGconn, ConnectionClose>;
using Result     = std::unique_ptr<PGresult, ResultClear>;

}  // namespace

void PrintTo(Engine engine, std::ostream* out) { *out << (engine == Engine::Sqlite ? "Sqlite" : "Postgres"); }

PostgresCluster::PostgresCluster() : data_(folder_.path() / "data") {
    bin_ = findBinaries();
    if (bin_.empty()) {
        problem_ =
            "PostgreSQL is not installed (no /usr/lib/postgresql/<version>/bin/initdb), so the PostgreSQL "
            "tests are skipped; tools/setup.sh installs postgresql-15";
        return;
    }
    installed_ = true;
    if (geteuid() == 0) {
        const passwd* postgres = getpwnam("postgres");
        if (postgres == nullptr || chown(folder_.path().c_str(), postgres->pw_uid, postgres->pw_gid) != 0) {
            problem_ = "running as root, and there is no postgres user to run PostgreSQL as";
            return;
        }
        asPostgresUser_ = true;
    }
    startWatchdog();
    const ProcessResult made =
        run("initdb", {"-D", data_.string(), "-U", "postgres", "-A", "trust", "--no-sync", "-E", "UTF8", "--locale=C"});
    if (made.exitCode != 0) {
        problem_ = "initdb failed: " + made.out + made.err;
        return;
    }
    // A port found free can be taken before the server binds it: try another.
    for (int attempt = 0; attempt < 3 && !running_; ++attempt) {
        port_ = freePort();
        start();
    }
}

PostgresCluster::~PostgresCluster() {
    if (running_ && !stop()) killServer();
    if (watchdogPipe_ >= 0) close(watchdogPipe_);
    if (watchdogPid_ > 0) waitpid(watchdogPid_, nullptr, 0);
}

bool PostgresCluster::start() {
    const std::string options = "-k " + folder_.path().string() + " -p " + std::to_string(port_) +
                                " -c listen_addresses=127.0.0.1 -c fsync=off -c synchronous_commit=off"
                                " -c full_page_writes=off";
    const fs::path      log = folder_.path() / "server.log";
    const ProcessResult started =
        run("pg_ctl", {"-D", data_.string(), "-l", log.string(), "-w", "-t", "30", "-o", options, "start"});
    running_ = started.exitCode == 0;
    if (!running_) {
        killServer();
        problem_ = "pg_ctl start failed: " + started.out + started.err + readFile(log);
    }
    return running_;
}

bool PostgresCluster::stop() {
    const ProcessResult stopped = run("pg_ctl", {"-D", data_.string(), "-m", "fast", "-w", "-t", "30", "stop"});
    running_                    = false;
    return stopped.exitCode == 0;
}

// A server that would not start or stop in time.
void PostgresCluster::killServer() {
    std::ifstream pidFile(data_ / "postmaster.pid");
    int           pid = 0;
    if (pidFile >> pid && pid > 0) kill(pid, SIGKILL);
}

ProcessResult PostgresCluster::run(const std::string& tool, std::vector<std::string> args) {
    std::string binary = (bin_ / tool).string();
    if (asPostgresUser_) {
        args.insert(args.begin(), {"-u", "postgres", "--", binary});
        binary = kRunuser;
    }
    GameProcess process(binary, args, folder_.path());
    return process.wait(60s);
}

// A child that waits for this process to end, however it ends (the pipe's last
// writer goes with it), then stops the server and removes the folder.
void PostgresCluster::startWatchdog() {
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) return;
    const std::string script = std::string("read _; ") + (asPostgresUser_ ? "runuser -u postgres -- " : "") +
                               "\"$1\" -D \"$2\" -m immediate -w -t 10 stop; rm -rf \"$3\"";
    const std::string pgCtl = (bin_ / "pg_ctl").string();
    watchdogPid_            = fork();
    if (watchdogPid_ == 0) {
        dup2(ends[0], STDIN_FILENO);
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDOUT_FILENO);
        dup2(quiet, STDERR_FILENO);
        execl("/bin/sh", "sh", "-c", script.c_str(), "sh", pgCtl.c_str(), data_.c_str(), folder_.path().c_str(),
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ends[0]);
    watchdogPipe_ = ends[1];
}

std::string PostgresCluster::createDatabase() {
    const std::string name = "test_" + std::to_string(++databases_);
    return execute("postgres", "CREATE DATABASE " + name) ? name : std::string();
}

std::string PostgresCluster::conninfo(const std::string& database) const {
    return "host=" + folder_.path().string() + " port=" + std::to_string(port_) + " user=postgres dbname=" + database;
}

std::string PostgresCluster::uri(const std::string& database) const {
    return "postgresql://postgres@127.0.0.1:" + std::to_string(port_) + "/" + database;
}

::testing::AssertionResult PostgresCluster::execute(const std::string& database, const std::string& sql) const {
    const Connection     connection(PQconnectdb(conninfo(database).c_str()));
    const Result         result(PQexec(connection.get(), sql.c_str()));
    const ExecStatusType status = PQresultStatus(result.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
        return ::testing::AssertionFailure() << sql << ": " << PQerrorMessage(connection.get());
    }
    return ::testing::AssertionSuccess();
}

std::string PostgresCluster::queryValue(const std::string& database, const std::string& sql) const {
    const Connection connection(PQconnectdb(conninfo(database).c_str()));
    const Result     result(PQexec(connection.get(), sql.c_str()));
    if (PQresultStatus(result.get()) != PGRES_TUPLES_OK || PQntuples(result.get()) == 0) {
        return "(failed: " + std::string(PQerrorMessage(connection.get())) + ")";
    }
    return PQgetvalue(result.get(), 0, 0);
}

PostgresCluster& postgresCluster() {
    static PostgresCluster cluster;
    return cluster;
}

}  // namespace testsupport
