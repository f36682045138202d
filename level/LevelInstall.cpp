#include "level/LevelInstall.h"

#include "level/LevelList.h"
#include "level/LevelsLock.h"
#include "level/PackagePaths.h"
#include "persistence/FileSave.h"

#include <SDL3/SDL_error.h>
#include <SDL3/SDL_iostream.h>
#include <SDL3/SDL_stdinc.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <system_error>

#include <signal.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr size_t kMaxSlugLength = 48;
constexpr char   kStagingPrefix[] = ".incoming-";
// No import takes this long; a folder left this old was left by a crash.
constexpr auto kStaleAfter = std::chrono::hours(1);

bool fail(std::string& error, const std::string& message) {
    error = message;
    std::cerr << message << "\n";
    return false;
}

// The level list is read by pattern, not parsed: a value ends at the first
// double quote and an entry at the first closing brace, and nothing is
// unescaped. Characters that would cut or garble a value are replaced.
std::string listSafe(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '"') out += '\'';
        else if (c == '{') out += '(';
        else if (c == '}') out += ')';
        else if (c == '\\') out += '/';
        else if (static_cast<unsigned char>(c) < 0x20) out += ' ';
        else out += c;
    }
    return out;
}

// The array of entries in a level list document: the document itself, or the
// first array member of a wrapping object. Null when there is none.
nlohmann::json* entriesOf(nlohmann::json& document) {
    if (document.is_array()) return &document;
    if (!document.is_object()) return nullptr;
    for (auto& member : document.items())
        if (member.value().is_array()) return &member.value();
    return nullptr;
}

// The list's current text; empty (and true) when there is no list yet.
bool readListText(const fs::path& listPath, std::string& text, std::string& error) {
    std::error_code ec;
    if (!fs::exists(listPath, ec)) return true;
    size_t size = 0;
    void*  data = SDL_LoadFile(listPath.c_str(), &size);
    if (data == nullptr) return fail(error, "Cannot read " + listPath.string() + ": " + SDL_GetError());
    text.assign(static_cast<const char*>(data), size);
    SDL_free(data);
    return true;
}

bool folderListed(const nlohmann::json& entries, const std::string& folder) {
    return std::any_of(entries.begin(), entries.end(), [&](const nlohmann::json& entry) {
        return entry.is_object() && entry.contains("file") && entry["file"] == folder;
    });
}

// The wanted name, or the first of name-2, name-3, ... that neither exists in
// the folder nor is named by an entry of the list.
std::string freeFolderName(const fs::path& levels, const nlohmann::json& entries, const std::string& wanted) {
    std::string     candidate = wanted;
    std::error_code ec;
    for (int n = 2; fs::exists(fs::symlink_status(levels / candidate, ec)) || folderListed(entries, candidate); ++n)
        candidate = wanted + "-" + std::to_string(n);
    return candidate;
}

// "imported" tells the player's levels from the shipped ones: only those may be deleted.
nlohmann::json listEntry(const LevelInfo& entry) {
    return {{"name", listSafe(entry.name)},
            {"file", entry.file},
            {"difficulty", std::clamp(entry.difficulty, 1, 5)},
            {"description", listSafe(entry.description)},
            {"imported", true}};
}

bool isImportedEntry(const nlohmann::json& entry, const std::string& folder) {
    return entry.is_object() && entry.value("file", "") == folder && entry.value("imported", false) == true;
}

// The folder goes aside first, so a list that cannot be written gets it back
// whole; only then is it deleted.
bool removeListed(const fs::path& levels, const std::string& folder, std::string& error) {
    const fs::path listPath = levels / "levels.json";
    std::string    text;
    if (!readListText(listPath, text, error)) return false;
    nlohmann::json  document = nlohmann::json::parse(text, nullptr, false);
    nlohmann::json* entries  = document.is_discarded() ? nullptr : entriesOf(document);
    if (entries == nullptr) return fail(error, "Level list " + listPath.string() + " is not a JSON list of levels");
    const auto found = std::find_if(entries->begin(), entries->end(),
                                    [&](const nlohmann::json& entry) { return isImportedEntry(entry, folder); });
    if (!isConfinedPath(folder) || folder.find('/') != std::string::npos || found == entries->end())
        return fail(error, "Refused to delete \"" + folder + "\": it is not a level you added");
    const std::string name = found->value("name", folder);
    entries->erase(found);

    const fs::path  target = levels / folder;
    const fs::path  aside  = levels / (".removing-" + folder);
    std::error_code ec;
    fs::remove_all(aside, ec);
    fs::rename(target, aside, ec);
    if (ec && fs::exists(target)) return fail(error, "Cannot delete " + target.string() + ": " + ec.message());
    if (!saveFileReplacing(listPath.string(), document.dump(4, ' ', false, nlohmann::json::error_handler_t::replace))) {
        const std::string reason = SDL_GetError();
        fs::rename(aside, target, ec);
        return fail(error, "Cannot write " + listPath.string() + ": " + reason);
    }
    fs::remove_all(aside, ec);
    std::cout << "Deleted level '" << name << "' and its folder " << target.string() << std::endl;
    return true;
}

bool install(const fs::path& levels, const fs::path& staging, const std::string& wantedFolder, LevelInfo& entry,
             std::string& error) {
    const fs::path listPath = levels / "levels.json";
    std::string    oldText;
    if (!readListText(listPath, oldText, error)) return false;
    nlohmann::json document =
        oldText.empty() ? nlohmann::json::array() : nlohmann::json::parse(oldText, nullptr, false);
    nlohmann::json* entries = document.is_discarded() ? nullptr : entriesOf(document);
    if (entries == nullptr)
        return fail(error, "Level list " + listPath.string() + " is not a JSON list of levels; nothing was added");

    const std::string wanted = levelSlug(wantedFolder);
    if (entry.name.empty()) entry.name = wanted;
    entry.file     = freeFolderName(levels, *entries, wanted);
    entry.imported = true;
    entries->push_back(listEntry(entry));

    const fs::path  target = levels / entry.file;
    std::error_code ec;
    fs::rename(staging, target, ec);
    if (ec) return fail(error, "Cannot move the new level into " + target.string() + ": " + ec.message());
    // A name from a foreign archive may not be UTF-8; it is written with replacement characters.
    const std::string listText = document.dump(4, ' ', false, nlohmann::json::error_handler_t::replace);
    if (!saveFileReplacing(listPath.string(), listText)) {
        const std::string reason = SDL_GetError();
        fs::remove_all(target, ec);
        return fail(error, "Cannot write " + listPath.string() + ": " + reason);
    }
    std::cout << "Added level '" << entry.name << "' in " << target.string() << std::endl;
    return true;
}

// The process that made a staging folder ".incoming-<pid>-XXXXXX"; 0 for a
// name without one.
pid_t stagingOwner(const std::string& name) {
    const std::string digits = name.substr(sizeof kStagingPrefix - 1);
    char*             end    = nullptr;
    const long        pid    = std::strtol(digits.c_str(), &end, 10);
    return end != digits.c_str() && *end == '-' && pid > 0 ? static_cast<pid_t>(pid) : 0;
}

bool ownerGone(pid_t owner) { return owner > 0 && kill(owner, 0) != 0 && errno == ESRCH; }

bool isStale(const fs::directory_entry& entry) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(kStagingPrefix, 0) != 0 || !entry.is_directory()) return false;
    const pid_t owner = stagingOwner(name);
    if (owner == getpid()) return false;  // another of our own imports, still working
    if (ownerGone(owner)) return true;
    std::error_code ec;
    const auto      changed = fs::last_write_time(entry.path(), ec);
    return !ec && fs::file_time_type::clock::now() - changed > kStaleAfter;
}

}  // namespace

void removeStaleStagingFolders(const std::string& levelsDir) {
    std::error_code ec;
    for (fs::directory_iterator it(levelsDir, ec), end; !ec && it != end; it.increment(ec)) {
        if (!isStale(*it)) continue;
        std::error_code removed;
        fs::remove_all(it->path(), removed);
        if (removed) std::cerr << "Cannot remove the stale import folder " << it->path().string() << ": "
                               << removed.message() << std::endl;
        else std::cout << "Removed the stale import folder " << it->path().string() << std::endl;
    }
}

std::string makeStagingFolder(const std::string& levelsDir, std::string& error) {
    std::error_code ec;
    fs::create_directories(levelsDir, ec);
    removeStaleStagingFolders(levelsDir);
    std::string pattern =
        (fs::path(levelsDir) / (kStagingPrefix + std::to_string(getpid()) + "-XXXXXX")).string();
    if (ec || mkdtemp(pattern.data()) == nullptr) {
        fail(error, "Cannot make a folder in " + levelsDir + ": " + (ec ? ec.message() : std::strerror(errno)));
        return {};
    }
    // mkdtemp makes it private; the installed level should look like any other folder.
    fs::permissions(pattern,
                    fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec | fs::perms::others_read |
                        fs::perms::others_exec,
                    ec);
    return pattern;
}

void removeStagingFolder(const std::string& staging) {
    std::error_code ec;
    fs::remove_all(staging, ec);
}

std::string levelSlug(const std::string& title) {
    std::string slug;
    bool        gap = false;
    for (const char c : title) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z');
        if (!keep) {
            gap = !slug.empty();
            continue;
        }
        if (gap) slug += '-';
        gap = false;
        slug += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    if (slug.size() > kMaxSlugLength) slug.resize(kMaxSlugLength);
    while (!slug.empty() && slug.back() == '-') slug.pop_back();
    return slug.empty() ? "level" : slug;
}

bool installLevel(const std::string& levelsDir, const std::string& staging, const std::string& wantedFolder,
                  LevelInfo& entry, std::string& error) {
    const LevelsLock lock(levelsDir);
    const bool       installed = lock.held() ? install(levelsDir, staging, wantedFolder, entry, error)
                                             : fail(error, "Cannot lock " + levelsDir + "; nothing was added");
    if (!installed) removeStagingFolder(staging);
    return installed;
}

bool removeLevel(const std::string& levelsDir, const std::string& folder, std::string& error) {
    const LevelsLock lock(levelsDir);
    return lock.held() ? removeListed(levelsDir, folder, error)
                       : fail(error, "Cannot lock " + levelsDir + "; nothing was deleted");
}
