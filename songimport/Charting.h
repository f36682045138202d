// Turns what was heard in a stem into its chart: onsets snapped to the beat
// grid (a sixteenth of the tracked beats) when near it, thinned to the
// difficulty's least gap (louder notes first), quiet leftovers dropped;
// pitch gives the circle's column, loudness its height, and a pitch held for
// half a second or more makes a hold note (channel 1). All stems' charts
// together then keep to the difficulty's density.
#pragma once

#include "midi/MidiWriter.h"
#include "songimport/StemAnalysis.h"

#include <string>
#include <vector>

enum class Difficulty { Easy, Normal, Hard };

struct DifficultyRules {
    double minGap;        // seconds between two circles of one stem
    int    chartedStems;  // how many stems, in unlocking order, carry notes
    int    stars;         // the level list's difficulty
    double maxPerSecond;  // circles of all stems together, in any 4-second window
};

DifficultyRules        rulesFor(Difficulty difficulty);
bool                   parseDifficulty(const std::string& text, Difficulty& out);  // easy, normal, hard
const char*            difficultyName(Difficulty difficulty);
std::vector<ChartNote> chartStem(const std::vector<HeardOnset>& heard, const BeatGrid& grid, double minGap);
// Thins the stems' charts together to the difficulty's density: first the
// notes that leave no gap over 4 s in a stem where it plays, then notes on
// beats before the others and louder ones before quieter.
// The tracked beats as the charts' tempo map when they drift more than 20 ms
// from a single tempo; empty when one tempo holds them.
std::vector<double> tempoMap(const BeatGrid& grid);
float               medianBpm(const std::vector<double>& beats);  // of the gaps between beats
void limitDensity(std::vector<std::vector<ChartNote>>& charts, const BeatGrid& grid, double maxPerSecond);
