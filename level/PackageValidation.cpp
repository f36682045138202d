#include "level/PackageValidation.h"

#include "audio/NoteTimeline.h"
#include "audio/Sound.h"
#include "level/ChartDensity.h"
#include "level/LevelManifest.h"
#include "level/PackagePaths.h"

#include <SDL3/SDL_iostream.h>
#include <SDL3/SDL_stdinc.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

bool fail(std::string& error, const std::string& message) {
    error = message;
    return false;
}

// The game plays this many stems; decoding more would only cost the import its time.
constexpr size_t kMostStems = 8;

bool checkStem(const fs::path& folder, const StemEntry& entry, float songBpm, std::string& error) {
    for (const std::string& name : {entry.file, entry.midi})
        if (!name.empty() && !isConfinedPath(name))
            return fail(error, "Refused: level.json names \"" + name + "\", outside the package");
    std::string bytes;
    if (!fs::is_regular_file(folder / entry.file) || !readPackageFile(folder / entry.file, bytes))
        return fail(error, "Refused: the stem \"" + entry.file + "\" named by level.json is not in the package");
    Sound sound;
    if (sound.loadMem(bytes.data(), bytes.size()) != Sound::kOk)
        return fail(error, "Refused: the stem \"" + entry.file + "\" does not decode");
    if (entry.midi.empty() || !entry.playsNotes) return true;
    StemMidi chart;
    if (!chart.load((folder / entry.midi).string()))
        return fail(error, "Refused: the MIDI file \"" + entry.midi + "\" does not load");
    const std::string tooDense = chartDensityProblem(chart, songBpm, entry.midi);
    if (!tooDense.empty()) return fail(error, "Refused: " + tooDense);
    return true;
}

}  // namespace

bool readPackageFile(const std::filesystem::path& path, std::string& bytes) {
    size_t size = 0;
    void*  data = SDL_LoadFile(path.c_str(), &size);
    if (data == nullptr) return false;
    bytes.assign(static_cast<const char*>(data), size);
    SDL_free(data);
    return true;
}

bool manifestStems(const std::filesystem::path& manifest, std::vector<StemEntry>& entries) {
    float bpm = 0.0f;
    return parseLevelManifest(manifest.string(), entries, bpm);
}

bool validatePackageFolder(const std::string& folder, std::string& error, const StemChecked& stemChecked) {
    std::vector<StemEntry> entries;
    float                  bpm = 0.0f;
    if (!parseLevelManifest((fs::path(folder) / "level.json").string(), entries, bpm))
        return fail(error, "Refused: the package's level.json is not a level manifest with stems");
    if (entries.size() > kMostStems)
        return fail(error, "Refused: level.json names " + std::to_string(entries.size()) + " stems; the game plays " +
                               std::to_string(kMostStems) + " at most");
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!checkStem(folder, entries[i], bpm, error)) return false;
        if (stemChecked && !stemChecked(i + 1, entries.size())) return fail(error, "Import cancelled");
    }
    return true;
}
