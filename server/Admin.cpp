#include "server/Admin.h"

#include "base/Log.h"
#include "server/LeaderboardStore.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace {

constexpr const char* kUsage =
    "Usage: lumoka-server admin [--db PATH|URI] COMMAND\n"
    "  list [LEVEL]                     every entry, or one level's\n"
    "  remove-player NAME [--level L]   the player's entries, on every level or on L\n"
    "  remove-entry LEVEL NAME          one entry\n"
    "  cap-score LEVEL MAX              the level's entries scoring above MAX\n"
    "  backup FILE                      a consistent copy of an SQLite database\n";

struct Command {
    std::string                database;
    std::optional<std::string> level;  // --level
    std::vector<std::string>   words;  // the command and its arguments
};

bool parse(const std::vector<std::string>& arguments, Command& command) {
    for (size_t i = 0; i < arguments.size(); ++i) {
        const bool option = arguments[i] == "--db" || arguments[i] == "--level";
        if (!option) {
            command.words.push_back(arguments[i]);
            continue;
        }
        if (i + 1 == arguments.size()) return false;
        if (arguments[i] == "--db") command.database = arguments[++i];
        else command.level = arguments[++i];
    }
    return !command.words.empty();
}

bool readScore(const std::string& text, int32_t& score) {
    char*           end   = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < 0 || value > INT32_MAX) return false;
    score = static_cast<int32_t>(value);
    return true;
}

int list(LeaderboardStore& store, const std::optional<std::string>& level) {
    std::vector<LeaderboardLevel> levels;
    if (store.readAll(levels) != StoreStatus::Ok) return 1;
    for (const LeaderboardLevel& stored : levels) {
        if (level && stored.name != *level) continue;
        for (const LeaderboardEntry& entry : stored.scores) {
            std::printf("%s\t%s\t%d\t%d\t%s\t%d\n", stored.name.c_str(), entry.player.c_str(), entry.score, entry.time,
                        entry.highestLayer.c_str(), entry.highestCombo);
        }
    }
    return 0;
}

int remove(LeaderboardStore& store, const EntryFilter& filter, const std::string& what) {
    int64_t removed = 0;
    if (store.remove(filter, removed) != StoreStatus::Ok) return 1;
    std::printf("Removed %lld entries (%s)\n", static_cast<long long>(removed), what.c_str());
    return 0;
}

int run(LeaderboardStore& store, const Command& command) {
    const std::vector<std::string>& w = command.words;
    if (w[0] == "list" && w.size() <= 2) return list(store, w.size() == 2 ? std::optional(w[1]) : std::nullopt);
    if (w[0] == "remove-player" && w.size() == 2) {
        return remove(store, {command.level, w[1], std::nullopt},
                      "player " + w[1] + (command.level ? " on " + *command.level : " on every level"));
    }
    if (w[0] == "remove-entry" && w.size() == 3) {
        return remove(store, {w[1], w[2], std::nullopt}, "player " + w[2] + " on " + w[1]);
    }
    int32_t most = 0;
    if (w[0] == "cap-score" && w.size() == 3 && readScore(w[2], most)) {
        return remove(store, {w[1], std::nullopt, most}, "scores above " + w[2] + " on " + w[1]);
    }
    if (w[0] == "backup" && w.size() == 2) {
        std::string error;
        if (!store.backup(w[1], error)) {
            base::logError("Backup failed: %s", error.c_str());
            return 1;
        }
        std::printf("Backed up %s to %s\n", printableLocation(command.database).c_str(), w[1].c_str());
        return 0;
    }
    std::fputs(kUsage, stderr);
    return 2;
}

}  // namespace

int runAdmin(const std::vector<std::string>& arguments, const std::string& defaultDatabase) {
    Command command;
    command.database = defaultDatabase;
    if (!parse(arguments, command)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::string error;
    const auto  store = openLeaderboardStore(command.database, 1, error);
    if (!store) {
        base::logError("Failed to open leaderboard database %s: %s", printableLocation(command.database).c_str(),
                       error.c_str());
        return 1;
    }
    return run(*store, command);
}
