#include "LevelgenTestUtil.h"

#include "support/TestSupport.h"
#include "tools/levelgen/OggWriter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <sstream>

namespace lgtest {

using namespace levelgen;

LevelPlan shortLevel(std::vector<Role> roles) {
    LevelPlan l;
    l.folder = "short";
    l.style  = {42, 125, 2, 9, Mode::Minor, {0, 5}, 1, 1, 0.5, {{Role::Drums, "drums", "Standard Drum Kit", 0}}};
    for (Role r : roles) {
        std::string name = "stem" + std::to_string(l.style.voices.size());
        l.style.voices.push_back({r, name, "Church Organ", 19});
    }
    return l;
}

std::vector<float> decodeOgg(const std::vector<uint8_t>& ogg, int& channels) {
    testsupport::TempDir  dir;
    std::filesystem::path path = dir.path() / "stem.ogg";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(ogg.data()), std::streamsize(ogg.size()));
    std::vector<float> samples;
    channels = 0;
    if (!decodeAudioFile(path.string(), samples, channels)) samples.clear();
    return samples;
}

std::vector<float> mono(const std::vector<float>& stereo) {
    std::vector<float> out(stereo.size() / 2);
    for (size_t i = 0; i < out.size(); ++i) out[i] = 0.5f * (stereo[2 * i] + stereo[2 * i + 1]);
    return out;
}

std::vector<double> detectOnsets(const std::vector<float>& signal, int sampleRate) {
    // Envelope: peak level in hops of 32 samples (0.7 ms).
    constexpr size_t   kHop = 32;
    std::vector<float> env(signal.size() / kHop);
    for (size_t k = 0; k < env.size(); ++k)
        for (size_t i = 0; i < kHop; ++i) env[k] = std::max(env[k], std::fabs(signal[k * kHop + i]));
    float peak = *std::max_element(env.begin(), env.end());
    // An onset: the envelope climbs past a fifth of the peak after at least 30 ms below a tenth.
    const float         high = 0.2f * peak, low = 0.1f * peak;
    const size_t        quietHops = size_t(0.030 * sampleRate) / kHop;
    std::vector<double> onsets;
    size_t              quiet = quietHops;
    for (size_t k = 0; k < env.size(); ++k) {
        if (env[k] >= high && quiet >= quietHops) {
            size_t start = k;  // back to where the rise began
            while (start > 0 && env[start - 1] >= low && env[start - 1] < env[start]) --start;
            onsets.push_back(double(start * kHop) / sampleRate);
        }
        quiet = env[k] < low ? quiet + 1 : 0;
    }
    return onsets;
}

float largestInnerStep(const std::vector<float>& s, size_t window) {
    float best = 0.0f;
    for (size_t i = 1; i < s.size(); ++i)
        if (i <= window || s.size() - i <= window) best = std::max(best, std::fabs(s[i] - s[i - 1]));
    return best;
}

float wrapStep(const std::vector<float>& s) { return std::fabs(s.front() - s.back()); }

bool midicsvNotes(const std::filesystem::path& midi, std::vector<CsvNote>& notes, std::string& csv) {
    std::string                           command = "midicsv '" + midi.string() + "' 2>&1";
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) return false;
    char buffer[4096];
    csv.clear();
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0;) csv.append(buffer, n);
    if (pclose(pipe.release()) != 0) return false;
    std::istringstream lines(csv);
    notes.clear();
    for (std::string line; std::getline(lines, line);) {
        int  track, tick, channel, key, velocity;
        char type[32];
        if (std::sscanf(line.c_str(), "%d, %d, %31[A-Za-z_], %d, %d, %d", &track, &tick, type, &channel, &key,
                        &velocity) != 6)
            continue;
        std::string t = type;
        if (t != "Note_on_c" && t != "Note_off_c") continue;
        notes.push_back({tick, channel, key, velocity, t == "Note_on_c" && velocity > 0});
    }
    return true;
}

}  // namespace lgtest
