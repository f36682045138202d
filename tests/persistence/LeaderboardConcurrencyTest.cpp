// Two writers of the leaderboard file in one process (a save on the main thread,
// fetches merging the server's copy on workers) never lose each other's entries.
#include "persistence/LeaderboardFixture.h"

#include <SDL3/SDL_thread.h>

#include <thread>
#include <vector>

using nlohmann::json;

namespace {

using LeaderboardWriters = LeaderboardFolder;

TEST_F(LeaderboardWriters, SavesAndFetchMergesAtTheSameTimeKeepEveryEntry) {
    constexpr int        kWorkers = 3;
    constexpr int        kRounds  = 15;
    const CapturedOutput output   = capture([&] {
        std::vector<std::thread> workers;
        for (int w = 0; w < kWorkers; ++w) {
            workers.emplace_back([w] {
                for (int round = 1; round <= kRounds; ++round) {
                    const std::string player = "worker" + std::to_string(w) + "-" + std::to_string(round);
                    Leaderboard::mergeIntoFile(
                          {{"levels", {{{"name", "Shared"}, {"scores", {{{"player", player}, {"score", round}}}}}}}});
                }
                SDL_CleanupTLS();  // as the client's workers do: SDL keeps each thread's error text
            });
        }
        for (int round = 1; round <= kRounds; ++round) saveAndUpload(run("Shared", "main", round * 10));
        for (std::thread& worker : workers) worker.join();
    });
    const json           scores   = fileDocument()["levels"][0]["scores"];
    ASSERT_EQ(scores.size(), static_cast<size_t>(kWorkers * kRounds + 1)) << output.err;
    for (const json& entry : scores) {
        if (entry["player"] == "main") EXPECT_EQ(entry["score"], kRounds * 10);
    }
}

}  // namespace
