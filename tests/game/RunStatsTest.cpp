// What a run keeps for its results: tiers by error, the histogram's bins and
// edges, accuracy, and the summary of a run.
#include "GameFixture.h"

namespace {

TEST(RunStats, PressesCountByTierAndFallInTenMillisecondBins) {
    RunStats stats;
    for (const double error : {0.0, -0.0995, 0.1005, -0.24, 0.26, 0.004, 0.009, -0.001}) stats.countPress(error);
    stats.countMiss();
    EXPECT_EQ(stats.count(Tier::Perfect), 5);
    EXPECT_EQ(stats.count(Tier::Great), 2);
    EXPECT_EQ(stats.count(Tier::Good), 1);
    EXPECT_EQ(stats.count(Tier::Miss), 1);

    const auto bins = stats.histogram();
    EXPECT_EQ(bins[20], 3) << "0, 4 and 9 ms late share the first late bin";
    EXPECT_EQ(bins[19], 1) << "1 ms early is the last early bin";
    EXPECT_EQ(bins[10], 1) << "99.5 ms early";
    EXPECT_EQ(bins[30], 1) << "100.5 ms late";
    EXPECT_EQ(bins[0], 1) << "240 ms early counts at the early end";
    EXPECT_EQ(bins[39], 1) << "260 ms late counts at the late end";
}

TEST_F(GameFixture, SummaryKeepsTheRunThatEnded) {
    addCircle(500.0f, 400.0f, 10.0);
    game.streamTime = 10.02;
    game.judge(0, InputKind::Mouse, static_cast<uint64_t>(-1), true, 10.02);
    game.registerMiss();
    game.streamTime      = 75.0;
    const RunSummary run = game.summarize();
    EXPECT_EQ(run.presses(), 1);
    EXPECT_NEAR(run.stats.hitErrors[0], 0.02, 1e-9);
    EXPECT_DOUBLE_EQ(run.accuracy(), 0.5);
    EXPECT_GT(run.score, 0);
    EXPECT_TRUE(run.newBest) << "nothing better was known";
    EXPECT_DOUBLE_EQ(run.seconds, 75.0);
    EXPECT_DOUBLE_EQ(RunSummary{}.accuracy(), 0.0);
}

}  // namespace
