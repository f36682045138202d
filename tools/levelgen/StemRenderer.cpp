#include "tools/levelgen/StemRenderer.h"

#include "tools/levelgen/Music.h"

#include <fluidsynth.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <set>

namespace levelgen {

namespace {

constexpr double kTailSeconds = 3.0;   // longest release plus reverb we fold back
constexpr float  kPeakLimit   = 0.8f;  // headroom for the lossy encoder and the mix

struct SynthEvent {
    int64_t sample  = 0;
    bool    on      = false;
    int     channel = 0, key = 0, velocity = 0;
};

struct SettingsDeleter {
    void operator()(fluid_settings_t* s) const { delete_fluid_settings(s); }
};
struct SynthDeleter {
    void operator()(fluid_synth_t* s) const { delete_fluid_synth(s); }
};

struct Synth {
    std::unique_ptr<fluid_settings_t, SettingsDeleter> settings;
    std::unique_ptr<fluid_synth_t, SynthDeleter>       synth;
};

// A fresh synthesizer with the soundfont loaded, so that every render starts from the same state.
bool openSynth(const std::string& soundfontPath, Synth& out) {
    out.settings.reset(new_fluid_settings());
    if (!out.settings) return false;
    fluid_settings_t* s = out.settings.get();
    fluid_settings_setnum(s, "synth.sample-rate", double(kSampleRate));
    fluid_settings_setint(s, "synth.chorus.active", 0);
    fluid_settings_setint(s, "synth.reverb.active", 1);
    fluid_settings_setint(s, "synth.polyphony", 64);
    fluid_settings_setint(s, "synth.cpu-cores", 1);
    fluid_settings_setnum(s, "synth.gain", 0.5);
    out.synth.reset(new_fluid_synth(s));
    if (!out.synth || fluid_synth_sfload(out.synth.get(), soundfontPath.c_str(), 1) == FLUID_FAILED) return false;
    fluid_synth_set_interp_method(out.synth.get(), -1, FLUID_INTERP_LINEAR);  // modest quality, quick on two cores
    return true;
}

std::vector<SynthEvent> synthEvents(const Song& song, const Stem& stem) {
    std::vector<SynthEvent> events;
    for (const Note& n : stem.notes) {
        events.push_back({tickToSample(n.tick, song.bpm), true, n.channel, n.key, n.velocity});
        events.push_back({tickToSample(n.tick + n.length, song.bpm), false, n.channel, n.key, 0});
    }
    // Note-offs first at one instant, so a repeated key restarts instead of being cut.
    std::stable_sort(events.begin(), events.end(), [](const SynthEvent& a, const SynthEvent& b) {
        return a.sample != b.sample ? a.sample < b.sample : (!a.on && b.on);
    });
    return events;
}

void setUpChannels(fluid_synth_t* synth, const Stem& stem) {
    std::set<int> channels;
    for (const Note& n : stem.notes) channels.insert(n.channel);
    for (int c : channels) {
        fluid_synth_program_change(synth, c, stem.program);
        fluid_synth_cc(synth, c, 10, stem.pan);
    }
}

// Renders frames [from, to) of the output into the interleaved buffer.
void renderSpan(fluid_synth_t* synth, std::vector<float>& left, std::vector<float>& right, int64_t from, int64_t to) {
    constexpr int64_t kChunk = 4096;
    while (from < to) {
        int n = int(std::min(kChunk, to - from));
        fluid_synth_write_float(synth, n, left.data() + from, 0, 1, right.data() + from, 0, 1);
        from += n;
    }
}

std::vector<float> foldAndInterleave(const std::vector<float>& left, const std::vector<float>& right, int64_t loop) {
    std::vector<float> out(size_t(loop) * 2, 0.0f);
    for (size_t i = 0; i < left.size(); ++i) {
        size_t j = i % size_t(loop);
        out[2 * j] += left[i];
        out[2 * j + 1] += right[i];
    }
    return out;
}

void bringToLoudness(std::vector<float>& samples, float targetRms) {
    double sum  = 0.0;
    float  peak = 0.0f;
    for (float s : samples) {
        sum += double(s) * s;
        peak = std::max(peak, std::fabs(s));
    }
    if (peak <= 0.0f) return;
    float rms  = float(std::sqrt(sum / double(samples.size())));
    float gain = std::min(targetRms / rms, kPeakLimit / peak);
    for (float& s : samples) s *= gain;
}

// FluidSynth's own messages are replaced by ours, one line per failure.
void quietFluidSynth() {
    fluid_set_log_function(FLUID_ERR, nullptr, nullptr);
    fluid_set_log_function(FLUID_WARN, nullptr, nullptr);
    fluid_set_log_function(FLUID_INFO, nullptr, nullptr);
    fluid_set_log_function(FLUID_DBG, nullptr, nullptr);
}

}  // namespace

bool synthReady(const std::string& path) {
    quietFluidSynth();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) {
        std::fprintf(stderr,
                     "levelgen: soundfont %s is missing; install it with: sudo apt-get install timgm6mb-soundfont\n",
                     path.c_str());
        return false;
    }
    // The header check first: FluidSynth's file loader prints its own complaints about a broken file.
    Synth synth;
    if (!fluid_is_soundfont(path.c_str()) || !openSynth(path, synth)) {
        std::fprintf(stderr,
                     "levelgen: soundfont %s cannot be read by FluidSynth; reinstall it with: "
                     "sudo apt-get install --reinstall timgm6mb-soundfont\n",
                     path.c_str());
        return false;
    }
    return true;
}

std::vector<float> renderStem(const Song& song, const Stem& stem, const std::string& soundfontPath) {
    Synth owner;
    if (!openSynth(soundfontPath, owner)) {
        std::fprintf(stderr, "levelgen: FluidSynth could not load the soundfont %s\n", soundfontPath.c_str());
        return {};
    }
    fluid_synth_t* synth = owner.synth.get();
    setUpChannels(synth, stem);

    const int64_t      loop  = loopSamples(song);
    const int64_t      total = loop + int64_t(kTailSeconds * kSampleRate);
    std::vector<float> left(size_t(total), 0.0f), right(size_t(total), 0.0f);
    int64_t            cursor = 0;
    for (const SynthEvent& e : synthEvents(song, stem)) {
        renderSpan(synth, left, right, cursor, e.sample);
        cursor = std::max(cursor, e.sample);
        if (e.on) fluid_synth_noteon(synth, e.channel, e.key, e.velocity);
        else fluid_synth_noteoff(synth, e.channel, e.key);
    }
    renderSpan(synth, left, right, cursor, total);

    std::vector<float> out = foldAndInterleave(left, right, loop);
    bringToLoudness(out, stem.mixRms);
    return out;
}

}  // namespace levelgen
