// Several server threads uploading improving scores for the same players at once,
// in opposite orders and onto levels that are new to all of them: on one SQLite
// file, and on one PostgreSQL database through two stores as two server instances
// would. Every upload is taken and every player ends with the highest score sent.
#include "server/Api.h"
#include "server/LeaderboardStore.h"
#include "support/PostgresCluster.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <thread>

using nlohmann::json;
using testsupport::Engine;

namespace {

class ServerStoreThreads : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        std::string location = (dir.path() / "shared.sqlite").string();
        if (GetParam() == Engine::Postgres) {
            LUMOKA_REQUIRE_POSTGRES();
            const std::string database = testsupport::postgresCluster().createDatabase();
            ASSERT_FALSE(database.empty());
            location = testsupport::postgresCluster().conninfo(database);
        }
        const int count = GetParam() == Engine::Postgres ? 2 : 1;
        for (int i = 0; i < count; ++i) {
            std::string error;
            stores.push_back(openLeaderboardStore(location, 2, error));
            ASSERT_TRUE(stores.back()) << error;
        }
    }

    testsupport::TempDir                           dir;
    std::vector<std::unique_ptr<LeaderboardStore>> stores;
};

json level(const std::string& name, const std::vector<json>& entries) { return {{"name", name}, {"scores", entries}}; }

TEST_P(ServerStoreThreads, ConcurrentUploadsOnlyEverRaiseAScore) {
    constexpr int            kClients = 4, kRounds = 30, kPlayers = 6;
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            LeaderboardStore& store = *stores[static_cast<size_t>(c) % stores.size()];
            for (int round = 1; round <= kRounds; ++round) {
                const int         score = round * kClients + c;
                std::vector<json> entries;
                for (int p = 0; p < kPlayers; ++p) {
                    entries.push_back({{"player", "p" + std::to_string(p)}, {"score", score}, {"time", score}});
                }
                if (c % 2 == 1) std::reverse(entries.begin(), entries.end());
                const json     levels = {level("Round " + std::to_string(round), entries), level("Race", entries)};
                const ApiReply reply =
                    handleApiRequest(store, "POST", "/api/leaderboard", json{{"levels", levels}}.dump());
                EXPECT_EQ(reply.status, 200) << reply.body;
                handleApiRequest(store, "GET", "/api/player/Race/p0", "");
            }
        });
    }
    for (std::thread& client : clients) client.join();
    for (const auto& store : stores) {
        std::vector<LeaderboardLevel> levels;
        ASSERT_EQ(store->readAll(levels), StoreStatus::Ok);
        ASSERT_EQ(levels.size(), kRounds + 1u);
        for (const LeaderboardLevel& stored : levels) {
            const int best = stored.name == "Race" ? kRounds * kClients + kClients - 1
                                                   : std::stoi(stored.name.substr(6)) * kClients + kClients - 1;
            ASSERT_EQ(stored.scores.size(), static_cast<size_t>(kPlayers)) << stored.name;
            for (const LeaderboardEntry& entry : stored.scores) {
                EXPECT_EQ(entry.score, best) << stored.name << " " << entry.player;
                EXPECT_EQ(entry.time, best) << "the row holds one upload's values";
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Engines, ServerStoreThreads, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         ::testing::PrintToStringParamName());

}  // namespace
