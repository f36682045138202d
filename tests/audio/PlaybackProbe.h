// How far the mixer's clocks are from what the speaker plays. The mixer runs on
// SDL's disk driver writing into a pipe; a reader thread drains it and stamps
// every device buffer with the moment it arrived. The disk device stands for a
// sound card that plays one buffer while the next is handed to it, so a buffer
// is heard from one buffer's length after it arrived. The voice plays a ramp
// whose every frame is distinct, so each buffer says which voice frame it
// starts with. Samples are taken at random moments for the given time.
#pragma once

#include <filesystem>
#include <vector>

namespace testaudio {

struct ClockErrors {
    std::vector<double> playback;          // milliseconds, Mixer::getPlaybackTime minus what is heard
    std::vector<double> chunked;           // the same for Mixer::getStreamTime
    bool                monotonic = true;  // the playback clock never went back
};

// Empty when the device could not be started (the test has failed then).
ClockErrors measureClockErrors(const std::filesystem::path& folder, double seconds, unsigned seed);

// The value below which that share (0..1) of the absolute values lie.
double absolutePercentile(std::vector<double> values, double share);

}  // namespace testaudio
