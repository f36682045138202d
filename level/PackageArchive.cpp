#include "level/PackageArchive.h"

#include "level/PackagePaths.h"

#include <zip.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <memory>
#include <system_error>

namespace fs = std::filesystem;

namespace {

constexpr uint64_t kMiB = 1024 * 1024;
// Below this a package may compress as well as it likes (MIDI and JSON do).
constexpr uint64_t kRatioFreeBytes = 16 * kMiB;

struct ZipCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
using ZipPtr = std::unique_ptr<zip_t, ZipCloser>;

struct Entry {
    zip_uint64_t index;
    std::string  name;
    uint64_t     size;
};

bool fail(std::string& error, const std::string& message) {
    error = message;
    return false;
}

std::string zipErrorText(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
}

// Why an entry's name cannot be unpacked, or empty when it can.
std::string nameProblem(const std::string& name) {
    if (name.empty()) return "has an empty name";
    if (name.front() == '/' || name.front() == '\\') return "has an absolute path";
    if (name.find(':') != std::string::npos || name.find('\\') != std::string::npos)
        return "names a drive or uses backslashes";
    std::string path = name;
    if (path.back() == '/') path.pop_back();
    if (!isConfinedPath(path)) return "climbs out of the package with \"..\"";
    return {};
}

bool isLink(zip_t* archive, zip_uint64_t index) {
    zip_uint8_t  system     = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0) return false;
    return system == ZIP_OPSYS_UNIX && S_ISLNK(attributes >> 16);
}

// Every entry checked by name, kind and size; the files (not folders) in order.
bool listEntries(zip_t* archive, uint64_t archiveBytes, std::vector<Entry>& files, std::string& error) {
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    uint64_t          total = 0;
    for (zip_int64_t i = 0; i < count; ++i) {
        const auto index = static_cast<zip_uint64_t>(i);
        zip_stat_t stat;
        if (zip_stat_index(archive, index, 0, &stat) != 0 || !(stat.valid & ZIP_STAT_NAME))
            return fail(error, "Refused: the archive's entry " + std::to_string(i) + " cannot be read");
        const std::string name    = stat.name;
        const std::string problem = nameProblem(name);
        if (!problem.empty()) return fail(error, "Refused: the archive entry \"" + name + "\" " + problem);
        if (isLink(archive, index)) return fail(error, "Refused: the archive entry \"" + name + "\" is a link");
        if (name.back() == '/') continue;
        const uint64_t size = (stat.valid & ZIP_STAT_SIZE) ? stat.size : 0;
        total += size;
        if (total > kMaxUnpackedBytes)
            return fail(error, "Refused: the archive unpacks to more than " + std::to_string(kMaxUnpackedBytes / kMiB) +
                                   " MiB");
        files.push_back({index, name, size});
    }
    if (total > kRatioFreeBytes && total / kMaxUnpackRatio > archiveBytes)
        return fail(error, "Refused: the archive unpacks to " + std::to_string(total / kMiB) + " MiB, over " +
                               std::to_string(kMaxUnpackRatio) + " times its own size (a zip bomb?)");
    return true;
}

// The folder inside the archive that holds level.json: the top, or one top-level folder.
bool packageRoot(const std::vector<Entry>& files, std::string& root, std::string& error) {
    std::vector<std::string> roots;
    for (const Entry& file : files) {
        if (file.name == "level.json") return root.clear(), true;
        const size_t slash = file.name.find('/');
        if (slash != std::string::npos && file.name.compare(slash, std::string::npos, "/level.json") == 0)
            roots.push_back(file.name.substr(0, slash + 1));
    }
    if (roots.size() != 1) return fail(error, "Refused: the archive holds no level.json at its top or in one folder");
    root = roots.front();
    return true;
}

// Writes one entry; never more bytes than its header declared, never through a link.
bool unpackEntry(zip_t* archive, const Entry& file, const fs::path& target, std::string& error) {
    std::error_code ec;
    fs::create_directories(target.parent_path(), ec);
    const int out = open(target.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (ec || out < 0) return fail(error, "Cannot unpack \"" + file.name + "\": " + std::strerror(errno));
    zip_file_t* in      = zip_fopen_index(archive, file.index, 0);
    bool        ok      = in != nullptr;
    uint64_t    written = 0;
    char        buffer[64 * 1024];
    while (ok) {
        const zip_int64_t got = zip_fread(in, buffer, sizeof buffer);
        if (got <= 0) {
            ok = got == 0;
            break;
        }
        written += static_cast<uint64_t>(got);
        ok = written <= file.size && write(out, buffer, static_cast<size_t>(got)) == got;
    }
    const std::string reason = in != nullptr ? zip_file_strerror(in) : zip_strerror(archive);
    if (in != nullptr) zip_fclose(in);
    ok = close(out) == 0 && ok;
    if (!ok) return fail(error, "Refused: the archive entry \"" + file.name + "\" is damaged (" + reason + ")");
    return true;
}

bool unpackOpened(zip_t* archive, uint64_t archiveBytes, const std::string& into, std::string& error) {
    std::vector<Entry> files;
    std::string        root;
    if (!listEntries(archive, archiveBytes, files, error) || !packageRoot(files, root, error)) return false;
    for (const Entry& file : files) {
        if (file.name.compare(0, root.size(), root) != 0) continue;
        if (!unpackEntry(archive, file, fs::path(into) / file.name.substr(root.size()), error)) return false;
    }
    return true;
}

bool openFailed(int code, const std::string& what, bool looksLikeZip, std::string& error) {
    if (code == ZIP_ER_NOZIP && !looksLikeZip) return fail(error, what + " is not a zip archive");
    return fail(error, what + " is a damaged or truncated zip archive (" + zipErrorText(code) + ")");
}

bool startsLikeZip(const void* data, size_t size) { return size >= 4 && std::memcmp(data, "PK\x03\x04", 4) == 0; }

}  // namespace

bool unpackPackageArchive(const std::string& zipPath, const std::string& into, std::string& error) {
    std::error_code ec;
    const uint64_t  bytes = fs::file_size(zipPath, ec);
    if (ec) return fail(error, "Cannot read " + zipPath + ": " + ec.message());
    char       head[4] = {};
    const int  in      = open(zipPath.c_str(), O_RDONLY | O_CLOEXEC);
    const auto got     = in >= 0 ? read(in, head, sizeof head) : -1;
    if (in >= 0) close(in);

    int    code = 0;
    ZipPtr archive(zip_open(zipPath.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &code));
    if (!archive)
        return openFailed(code, fs::path(zipPath).filename().string(), startsLikeZip(head, got > 0 ? got : 0), error);
    return unpackOpened(archive.get(), bytes, into, error);
}

bool unpackPackageArchiveBytes(const void* data, size_t size, const std::string& into, std::string& error) {
    zip_error_t zipError;
    zip_error_init(&zipError);
    zip_source_t* source = zip_source_buffer_create(data, size, 0, &zipError);
    ZipPtr archive(source != nullptr ? zip_open_from_source(source, ZIP_RDONLY | ZIP_CHECKCONS, &zipError) : nullptr);
    const int code = zip_error_code_zip(&zipError);
    zip_error_fini(&zipError);
    if (!archive) {
        zip_source_free(source);
        return openFailed(code, "The data", startsLikeZip(data, size), error);
    }
    return unpackOpened(archive.get(), size, into, error);
}

bool writePackageArchive(const std::string& zipPath, const ArchiveFiles& files, std::string& error) {
    int    code = 0;
    ZipPtr archive(zip_open(zipPath.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code));
    if (!archive) return fail(error, "Cannot write " + zipPath + ": " + zipErrorText(code));
    for (const auto& [name, bytes] : files) {
        zip_source_t* source = zip_source_buffer(archive.get(), bytes.data(), bytes.size(), 0);
        if (source == nullptr || zip_file_add(archive.get(), name.c_str(), source, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(source);
            return fail(error, "Cannot add " + name + " to " + zipPath + ": " + zip_strerror(archive.get()));
        }
    }
    // libzip writes a temporary file beside the target and renames it when done.
    if (zip_close(archive.get()) != 0)
        return fail(error, "Cannot write " + zipPath + ": " + zip_strerror(archive.get()));
    archive.release();
    return true;
}
