#include "persistence/Leaderboard.h"

#include "base/Log.h"
#include "base/Mailbox.h"
#include "game/GameLogic.h"
#include "net/HttpDatabase.h"
#include "persistence/FileSave.h"

#include <SDL3/SDL.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <ctime>
#include <limits>
#include <mutex>
#include <string>

using nlohmann::json;

std::vector<LeaderboardLevel> leaderboardLevels;
int32_t                       selectedLeaderboardLevel = 0;

namespace {

// Never destroyed: a worker may still be merging while the program exits.
std::mutex& fileMutex() {
    static auto* mutex = new std::mutex;
    return *mutex;
}

Mailbox<std::vector<LeaderboardLevel>>& loadedLevels() {
    static auto* box = new Mailbox<std::vector<LeaderboardLevel>>;
    return *box;
}

struct StoredDocument {
    json document;
    bool writable = true;  // false when an unreadable file could not be moved aside
};

bool pathExists(const std::string& path) { return SDL_GetPathInfo(path.c_str(), nullptr); }

std::string asidePath() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string base = std::string(Leaderboard::kFilePath) + ".corrupt-" + stamp;
    std::string path = base;
    for (int n = 2; pathExists(path); ++n) path = base + "-" + std::to_string(n);
    return path;
}

// An unreadable file is the player's data all the same: it is renamed, never overwritten.
bool keepAside() {
    const std::string aside = asidePath();
    if (!SDL_RenamePath(Leaderboard::kFilePath, aside.c_str())) {
        base::logError("Failed to move the unreadable leaderboard file aside: %s", SDL_GetError());
        return false;
    }
    base::logError("Kept the unreadable leaderboard file as %s", aside.c_str());
    return true;
}

StoredDocument readForMerge() {
    StoredDocument stored{json{{"levels", json::array()}}};
    size_t size = 0;
    void* data = SDL_LoadFile(Leaderboard::kFilePath, &size);
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

int32_t wholeSeconds(double seconds) {
    const double truncated = std::trunc(seconds);
    if (!(truncated > 0.0)) return 0;
    return truncated >= std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                            : static_cast<int32_t>(truncated);
}

LeaderboardEntry finishedRun(const GameLogic& game) {
    LeaderboardEntry entry;
    entry.player       = game.playerName;
    entry.score        = game.highScore;
    entry.time         = wholeSeconds(game.streamTime);
    entry.highestLayer = std::to_string(game.highestLayer) + "/" + std::to_string(game.maxLayers);
    entry.highestCombo = game.highestCombo;
    return entry;
}

}  // namespace

namespace Leaderboard {

bool saveRun(const GameLogic& game) {
    std::string text;
    bool saved = false;
    {
        std::lock_guard<std::mutex> lock(fileMutex());
        StoredDocument stored = readForMerge();
        if (!mergeLeaderboardEntry(stored.document, game.levelName, finishedRun(game))) {
            base::logInfo("Score less than high score. High score: %d", game.highScore);
        }
        text = serialise(stored.document);
        if (stored.writable && saveFileReplacing(Leaderboard::kFilePath, text)) {
            base::logInfo("Leaderboard successfully saved to %s", kFilePath);
            saved = true;
        } else if (stored.writable) {
            base::logError("Failed to save leaderboard file: %s", SDL_GetError());
        }
    }
    try {
        HttpDatabase::uploadLeaderboardAsync(json::parse(text));
    } catch (const std::exception& error) {
        base::logError("Failed to parse JSON for leaderboard upload: %s", error.what());
    }
    return saved;
}

json mergeIntoFile(const json& copy) {
    std::lock_guard<std::mutex> lock(fileMutex());
    StoredDocument stored = readForMerge();
    mergeLeaderboards(stored.document, copy);
    if (stored.writable && !saveFileReplacing(kFilePath, serialise(stored.document))) {
        base::logError("Failed to save leaderboard cache: %s", SDL_GetError());
    }
    return stored.document;
}

void loadFromJson(const json& document) {
    std::vector<std::string> problems;
    std::vector<LeaderboardLevel> levels = readLeaderboardLevels(document, problems);
    for (const std::string& problem : problems) base::logError("Skipped unreadable leaderboard data: %s", problem.c_str());
    loadedLevels().post(std::move(levels));
}

bool takeLoadedLevels() {
    std::vector<std::vector<LeaderboardLevel>> delivered = loadedLevels().takeAll();
    if (delivered.empty()) return false;
    leaderboardLevels = std::move(delivered.back());
    return true;
}

}  // namespace Leaderboard
