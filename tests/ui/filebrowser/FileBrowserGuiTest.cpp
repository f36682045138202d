// The game's two file dialogs and a path-typing one, opened in a real window on
// a temporary folder and driven with synthetic mouse and keyboard events.
#include "GuiTestWindow.h"

#include "ui/filebrowser/FileBrowser.h"
#include "ui/filebrowser/FileDialogs.h"
#include "ui/filebrowser/FilePaths.h"

#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <imgui_internal.h>

#include <filesystem>

namespace fs = std::filesystem;
using testsupport::TempDir;
using testsupport::writeFile;

namespace {

constexpr float kScale = 1.25f;

std::vector<std::string> names(std::initializer_list<const char*> list) { return {list.begin(), list.end()}; }

std::string inside(const fs::path& folder, const char* name) { return filebrowser::joinPath(folder.string(), name); }

class FileDialogsGui : public ::testing::Test {
protected:
    FileDialogsGui() : gui([] { displayFileDialogs(kScale); }) { setUpFileDialogs(); }

    ImGuiWindow* dialog(const FileBrowser& browser) { return GuiTestWindow::window(browser.windowId().c_str()); }
    ImGuiWindow* list(const FileBrowser& browser) { return GuiTestWindow::child(dialog(browser), "ch"); }

    void openOn(FileBrowser& browser, const fs::path& folder) {
        browser.setDirectory(folder.string());
        browser.open();
        gui.frames(3);
        ASSERT_TRUE(browser.isOpen());
        ASSERT_NE(list(browser), nullptr);
    }

    // "+", a name typed into the popup's field, then the popup's "ok".
    void makeFolder(FileBrowser& browser, const char* name) {
        gui.click(dialog(browser), "+");
        gui.frames(2);
        ImGuiWindow* popup = GuiTestWindow::topPopup();
        ASSERT_NE(popup, dialog(browser)) << "the new-folder popup did not open";
        gui.type(name);
        gui.click(popup, "ok");
        gui.frames(2);
    }

    TempDir       dir;
    GuiTestWindow gui;
};

TEST_F(FileDialogsGui, AudioDialogChoosesARangeOfSongsAndMakesAFolder) {
    const fs::path music = dir.path() / "music";
    for (const char* name : {"b.wav", "A.mp3", "a.ogg", "notes.txt", "$cache.wav"}) writeFile(music / name, "x");
    fs::create_directory(music / "Z");

    openOn(audioFileDialog, dir.path());
    // Sized to the GUI scale, truncated.
    EXPECT_EQ(dialog(audioFileDialog)->Size.x, 875.0f);
    EXPECT_EQ(dialog(audioFileDialog)->Size.y, 562.0f);
    EXPECT_FALSE(levelPackageDialog.isOpen());

    gui.doubleClick(list(audioFileDialog), "[D] music");
    EXPECT_EQ(audioFileDialog.directory(), music.string());

    gui.click(list(audioFileDialog), "[F] a.ogg");
    EXPECT_EQ(audioFileDialog.selection(), names({"a.ogg"}));
    gui.click(list(audioFileDialog), "[F] b.wav", SDL_KMOD_LSHIFT);
    EXPECT_EQ(audioFileDialog.selection(), names({"a.ogg", "A.mp3", "b.wav"}));
    gui.click(list(audioFileDialog), "[F] A.mp3", SDL_KMOD_LCTRL);
    EXPECT_EQ(audioFileDialog.selection(), names({"a.ogg", "b.wav"}));

    // A folder made with "+" is entered; back out of it, it is listed.
    makeFolder(audioFileDialog, "Fresh");
    EXPECT_TRUE(fs::is_directory(music / "Fresh"));
    EXPECT_EQ(audioFileDialog.status(), "");
    EXPECT_EQ(audioFileDialog.directory(), (music / "Fresh").string());
    gui.doubleClick(list(audioFileDialog), "[D] ..");
    EXPECT_EQ(audioFileDialog.directory(), music.string());
    EXPECT_GE(gui.centreOf(list(audioFileDialog), "[D] Fresh").x, 0.0f) << "the new folder is not listed";
    gui.click(list(audioFileDialog), "[F] a.ogg");
    gui.click(list(audioFileDialog), "[F] b.wav", SDL_KMOD_LCTRL);
    EXPECT_EQ(audioFileDialog.selection(), names({"a.ogg", "b.wav"}));

    EXPECT_FALSE(audioFileDialog.hasSelected());
    gui.click(dialog(audioFileDialog), " ok ");
    gui.frames(2);
    EXPECT_FALSE(audioFileDialog.isOpen());
    ASSERT_TRUE(audioFileDialog.hasSelected());
    EXPECT_EQ(audioFileDialog.selectedPaths(),
              (std::vector<std::string>{inside(music, "a.ogg"), inside(music, "b.wav")}));
}

// A song's stems unlock in the order they were picked, not in name order.
TEST_F(FileDialogsGui, AudioDialogKeepsTheOrderInWhichFilesWerePicked) {
    for (const char* name : {"bass.wav", "drums.wav", "keys.wav", "vocals.wav"}) writeFile(dir.path() / name, "x");
    openOn(audioFileDialog, dir.path());

    gui.click(list(audioFileDialog), "[F] vocals.wav");
    gui.click(list(audioFileDialog), "[F] bass.wav", SDL_KMOD_LCTRL);
    gui.click(list(audioFileDialog), "[F] keys.wav", SDL_KMOD_LCTRL);
    gui.click(list(audioFileDialog), "[F] drums.wav", SDL_KMOD_LCTRL);
    EXPECT_EQ(audioFileDialog.selection(), names({"vocals.wav", "bass.wav", "keys.wav", "drums.wav"}));

    // A second pick takes the file out; picked again, it comes last. (Two clicks
    // in a row on one name would be a double click, which confirms.)
    gui.click(list(audioFileDialog), "[F] bass.wav", SDL_KMOD_LCTRL);
    EXPECT_EQ(audioFileDialog.selection(), names({"vocals.wav", "keys.wav", "drums.wav"}));
    gui.click(list(audioFileDialog), "[F] vocals.wav", SDL_KMOD_LCTRL);
    gui.click(list(audioFileDialog), "[F] bass.wav", SDL_KMOD_LCTRL);
    EXPECT_EQ(audioFileDialog.selection(), names({"keys.wav", "drums.wav", "bass.wav"}));

    // A refresh keeps the order of what is still there.
    fs::remove(dir.path() / "keys.wav");
    gui.click(dialog(audioFileDialog), "*");
    gui.click(list(audioFileDialog), "[F] vocals.wav", SDL_KMOD_LCTRL);
    EXPECT_EQ(audioFileDialog.selection(), names({"drums.wav", "bass.wav", "vocals.wav"}));

    gui.click(dialog(audioFileDialog), " ok ");
    gui.frames(2);
    ASSERT_TRUE(audioFileDialog.hasSelected());
    EXPECT_EQ(audioFileDialog.selectedPaths(),
              (std::vector<std::string>{inside(dir.path(), "drums.wav"), inside(dir.path(), "bass.wav"),
                                        inside(dir.path(), "vocals.wav")}));
}

TEST_F(FileDialogsGui, AudioDialogSelectsAllItListsAndRefreshesAwayWhatIsGone) {
    for (const char* name : {"b.wav", "A.mp3", "a.ogg", "notes.txt", "$cache.wav"}) writeFile(dir.path() / name, "x");
    openOn(audioFileDialog, dir.path());
    EXPECT_LT(gui.centreOf(list(audioFileDialog), "[F] notes.txt").x, 0.0f) << "filtered out, yet listed";

    gui.click(list(audioFileDialog), "[F] b.wav");
    gui.press(SDLK_A, SDL_SCANCODE_A, SDL_KMOD_LCTRL);
    EXPECT_EQ(audioFileDialog.selection(), names({"a.ogg", "A.mp3", "b.wav"}));

    fs::remove(dir.path() / "b.wav");
    gui.click(dialog(audioFileDialog), "*");
    EXPECT_EQ(audioFileDialog.selection(), names({"a.ogg", "A.mp3"}));

    gui.press(SDLK_ESCAPE, SDL_SCANCODE_ESCAPE);
    gui.frames(2);
    EXPECT_FALSE(audioFileDialog.isOpen());
    EXPECT_FALSE(audioFileDialog.hasSelected());
}

TEST_F(FileDialogsGui, PackageDialogChoosesOneZipByDoubleClick) {
    const fs::path packs = dir.path() / "packs";
    for (const char* name : {"one.zip", "TWO.ZIP", "readme.md"}) writeFile(packs / name, "x");

    openOn(levelPackageDialog, dir.path());
    EXPECT_FALSE(audioFileDialog.isOpen());
    gui.doubleClick(list(levelPackageDialog), "[D] packs");
    ASSERT_EQ(levelPackageDialog.directory(), packs.string());

    // No multiple choice here: Shift is a plain click.
    gui.click(list(levelPackageDialog), "[F] one.zip");
    gui.click(list(levelPackageDialog), "[F] TWO.ZIP", SDL_KMOD_LSHIFT);
    EXPECT_EQ(levelPackageDialog.selection(), names({"TWO.ZIP"}));

    makeFolder(levelPackageDialog, "bundles");
    EXPECT_TRUE(fs::is_directory(packs / "bundles"));
    EXPECT_EQ(levelPackageDialog.directory(), (packs / "bundles").string()) << "the new folder is entered";
    gui.doubleClick(list(levelPackageDialog), "[D] ..");
    EXPECT_EQ(levelPackageDialog.directory(), packs.string());

    gui.doubleClick(list(levelPackageDialog), "[F] one.zip");
    EXPECT_FALSE(levelPackageDialog.isOpen());
    ASSERT_TRUE(levelPackageDialog.hasSelected());
    EXPECT_EQ(levelPackageDialog.selectedPaths(), std::vector<std::string>{inside(packs, "one.zip")});

    levelPackageDialog.clearSelection();
    EXPECT_FALSE(levelPackageDialog.hasSelected());
    EXPECT_TRUE(levelPackageDialog.selectedPaths().empty());
}

TEST(FileBrowserGui, TypedPathsMoveTheDialogOrSayWhyNot) {
    const TempDir dir;
    writeFile(dir.path() / "pack" / "level.json", "{}");
    FileBrowser   browser(FileBrowser::editablePath, dir.path().string());
    GuiTestWindow gui([&browser] { browser.display(); });
    browser.open();
    gui.frames(3);
    ImGuiWindow* dialog = GuiTestWindow::window(browser.windowId().c_str());
    ASSERT_NE(dialog, nullptr);

    const auto typePath = [&](const std::string& path) {
        gui.click(dialog, "#");
        gui.frames(2);
        gui.type(path.c_str());
        gui.press(SDLK_RETURN, SDL_SCANCODE_RETURN);
        gui.frames(2);
    };
    // A missing name in a real folder would go to that folder.
    const std::string nowhere = (dir.path() / "no" / "such").string();
    typePath(nowhere);
    EXPECT_EQ(browser.status(), "[" + nowhere + "] is not a valid directory");
    EXPECT_EQ(browser.directory(), dir.path().string());

    typePath((dir.path() / "pack" / "level.json").string());
    EXPECT_EQ(browser.directory(), (dir.path() / "pack").string());
    EXPECT_EQ(browser.status(), "");
    EXPECT_TRUE(browser.isOpen());
}

}  // namespace
