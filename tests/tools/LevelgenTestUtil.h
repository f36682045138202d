// Helpers for the level generator's tests: small songs built by hand, audio
// decoded back from the encoder, onsets found in an audio envelope, and
// Debian's midicsv as an independent MIDI reader.
#pragma once

#include "tools/levelgen/Catalogue.h"
#include "tools/levelgen/Music.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace lgtest {

// A short level (two bars at 125 BPM) with a drum stem and the given melodic roles.
levelgen::LevelPlan shortLevel(std::vector<levelgen::Role> roles);

// Left/right interleaved samples of an encoded stem, decoded through a temporary file.
std::vector<float> decodeOgg(const std::vector<uint8_t>& ogg, int& channels);

// Mono sum of an interleaved stereo buffer.
std::vector<float> mono(const std::vector<float>& stereo);

// Start times (seconds) of the sounds in a signal: where its envelope rises out of quiet.
std::vector<double> detectOnsets(const std::vector<float>& mono, int sampleRate);

// Largest sample-to-sample step inside the signal (or only within `window` samples
// of either end), and the step across its wrap (last sample to first).
float largestInnerStep(const std::vector<float>& mono, size_t window = SIZE_MAX);
float wrapStep(const std::vector<float>& mono);

struct CsvNote {
    int  tick, channel, key, velocity;
    bool on;
    bool operator==(const CsvNote&) const = default;
};
// The notes midicsv reads in a file (note-ons of velocity 0 count as note-offs); false when it fails.
bool midicsvNotes(const std::filesystem::path& midi, std::vector<CsvNote>& notes, std::string& csv);

}  // namespace lgtest
