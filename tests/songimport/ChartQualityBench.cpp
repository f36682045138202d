// How well the song importer charts music it has never seen: every stem of
// every generated level is imported from its audio alone (the level's stems
// as stem files, difficulty hard) and its chart compared with the MIDI the
// stem was rendered from: onset precision, recall and F-measure at +-50 ms
// against the source note-ons, and the tempo found against the true one.
// Then the level's stems mixed into one song go through the instrument split:
// the drum chart against the drum notes, the bass chart against the bass
// notes, the rest against all other notes.
// Usage: chart_quality_bench LEVELS_DIR (the generated levels, assets/levels).
#include "midi/MidiFile.h"
#include "songimport/SongDecoder.h"
#include "songimport/SongImport.h"

#include <nlohmann/json.hpp>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

constexpr double kWindow = 0.05;

struct MidiNotes {
    std::vector<double> onsets;
    double              bpm = 0.0;
};

MidiNotes readNotes(const fs::path& path) {
    MidiNotes notes;
    MidiFile  file;
    if (!loadMidiAsset(path.string(), file)) return notes;
    file.computeEventTimes();
    file.mergeTracks();
    for (int i = 0; i < file.eventCount(0); ++i) {
        const MidiTrackEvent& e = file.event(0, i);
        if (e.isNoteOn()) notes.onsets.push_back(e.seconds);
        if (e.isTempo() && notes.bpm == 0.0) notes.bpm = e.tempoBpm();
    }
    std::sort(notes.onsets.begin(), notes.onsets.end());
    return notes;
}

// Greedy one-to-one matching of sorted times within the window.
int matched(const std::vector<double>& truth, const std::vector<double>& found) {
    int    hits = 0;
    size_t j    = 0;
    for (double t : truth) {
        while (j < found.size() && found[j] < t - kWindow) ++j;
        if (j < found.size() && std::fabs(found[j] - t) <= kWindow) {
            ++hits;
            ++j;
        }
    }
    return hits;
}

struct Tally {
    int  truth = 0, found = 0, hits = 0;
    void add(const Tally& o) {
        truth += o.truth;
        found += o.found;
        hits += o.hits;
    }
    double precision() const { return found ? double(hits) / found : 0.0; }
    double recall() const { return truth ? double(hits) / truth : 0.0; }
    double f() const { return hits ? 2.0 * precision() * recall() / (precision() + recall()) : 0.0; }
};

nlohmann::json readJson(const fs::path& path) {
    std::ifstream in(path);
    return nlohmann::json::parse(in, nullptr, false);
}

struct LevelStems {
    std::vector<std::string> audio, midi, names;
};

LevelStems stemsOf(const fs::path& manifest) {
    LevelStems     stems;
    nlohmann::json doc = readJson(manifest);
    if (!doc.is_object() || !doc.contains("stems")) return stems;
    for (const auto& s : doc["stems"]) {
        stems.audio.push_back((manifest.parent_path() / s.value("file", "")).string());
        stems.midi.push_back((manifest.parent_path() / s.value("midi", "")).string());
        stems.names.push_back(fs::path(s.value("file", "")).stem().string());
    }
    return stems;
}

// The stems played together, as one 16-bit WAV song.
bool writeMix(const LevelStems& stems, const fs::path& path) {
    std::vector<float> mix;
    for (const std::string& file : stems.audio) {
        DecodedSong song;
        std::string why;
        if (!decodeSong(file, song, why)) return false;
        mix.resize(std::max(mix.size(), size_t(song.frames) * 2), 0.0f);
        for (size_t i = 0; i < size_t(song.frames) * 2; ++i) mix[i] += song.samples[i];
    }
    SF_INFO info{};
    info.samplerate = 44100;
    info.channels   = 2;
    info.format     = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* out    = sf_open(path.c_str(), SFM_WRITE, &info);
    if (out == nullptr) return false;
    sf_command(out, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const bool written = sf_writef_float(out, mix.data(), sf_count_t(mix.size() / 2)) == sf_count_t(mix.size() / 2);
    return sf_close(out) == 0 && written;
}

SongImportResult importInto(const fs::path& scratch, std::vector<std::string> files, const std::string& title) {
    SongImportRequest request;
    request.files      = std::move(files);
    request.title      = title;
    request.difficulty = Difficulty::Hard;
    request.levelsDir  = scratch.string();
    ImportProgress progress;
    return importSong(request, progress);
}

// The chart of each instrument stem against the true notes of its part.
bool scoreMixed(const fs::path& scratch, const std::string& title, const LevelStems& stems, Tally (&parts)[3]) {
    if (!writeMix(stems, scratch / (title + "-mix.wav"))) return false;
    const SongImportResult result = importInto(scratch, {(scratch / (title + "-mix.wav")).string()}, title + "-mix");
    if (!result.ok) {
        std::fprintf(stderr, "%s\n", result.message.c_str());
        return false;
    }
    const LevelStems    charted = stemsOf(scratch / result.level.file / "level.json");
    std::vector<double> truth[3];
    for (size_t i = 0; i < stems.audio.size(); ++i) {
        const int                 part  = stems.names[i] == "drums" ? 0 : stems.names[i] == "bass" ? 1 : 2;
        const std::vector<double> notes = readNotes(stems.midi[i]).onsets;
        truth[part].insert(truth[part].end(), notes.begin(), notes.end());
    }
    for (int part = 0; part < 3 && part < int(charted.midi.size()); ++part) {
        if (truth[part].empty()) continue;
        std::sort(truth[part].begin(), truth[part].end());
        const std::vector<double> found = readNotes(charted.midi[part]).onsets;
        Tally                     t{int(truth[part].size()), int(found.size()), matched(truth[part], found)};
        parts[part].add(t);
        std::printf("%-14s %-8s %6d %6d %6.2f %6.2f %6.2f\n", (title + " mix").c_str(), charted.names[part].c_str(),
                    t.truth, t.found, t.precision(), t.recall(), t.f());
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: chart_quality_bench LEVELS_DIR\n");
        return 2;
    }
    const fs::path levels  = argv[1];
    const fs::path scratch = fs::temp_directory_path() / ("lumoka-chart-quality-" + std::to_string(::getpid()));
    fs::create_directories(scratch);
    Tally all, drumsAndBass, mixed[3];
    bool  tempoOk    = true;
    int   levelCount = 0;
    std::printf("%-14s %-8s %6s %6s %6s %6s %6s\n", "level", "stem", "notes", "found", "P", "R", "F");
    for (const char* manifest : {"level.json", "sample_a.zip/level.json", "sample_b.zip/level.json",
                                 "sample_c.zip/level.json", "tutorialsong/level.json"}) {
        const LevelStems stems = stemsOf(levels / manifest);
        if (stems.audio.empty()) continue;
        const std::string title =
            fs::path(manifest).parent_path().empty() ? "default" : fs::path(manifest).parent_path().string();
        SongImportResult result = importInto(scratch, stems.audio, title);
        if (!result.ok || !scoreMixed(scratch, title, stems, mixed)) {
            std::fprintf(stderr, "%s\n", result.message.c_str());
            return 1;
        }
        ++levelCount;
        const LevelStems charted = stemsOf(scratch / result.level.file / "level.json");
        const double     trueBpm = readNotes(stems.midi.front()).bpm;
        for (size_t i = 0; i < stems.audio.size(); ++i) {
            const std::vector<double> truth = readNotes(stems.midi[i]).onsets;
            const std::vector<double> found = readNotes(charted.midi[i]).onsets;
            Tally                     t{int(truth.size()), int(found.size()), matched(truth, found)};
            all.add(t);
            if (stems.names[i] == "drums" || stems.names[i] == "bass") drumsAndBass.add(t);
            std::printf("%-14s %-8s %6d %6d %6.2f %6.2f %6.2f\n", title.c_str(), stems.names[i].c_str(),
                        t.truth, t.found, t.precision(), t.recall(), t.f());
        }
        const double error = std::fabs(result.bpm - trueBpm) / trueBpm * 100.0;
        tempoOk            = tempoOk && error <= 1.0;
        std::printf("%-14s tempo: found %.2f BPM, true %.2f BPM, off by %.2f %%\n", title.c_str(), result.bpm,
                    trueBpm, error);
    }
    fs::remove_all(scratch);
    if (levelCount == 0) {
        std::fprintf(stderr, "no generated levels in %s (run tools/generate-levels.sh)\n", levels.string().c_str());
        return 1;
    }
    std::printf("F-measure, drum and bass stems: %.3f\n", drumsAndBass.f());
    std::printf("F-measure, all stems: %.3f\n", all.f());
    std::printf("tempo within 1 %% on every level: %s\n", tempoOk ? "yes" : "no");
    Tally mixedAll;
    for (const Tally& t : mixed) mixedAll.add(t);
    std::printf("F-measure, mixed song, drums: %.3f\n", mixed[0].f());
    std::printf("F-measure, mixed song, bass: %.3f\n", mixed[1].f());
    std::printf("F-measure, mixed song, the rest: %.3f\n", mixed[2].f());
    std::printf("F-measure, mixed song, all stems: %.3f\n", mixedAll.f());
    return 0;
}
