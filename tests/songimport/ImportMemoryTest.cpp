// lumoka-import under a memory limit, as a small machine or a container gives
// it: seven short stems beside a long one fit, because the short ones are
// padded as they are written and not in memory; a limit too small for the
// song ends the import with one line and exit code 1, never an abort, and
// leaves the levels folder as it was.
#include "songimport/SongFiles.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

constexpr double kLongSeconds  = 180.0;  // 64 MB of decoded frames
constexpr double kShortSeconds = 12.0;

TEST(ImportUnderAMemoryLimit, ShortStemsBesideALongOneFitAndTooLittleMemoryFailsCleanly) {
    testsupport::TempDir dir;
    // The long stem first: the charted stems are the first ones, and twelve seconds of notes are too few for a 180 s song.
    std::vector<std::string> args = {"--levels", "levels", (dir.path() / "long.wav").string()};
    for (int i = 0; i < 7; ++i) {
        const fs::path stem = dir.path() / ("short" + std::to_string(i) + ".wav");
        ASSERT_TRUE(songfiles::writeBeatSong(stem, kShortSeconds, 0.4f, 220.0 * (i + 1)));
        args.push_back(stem.string());
    }
    ASSERT_TRUE(songfiles::writeBeatSong(dir.path() / "long.wav", kLongSeconds));
    writeFile(dir.path() / "levels" / "levels.json", "[]");

    // Padding every stem to the long one in memory would need eight times its 64 MB.
    const auto importWithin = [&](int mebibytes) {
        std::vector<std::string> limited = {"--data=" + std::to_string(mebibytes * 1024 * 1024), LUMOKA_IMPORT_BINARY};
        limited.insert(limited.end(), args.begin(), args.end());
        testsupport::GameProcess tool("/usr/bin/prlimit", limited, dir.path());
        return tool.wait(180s);
    };
    const auto tooSmall = importWithin(60);
    EXPECT_EQ(tooSmall.exitCode, 1) << tooSmall.err;
    EXPECT_EQ(tooSmall.err.find("Cannot import "), 0u) << tooSmall.err;
    EXPECT_EQ(tooSmall.err.find('\n'), tooSmall.err.size() - 1) << tooSmall.err;
    EXPECT_EQ(readFile(dir.path() / "levels" / "levels.json"), "[]");

    const auto fits = importWithin(300);
    ASSERT_EQ(fits.exitCode, 0) << fits.err;
    EXPECT_NE(fits.out.find(", 8 stems, "), std::string::npos) << fits.out;
    EXPECT_NE(fits.out.find("Padded " + args[3] + " with 168.0 s of silence"), std::string::npos) << fits.out;
}

}  // namespace
