#include "persistence/Prefs.h"

#include "base/Log.h"
#include "leaderboard/LeaderboardProtocol.h"
#include "persistence/FileSave.h"

#include <SDL3/SDL_error.h>
#include <SDL3/SDL_filesystem.h>
#include <SDL3/SDL_iostream.h>
#include <SDL3/SDL_stdinc.h>
#include <nlohmann/json.hpp>

#include <exception>
#include <optional>

using nlohmann::json;

namespace {

// The file's text, or nothing when it is missing or empty.
std::optional<std::string> readPrefsFile(const std::string& path) {
    size_t size = 0;
    void*  data = SDL_LoadFile(path.c_str(), &size);
    if (data == nullptr) return std::nullopt;
    std::string text(static_cast<const char*>(data), size);
    SDL_free(data);
    if (text.empty()) return std::nullopt;
    return text;
}

const char* enabledText(bool enabled) { return enabled ? "enabled" : "disabled"; }

// The stored value of key, null when the document has none. `noFile` tells a
// missing or empty file apart, which the callers report.
json readMember(const char* key, const char* parseMessage, bool& noFile) {
    const std::optional<std::string> text = readPrefsFile(Prefs::filePath());
    noFile                                = !text;
    if (noFile) return nullptr;
    std::string error;
    json        value = Prefs::memberOf(*text, key, error);
    if (!error.empty()) base::logError(parseMessage, error.c_str());
    return value;
}

// Read, merge, write; the file's path when it was written, else empty.
std::string saveMember(const char* key, const json& value, const char* parseMessage) {
    const std::string path = Prefs::filePath();
    std::string       error;
    const std::string text = Prefs::withMember(readPrefsFile(path).value_or(""), key, value, error);
    if (!error.empty()) base::logError(parseMessage, error.c_str());
    if (!saveFileReplacing(path, text)) {
        base::logError("Failed to save prefs file: %s", SDL_GetError());
        return "";
    }
    return path;
}

// A whole number within [lowest, highest], or the fallback with a line saying why.
int32_t loadWholeNumber(const char* key, int32_t lowest, int32_t highest, int32_t fallback) {
    bool       noFile = false;
    const json value  = readMember(key, "Failed to parse prefs JSON: %s", noFile);
    if (noFile || value.is_null()) return fallback;
    if (!value.is_number_integer() || value.get<int64_t>() < lowest || value.get<int64_t>() > highest) {
        base::logError("Ignoring prefs value %s: %s (expected a whole number from %d to %d)", key, value.dump().c_str(),
                       lowest, highest);
        return fallback;
    }
    return static_cast<int32_t>(value.get<int64_t>());
}

}  // namespace

namespace Prefs {

json memberOf(const std::string& text, const char* key, std::string& error) {
    try {
        const json document = json::parse(text);
        if (document.is_object() && document.contains(key)) return document[key];
    } catch (const std::exception& failure) {
        error = failure.what();
    }
    return nullptr;
}

// A document that does not parse, or whose top level is not an object, gives
// way to one holding only this member. Invalid UTF-8 is written as U+FFFD.
std::string withMember(const std::string& text, const char* key, const json& value, std::string& error) {
    json document = json::object();
    if (!text.empty()) {
        try {
            json existing = json::parse(text);
            if (existing.is_object()) document = std::move(existing);
        } catch (const std::exception& failure) {
            error = failure.what();
        }
    }
    document[key] = value;
    return document.dump(4, ' ', false, json::error_handler_t::replace);
}

std::string filePath() {
    char* folder = SDL_GetPrefPath("KOV", "Lumoka");
    if (folder == nullptr) {
        base::logError("SDL_GetPrefPath failed: %s", SDL_GetError());
        return "prefs.json";
    }
    std::string path = folder;
    SDL_free(folder);
    if (path.empty() || (path.back() != '/' && path.back() != '\\')) path += '/';
    return path + "prefs.json";
}

std::string loadPlayerName(const std::string& fallback) {
    bool       noFile = false;
    const json value  = readMember("playerName", "Failed to parse prefs JSON: %s", noFile);
    if (noFile) {
        base::logInfo("No prefs file found \u2013 using default player name (%s)", fallback.c_str());
        return fallback;
    }
    if (!value.is_string() || value.get_ref<const std::string&>().empty()) return fallback;
    return cutToNameLimit(value.get<std::string>());
}

bool loadKeyboardGameplay(bool fallback) {
    bool       noFile = false;
    const json value  = readMember("keyboardGameplay", "Failed to parse prefs JSON for keyboard gameplay: %s", noFile);
    if (noFile) {
        base::logInfo("No prefs file found \u2013 using default keyboard gameplay setting (%s)", enabledText(fallback));
        return fallback;
    }
    return value.is_boolean() ? value.get<bool>() : fallback;
}

int32_t loadAudioOffsetMs(int32_t fallback) {
    return loadWholeNumber("audioOffsetMs", kLowestAudioOffsetMs, kHighestAudioOffsetMs, fallback);
}

int32_t loadMusicVolume(int32_t fallback) { return loadWholeNumber("musicVolume", 0, 100, fallback); }

void savePlayerName(const std::string& name) {
    const std::string path =
        saveMember("playerName", name, "Failed to parse existing prefs when saving player name: %s");
    if (!path.empty()) base::logInfo("Player name saved to %s", path.c_str());
}

void saveKeyboardGameplay(bool enabled) {
    const std::string path =
        saveMember("keyboardGameplay", enabled, "Failed to parse existing prefs when saving keyboard gameplay: %s");
    if (!path.empty()) base::logInfo("Keyboard gameplay setting saved to %s: %s", path.c_str(), enabledText(enabled));
}

void saveAudioOffsetMs(int32_t offsetMs) {
    const std::string path =
        saveMember("audioOffsetMs", offsetMs, "Failed to parse existing prefs when saving the audio offset: %s");
    if (!path.empty()) base::logInfo("Audio offset saved to %s: %d ms", path.c_str(), offsetMs);
}

void saveMusicVolume(int32_t percent) {
    const std::string path =
        saveMember("musicVolume", percent, "Failed to parse existing prefs when saving the music volume: %s");
    if (!path.empty()) base::logInfo("Music volume saved to %s: %d %%", path.c_str(), percent);
}

std::string loadFolder(const char* key) {
    bool       noFile = false;
    const json value  = readMember(key, "Failed to parse prefs JSON for a file dialog's folder: %s", noFile);
    return value.is_string() ? value.get<std::string>() : std::string();
}

void saveFolder(const char* key, const std::string& folder) {
    saveMember(key, folder, "Failed to parse existing prefs when saving a file dialog's folder: %s");
}

}  // namespace Prefs
