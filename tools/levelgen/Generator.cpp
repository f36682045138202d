#include "tools/levelgen/Generator.h"

#include "tools/levelgen/Catalogue.h"
#include "tools/levelgen/Manifest.h"
#include "tools/levelgen/OggWriter.h"
#include "tools/levelgen/Playfield.h"
#include "tools/levelgen/SmfWriter.h"
#include "tools/levelgen/StemRenderer.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;

namespace levelgen {

namespace {

std::vector<uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

// Renders and encodes every stem, a few at a time; empty entries mark failures.
std::vector<std::vector<uint8_t>> encodeStems(const Song& song, const GeneratorOptions& options) {
    std::vector<std::vector<uint8_t>> out(song.stems.size());
    std::atomic<size_t>               next{0};
    auto                              work = [&] {
        for (size_t i = next++; i < song.stems.size(); i = next++)
            out[i] = encodeOggVorbis(renderStem(song, song.stems[i], options.soundfont), kSampleRate);
    };
    std::vector<std::thread> workers;
    int                      count = std::clamp(options.jobs, 1, int(song.stems.size()));
    for (int i = 1; i < count; ++i) workers.emplace_back(work);
    work();
    for (auto& w : workers) w.join();
    return out;
}

bool writeFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    f.close();
    return bool(f);
}

// A hidden name beside path: ".name" + suffix.
fs::path besides(const fs::path& path, const char* suffix) {
    std::string name = ".";
    name += path.filename().string();
    name += suffix;
    return path.parent_path() / name;
}

// Replaces target with the finished temporary path (a folder or a file).
bool moveIntoPlace(const fs::path& temporary, const fs::path& target) {
    std::error_code ec;
    fs::path        old = besides(target, ".old");
    fs::remove_all(old, ec);
    if (fs::exists(target, ec)) fs::rename(target, old, ec);
    if (!ec) fs::rename(temporary, target, ec);
    if (ec) {
        std::fprintf(stderr, "levelgen: cannot move %s into place: %s\n", target.string().c_str(),
                     ec.message().c_str());
        fs::remove_all(temporary, ec);
        return false;
    }
    fs::remove_all(old, ec);
    return true;
}

bool writeFolder(const fs::path& folder, const LevelFiles& files) {
    fs::path        temporary = besides(folder, ".tmp");
    std::error_code ec;
    fs::remove_all(temporary, ec);
    fs::create_directories(temporary, ec);
    bool ok = !ec;
    for (auto it = files.begin(); ok && it != files.end(); ++it) ok = writeFile(temporary / it->first, it->second);
    if (!ok) {
        std::fprintf(stderr, "levelgen: cannot write %s\n", temporary.string().c_str());
        fs::remove_all(temporary, ec);
        return false;
    }
    return moveIntoPlace(temporary, folder);
}

bool writeSingleFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    fs::path temporary = besides(path, ".tmp");
    if (!writeFile(temporary, bytes)) {
        std::fprintf(stderr, "levelgen: cannot write %s\n", temporary.string().c_str());
        std::error_code ec;
        fs::remove(temporary, ec);
        return false;
    }
    return moveIntoPlace(temporary, path);
}

// The default level keeps its stems in a folder and its manifest beside it, in levels/.
bool installLevel(const fs::path& out, const LevelPlan& plan, LevelFiles files) {
    if (!plan.standalone) return writeFolder(out / plan.folder, files);
    std::vector<uint8_t> manifest = files["level.json"];
    files.erase("level.json");
    return writeFolder(out / plan.folder, files) && writeSingleFile(out / "level.json", manifest);
}

bool outputWritable(const fs::path& out) {
    std::error_code ec;
    fs::create_directories(out, ec);
    fs::path probe = out / ".levelgen-probe";
    bool     ok    = !ec && fs::create_directory(probe, ec) && !ec;
    fs::remove_all(probe, ec);
    if (!ok)
        std::fprintf(stderr,
                     "levelgen: cannot write to the output folder %s; make it writable (or pass another folder)\n",
                     out.string().c_str());
    return ok;
}

void reportLevel(const LevelPlan& plan, const Song& song, const PlayfieldReport& chart, double seconds) {
    int holds = 0;
    for (const Stem& s : song.stems)
        holds += int(std::count_if(s.notes.begin(), s.notes.end(),
                                   [](const Note& n) { return n.charted && n.channel == kHoldChannel; }));
    std::printf(
        "levelgen: %-14s %zu stems, %3d BPM, %2d bars = %lld samples (%.2f s), %d circles (%d holds, %d moved, "
        "%d heard only) in %.1f s\n",
        plan.folder.c_str(), song.stems.size(), song.bpm, song.bars, (long long)loopSamples(song),
        double(loopSamples(song)) / kSampleRate, chart.charted, holds, chart.moved, chart.dropped, seconds);
    std::fflush(stdout);
}

}  // namespace

bool buildLevel(const LevelPlan& plan, const GeneratorOptions& options, LevelFiles& files) {
    auto        started = std::chrono::steady_clock::now();
    std::string why;
    if (!styleIsValid(plan.style, why)) {
        std::fprintf(stderr, "levelgen: level %s: %s\n", plan.folder.c_str(), why.c_str());
        return false;
    }
    Song                              song  = composeSong(plan.style);
    PlayfieldReport                   chart = makePlayable(song);
    std::vector<std::vector<uint8_t>> audio = encodeStems(song, options);
    files.clear();
    for (size_t i = 0; i < song.stems.size(); ++i) {
        if (audio[i].empty()) return false;
        files[song.stems[i].name + ".ogg"] = std::move(audio[i]);
        files[song.stems[i].name + ".mid"] = writeStemMidi(song, song.stems[i]);
    }
    files["level.json"] = bytesOf(manifestText(song, plan.standalone ? plan.folder + "/" : ""));
    if (plan.shader) files["background.frag"] = bytesOf(plan.shader);
    reportLevel(plan, song, chart, std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count());
    return true;
}

bool generateLevels(const GeneratorOptions& options) {
    fs::path out(options.outputDir);
    if (!synthReady(options.soundfont) || !outputWritable(out)) return false;
    std::vector<LevelPlan> levels = levelCatalogue();
    for (const LevelPlan& plan : levels) {
        LevelFiles files;
        if (!buildLevel(plan, options, files) || !installLevel(out, plan, std::move(files))) return false;
    }
    return writeSingleFile(out / "levels.json", bytesOf(levelListText(levels)));
}

}  // namespace levelgen
