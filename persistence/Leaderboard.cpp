#include "persistence/Leaderboard.h"

#include "base/Log.h"
#include "base/Mailbox.h"
#include "persistence/FileSave.h"

#include <SDL3/SDL.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

using nlohmann::json;

std::vector<LeaderboardLevel> leaderboardLevels;
int32_t                       selectedLeaderboardLevel = 0;

namespace {

// Never destroyed: a worker may still be merging while the program exits.
std::mutex& fileMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

// Guarded by fileMutex(); none named: every level.
std::optional<std::vector<std::string>>& installedLevels() {
    static auto* names = new std::optional<std::vector<std::string>>;
    return *names;
}

bool isInstalled(const json& level) {
    const std::optional<std::vector<std::string>>& installed = installedLevels();
    if (!installed) return true;
    if (!level.is_object() || !level.contains("name") || !level["name"].is_string()) return false;
    return std::find(installed->begin(), installed->end(), level["name"].get<std::string>()) != installed->end();
}

// The copy's levels in two documents: those of installed levels, and the rest.
std::pair<json, json> splitByInstalled(const json& copy) {
    std::pair<json, json> split{{{"levels", json::array()}}, {{"levels", json::array()}}};
    if (!copy.is_object() || !copy.contains("levels") || !copy["levels"].is_array()) return split;
    for (const json& level : copy["levels"])
        (isInstalled(level) ? split.first : split.second)["levels"].push_back(level);
    return split;
}

Mailbox<std::vector<LeaderboardLevel>>& loadedLevels() {
    static auto* box = new Mailbox<std::vector<LeaderboardLevel>>;
    return *box;
}

struct StoredDocument {
    json document;
    bool writable = true;  // false when an unreadable file could not be moved aside
};

// An unreadable file is the player's data all the same: it is renamed, never overwritten.
bool keepAside() {
    const std::string aside = asidePathFor(Leaderboard::kFilePath);
    if (!SDL_RenamePath(Leaderboard::kFilePath, aside.c_str())) {
        base::logError("Failed to move the unreadable leaderboard file aside: %s", SDL_GetError());
        return false;
    }
    base::logError("Kept the unreadable leaderboard file as %s", aside.c_str());
    return true;
}

StoredDocument readForMerge() {
    StoredDocument stored{json{{"levels", json::array()}}};
    size_t         size = 0;
    void*          data = SDL_LoadFile(Leaderboard::kFilePath, &size);
    if (data == nullptr || size == 0) {
        SDL_free(data);
        base::logInfo("Leaderboard file not found or empty. Creating a new one at %s", Leaderboard::kFilePath);
        return stored;
    }
    const std::string text(static_cast<const char*>(data), size);
    SDL_free(data);
    try {
        json document = json::parse(text);
        if (document.is_object()) {
            normaliseLeaderboard(document);
            stored.document = std::move(document);
            return stored;
        }
        base::logError("Existing leaderboard JSON is not an object. Creating new file.");
    } catch (const json::exception& error) {
        base::logError("Failed to parse existing leaderboard JSON: %s. Creating new file.", error.what());
    }
    stored.writable = keepAside();
    return stored;
}

// Names typed by the player may end in half a UTF-8 sequence; they are written
// with a replacement character rather than refused.
std::string serialise(const json& document) { return document.dump(4, ' ', false, json::error_handler_t::replace); }

std::string localFileText() {
    size_t      size = 0;
    void*       data = SDL_LoadFile(Leaderboard::kFilePath, &size);
    std::string text;
    if (data != nullptr) text.assign(static_cast<const char*>(data), size);
    SDL_free(data);
    return text;
}

int localScore(const json& document, const std::string& levelName, const std::string& playerName) {
    if (!document.is_object() || !document.contains("levels") || !document["levels"].is_array()) return 0;
    for (const json& level : document["levels"]) {
        if (!level.is_object() || !level.contains("name") || level["name"] != levelName) continue;
        if (!level.contains("scores") || !level["scores"].is_array()) return 0;
        for (const json& entry : level["scores"]) {
            if (entry.is_object() && entry.contains("player") && entry["player"] == playerName &&
                entry.contains("score") && entry["score"].is_number()) {
                return leaderboardInt(entry["score"]).value_or(0);
            }
        }
        return 0;
    }
    return 0;
}

}  // namespace

namespace Leaderboard {

bool saveRun(const std::string& levelName, const LeaderboardEntry& run, json& upload,
             const std::function<void()>& onNewBest) {
    std::string text;
    bool        saved = false;
    {
        std::lock_guard<std::mutex> lock(fileMutex());
        StoredDocument              stored = readForMerge();
        const bool best = mergeLeaderboardEntry(stored.document, levelName, run);
        if (!best) {
            base::logInfo("Score less than high score. High score: %d", run.score);
        }
        text = serialise(stored.document);
        if (stored.writable && saveFileReplacing(Leaderboard::kFilePath, text)) {
            base::logInfo("Leaderboard successfully saved to %s", kFilePath);
            saved = true;
            if (best && onNewBest) onNewBest();
        } else if (stored.writable) {
            base::logError("Failed to save leaderboard file: %s", SDL_GetError());
        }
    }
    try {
        upload = json::parse(text);
    } catch (const std::exception& error) {
        base::logError("Failed to parse JSON for leaderboard upload: %s", error.what());
    }
    return saved;
}

void setInstalledLevels(std::optional<std::vector<std::string>> names) {
    std::lock_guard<std::mutex> lock(fileMutex());
    installedLevels() = std::move(names);
}

std::optional<std::vector<std::string>> installedLevelNames() {
    std::lock_guard<std::mutex> lock(fileMutex());
    return installedLevels();
}

json mergeIntoFile(const json& copy) {
    std::lock_guard<std::mutex> lock(fileMutex());
    const auto [installed, others] = splitByInstalled(copy);
    StoredDocument stored          = readForMerge();
    mergeLeaderboards(stored.document, installed);
    if (stored.writable && !saveFileReplacing(kFilePath, serialise(stored.document))) {
        base::logError("Failed to save leaderboard cache: %s", SDL_GetError());
    }
    json shown = std::move(stored.document);
    mergeLeaderboards(shown, others);
    return shown;
}

void loadFromJson(const json& document) {
    std::vector<std::string>      problems;
    std::vector<LeaderboardLevel> levels = readLeaderboardLevels(document, problems);
    for (const std::string& problem : problems)
        base::logError("Skipped unreadable leaderboard data: %s", problem.c_str());
    loadedLevels().post(std::move(levels));
}

bool takeLoadedLevels() {
    std::vector<std::vector<LeaderboardLevel>> delivered = loadedLevels().takeAll();
    if (delivered.empty()) return false;
    leaderboardLevels = std::move(delivered.back());
    return true;
}

void loadLocal(const std::function<void(const json&)>& callback) {
    base::logInfo("Falling back to local leaderboard file");
    const std::string text = localFileText();
    if (text.empty()) {
        base::logInfo("No local leaderboard found, returning empty");
        callback(json());
        return;
    }
    try {
        const json document = json::parse(text);
        base::logInfo("Loaded leaderboard from local file");
        callback(document);
    } catch (const std::exception& error) {
        base::logError("Failed to parse local leaderboard JSON: %s. Using empty leaderboard.", error.what());
        callback(json());
    }
}

void loadLocalScore(const std::string& levelName, const std::string& playerName,
                    const std::function<void(int)>& callback) {
    base::logInfo("Falling back to local file for player score: %s on %s", playerName.c_str(), levelName.c_str());
    const std::string text = localFileText();
    if (text.empty()) {
        callback(0);
        return;
    }
    json document;
    try {
        document = json::parse(text);
    } catch (const json::exception& error) {
        base::logError("Failed to parse local leaderboard JSON for high score: %s. Using 0.", error.what());
        callback(0);
        return;
    }
    const int score = localScore(document, levelName, playerName);
    base::logInfo("Found local player score: %s on %s = %d", playerName.c_str(), levelName.c_str(), score);
    callback(score);
}

}  // namespace Leaderboard
