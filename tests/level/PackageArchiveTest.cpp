// Level packages as archives: hostile archives built here with libzip are each
// refused with their own message and leave levels/ and levels.json exactly as
// they were; a listed level exported and imported again comes back byte for
// byte; installed levels cannot reach outside their folders.
#include "level/LevelList.h"
#include "level/PackageArchive.h"
#include "level/PackageImport.h"
#include "level/PackagePaths.h"
#include "support/FolderSnapshot.h"
#include "support/LevelFiles.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <zip.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testsupport::folderSnapshot;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

const std::string kManifest = R"({"stems": [{"file": "beat.wav", "midi": "beat.mid"}], "bpm": 120,
    "package": {"title": "Friend's Song", "description": "Sent by a friend", "difficulty": 4}})";

struct ZipEntry {
    std::string name;
    std::string bytes;
    bool        link = false;
};

// An archive as the test describes it; links carry Unix link attributes.
void buildZip(const fs::path& path, const std::vector<ZipEntry>& entries) {
    int    code    = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    ASSERT_NE(archive, nullptr);
    for (const ZipEntry& entry : entries) {
        zip_source_t*     source = zip_source_buffer(archive, entry.bytes.data(), entry.bytes.size(), 0);
        const zip_int64_t index  = zip_file_add(archive, entry.name.c_str(), source, 0);
        ASSERT_GE(index, 0) << zip_strerror(archive);
        if (entry.link)
            zip_file_set_external_attributes(archive, static_cast<zip_uint64_t>(index), 0, ZIP_OPSYS_UNIX,
                                             static_cast<zip_uint32_t>(S_IFLNK | 0777) << 16);
    }
    ASSERT_EQ(zip_close(archive), 0);
}

std::vector<ZipEntry> goodPackage() {
    return {{"level.json", kManifest},
            {"beat.wav", levelfiles::wavBytes(1.0)},
            {"beat.mid", levelfiles::smfBytes({{0.5, 0.1, 60, 100, 0}, {1.0, 0.1, 64, 90, 0}})}};
}

class Packages : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    fs::path             levels = dir.path() / "levels";
    std::string          error;

    void SetUp() override {
        writeFile(levels / "mine" / "level.json", R"({"stems": [{"file": "a.wav", "midi": "a.mid"}]})");
        writeFile(levels / "mine" / "a.wav", levelfiles::wavBytes(0.5));
        writeFile(levels / "mine" / "a.mid", levelfiles::smfBytes({{0.1, 0.2, 50, 80, 0}}));
        writeFile(levels / "levels.json", R"([{"name": "Mine", "file": "mine", "difficulty": 2}])");
    }

    bool import(const fs::path& source, LevelInfo& installed) {
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const bool ok = importPackage(source.string(), levels.string(), "", installed, error);
        testing::internal::GetCapturedStdout();
        testing::internal::GetCapturedStderr();
        return ok;
    }
};

TEST_F(Packages, HostileArchivesAreRefusedEachWithItsOwnMessageAndChangeNothing) {
    std::vector<ZipEntry> missingStem = goodPackage();
    missingStem.pop_back();
    missingStem.erase(missingStem.begin() + 1);
    std::vector<ZipEntry> bomb = goodPackage();
    bomb.push_back({"silence.raw", std::string(40u << 20, '\0')});
    std::vector<ZipEntry> noise = goodPackage();
    noise[1].bytes              = "RIFF but not a sound at all";

    const struct {
        const char*           name;
        std::vector<ZipEntry> entries;
        const char*           message;
    } archives[] = {
        {"traversal.zip", {{"level.json", kManifest}, {"../../escaped.txt", "x"}}, "climbs out of the package"},
        {"absolute.zip", {{"level.json", kManifest}, {"/tmp/escaped.txt", "x"}}, "has an absolute path"},
        {"drive.zip", {{"level.json", kManifest}, {"C:/escaped.txt", "x"}}, "names a drive"},
        {"symlink.zip", {{"level.json", kManifest}, {"beat.wav", "/etc/passwd", true}}, "is a link"},
        {"bomb.zip", bomb, "(a zip bomb?)"},
        {"missing-stem.zip", missingStem, "\"beat.wav\" named by level.json is not in the package"},
        {"noise.zip", noise, "\"beat.wav\" does not decode"},
        {"no-manifest.zip", {{"beat.wav", levelfiles::wavBytes(0.2)}}, "holds no level.json"},
    };
    const auto               before = folderSnapshot(levels);
    std::vector<std::string> messages;
    for (const auto& archive : archives) {
        SCOPED_TRACE(archive.name);
        buildZip(dir.path() / archive.name, archive.entries);
        LevelInfo installed;
        EXPECT_FALSE(import(dir.path() / archive.name, installed));
        EXPECT_NE(error.find(archive.message), std::string::npos) << error;
        EXPECT_EQ(folderSnapshot(levels), before);
        messages.push_back(error);
    }
    EXPECT_FALSE(fs::exists(dir.path() / "escaped.txt"));

    // Not archives at all, or no longer whole ones.
    buildZip(dir.path() / "whole.zip", goodPackage());
    const std::string whole = readFile(dir.path() / "whole.zip");
    writeFile(dir.path() / "truncated.zip", whole.substr(0, whole.size() / 2));
    writeFile(dir.path() / "text.zip", "just some text with a .zip name");
    const std::pair<const char*, const char*> broken[] = {{"truncated.zip", "is a damaged or truncated zip archive"},
                                                          {"text.zip", "text.zip is not a zip archive"}};
    for (const auto& [name, message] : broken) {
        SCOPED_TRACE(name);
        LevelInfo installed;
        EXPECT_FALSE(import(dir.path() / name, installed));
        EXPECT_NE(error.find(message), std::string::npos) << error;
        EXPECT_EQ(folderSnapshot(levels), before);
    }
}

TEST_F(Packages, AnImportedArchiveIsListedWithItsPackageDetails) {
    buildZip(dir.path() / "friend.zip", goodPackage());
    LevelInfo installed;
    ASSERT_TRUE(import(dir.path() / "friend.zip", installed)) << error;

    const std::vector<LevelInfo> listed = readLevelList(readFile(levels / "levels.json"));
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(listed[0].name, "Mine");
    EXPECT_EQ(listed[1].name, "Friend's Song");
    EXPECT_EQ(listed[1].file, "friend-s-song");
    EXPECT_EQ(listed[1].difficulty, 4);
    EXPECT_EQ(listed[1].description, "Sent by a friend");
    for (const ZipEntry& entry : goodPackage()) EXPECT_EQ(readFile(levels / "friend-s-song" / entry.name), entry.bytes);

    // The same archive again lands beside the first; a folder holding level.json imports too.
    ASSERT_TRUE(import(dir.path() / "friend.zip", installed)) << error;
    EXPECT_EQ(installed.file, "friend-s-song-2");
    ASSERT_TRUE(import(levels / "mine", installed)) << error;
    EXPECT_EQ(installed.name, "mine") << "no package object: named after the folder";
    EXPECT_EQ(readFile(levels / installed.file / "a.wav"), readFile(levels / "mine" / "a.wav"));
}

TEST_F(Packages, ExportThenImportGivesBackTheSameFiles) {
    const fs::path zip = dir.path() / "out" / "mine.zip";
    fs::create_directories(zip.parent_path());
    testing::internal::CaptureStdout();
    ASSERT_TRUE(exportPackage(levels.string(), "mine", zip.string(), error)) << error;
    testing::internal::GetCapturedStdout();

    LevelInfo installed;
    ASSERT_TRUE(import(zip, installed)) << error;
    EXPECT_EQ(installed.name, "Mine") << "the exported level.json carries the listed title";
    EXPECT_EQ(installed.difficulty, 2);
    for (const char* name : {"a.wav", "a.mid"})
        EXPECT_EQ(readFile(levels / installed.file / name), readFile(levels / "mine" / name)) << name;

    // Exporting the imported copy writes the same level.json again, unchanged.
    const fs::path again = dir.path() / "out" / "again.zip";
    testing::internal::CaptureStdout();
    ASSERT_TRUE(exportPackage(levels.string(), installed.file, again.string(), error)) << error;
    testing::internal::GetCapturedStdout();
    const fs::path unpacked = dir.path() / "unpacked";
    ASSERT_TRUE(unpackPackageArchive(again.string(), unpacked.string(), error)) << error;
    EXPECT_EQ(folderSnapshot(unpacked), folderSnapshot(levels / installed.file));
}

TEST_F(Packages, ExportRefusesALevelThatIsNotListedOrReachesOutside) {
    writeFile(levels / "levels.json", R"([{"name": "Out", "file": "../.."}, {"name": "Mine", "file": "mine"}])");
    writeFile(levels / "mine" / "level.json", R"({"stems": [{"file": "../../secret.wav"}]})");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(exportPackage(levels.string(), "../..", (dir.path() / "x.zip").string(), error));
    EXPECT_FALSE(exportPackage(levels.string(), "elsewhere", (dir.path() / "x.zip").string(), error));
    EXPECT_FALSE(exportPackage(levels.string(), "mine", (dir.path() / "x.zip").string(), error));
    testing::internal::GetCapturedStderr();
    EXPECT_NE(error.find("../../secret.wav"), std::string::npos) << error;
    EXPECT_FALSE(fs::exists(dir.path() / "x.zip"));
}

TEST(PackagePaths, OnlyPlainRelativePathsStayInside) {
    for (const char* inside : {"a.ogg", "stems/a.ogg", "./a.ogg", "a..b.ogg", "..a"})
        EXPECT_TRUE(isConfinedPath(inside)) << inside;
    for (const char* outside :
         {"", "/etc/passwd", "../a.ogg", "a/../../b", "stems/..", "C:/a.ogg", "a\\..\\b", "\\\\server\\share"})
        EXPECT_FALSE(isConfinedPath(outside)) << outside;
}

}  // namespace
