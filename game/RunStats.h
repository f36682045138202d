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

const char* tierName(Tier tier);         // "Perfect", "Great", "Good", "Miss"
Tier        tierOf(double accuracy);     // below good counts as good

struct RunStats {
    void    clear();
    Tier    countPress(double error);  // seconds, press minus note: negative is early
    void    countMiss();
    int32_t count(Tier tier) const { return tiers[static_cast<size_t>(tier)]; }

    std::array<int32_t, kTierCount> tiers{};
    std::vector<double>             hitErrors;
};
