#include "ui/filebrowser/FileBrowser.h"
#include "ui/filebrowser/FileDialogs.h"
#include "ui/filebrowser/FilePaths.h"

#include "support/TestSupport.h"

#include <SDL3/SDL_filesystem.h>
#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

std::vector<std::string> names(const FileBrowser& browser) {
    std::vector<std::string> out;
    for (const FileBrowserEntry& entry : browser.entries()) out.push_back(entry.name);
    return out;
}

const FileBrowserEntry* find(const FileBrowser& browser, const std::string& name) {
    for (const FileBrowserEntry& entry : browser.entries()) {
        if (entry.name == name) return &entry;
    }
    return nullptr;
}

std::string idNumber(const FileBrowser& browser) {
    const std::string id = browser.windowId();
    return id.substr(id.find("##filebrowser_") + std::string("##filebrowser_").size());
}

}  // namespace

TEST(FileBrowser, ListsFoldersFirstThenNamesWithLowerCaseBeforeUpperCase) {
    const TempDir dir;
    for (const char* name : {"b.wav", "A.mp3", "a.ogg"}) writeFile(dir.path() / name, "x");
    fs::create_directory(dir.path() / "Z");

    const FileBrowser browser(0, dir.path().string());
    EXPECT_EQ(names(browser), (std::vector<std::string>{"..", "Z", "a.ogg", "A.mp3", "b.wav"}));
    EXPECT_EQ(browser.status(), "");

    const FileBrowserEntry& parent = browser.entries()[0];
    EXPECT_TRUE(parent.isDirectory);
    EXPECT_EQ(parent.displayName, "[D] ..");
    const FileBrowserEntry& folder = browser.entries()[1];
    EXPECT_TRUE(folder.isDirectory);
    EXPECT_EQ(folder.displayName, "[D] Z");
    EXPECT_EQ(folder.extension, "");
    const FileBrowserEntry& song = browser.entries()[3];
    EXPECT_FALSE(song.isDirectory);
    EXPECT_EQ(song.displayName, "[F] A.mp3");
    EXPECT_EQ(song.extension, ".mp3");
}

TEST(FileBrowser, SortsByEveryByteAndPutsShorterNamesFirst) {
    const TempDir dir;
    for (const char* name : {"ab", "a", "B", "aB", "Ab", "_x", "1"}) writeFile(dir.path() / name, "x");
    const FileBrowser browser(0, dir.path().string());
    // '1' (49) and '_' (95) weigh less than any letter; "a" < "A" < "b" at each position.
    EXPECT_EQ(names(browser), (std::vector<std::string>{"..", "1", "_x", "a", "ab", "aB", "Ab", "B"}));
}

TEST(FileBrowser, AudioFiltersGetACombinedEntryAndMatchWhateverTheCase) {
    FileBrowser browser;
    browser.setTypeFilters({".wav", ".mp3", ".ogg", ".flac", ".aiff", ".m4a", ".wma"});
    ASSERT_EQ(browser.typeFilters().size(), 8u);
    EXPECT_EQ(browser.typeFilters()[0], ".wav,.mp3,.ogg,.flac,.aiff,.m4a,.wma");
    EXPECT_EQ(browser.typeFilters()[1], ".wav");
    EXPECT_TRUE(browser.matchesFilter(".WAV"));
    EXPECT_TRUE(browser.matchesFilter(".flac"));
    EXPECT_FALSE(browser.matchesFilter(".zip"));
    EXPECT_FALSE(browser.matchesFilter(""));
}

TEST(FileBrowser, FiltersDropRepeatsAndWildcardsNeedNoCombinedEntry) {
    FileBrowser browser;
    browser.setTypeFilters({".zip", ".ZIP"});
    EXPECT_EQ(browser.typeFilters(), std::vector<std::string>{".zip"});
    EXPECT_TRUE(browser.matchesFilter(".Zip"));
    EXPECT_FALSE(browser.matchesFilter(".wav"));

    browser.setTypeFilters({".*", ".wav"});
    EXPECT_EQ(browser.typeFilters(), (std::vector<std::string>{".*", ".wav"}));
    EXPECT_TRUE(browser.matchesFilter(".anything"));

    browser.setTypeFilters({});
    EXPECT_TRUE(browser.matchesFilter(".anything"));
}

TEST(FileBrowser, AFolderThatCannotBeOpenedSaysSoAndListsOnlyTheParent) {
    const TempDir     dir;
    const std::string missing = (dir.path() / "missing").string();
    FileBrowser       browser(0, missing);
    EXPECT_EQ(browser.directory(), missing);
    EXPECT_EQ(names(browser), std::vector<std::string>{".."});
    EXPECT_EQ(browser.status().rfind("Can't open directory: ", 0), 0u) << browser.status();
    EXPECT_GT(browser.status().size(), std::string("Can't open directory: ").size());

    browser.setDirectory(dir.path().string());
    EXPECT_EQ(browser.status(), "");
}

// SDL cannot list "/" as written; the dialog must, and a folder it cannot list
// must not strand it there: it stays in the last folder it could list.
TEST(FileBrowser, TheRootListsAndAFolderThatCannotBeListedIsNeverEntered) {
    FileBrowser root(0, "/");
    EXPECT_EQ(root.status(), "");
    EXPECT_NE(find(root, "tmp"), nullptr) << "the root's folders";
    EXPECT_EQ(filebrowser::pathType("/"), filebrowser::PathType::directory);

    const TempDir dir;
    writeFile(dir.path() / "song.wav", "x");
    FileBrowser       browser(0, dir.path().string());
    const std::string gone = (dir.path() / "gone").string();
    browser.setDirectory(gone);
    EXPECT_EQ(browser.directory(), dir.path().string());
    EXPECT_NE(find(browser, "song.wav"), nullptr) << "the last folder is still listed";
    EXPECT_EQ(browser.status().rfind("Can't open directory: ", 0), 0u) << browser.status();
    browser.setDirectory("/");
    EXPECT_EQ(browser.directory(), "/");
    EXPECT_GT(browser.entries().size(), 2u);
}

TEST(FileBrowser, TypedPathsGoToTheFolderOrTheFilesFolderOrSayTheyAreNone) {
    const TempDir dir;
    writeFile(dir.path() / "pack" / "level.json", "{}");
    FileBrowser browser(0, dir.path().string());

    const std::string nowhere = (dir.path() / "no" / "such" / "place").string();
    browser.enterPath(nowhere);
    EXPECT_EQ(browser.status(), "[" + nowhere + "] is not a valid directory");
    EXPECT_EQ(browser.directory(), dir.path().string());

    browser.enterPath((dir.path() / "pack").string());
    EXPECT_EQ(browser.directory(), (dir.path() / "pack").string());
    EXPECT_EQ(browser.status(), "");

    browser.setDirectory(dir.path().string());
    browser.enterPath((dir.path() / "pack" / "level.json").string());
    EXPECT_EQ(browser.directory(), (dir.path() / "pack").string());
}

TEST(FileBrowser, ABadEntryEndsTheListingUnlessBadEntriesAreSkipped) {
    const TempDir dir;
    writeFile(dir.path() / "song.wav", "x");
    fs::create_symlink(dir.path() / "gone", dir.path() / "dangling");

    const FileBrowser strict(0, dir.path().string());
    EXPECT_EQ(strict.status(), "Error processing path: dangling");
    EXPECT_EQ(find(strict, "dangling"), nullptr);

    const FileBrowser lenient(FileBrowser::skipBadEntries, dir.path().string());
    EXPECT_EQ(lenient.status(), "");
    EXPECT_EQ(names(lenient), (std::vector<std::string>{"..", "song.wav"}));
}

TEST(FileBrowser, AFolderChooserConfirmedWithNothingSelectedChoosesTheFolder) {
    const TempDir     dir;
    const FileBrowser folders(FileBrowser::selectDirectory, dir.path().string());
    EXPECT_EQ(folders.selectedPaths(), std::vector<std::string>{dir.path().string()});
    const FileBrowser files(0, dir.path().string());
    EXPECT_TRUE(files.selectedPaths().empty());
}

TEST(FileBrowser, EachObjectHasItsOwnPopupIdsEvenAfterAMove) {
    FileBrowser first(0, "");
    first.setTitle("Pick");
    FileBrowser       second = std::move(first);
    const FileBrowser third(0, "");
    EXPECT_EQ(second.windowId(), "Pick##filebrowser_" + std::to_string(reinterpret_cast<uintptr_t>(&second)));
    EXPECT_NE(idNumber(second), idNumber(third));
    EXPECT_EQ(third.title(), "file browser");
}

TEST(FileDialogs, TheGamesTwoDialogsAreConfiguredAndReady) {
    EXPECT_FALSE(audioFileDialogReady);
    EXPECT_FALSE(levelPackageDialogReady);
    setUpFileDialogs();

    EXPECT_TRUE(audioFileDialogReady);
    EXPECT_EQ(audioFileDialog.flags(), 0xE0);
    EXPECT_EQ(audioFileDialog.title(), "Select Audio Files");
    EXPECT_EQ(audioFileDialog.typeFilters().front(), ".wav,.mp3,.ogg,.flac,.aiff,.m4a,.wma");
    EXPECT_EQ(audioFileDialog.width(), 700);
    EXPECT_EQ(audioFileDialog.height(), 450);
    EXPECT_EQ(audioFileDialog.directory(), SDL_GetBasePath());  // an empty start directory

    EXPECT_TRUE(levelPackageDialogReady);
    EXPECT_EQ(levelPackageDialog.flags(), 0x60);
    EXPECT_EQ(levelPackageDialog.title(), "Select Level Package");
    EXPECT_EQ(levelPackageDialog.typeFilters(), std::vector<std::string>{".zip"});
    EXPECT_NE(audioFileDialog.windowId(), levelPackageDialog.windowId());
}
