#include "judge/RunStats.h"

#include <algorithm>
#include <cmath>

const char* tierName(Tier tier) {
    switch (tier) {
    case Tier::Perfect: return "Perfect";
    case Tier::Great: return "Great";
    case Tier::Good: return "Good";
    case Tier::Miss: break;
    }
    return "Miss";
}

Tier tierOf(double accuracy) {
    if (accuracy >= 0.9) return Tier::Perfect;
    return accuracy >= 0.75 ? Tier::Great : Tier::Good;
}

void RunStats::clear() {
    tiers.fill(0);
    hitErrors.clear();
    strays = 0;
}

Tier RunStats::countPress(double error) {
    const Tier tier = tierOf(std::clamp(1.0 - std::abs(error), 0.0, 1.0));
    ++tiers[static_cast<size_t>(tier)];
    hitErrors.push_back(error);
    return tier;
}

void RunStats::countMiss() { ++tiers[static_cast<size_t>(Tier::Miss)]; }

std::array<int32_t, kHistogramBins> RunStats::histogram() const {
    std::array<int32_t, kHistogramBins> bins{};
    for (const double error : hitErrors) {
        const auto bin = static_cast<int>(std::floor(error / kHistogramBinSec)) + kHistogramBins / 2;
        ++bins[static_cast<size_t>(std::clamp(bin, 0, kHistogramBins - 1))];
    }
    return bins;
}

double RunSummary::accuracy() const {
    const int32_t total = presses() + stats.count(Tier::Miss);
    return total == 0 ? 0.0 : static_cast<double>(presses()) / total;
}
