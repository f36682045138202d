// A run kept as its judged inputs: a small plain header (magic, format
// version, lengths, CRC-32), then a zlib-compressed body of varints: the
// game's version, the level's name and SHA-256, the settings the rules took,
// the player, the claimed result, and the inputs as time deltas. The reader
// refuses anything hostile (short, corrupt, huge counts, times running
// backwards) with one line. Reading the level's files and judging are the
// caller's (judge/Judge.h).
#pragma once

#include "judge/Judge.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

inline constexpr uint16_t kReplayVersion = 1;

using LevelHash = std::array<uint8_t, 32>;

struct Replay {
    std::string             gameVersion;
    std::string             levelName;
    LevelHash               levelHash{};
    JudgeSettings           settings;
    uint32_t                startStems = 1;  // bit per stem audible when the run started
    std::string             player;
    RunResult               claimed;
    int64_t                 endUs = 0;  // heard time the run ended at
    std::vector<JudgeInput> inputs;
};

std::string encodeReplay(const Replay& replay);
bool        decodeReplay(std::string_view bytes, Replay& replay, std::string& error);  // error: one line

// SHA-256 over the files' bytes in the order given; false when one cannot be read.
bool hashLevelFiles(const std::vector<std::string>& paths, LevelHash& hash);

// Judges the replay's inputs on the given stems (their audible flags taken
// from the replay) and returns what the run earned.
RunResult rejudge(const Replay& replay, std::vector<JudgeStem> stems);
