#include "server/Admin.h"

#include "base/Log.h"
#include "leaderboard/LeaderboardProtocol.h"
#include "server/LeaderboardStore.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>

namespace {

constexpr const char* kUsage =
    "Usage: lumoka-server admin [--db PATH|URI] COMMAND\n"
    "  list [LEVEL]                     every entry, or one level's\n"
    "  remove-player NAME [--level L]   the player's entries, on every level or on L\n"
    "  remove-entry LEVEL NAME          one entry\n"
    "  cap-score LEVEL MAX              the level's entries scoring above MAX\n"
    "  backup FILE                      a consistent copy of an SQLite database\n"
    "Names are printed and given escaped: \\\\ for a backslash, \\xHH for any other byte\n"
    "that is a control character or not UTF-8.\n";

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

// The length of the UTF-8 sequence at text[at] when it is one that is printable
// (not a C1 control), else 0.
size_t printableSequence(const std::string& text, size_t at) {
    const auto   lead   = static_cast<unsigned char>(text[at]);
    const size_t length = lead >= 0xF0 && lead <= 0xF4 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 && lead < 0xE0 ? 2 : 0;
    if (length == 0 || at + length > text.size() || holdsControlCharacter(text.substr(at, length))) return 0;
    for (size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 0;
    }
    return length;
}

// A stored name as the operator sees and types it: nothing in it reaches the
// terminal raw or breaks a tab-separated row, and unescape() gives the bytes back.
std::string escaped(const std::string& text) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string           out;
    for (size_t i = 0; i < text.size();) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '\\') {
            out += "\\\\";
            ++i;
        } else if (c >= 0x20 && c < 0x7F) {
            out += text[i++];
        } else if (const size_t length = printableSequence(text, i); length > 0) {
            out.append(text, i, length);
            i += length;
        } else {
            out += {'\\', 'x', kHex[c >> 4], kHex[c & 15]};
            ++i;
        }
    }
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The inverse of escaped(); false on a backslash not followed by one of its forms.
bool unescape(const std::string& text, std::string& out) {
    out.clear();
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            out += text[i];
        } else if (i + 1 < text.size() && text[i + 1] == '\\') {
            out += '\\';
            ++i;
        } else if (i + 3 < text.size() && text[i + 1] == 'x' && hexDigit(text[i + 2]) >= 0 &&
                   hexDigit(text[i + 3]) >= 0) {
            out += static_cast<char>(hexDigit(text[i + 2]) * 16 + hexDigit(text[i + 3]));
            i += 3;
        } else {
            return false;
        }
    }
    return true;
}

// Every name argument of the command unescaped; false with a line naming the bad one.
bool unescapeNames(Command& command) {
    std::vector<std::string*> names;
    if (command.level) names.push_back(&*command.level);
    const bool scoreLast = command.words[0] == "cap-score" || command.words[0] == "backup";
    for (size_t i = 1; i < command.words.size() - (scoreLast ? 1 : 0); ++i) names.push_back(&command.words[i]);
    for (std::string* name : names) {
        std::string bytes;
        if (!unescape(*name, bytes)) {
            base::logError("Malformed escape in name %s (use \\\\ or \\xHH)", escaped(*name).c_str());
            return false;
        }
        *name = std::move(bytes);
    }
    return true;
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
            std::printf("%s\t%s\t%d\t%d\t%s\t%d\n", escaped(stored.name).c_str(), escaped(entry.player).c_str(),
                        entry.score, entry.time, escaped(entry.highestLayer).c_str(), entry.highestCombo);
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
        return remove(
            store, {command.level, w[1], std::nullopt},
            "player " + escaped(w[1]) + (command.level ? " on " + escaped(*command.level) : " on every level"));
    }
    if (w[0] == "remove-entry" && w.size() == 3) {
        return remove(store, {w[1], w[2], std::nullopt}, "player " + escaped(w[2]) + " on " + escaped(w[1]));
    }
    int32_t most = 0;
    if (w[0] == "cap-score" && w.size() == 3 && readScore(w[2], most)) {
        return remove(store, {w[1], std::nullopt, most}, "scores above " + w[2] + " on " + escaped(w[1]));
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
    if (!unescapeNames(command)) return 1;
    // Opening a file that is not there would make an empty database and report
    // success on nothing.
    std::error_code missing;
    if (!isPostgresLocation(command.database) && command.database != ":memory:" &&
        !std::filesystem::exists(command.database, missing)) {
        base::logError("No leaderboard database at %s", command.database.c_str());
        return 1;
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
