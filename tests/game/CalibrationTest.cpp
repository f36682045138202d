// The offset found from synthetic taps: a known offset with jitter, wild taps
// among good ones, and taps too scattered to trust.
#include "game/Calibration.h"

#include <gtest/gtest.h>

#include <random>

namespace {

constexpr double kBeat = 60.0 / kCalibrationBpm;

// Taps at `offset` after each click, with normal jitter of `sigma`.
std::vector<double> taps(int count, double offset, double sigma, unsigned seed) {
    std::mt19937                     random(seed);
    std::normal_distribution<double> jitter(0.0, sigma);
    std::vector<double>              errors;
    for (int i = 0; i < count; ++i) errors.push_back(tapError((i + 4) * kBeat + offset + jitter(random), kBeat));
    return errors;
}

TEST(Calibration, TapErrorIsAgainstTheNearestClick) {
    EXPECT_NEAR(tapError(3 * kBeat + 0.04, kBeat), 0.04, 1e-9);
    EXPECT_NEAR(tapError(3 * kBeat - 0.07, kBeat), -0.07, 1e-9);
    EXPECT_NEAR(tapError(3 * kBeat + 0.29, kBeat), 0.29, 1e-9);
    EXPECT_NEAR(tapError(3 * kBeat + 0.31, kBeat), 0.31 - kBeat, 1e-9) << "nearer the next click: early for it";
}

TEST(Calibration, KnownOffsetWithJitterIsFound) {
    for (const double offset : {-0.12, 0.0, 0.045, 0.2}) {
        for (unsigned seed = 1; seed <= 5; ++seed) {
            const CalibrationResult result = calibrate(taps(24, offset, 0.012, seed));
            ASSERT_TRUE(result.ready);
            EXPECT_TRUE(result.accepted) << offset << " seed " << seed;
            EXPECT_NEAR(result.offset, offset, 0.008) << offset << " seed " << seed;
            EXPECT_NEAR(result.spread, 0.012, 0.006);
        }
    }
}

TEST(Calibration, FewerTapsThanNeededSayNothing) {
    const CalibrationResult result = calibrate(taps(kCalibrationTaps - 1, 0.03, 0.005, 3));
    EXPECT_FALSE(result.ready);
    EXPECT_FALSE(result.accepted);
    EXPECT_TRUE(calibrate(taps(kCalibrationTaps, 0.03, 0.005, 3)).accepted);
}

// Two taps far off (a stumble, a double tap) move neither the offset nor the spread.
TEST(Calibration, WildTapsAreDropped) {
    std::vector<double> errors     = taps(18, 0.06, 0.008, 9);
    errors[4]                      = 0.25;
    errors[11]                     = -0.2;
    const CalibrationResult result = calibrate(errors);
    EXPECT_TRUE(result.accepted);
    EXPECT_EQ(result.kept, 16);
    EXPECT_NEAR(result.offset, 0.06, 0.006);
    EXPECT_LT(result.spread, 0.015);
}

TEST(Calibration, ScatteredTapsAreRefused) {
    for (unsigned seed = 1; seed <= 5; ++seed) {
        const CalibrationResult result = calibrate(taps(20, 0.02, 0.06, seed));
        EXPECT_TRUE(result.ready);
        EXPECT_FALSE(result.accepted) << "seed " << seed << ": spread " << result.spread << ", kept " << result.kept;
    }
    // Just over the limit, with nothing dropped.
    std::vector<double> wide;
    for (int i = 0; i < 16; ++i) wide.push_back(i % 2 == 0 ? -0.031 : 0.031);
    EXPECT_FALSE(calibrate(wide).accepted);
}

TEST(Calibration, MedianAndStandardDeviation) {
    EXPECT_DOUBLE_EQ(median({3.0, 1.0, 2.0}), 2.0);
    EXPECT_DOUBLE_EQ(median({4.0, 1.0, 3.0, 2.0}), 2.5);
    EXPECT_DOUBLE_EQ(median({}), 0.0);
    EXPECT_DOUBLE_EQ(standardDeviation({2.0, 4.0, 4.0, 4.0, 5.0, 5.0, 7.0, 9.0}), 2.0);
    EXPECT_DOUBLE_EQ(standardDeviation({1.0}), 0.0);
}

}  // namespace
