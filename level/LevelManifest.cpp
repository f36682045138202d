#include "level/LevelManifest.h"

#include "audio/AudioSystem.h"
#include "game/GameLogic.h"
#include "level/PackagePaths.h"
#include "render/RenderState.h"

#include <SDL3/SDL_iostream.h>
#include <SDL3/SDL_stdinc.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>
#include <utility>

using nlohmann::json;

namespace {

constexpr size_t kMaxStems   = 8;
constexpr float  kDefaultBpm = 120.0f;

bool readText(const std::string& path, std::string& text) {
    size_t size = 0;
    void*  data = SDL_LoadFile(path.c_str(), &size);
    if (data == nullptr || size == 0) {
        std::cerr << "Failed to read level JSON: " << path << std::endl;
        SDL_free(data);
        return false;
    }
    text.assign(static_cast<const char*>(data), size);
    SDL_free(data);
    return true;
}

// Throws the library's type error on a member of the wrong type.
StemEntry readEntry(const json& element) {
    StemEntry entry;
    entry.file       = element.value("file", entry.file);
    entry.midi       = element.value("midi", entry.midi);
    entry.startOrder = element.value("startOrder", entry.startOrder);
    entry.playsNotes = element.value("playsNotes", entry.playsNotes);
    entry.instrument = element.value("instrument", entry.instrument);
    if (element.contains("animation")) {
        const json& animation = element["animation"];
        entry.base      = animation.value("base", entry.base);
        entry.peak      = animation.value("peak", entry.peak);
        entry.lerpSpeed = animation.value("lerpSpeed", entry.lerpSpeed);
    }
    if (element.contains("color") && element["color"].is_array() && element["color"].size() == 3) {
        const json& color = element["color"];
        entry.red   = color[0].get<float>();
        entry.green = color[1].get<float>();
        entry.blue  = color[2].get<float>();
    }
    return entry;
}

// A "startOrder" past int32 would be an undefined conversion in the reader;
// such an element is as bad as one of the wrong type.
bool startOrderFits(const json& element) {
    if (!element.is_object() || !element.contains("startOrder")) return true;
    const json& order = element["startOrder"];
    constexpr double kLowest  = std::numeric_limits<int32_t>::min();
    constexpr double kHighest = std::numeric_limits<int32_t>::max();
    if (order.is_number_unsigned()) return order.get<uint64_t>() <= static_cast<uint64_t>(kHighest);
    if (order.is_number_integer()) return std::in_range<int32_t>(order.get<int64_t>());
    if (order.is_number_float()) return order.get<double>() > kLowest - 1.0 && order.get<double>() < kHighest + 1.0;
    return true;  // not a number: the reader reports its type
}

void readEntries(const json& stems, std::vector<StemEntry>& entries) {
    for (const json& element : stems) {
        if (!startOrderFits(element)) {
            std::cerr << "Error reading stem entry: \"startOrder\" " << element["startOrder"].dump()
                      << " is outside the int32 range" << std::endl;
            continue;
        }
        try {
            StemEntry entry = readEntry(element);
            if (!entry.file.empty()) entries.push_back(std::move(entry));
        } catch (const json::exception& error) {
            std::cerr << "Error reading stem entry: " << error.what() << std::endl;
        }
    }
    std::stable_sort(entries.begin(), entries.end(),
                     [](const StemEntry& a, const StemEntry& b) { return a.startOrder < b.startOrder; });
}

// A song data element that is not an object or a "bpm" that is not a number
// would otherwise end the program; they get the default tempo. A tempo of 0 or
// below is kept: the charts then refuse to scale and keep their own timing.
float readSongBpm(const json& document) {
    float bpm = kDefaultBpm;
    try {
        const bool  hasSongData = document.contains("songMetaData") && document["songMetaData"].is_array() &&
                                  !document["songMetaData"].empty();
        const json& source      = hasSongData ? document["songMetaData"][0] : document;
        bpm = source.value("bpm", kDefaultBpm);
    } catch (const json::exception& error) {
        std::cerr << "Error reading song BPM: " << error.what() << std::endl;
        return kDefaultBpm;
    }
    return bpm;
}

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash == 0) return "";
    return path.substr(0, slash);
}

std::string inFolder(const std::string& folder, const std::string& file) {
    return folder.empty() ? file : folder + "/" + file;
}

void setSlot(RenderState& render, size_t slot, float base, float peak, float lerpSpeed) {
    render.stemValue[slot] = base;
    render.stemTarget[slot].store(base);
    render.stemBase[slot] = base;
    render.stemPeak[slot].store(peak);
    render.stemLerpSpeed[slot] = lerpSpeed;
}

// A manifest may only name files inside its own folder.
bool confined(const StemEntry& entry) {
    for (const std::string* path : {&entry.file, &entry.midi}) {
        if (path->empty() || isConfinedPath(*path)) continue;
        std::cerr << "Refused a path outside the level's folder: " << *path << std::endl;
        return false;
    }
    return true;
}

bool loadStem(const StemEntry& entry, const std::string& folder, AudioSystem& audio) {
    if (!confined(entry)) return false;
    const std::string audioPath = inFolder(folder, entry.file);
    if (!entry.midi.empty() && entry.playsNotes)
        return audio.loadStemWithMidi(audioPath, inFolder(folder, entry.midi));
    return audio.loadStem(audioPath);
}

}  // namespace

bool parseLevelManifest(const std::string& path, std::vector<StemEntry>& entries, GameLogic& game) {
    std::string text;
    if (!readText(path, text)) return false;

    json document;
    try {
        document = json::parse(text);
    } catch (const json::exception& error) {
        std::cerr << "JSON parse error in " << path << ": " << error.what() << std::endl;
        return false;
    }
    if (!document.is_object() || !document.contains("stems") || !document["stems"].is_array()) {
        std::cerr << "Invalid level JSON: missing 'stems' array\n" << std::endl;  // its own newline, then the line's
        return false;
    }

    readEntries(document["stems"], entries);
    game.bpm = readSongBpm(document);
    return !entries.empty();
}

bool loadLevelManifest(const std::string& path, AudioSystem& audio, RenderState& render, GameLogic& game) {
    std::vector<StemEntry> entries;
    if (!parseLevelManifest(path, entries, game)) return false;

    const std::string folder = folderOf(path);
    audio.stopAll();
    audio.clearStems();
    for (size_t i = 0; i < std::min(entries.size(), kMaxStems); ++i) {
        const StemEntry& entry = entries[i];
        // A stem whose audio loaded but whose chart did not stays, without its slot.
        if (!loadStem(entry, folder, audio)) {
            std::cerr << "Failed to load stem: " << entry.file << "\n";
            continue;
        }
        const size_t slot = audio.stems.size() - 1;
        if (slot >= kMaxStems) continue;
        setSlot(render, slot, entry.base, entry.peak, entry.lerpSpeed);
        render.stemColor[slot] = {entry.red, entry.green, entry.blue, 1.0f};
    }
    for (size_t i = 0; i < audio.stems.size(); ++i) audio.stems[i].index = static_cast<uint32_t>(i);
    for (size_t slot = entries.size(); slot < kMaxStems; ++slot) setSlot(render, slot, 1.0f, 2.0f, 18.0f);

    render.bindUniformBlocks();
    audio.setBpm(game.bpm);
    for (Stem& stem : audio.stems)
        if (stem.midi.loaded) stem.midi.scaleToBpm(game.bpm);
    std::cout << "Loaded " << audio.stems.size() << " stem(s) from level JSON: " << path << "\n";
    return !audio.stems.empty();
}
