#include "persistence/Prefs.h"

#include "base/Log.h"
#include "leaderboard/LeaderboardProtocol.h"
#include "persistence/FileSave.h"

#include <SDL3/SDL_error.h>
#include <SDL3/SDL_filesystem.h>
#include <SDL3/SDL_iostream.h>
#include <SDL3/SDL_stdinc.h>
#include <nlohmann/json.hpp>

#include <algorithm>
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

// An unreadable file is the player's all the same: a copy is kept before the
// save replaces it.
void keepAside(const std::string& path, const std::string& text) {
    const std::string aside = asidePathFor(path);
    if (saveFileReplacing(aside, text)) base::logError("Kept the unreadable prefs file as %s", aside.c_str());
    else base::logError("Failed to keep the unreadable prefs file aside: %s", SDL_GetError());
}

// Read, merge, write; the file's path when it was written, else empty.
std::string saveMember(const char* key, const json& value, const char* parseMessage) {
    const std::string path = Prefs::filePath();
    const std::string old  = readPrefsFile(path).value_or("");
    std::string       error;
    const std::string text = Prefs::withMember(old, key, value, error);
    if (!error.empty()) {
        base::logError(parseMessage, error.c_str());
        keepAside(path, old);
    }
    if (!saveFileReplacing(path, text)) {
        base::logError("Failed to save prefs file: %s", SDL_GetError());
        return "";
    }
    return path;
}

// A whole number within [lowest, highest]: one outside is clamped, anything
// else gives the fallback, each with a line saying why.
int32_t loadWholeNumber(const char* key, int32_t lowest, int32_t highest, int32_t fallback) {
    bool       noFile = false;
    const json value  = readMember(key, "Failed to parse prefs JSON: %s", noFile);
    if (noFile || value.is_null()) return fallback;
    if (!value.is_number_integer()) {
        base::logError("Ignoring prefs value %s: %s (expected a whole number from %d to %d)", key, value.dump().c_str(),
                       lowest, highest);
        return fallback;
    }
    // A huge unsigned value reads as a negative int64: it is past the top, not the bottom.
    const bool    huge    = value.is_number_unsigned() && value.get<uint64_t>() > uint64_t(highest);
    const int64_t stored  = huge ? int64_t(highest) + 1 : value.get<int64_t>();
    const int64_t clamped = std::clamp<int64_t>(stored, lowest, highest);
    if (clamped != stored)
        base::logError("Clamped prefs value %s: %s to %lld (the range is %d to %d)", key, value.dump().c_str(),
                       static_cast<long long>(clamped), lowest, highest);
    return static_cast<int32_t>(clamped);
}

// The members this program reads, for salvaging a document that does not parse.
constexpr const char* kKnownKeys[] = {"audioOffsetMs", "keyboardGameplay", "musicVolume", "playerName"};

// The value written after "key": at `at` in text: a JSON string, or a bare
// token (number, true, false); null when it does not parse on its own.
json valueAt(const std::string& text, size_t at) {
    at = text.find_first_not_of(" \t\r\n", at);
    if (at == std::string::npos) return nullptr;
    size_t end = at;
    if (text[at] == '"') {
        for (end = at + 1; end < text.size() && text[end] != '"'; ++end)
            if (text[end] == '\\') ++end;
        ++end;
    } else {
        end = text.find_first_of(",}] \t\r\n", at);
    }
    const json value = json::parse(text.substr(at, end == std::string::npos ? end : end - at), nullptr, false);
    return value.is_discarded() ? json(nullptr) : value;
}

// What can still be read of a damaged document: each known member whose own
// value parses (the first one written, as a parser would see it).
json salvagedMembers(const std::string& text) {
    json members = json::object();
    for (const char* key : kKnownKeys) {
        const std::string quoted = std::string("\"") + key + "\"";
        for (size_t at = text.find(quoted); at != std::string::npos; at = text.find(quoted, at + 1)) {
            const size_t colon = text.find_first_not_of(" \t\r\n", at + quoted.size());
            if (colon == std::string::npos || text[colon] != ':') continue;
            const json value = valueAt(text, colon + 1);
            if (!value.is_null()) members[key] = value;
            break;
        }
    }
    return members;
}

// The document as an object: parsed, or what could be salvaged with the reason
// in error. Valid JSON that is not an object has nothing of ours in it.
json readDocument(const std::string& text, std::string& error) {
    try {
        json document = json::parse(text);
        return document.is_object() ? document : json::object();
    } catch (const std::exception& failure) {
        error = failure.what();
    }
    return salvagedMembers(text);
}

}  // namespace

namespace Prefs {

json memberOf(const std::string& text, const char* key, std::string& error) {
    const json document = readDocument(text, error);
    return document.contains(key) ? document[key] : json(nullptr);
}

// A document that does not parse, or whose top level is not an object, gives
// way to what could be salvaged of it plus this member. Invalid UTF-8 is
// written as U+FFFD.
std::string withMember(const std::string& text, const char* key, const json& value, std::string& error) {
    json document = text.empty() ? json::object() : readDocument(text, error);
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
