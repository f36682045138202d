#include "songimport/SongStart.h"

#include "songimport/SongDecoder.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr uint64_t kRate = 44100;
constexpr uint64_t kHop  = 512;
// The first note: the first hop within this much of the song's loudest.
constexpr double kFirstNoteBelowLoudestDb = 40.0;
// A bar at the slowest tempo the beat tracker reports (4 beats at 60 BPM):
// a shorter silence is the song's own upbeat rest.
constexpr double kLongestBarSeconds = 4.0;

// The power of each hop of the stems mixed to mono.
std::vector<double> hopPowers(const std::vector<const DecodedSong*>& stems, uint64_t frames) {
    std::vector<double> powers(size_t((frames + kHop - 1) / kHop), 0.0);
    for (uint64_t at = 0; at < frames; ++at) {
        double mono = 0.0;
        for (const DecodedSong* s : stems)
            if (at < s->frames) mono += 0.5 * (double(s->samples[2 * at]) + s->samples[2 * at + 1]);
        powers[size_t(at / kHop)] += mono * mono;
    }
    return powers;
}

uint64_t firstNoteFrame(const std::vector<const DecodedSong*>& stems, uint64_t frames) {
    const std::vector<double> powers  = hopPowers(stems, frames);
    const double              loudest = *std::max_element(powers.begin(), powers.end());
    const double              floor   = loudest * std::pow(10.0, -kFirstNoteBelowLoudestDb / 10.0);
    const auto                first   = std::find_if(powers.begin(), powers.end(), [&](double p) { return p > floor; });
    return uint64_t(first - powers.begin()) * kHop;
}

}  // namespace

uint64_t levelStartFrame(const std::vector<const DecodedSong*>& stems) {
    uint64_t frames = 0;
    for (const DecodedSong* s : stems) frames = std::max(frames, s->frames);
    if (frames == 0) return 0;
    const uint64_t note = firstNoteFrame(stems, frames);
    if (double(note) / kRate <= kLeadInSeconds + kLongestBarSeconds) return 0;
    return note - uint64_t(kLeadInSeconds * kRate);
}
