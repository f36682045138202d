#include "ui/filebrowser/FilePaths.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace filebrowser;

TEST(FilePaths, ParentStopsAtTheRootAndIgnoresATrailingSeparator) {
    const std::pair<const char*, const char*> cases[] = {
        {"/home/player/music", "/home/player"},
        {"/home/player/music/", "/home/player"},
        {"/home", "/"},
        {"/", "/"},
        {"C:\\Users\\player", "C:\\Users"},
        {"C:\\Users\\", "C:\\"},
        {"C:\\", "C:\\"},
        {"C:/Users", "C:/"},
        {"levels/pack\\sub", "levels/pack"},
        {"levels", ""},
        {"", ""},
    };
    for (const auto& [path, parent] : cases) EXPECT_EQ(parentPath(path), parent) << path;
}

TEST(FilePaths, JoinAddsOneSeparatorOnlyWhereNoneIs) {
    EXPECT_EQ(joinPath("", "a.wav"), "a.wav");
    EXPECT_EQ(joinPath("/music/", "a.wav"), "/music/a.wav");
    EXPECT_EQ(joinPath("C:\\music\\", "a.wav"), "C:\\music\\a.wav");
#ifdef _WIN32
    EXPECT_EQ(joinPath("C:\\music", "a.wav"), "C:\\music\\a.wav");
#else
    EXPECT_EQ(joinPath("/music", "a.wav"), "/music/a.wav");
#endif
}

TEST(FilePaths, ComponentsLeadFromTheRootToTheFolder) {
    const std::vector<PathComponent> posix = pathComponents("/home//player/");
    ASSERT_EQ(posix.size(), 3u);
    EXPECT_EQ(posix[0].label, "/");
    EXPECT_EQ(posix[0].path, "/");
    EXPECT_EQ(posix[1].label, "home");
    EXPECT_EQ(posix[1].path, "/home");
    EXPECT_EQ(posix[2].label, "player");
    EXPECT_EQ(posix[2].path, "/home//player");

    const std::vector<PathComponent> drive = pathComponents("D:\\songs\\new");
    ASSERT_EQ(drive.size(), 3u);
    EXPECT_EQ(drive[0].label, "D:");
    EXPECT_EQ(drive[0].path, "D:\\");
    EXPECT_EQ(drive[2].path, "D:\\songs\\new");

    const std::vector<PathComponent> relative = pathComponents("levels/pack");
    ASSERT_EQ(relative.size(), 2u);
    EXPECT_EQ(relative[0].path, "levels");
    EXPECT_EQ(relative[1].path, "levels/pack");
}

TEST(FilePaths, TypeTellsFoldersFilesAndNothing) {
    const testsupport::TempDir dir;
    testsupport::writeFile(dir.path() / "song.wav", "RIFF");
    std::filesystem::create_symlink(dir.path() / "gone", dir.path() / "dangling");
    EXPECT_EQ(pathType(dir.path().string()), PathType::directory);
    EXPECT_EQ(pathType((dir.path() / "song.wav").string()), PathType::file);
    EXPECT_EQ(pathType((dir.path() / "missing").string()), PathType::notAccessible);
    EXPECT_EQ(pathType((dir.path() / "dangling").string()), PathType::notAccessible);
#ifndef _WIN32
    EXPECT_EQ(driveMask(), 0u);  // no drive letters here
#endif
}
