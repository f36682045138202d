#include "PlaybackProbe.h"

#include "AudioFiles.h"
#include "audio/Mixer.h"
#include "audio/Sound.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <random>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testaudio {

namespace {

using Clock = std::chrono::steady_clock;

constexpr int    kBufferFrames = Mixer::kChunkFrames;  // the device buffer the mixer asks SDL for
constexpr size_t kBufferBytes  = kBufferFrames * 2 * sizeof(float);
constexpr float  kRampScale    = 0.5f;                     // under the limiter's knee: samples pass unchanged
constexpr int    kRampFrames   = 20 * Mixer::kSampleRate;  // longer than any measurement

// Everything the device wrote, and when each of its buffers arrived.
struct Received {
    std::vector<float>             samples;
    std::vector<Clock::time_point> arrivals;
};

void drain(const std::string& pipe, Received& received) {
    const int fd = open(pipe.c_str(), O_RDONLY);
    if (fd < 0) return;
    std::vector<char> bytes;
    char              block[65536];
    for (;;) {
        const ssize_t n = read(fd, block, sizeof block);
        if (n <= 0) break;
        const Clock::time_point now    = Clock::now();
        const size_t            before = bytes.size();
        bytes.insert(bytes.end(), block, block + n);
        for (size_t start = (before + kBufferBytes - 1) / kBufferBytes * kBufferBytes; start < bytes.size();
             start += kBufferBytes)
            received.arrivals.push_back(now);
    }
    close(fd);
    received.samples.resize(bytes.size() / sizeof(float));
    std::memcpy(received.samples.data(), bytes.data(), received.samples.size() * sizeof(float));
}

// The ramp's frame at this output frame; -1 for silence.
double rampFrameAt(const Received& received, size_t frame) {
    const float left = received.samples[2 * frame];
    if (left <= 0.0f) return -1.0;
    return std::round(static_cast<double>(left) / kRampScale * kRampFrames) - 1.0;
}

// The voice frame the speaker plays at `when`, or NaN before the voice is heard.
double heardFrame(const Received& received, Clock::time_point when) {
    const auto later = std::upper_bound(received.arrivals.begin(), received.arrivals.end(), when);
    if (later == received.arrivals.begin()) return NAN;
    const size_t buffer = static_cast<size_t>(later - received.arrivals.begin()) - 1;
    if ((buffer + 1) * kBufferFrames > received.samples.size() / 2) return NAN;
    const double first = rampFrameAt(received, buffer * kBufferFrames);
    if (first < kBufferFrames) return NAN;  // the buffer before it was not all voice
    const double since = std::chrono::duration<double>(when - received.arrivals[buffer]).count();
    return first - kBufferFrames + since * Mixer::kSampleRate;
}

struct Sample {
    Clock::time_point at;
    double            playback;
    double            chunked;
};

}  // namespace

ClockErrors measureClockErrors(const std::filesystem::path& folder, double seconds, unsigned seed) {
    const std::string pipe = (folder / "speaker.pipe").string();
    if (mkfifo(pipe.c_str(), 0600) != 0) {
        ADD_FAILURE() << "no pipe at " << pipe;
        return {};
    }
    setSdlEnvironment("SDL_AUDIO_DRIVER", "disk");
    setSdlEnvironment("SDL_AUDIO_DISK_OUTPUT_FILE", pipe);
    std::vector<float> ramp(2 * static_cast<size_t>(kRampFrames));
    for (int i = 0; i < kRampFrames; ++i) {
        ramp[2 * i]     = kRampScale * static_cast<float>(i + 1) / static_cast<float>(kRampFrames);
        ramp[2 * i + 1] = 0.0f;
    }
    const Sound sound = soundFrom(ramp);

    Received    received;
    std::thread reader(drain, pipe, std::ref(received));  // the device's open waits for it
    Mixer       mixer;
    if (mixer.init() != Mixer::kOk) {
        close(open(pipe.c_str(), O_WRONLY));  // lets the reader go
        reader.join();
        ADD_FAILURE() << "the disk device did not start";
        return {};
    }
    const uint32_t                     voice = mixer.play(sound);
    std::mt19937                       random(seed);
    std::uniform_int_distribution<int> pause(0, 7000);
    std::vector<Sample>                samples;
    const Clock::time_point            end =
        Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (Clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::microseconds(pause(random)));
        const Clock::time_point before   = Clock::now();
        const double            playback = mixer.getPlaybackTime(voice);
        const Clock::time_point after    = Clock::now();
        samples.push_back({before + (after - before) / 2, playback, mixer.getStreamTime(voice)});
    }
    mixer.deinit();
    reader.join();

    ClockErrors errors;
    double      last = 0.0;
    for (const Sample& sample : samples) {
        errors.monotonic   = errors.monotonic && sample.playback >= last;
        last               = sample.playback;
        const double heard = heardFrame(received, sample.at);
        if (std::isnan(heard)) continue;
        const double heardSeconds = heard / Mixer::kSampleRate;
        errors.playback.push_back(1000.0 * (sample.playback - heardSeconds));
        errors.chunked.push_back(1000.0 * (sample.chunked - heardSeconds));
    }
    return errors;
}

double absolutePercentile(std::vector<double> values, double share) {
    if (values.empty()) return NAN;
    for (double& v : values) v = std::fabs(v);
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(share * static_cast<double>(values.size() - 1))];
}

}  // namespace testaudio
