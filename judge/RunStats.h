// What a run did, for the tier labels and the results screen: presses per
// accuracy tier, misses, and every judged press's error against its note.
// The scoring rules themselves stay in game/Judgement.cpp.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

enum class Tier { Perfect, Great, Good, Miss };
inline constexpr int kTierCount = 4;

const char* tierName(Tier tier);      // "Perfect", "Great", "Good", "Miss"
Tier        tierOf(double accuracy);  // below good counts as good

inline constexpr int    kHistogramBins   = 40;  // hit errors from -200 to +200 ms
inline constexpr double kHistogramBinSec = 0.010;

struct RunStats {
    void    clear();
    Tier    countPress(double error);  // seconds, press minus note: negative is early
    void    countMiss();
    int32_t count(Tier tier) const { return tiers[static_cast<size_t>(tier)]; }

    // Presses per 10 ms of error, earliest bin first; errors beyond either end
    // count in the end bin.
    std::array<int32_t, kHistogramBins> histogram() const;

    std::array<int32_t, kTierCount> tiers{};
    std::vector<double>             hitErrors;
    int32_t                         strays = 0;  // keyboard presses that found no circle of their key
};

// A finished run as the results screen shows it.
struct RunSummary {
    RunStats stats;
    int32_t  score        = 0;
    int32_t  best         = 0;
    bool     newBest      = false;
    int32_t  highestCombo = 0;
    int32_t  highestLayer = 0;
    double   seconds      = 0.0;

    int32_t presses() const { return static_cast<int32_t>(stats.hitErrors.size()); }
    double  accuracy() const;  // judged presses over presses and misses, 0..1; 0 for an empty run
};
