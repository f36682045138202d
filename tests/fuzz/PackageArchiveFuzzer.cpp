// libFuzzer entry for level package archives: arbitrary bytes are read as a
// zip archive and unpacked into a fresh folder, and what was unpacked is
// validated as a package. Whatever the input, nothing may appear outside that
// folder, no link may be written, and the unpacked total stays under the cap.
// `package_archive_fuzzer --write-seeds DIR` writes a corpus.
#include "level/PackageArchive.h"
#include "level/PackageValidation.h"

#include "tests/support/FuzzSupport.h"

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

void check(bool holds, const char* what) { fuzzsupport::check(holds, "Package archive", what); }

std::string littleEndian(uint32_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
    return out;
}

// A short mono 16-bit WAV of a low ramp, enough to decode.
std::string tinyWav() {
    std::string samples;
    for (uint32_t i = 0; i < 2205; ++i) samples += littleEndian((i * 7) & 0x3FF, 2);
    return "RIFF" + littleEndian(36 + static_cast<uint32_t>(samples.size()), 4) + "WAVEfmt " + littleEndian(16, 4) +
           littleEndian(1, 2) + littleEndian(1, 2) + littleEndian(22050, 4) + littleEndian(44100, 4) +
           littleEndian(2, 2) + littleEndian(16, 2) + "data" + littleEndian(static_cast<uint32_t>(samples.size()), 4) +
           samples;
}

// Format 0, one note.
std::string tinyMidi() {
    const std::string track = std::string("\x00\x90\x3c\x64\x60\x80\x3c\x40\x00\xff\x2f\x00", 12);
    return std::string("MThd\x00\x00\x00\x06\x00\x00\x00\x01\x01\xe0", 14) + "MTrk" + std::string("\x00\x00\x00", 3) +
           static_cast<char>(track.size()) + track;
}

std::string zipOf(const ArchiveFiles& files) {
    const fs::path path = fs::temp_directory_path() / ("lumoka-seed-" + std::to_string(getpid()) + ".zip");
    std::string    error, bytes;
    if (!writePackageArchive(path.string(), files, error) || !readPackageFile(path, bytes)) std::abort();
    fs::remove(path);
    return bytes;
}

fuzzsupport::Seeds seeds() {
    const std::string manifest = R"({"stems": [{"file": "a.wav", "midi": "a.mid"}], "package": {"title": "T"}})";
    return {
        {"package.zip", zipOf({{"level.json", manifest}, {"a.wav", tinyWav()}, {"a.mid", tinyMidi()}})},
        {"folder.zip", zipOf({{"p/level.json", manifest}, {"p/a.wav", tinyWav()}, {"p/a.mid", tinyMidi()}})},
        {"outside.zip", zipOf({{"level.json", R"({"stems": [{"file": "../a.wav"}]})"}, {"x/../a.wav", tinyWav()}})},
    };
}

// Everything under root: plain files and folders only, within the size cap.
void checkUnpacked(const fs::path& root) {
    uint64_t        total = 0;
    std::error_code ec;
    for (const fs::directory_entry& item : fs::recursive_directory_iterator(root, ec)) {
        check(!item.is_symlink(), "a link was written");
        check(item.is_directory() || item.is_regular_file(), "something that is no file or folder was written");
        if (item.is_regular_file()) total += item.file_size();
    }
    check(total <= kMaxUnpackedBytes, "more than the cap was unpacked");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    fuzzsupport::writeSeedsIfAsked(*argc, *argv, "package archive", seeds);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const fs::path work = fs::temp_directory_path() / ("lumoka-fuzz-" + std::to_string(getpid()));
    const fs::path        into = work / "package";
    std::error_code       ec;
    fs::remove_all(work, ec);
    fs::create_directories(into, ec);

    std::string error;
    if (unpackPackageArchiveBytes(data, size, into.string(), error)) {
        validatePackageFolder(into.string(), error);
    } else {
        check(!error.empty(), "a refusal without a reason");
    }
    checkUnpacked(into);
    size_t besideIt = 0;
    for (const fs::directory_entry& item : fs::directory_iterator(work, ec)) besideIt += item.path() != into;
    check(besideIt == 0, "something was written outside the package folder");
    fs::remove_all(work, ec);
    return 0;
}
