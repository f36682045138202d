// A private PostgreSQL server for tests, needing no system service: initdb into a
// fresh temporary folder, the server on a Unix socket in that folder and on a free
// loopback port, trust authentication for the superuser "postgres". When the tests
// run as root the programs run as the `postgres` user (PostgreSQL refuses root).
// Every wait has a time limit; the server is stopped with the object, or by a
// watchdog process when the test process dies first.
#pragma once

#include "support/TestSupport.h"

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace testsupport {

// The leaderboard server's two storage engines, as a test parameter.
enum class Engine { Sqlite, Postgres };
void PrintTo(Engine engine, std::ostream* out);

class PostgresCluster {
public:
    PostgresCluster();  // initdb and start
    ~PostgresCluster();
    PostgresCluster(const PostgresCluster&)            = delete;
    PostgresCluster& operator=(const PostgresCluster&) = delete;

    bool               installed() const { return installed_; }  // false: no PostgreSQL binaries here
    bool               running() const { return running_; }
    const std::string& problem() const { return problem_; }  // why it is not running

    bool stop();   // fast shut-down: open sessions are ended
    bool start();  // again, on the same folder, socket and port

    std::string createDatabase();                             // a new, empty database's name; empty on failure
    std::string conninfo(const std::string& database) const;  // key=value, over the Unix socket
    std::string uri(const std::string& database) const;       // postgresql://, over TCP
    // SQL run as the superuser, for what a test prepares or inspects.
    ::testing::AssertionResult execute(const std::string& database, const std::string& sql) const;
    std::string                queryValue(const std::string& database, const std::string& sql) const;

private:
    ProcessResult run(const std::string& tool, std::vector<std::string> args);
    void          startWatchdog();
    void          killServer();

    TempDir               folder_;
    std::filesystem::path bin_;
    std::filesystem::path data_;
    bool                  asPostgresUser_ = false;
    bool                  installed_      = false;
    bool                  running_        = false;
    int                   port_           = 0;
    int                   databases_      = 0;
    int                   watchdogPid_    = -1;
    int                   watchdogPipe_   = -1;
    std::string           problem_;
};

// The cluster of this test process, started on first use.
PostgresCluster& postgresCluster();

}  // namespace testsupport

// In a test body or SetUp: skips the test, with the reason, where PostgreSQL is
// not installed; fails it where it is but the cluster is not running.
#define LUMOKA_REQUIRE_POSTGRES()                                                                                  \
    do {                                                                                                           \
        if (!testsupport::postgresCluster().installed()) GTEST_SKIP() << testsupport::postgresCluster().problem(); \
        ASSERT_TRUE(testsupport::postgresCluster().running()) << testsupport::postgresCluster().problem();         \
    } while (false)
