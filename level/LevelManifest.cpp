#include "level/LevelManifest.h"

#include "audio/AudioSystem.h"
#include "game/GameLogic.h"
#include "level/ChartDensity.h"
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
        entry.base            = animation.value("base", entry.base);
        entry.peak            = animation.value("peak", entry.peak);
        entry.lerpSpeed       = animation.value("lerpSpeed", entry.lerpSpeed);
    }
    if (element.contains("color") && element["color"].is_array() && element["color"].size() == 3) {
        const json& color = element["color"];
        entry.red         = color[0].get<float>();
        entry.green       = color[1].get<float>();
        entry.blue        = color[2].get<float>();
    }
    return entry;
}

// A "startOrder" past int32 would be an undefined conversion in the reader;
// such an element is as bad as one of the wrong type.
bool startOrderFits(const json& element) {
    if (!element.is_object() || !element.contains("startOrder")) return true;
    const json&      order    = element["startOrder"];
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
        const bool hasSongData = document.contains("songMetaData") && document["songMetaData"].is_array() &&
                                 !document["songMetaData"].empty();
        const json& source = hasSongData ? document["songMetaData"][0] : document;
        bpm                = source.value("bpm", kDefaultBpm);
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

// A stem whose audio decoded but whose chart did not is kept, without its look.
void decodeEntry(const StemEntry& entry, const std::string& folder, DecodedLevel& level) {
    if (!confined(entry)) {
        std::cerr << "Failed to load stem: " << entry.file << "\n";
        return;
    }
    Stem       stem;
    bool       whole   = decodeStem(inFolder(folder, entry.file), stem);
    const bool decoded = whole;
    if (whole && !entry.midi.empty() && entry.playsNotes) whole = stem.midi.load(inFolder(folder, entry.midi));
    const std::string tooDense = whole ? chartDensityProblem(stem.midi, level.bpm, entry.midi) : "";
    if (!tooDense.empty()) {
        std::cerr << "Left out " << tooDense << "; the stem " << entry.file << " plays without it" << std::endl;
        stem.midi = StemMidi{};
        whole     = false;
    } else if (!whole) {
        std::cerr << "Failed to load stem: " << entry.file << "\n";
    }
    if (!decoded) return;
    level.stems.push_back(std::move(stem));
    level.looks.push_back(entry);
    level.charted.push_back(whole);
}

bool cancelled(const LoadControl* control) { return control && control->cancelled; }

}  // namespace

DecodedLevel::DecodedLevel()                                   = default;
DecodedLevel::~DecodedLevel()                                  = default;
DecodedLevel::DecodedLevel(DecodedLevel&&) noexcept            = default;
DecodedLevel& DecodedLevel::operator=(DecodedLevel&&) noexcept = default;

bool parseLevelManifest(const std::string& path, std::vector<StemEntry>& entries, float& bpm) {
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
    bpm = readSongBpm(document);
    return !entries.empty();
}

bool decodeLevelManifest(const std::string& path, DecodedLevel& level, LoadControl* control) {
    level      = DecodedLevel{};
    level.path = path;
    std::vector<StemEntry> entries;
    level.parsed = parseLevelManifest(path, entries, level.bpm);
    if (!level.parsed) return false;

    const std::string folder = folderOf(path);
    const size_t      count  = std::min(entries.size(), kMaxStems);
    level.entryCount         = entries.size();
    if (control) control->stemsTotal = static_cast<int>(count);
    for (size_t i = 0; i < count && !cancelled(control); ++i) {
        decodeEntry(entries[i], folder, level);
        if (control) ++control->stemsDone;
    }
    return !cancelled(control);
}

bool installLevel(DecodedLevel&& level, AudioSystem& audio, RenderState& render, GameLogic& game) {
    game.bpm = level.bpm;
    audio.stopAll();
    audio.clearStems();
    for (size_t i = 0; i < level.stems.size(); ++i) {
        const size_t slot = audio.stems.size();
        if (level.charted[i] && slot < kMaxStems) {
            const StemEntry& look = level.looks[i];
            setSlot(render, slot, look.base, look.peak, look.lerpSpeed);
            render.stemColor[slot] = {look.red, look.green, look.blue, 1.0f};
        }
        level.stems[i].index = static_cast<uint32_t>(slot);
        audio.stems.push_back(std::move(level.stems[i]));
    }
    for (size_t slot = level.entryCount; slot < kMaxStems; ++slot) setSlot(render, slot, 1.0f, 2.0f, 18.0f);

    render.bindUniformBlocks();
    audio.setBpm(game.bpm);
    for (Stem& stem : audio.stems)
        if (stem.midi.loaded) stem.midi.scaleToBpm(game.bpm);
    std::cout << "Loaded " << audio.stems.size() << " stem(s) from level JSON: " << level.path << "\n";
    return !audio.stems.empty();
}

bool loadLevelManifest(const std::string& path, AudioSystem& audio, RenderState& render, GameLogic& game) {
    DecodedLevel level;
    if (!decodeLevelManifest(path, level)) return false;
    return installLevel(std::move(level), audio, render, game);
}
