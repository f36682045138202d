#include "level/PackageValidation.h"

#include "audio/Sound.h"
#include "level/LevelManifest.h"
#include "level/PackagePaths.h"
#include "midi/MidiFile.h"

#include <SDL3/SDL_iostream.h>
#include <SDL3/SDL_stdinc.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

bool fail(std::string& error, const std::string& message) {
    error = message;
    return false;
}

bool checkStem(const fs::path& folder, const StemEntry& entry, std::string& error) {
    for (const std::string& name : {entry.file, entry.midi})
        if (!name.empty() && !isConfinedPath(name))
            return fail(error, "Refused: level.json names \"" + name + "\", outside the package");
    std::string bytes;
    if (!fs::is_regular_file(folder / entry.file) || !readPackageFile(folder / entry.file, bytes))
        return fail(error, "Refused: the stem \"" + entry.file + "\" named by level.json is not in the package");
    Sound sound;
    if (sound.loadMem(bytes.data(), bytes.size()) != Sound::kOk)
        return fail(error, "Refused: the stem \"" + entry.file + "\" does not decode");
    MidiFile midi;
    if (!entry.midi.empty() && entry.playsNotes && !loadMidiAsset((folder / entry.midi).string(), midi))
        return fail(error, "Refused: the MIDI file \"" + entry.midi + "\" does not load");
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

bool validatePackageFolder(const std::string& folder, std::string& error) {
    std::vector<StemEntry> entries;
    if (!manifestStems(fs::path(folder) / "level.json", entries))
        return fail(error, "Refused: the package's level.json is not a level manifest with stems");
    for (const StemEntry& entry : entries)
        if (!checkStem(folder, entry, error)) return false;
    return true;
}
