#include "game/Calibration.h"

#include <algorithm>
#include <cmath>
#include <numeric>

double tapError(double tapTime, double beatSeconds) {
    return tapTime - std::round(tapTime / beatSeconds) * beatSeconds;
}

double median(std::vector<double> values) {
    if (values.empty()) return 0.0;
    const size_t middle = values.size() / 2;
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle), values.end());
    const double upper = values[middle];
    if (values.size() % 2 == 1) return upper;
    const double lower = *std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle));
    return (lower + upper) / 2.0;
}

double standardDeviation(const std::vector<double>& values) {
    if (values.size() < 2) return 0.0;
    const double mean    = std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
    double       squares = 0.0;
    for (const double value : values) squares += (value - mean) * (value - mean);
    return std::sqrt(squares / static_cast<double>(values.size()));
}

namespace {

// Each tap against the median of all the others, so one wild tap cannot drag
// the measure it is judged by.
std::vector<double> withoutOutliers(const std::vector<double>& taps) {
    std::vector<double> kept;
    std::vector<double> others;
    for (size_t i = 0; i < taps.size(); ++i) {
        others.assign(taps.begin(), taps.end());
        others.erase(others.begin() + static_cast<std::ptrdiff_t>(i));
        if (std::abs(taps[i] - median(others)) <= kCalibrationOutlier) kept.push_back(taps[i]);
    }
    return kept;
}

}  // namespace

// Dropping many taps would hide a wide spread behind the few left.
bool mostTapsKept(int kept, size_t taps) { return 4 * static_cast<size_t>(kept) >= 3 * taps; }

CalibrationResult calibrate(const std::vector<double>& tapErrors) {
    CalibrationResult result;
    if (static_cast<int>(tapErrors.size()) < kCalibrationTaps) return result;
    const std::vector<double> kept = withoutOutliers(tapErrors);
    result.ready                   = true;
    result.kept                    = static_cast<int>(kept.size());
    result.offset                  = median(kept);
    result.spread                  = standardDeviation(kept);
    result.accepted = mostTapsKept(result.kept, tapErrors.size()) && result.spread <= kCalibrationMaxSpread;
    return result;
}
