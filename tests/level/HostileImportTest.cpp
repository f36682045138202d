// lumoka-import against what an attacker or a crash leaves: charts no player
// can meet, more stems than the game plays, links out of a package folder,
// songs that claim hours at 1 Hz, staging folders of killed imports, two
// imports into one levels folder at once, and a shader check with no display.
#include "support/LevelFiles.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

class HostileImport : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    fs::path             levels = dir.path() / "levels";

    void SetUp() override {
        testsupport::copyAssets(dir.path());
        writeFile(levels / "levels.json", "[]");
    }

    std::unique_ptr<testsupport::GameProcess> start(const std::vector<std::string>& args,
                                                    const std::vector<std::pair<std::string, std::string>>& env = {}) {
        return std::make_unique<testsupport::GameProcess>(LUMOKA_IMPORT_BINARY, args, dir.path(), env);
    }
    testsupport::ProcessResult run(const std::vector<std::string>& args,
                                   const std::vector<std::pair<std::string, std::string>>& env = {}) {
        return start(args, env)->wait(120s);
    }

    // A package folder outside levels/ whose one stem plays the given notes.
    fs::path package(const std::string& name, const std::vector<levelfiles::Note>& notes) {
        const fs::path folder = dir.path() / "incoming" / name;
        writeFile(folder / "level.json", R"({"stems": [{"file": "s.wav", "midi": "s.mid"}]})");
        writeFile(folder / "s.wav", levelfiles::wavBytes(0.5));
        writeFile(folder / "s.mid", levelfiles::smfBytes(notes));
        return folder;
    }
    fs::path package(const std::string& name) { return package(name, {{0.1, 0.1, 60, 100, 0}}); }

    std::vector<std::string> listedFolders() {
        std::vector<std::string> folders;
        for (const auto& entry : nlohmann::json::parse(readFile(levels / "levels.json")))
            folders.push_back(entry["file"].get<std::string>());
        return folders;
    }
};

std::vector<levelfiles::Note> notesInOneSecond(size_t count) {
    std::vector<levelfiles::Note> notes;
    for (size_t i = 0; i < count; ++i) notes.push_back({double(i) / double(count), 0.001, 60, 100, 0});
    return notes;
}

TEST_F(HostileImport, ContentNoPlayerCanMeetIsRefusedWithOneLineAndLevelsUnchanged) {
    const fs::path dense = package("dense", notesInOneSecond(1'000'000));
    fs::path       many  = package("many");
    std::string    stems;
    for (int i = 0; i < 1000; ++i) stems += std::string(i ? "," : "") + R"({"file": "s.wav"})";
    writeFile(many / "level.json", R"({"stems": [)" + stems + "]}");
    // A folder package whose sub/ leads outside it.
    const fs::path linked = package("linked");
    writeFile(dir.path() / "secret" / "s.wav", levelfiles::wavBytes(0.5));
    fs::create_directory_symlink(dir.path() / "secret", linked / "sub");
    writeFile(linked / "level.json", R"({"stems": [{"file": "sub/s.wav"}]})");
    writeFile(dir.path() / "slow.wav", levelfiles::wavBytes(24'000, 1));  // 24 KB "at 1 Hz": 6.7 hours

    const struct {
        std::vector<std::string> args;
        const char*              reason;
    } cases[] = {
        {{"--levels", "levels", "--package", dense.string()}, "notes within one second, more than the 50 a player can hit"},
        {{"--levels", "levels", "--package", many.string()}, "names 1000 stems; the game plays 8 at most"},
        {{"--levels", "levels", "--package", linked.string()}, "\"sub\" in the package is a link"},
        {{"--levels", "levels", "slow.wav"}, "sample rate of 1 Hz is under the 8000 Hz"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reason);
        const auto result = run(c.args);
        EXPECT_EQ(result.exitCode, 1) << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
        EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
        EXPECT_EQ(readFile(levels / "levels.json"), "[]");
    }
    for (const fs::directory_entry& entry : fs::directory_iterator(levels))
        EXPECT_EQ(entry.path().filename().string().rfind(".incoming-", 0), std::string::npos) << entry.path();

    // Fifty in a second is a hard chart, not a hostile one; a folder package's files get the default mode.
    const fs::path hard = package("hard", notesInOneSecond(50));
    fs::permissions(hard / "s.wav", fs::perms::all & ~fs::perms::owner_exec & ~fs::perms::group_exec &
                                        ~fs::perms::others_exec);  // 0666
    const auto result = run({"--levels", "levels", "--package", hard.string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(static_cast<mode_t>(fs::status(levels / "hard" / "s.wav").permissions()), 0666 & ~mask);
}

TEST_F(HostileImport, TwoImportsAtOnceAreBothListedEveryRound) {
    const fs::path source = package("race");
    for (int round = 0; round < 20; ++round) {
        auto first  = start({"--levels", "levels", "--package", source.string()});
        auto second = start({"--levels", "levels", "--package", source.string()});
        EXPECT_EQ(first->wait(60s).exitCode, 0);
        EXPECT_EQ(second->wait(60s).exitCode, 0);
    }
    std::vector<std::string> folders = listedFolders();
    EXPECT_EQ(folders.size(), 40u);
    std::sort(folders.begin(), folders.end());
    EXPECT_EQ(std::unique(folders.begin(), folders.end()), folders.end()) << "two entries share a folder";
    for (const std::string& folder : folders) EXPECT_TRUE(fs::exists(levels / folder / "level.json")) << folder;
}

TEST_F(HostileImport, KilledImportsLeaveNothingTheNextImportKeeps) {
    // A dead owner, an old folder of no known owner, and a live import's fresh folder.
    writeFile(levels / ".incoming-999999999-dead01" / "1-a.flac", std::string(4096, 'x'));
    writeFile(levels / ".incoming-old002" / "s.wav", "x");
    const auto lastWeek = fs::file_time_type::clock::now() - std::chrono::hours(24 * 7);
    fs::last_write_time(levels / ".incoming-old002", lastWeek);
    const fs::path live = levels / (".incoming-" + std::to_string(getpid()) + "-live03");
    writeFile(live / "s.wav", "x");

    const auto result = run({"--levels", "levels", "--package", package("after").string()});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_FALSE(fs::exists(levels / ".incoming-999999999-dead01"));
    EXPECT_FALSE(fs::exists(levels / ".incoming-old002"));
    EXPECT_TRUE(fs::exists(live)) << "a running import's folder was taken";
    EXPECT_NE(result.out.find("Removed the stale import folder"), std::string::npos) << result.out;
}

TEST_F(HostileImport, AShaderThatCannotBeCheckedIsKeptUnmarked) {
    const fs::path source = package("nodisplay");
    writeFile(source / "background.frag", "#version 460 core\nout vec4 color;\nvoid main() { color = vec4(1.0); }\n");
    // No display and no off-screen driver: the check cannot make a GL context.
    const auto result = run({"--levels", "levels", "--package", source.string()},
                            {{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"SDL_VIDEO_DRIVER", "x11"}});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.err.find("background.frag could not be checked (the shader check could not make a GL context)"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(readFile(levels / "nodisplay" / "background.frag"), readFile(source / "background.frag"));
    EXPECT_FALSE(fs::exists(levels / "nodisplay" / ".background.frag.checked"));
}

}  // namespace
