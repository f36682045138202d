// Finding the player's audio offset from taps on a click track, and the two
// statistics the results screen shares with it. Each tap is taken as its error
// against the nearest click; the click track and the screen are the GUI's.
#pragma once

#include <cstddef>
#include <vector>

inline constexpr int    kCalibrationTaps      = 16;    // taps needed before a result
inline constexpr double kCalibrationOutlier   = 0.05;  // s from the median of the other taps
inline constexpr double kCalibrationMaxSpread = 0.03;  // s of standard deviation
inline constexpr float  kCalibrationBpm       = 100.0f;

struct CalibrationResult {
    bool   ready    = false;  // enough taps to say anything
    bool   accepted = false;  // ready, at most a quarter dropped, and the spread narrow enough
    double offset   = 0.0;    // seconds, the median of the kept taps: positive is late
    double spread   = 0.0;    // seconds, their standard deviation
    int    kept     = 0;
};

// A tap's error against the nearest click of a track with clicks at 0, beat,
// 2 beat...: within half a beat either side.
double            tapError(double tapTime, double beatSeconds);
CalibrationResult calibrate(const std::vector<double>& tapErrors);
bool              mostTapsKept(int kept, size_t taps);  // at most a quarter of the taps dropped

double median(std::vector<double> values);                    // 0 for none
double standardDeviation(const std::vector<double>& values);  // population; 0 for fewer than two
