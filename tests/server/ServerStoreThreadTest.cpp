// Several server threads uploading improving scores for the same players at once
// on one database file: every player ends with the highest score any sent.
#include "server/Api.h"
#include "server/LeaderboardStore.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <thread>

using nlohmann::json;

namespace {

json upload(const std::string& level, const std::vector<json>& entries) {
    return {{"levels", {{{"name", level}, {"scores", entries}}}}};
}

TEST(ServerStore, ConcurrentUploadsOnlyEverRaiseAScore) {
    testsupport::TempDir dir;
    std::string error;
    auto store = openLeaderboardStore((dir.path() / "shared.sqlite").string(), 4, error);
    ASSERT_TRUE(store) << error;
    constexpr int kClients = 4, kRounds = 40, kPlayers = 5;
    std::vector<std::thread> clients;
    for (int c = 0; c < kClients; ++c) {
        clients.emplace_back([&, c] {
            for (int round = 1; round <= kRounds; ++round) {
                std::vector<json> entries;
                for (int p = 0; p < kPlayers; ++p) entries.push_back({{"player", "p" + std::to_string(p)}, {"score", round * kClients + c}});
                const ApiReply reply =
                    handleApiRequest(*store, "POST", "/api/leaderboard", upload("Race", entries).dump());
                EXPECT_EQ(reply.status, 200) << reply.body;
                handleApiRequest(*store, "GET", "/api/player/Race/p0", "");
            }
        });
    }
    for (std::thread& client : clients) client.join();
    for (int p = 0; p < kPlayers; ++p) {
        int32_t score = 0;
        ASSERT_EQ(store->playerScore("Race", "p" + std::to_string(p), score), StoreStatus::Ok);
        EXPECT_EQ(score, kRounds * kClients + kClients - 1);
    }
}

}  // namespace
