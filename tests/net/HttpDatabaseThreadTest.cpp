// The client's worker threads: shutting down with requests in flight, and the
// best-score hand-over to the run that asked for it (run under ThreadSanitizer).
#include "net/CannedServer.h"
#include "persistence/LeaderboardFixture.h"

#include <atomic>
#include <memory>

using nlohmann::json;
using namespace std::chrono_literals;

namespace {

class ClientThreads : public LeaderboardFolder {
protected:
    void SetUp() override {
        LeaderboardFolder::SetUp();
        HttpDatabase::baseUrl = canned.baseUrl();
    }

    // Empties the best-score box until the run's best is the wanted one, or 10 s pass.
    static bool takeUntil(GameLogic& game, int32_t wanted) {
        for (int i = 0; i < 1000 && game.highScore != wanted; ++i) {
            game.takeFetchedBestScore();
            std::this_thread::sleep_for(10ms);
        }
        return game.highScore == wanted;
    }

    CannedServer canned;
};

TEST_F(ClientThreads, ShutdownWithRequestsInFlightCancelsThemAndDeliversNothing) {
    canned.set({200, R"({"score": 5})", true});
    std::atomic<int>     delivered{0};
    const CapturedOutput output = capture([&] {
        HttpDatabase::getPlayerScoreAsync("Song A", "Ann", [&](int) { ++delivered; });
        HttpDatabase::loadLeaderboardAsync([&](const json&) { ++delivered; });
        HttpDatabase::uploadLeaderboardAsync(
            {{"levels", {{{"name", "Song A"}, {"scores", {{{"player", "Ann"}, {"score", 5}}}}}}}});
        ASSERT_TRUE(canned.waitForRequests(3));
        HttpDatabase::shutdown();
    });
    EXPECT_EQ(delivered, 0) << "neither the answers nor the fallbacks reach a program that is ending";
    EXPECT_EQ(output.err.find("Leaving"), std::string::npos) << "every worker ended: " << output.err;
    EXPECT_FALSE(std::filesystem::exists(file())) << "nothing was merged into the file";

    delivered = 0;
    HttpDatabase::getPlayerScoreAsync("Song A", "Ann", [&](int) { ++delivered; });
    HttpDatabase::shutdown();
    EXPECT_EQ(canned.seen().size(), 3u) << "no request starts after shut-down";
}

TEST_F(ClientThreads, ALateBestForAnEarlierRunIsDropped) {
    canned.setFor("/api/player/Slow/Ann", {200, R"({"score": 500})", true});
    canned.setFor("/api/player/Fast/Ann", {200, R"({"score": 70})"});
    GameLogic game;
    game.playerName = "Ann";
    game.levelName  = "Slow";
    capture([&] {
        game.newRun();
        ASSERT_TRUE(canned.waitForRequests(1));
        game.levelName = "Fast";
        game.newRun();
        EXPECT_TRUE(takeUntil(game, 70));
        canned.release();
        HttpDatabase::shutdown();  // the slow answer has been posted by now
    });
    game.takeFetchedBestScore();
    EXPECT_EQ(game.highScore, 70);
}

TEST_F(ClientThreads, ABestThatArrivesAfterTheScorePassedItDoesNotLowerIt) {
    canned.set({200, R"({"score": 100})", true});
    GameLogic game;
    capture([&] {
        game.newRun();
        ASSERT_TRUE(canned.waitForRequests(1));
        game.addScore(300);
        canned.release();
        HttpDatabase::shutdown();
    });
    game.takeFetchedBestScore();
    EXPECT_EQ(game.highScore, 300);
    EXPECT_EQ(game.score, 300);
}

TEST_F(ClientThreads, AnAnswerForAGameThatIsGoneTouchesNothing) {
    canned.set({200, R"({"score": 100})", true});
    auto                                           game = std::make_unique<GameLogic>();
    const std::weak_ptr<Mailbox<FetchedBestScore>> box  = game->fetchedBestScores;
    capture([&] {
        game->newRun();
        ASSERT_TRUE(canned.waitForRequests(1));
        game.reset();
        canned.release();
        HttpDatabase::shutdown();
    });
    EXPECT_TRUE(box.expired()) << "the worker let go of the box when it ended";
}

}  // namespace
