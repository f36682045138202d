#include "level/PackageImport.h"

#include "base/Catching.h"
#include "level/LevelInstall.h"
#include "level/LevelList.h"
#include "level/LevelManifest.h"
#include "level/LevelPackage.h"
#include "level/PackageArchive.h"
#include "level/PackagePaths.h"
#include "level/PackageValidation.h"
#include "level/ShaderCheck.h"

#include <nlohmann/json.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <set>
#include <system_error>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

bool fail(std::string& error, const std::string& message) {
    error = message;
    return false;
}

// Every file a manifest names for the game to open, each once, in order.
std::vector<std::string> namedFiles(const std::vector<StemEntry>& entries) {
    std::vector<std::string> files;
    std::set<std::string>    seen;
    for (const StemEntry& entry : entries)
        for (const std::string& name : {entry.file, entry.midi})
            if (!name.empty() && seen.insert(name).second) files.push_back(name);
    return files;
}

// A shader the check refuses is left out; the level keeps the default background.
// One it could not check stays, unmarked, for the game to check at first use.
void checkImportedShader(const fs::path& folder, const std::string& vertexShader, const StopShaderCheck& stop) {
    std::error_code ec;
    if (fs::exists(folder / "background.frag", ec) &&
        checkPackageShader(folder.string(), vertexShader, stop) == ShaderVerdict::Refused)
        fs::remove(folder / "background.frag", ec);
}

// The level's entry from level.json's "package" object, else from fallbackTitle.
LevelInfo packageInfo(const fs::path& manifest, const std::string& fallbackTitle) {
    LevelInfo   info{fallbackTitle, "", 1, "Imported package " + fallbackTitle};
    std::string text;
    readPackageFile(manifest, text);
    const json document = json::parse(text, nullptr, false);
    if (document.is_discarded() || !document.is_object() || !document.contains("package")) return info;
    const json& package = document["package"];
    if (!package.is_object()) return info;
    if (package.contains("title") && package["title"].is_string() && !package["title"].get<std::string>().empty())
        info.name = package["title"].get<std::string>();
    if (package.contains("description") && package["description"].is_string())
        info.description = package["description"].get<std::string>();
    if (package.contains("difficulty") && package["difficulty"].is_number_integer())
        info.difficulty = package["difficulty"].get<int>();
    return info;
}

// The first step of name (a path inside the package) that is a link, or empty:
// a linked folder would bring files from outside the package into the level.
std::string linkedStep(const fs::path& source, const std::string& name) {
    fs::path        at = source;
    std::error_code ec;
    for (const fs::path& step : fs::path(name)) {
        at /= step;
        if (fs::is_symlink(fs::symlink_status(at, ec))) return (at.lexically_relative(source)).string();
    }
    return {};
}

// The bytes only: the new file gets the player's default mode (the umask's),
// not whatever mode the source had, and is never written through a link.
bool copyBytes(const fs::path& from, const fs::path& to) {
    std::string bytes;
    if (!readPackageFile(from, bytes)) return false;
    const int out = open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (out < 0) return false;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = write(out, bytes.data() + done, bytes.size() - done);
        if (wrote <= 0) break;
        done += static_cast<size_t>(wrote);
    }
    return close(out) == 0 && done == bytes.size();
}

// A package folder's level.json, shader and the files its manifest names, as
// plain files (no step of their paths a link), within the same size cap as an archive.
bool copyPackageFolder(const fs::path& source, const fs::path& staging, std::string& error) {
    std::error_code ec;
    if (!fs::is_regular_file(fs::symlink_status(source / "level.json", ec)))
        return fail(error, "Refused: " + source.string() + " holds no level.json");
    std::vector<StemEntry> entries;
    if (!copyBytes(source / "level.json", staging / "level.json") || !manifestStems(staging / "level.json", entries))
        return fail(error, "Refused: the level.json of " + source.string() + " is not a level manifest");
    std::vector<std::string> files = namedFiles(entries);
    if (fs::exists(source / "background.frag", ec)) files.push_back("background.frag");
    uint64_t total = 0;
    for (const std::string& name : files) {
        if (!isConfinedPath(name))
            return fail(error, "Refused: level.json names \"" + name + "\", outside the package");
        const std::string link = linkedStep(source, name);
        if (!link.empty()) return fail(error, "Refused: \"" + link + "\" in the package is a link");
        if (!fs::is_regular_file(fs::symlink_status(source / name, ec))) continue;  // validation names what is missing
        total += fs::file_size(source / name, ec);
        if (total > kMaxUnpackedBytes) return fail(error, "Refused: the package is larger than 1 GiB");
        fs::create_directories((staging / name).parent_path(), ec);
        if (!copyBytes(source / name, staging / name))
            return fail(error, "Cannot copy \"" + name + "\": " + std::strerror(errno));
    }
    return true;
}

bool stagePackage(const fs::path& source, const fs::path& staging, std::string& error) {
    std::error_code ec;
    if (fs::is_directory(source, ec)) return copyPackageFolder(source, staging, error);
    if (!fs::is_regular_file(source, ec)) return fail(error, "Cannot open " + source.string());
    return unpackPackageArchive(source.string(), staging.string(), error);
}

bool cancelled(const std::string& staging, std::string& error) {
    removeStagingFolder(staging);
    return fail(error, "Import cancelled");
}

std::string sourceTitle(const fs::path& source) {
    const fs::path    name  = source.has_filename() ? source.filename() : source.parent_path().filename();
    const std::string title = baseName(name.string());
    return title.empty() ? name.string() : title;
}

// Unpacking is quick; decoding the stems takes most of the time, the shader check up to its limit.
bool stageAndInstall(const fs::path& source, const fs::path& levels, const std::string& vertexShader,
                     LevelInfo& installed, std::string& error, const PackageImportSteps& steps) {
    const std::string staging = makeStagingFolder(levels.string(), error);
    if (staging.empty()) return false;
    if (!steps("Unpacking", 0.0f)) return cancelled(staging, error);
    const auto decoded = [&steps](size_t checked, size_t stems) {
        return steps("Decoding the stems", 0.1f + 0.7f * float(checked) / float(stems));
    };
    if (!stagePackage(source, staging, error) || !steps("Decoding the stems", 0.1f) ||
        !validatePackageFolder(staging, error, decoded)) {
        if (error.empty()) error = "Import cancelled";
        removeStagingFolder(staging);
        return false;
    }
    if (!steps("Checking the background shader", 0.8f)) return cancelled(staging, error);
    checkImportedShader(staging, vertexShader, [&steps] { return !steps("Checking the background shader", 0.8f); });
    if (!steps("Installing", 0.95f)) return cancelled(staging, error);
    installed = packageInfo(fs::path(staging) / "level.json", sourceTitle(source));
    return installLevel(levels.string(), staging, installed.name, installed, error);
}

// The level.json to export: as it is when it already has its "package" object.
bool exportedManifest(const fs::path& manifest, const LevelInfo& level, std::string& text, std::string& error) {
    if (!readPackageFile(manifest, text)) return fail(error, "Cannot read " + manifest.string());
    json document = json::parse(text, nullptr, false);
    if (document.is_discarded() || !document.is_object())
        return fail(error, "Cannot export: " + manifest.string() + " is not a level manifest");
    if (document.contains("package") && document["package"].is_object()) return true;
    document["package"] = {{"title", level.name}, {"description", level.description}, {"difficulty", level.difficulty}};
    text                = document.dump(4, ' ', false, json::error_handler_t::replace);
    return true;
}

bool listedLevel(const fs::path& levels, const std::string& folder, LevelInfo& level) {
    std::string text;
    if (!readPackageFile(levels / "levels.json", text)) return false;
    for (const LevelInfo& entry : readLevelList(text))
        if (entry.file == folder) return level = entry, true;
    return false;
}

}  // namespace

bool importPackage(const std::string& source, const std::string& levelsDir, const std::string& vertexShader,
                   LevelInfo& installed, std::string& error, const PackageImportSteps& steps) {
    std::cout << "Importing level package " << source << std::endl;
    const PackageImportSteps report = steps ? steps : [](const std::string&, float) { return true; };
    // A library's exception (memory for a huge stem) must not end the game's worker thread.
    std::string why;
    const bool  imported = base::runCatching(
        [&] { return stageAndInstall(source, levelsDir, vertexShader, installed, error, report); }, why);
    if (!why.empty()) error = "Cannot import " + source + ": " + why;
    if (!imported) std::cerr << error << std::endl;
    return imported;
}

bool exportPackage(const std::string& levelsDir, const std::string& folder, const std::string& zipPath,
                   std::string& error) {
    const fs::path levels = levelsDir;
    LevelInfo      level{folder, folder, 1, ""};
    if (!isConfinedPath(folder) || !listedLevel(levels, folder, level)) {
        std::cerr << (error = "Cannot export: no level \"" + folder + "\" in " + (levels / "levels.json").string())
                  << std::endl;
        return false;
    }
    const fs::path         package = levels / folder;
    ArchiveFiles           files(1, {"level.json", ""});
    std::vector<StemEntry> entries;
    bool                   ok = exportedManifest(package / "level.json", level, files[0].second, error) &&
              manifestStems(package / "level.json", entries);
    std::vector<std::string> names = namedFiles(entries);
    if (fs::exists(package / "background.frag")) names.push_back("background.frag");
    for (size_t i = 0; ok && i < names.size(); ++i) {
        files.push_back({names[i], ""});
        if (!isConfinedPath(names[i]) || !readPackageFile(package / names[i], files.back().second))
            ok = fail(error, "Cannot export: \"" + names[i] + "\" of " + package.string() + " cannot be read");
    }
    if (ok) ok = writePackageArchive(zipPath, files, error);
    if (!ok) {
        if (error.empty()) error = "Cannot export: " + (package / "level.json").string() + " has no stems";
        std::cerr << error << std::endl;
        return false;
    }
    std::cout << "Exported level \"" << level.name << "\" to " << zipPath << std::endl;
    return true;
}
