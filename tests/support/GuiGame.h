// The real game on the test display, driven the way a player drives it: a game
// folder with the assets and a private home, the binary started there with no
// reachable leaderboard server, clicks at the places the main menu's layout
// rules give for a 1920 x 1080 window at scale 1 (the GUI library's default
// spacing: frame padding 4 x 3, item spacing 8 x 4, window padding 8), and
// screenshots read back as pixels. What a test's own screens look like stays
// in the test.
#pragma once

#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace testsupport {

namespace menu {
constexpr float kTitleBottom = 1080 * 0.08f + 36;  // title line in the 36 px default font
constexpr float kButtonItem  = 125.2f + 2 * 3;     // image plus frame padding
constexpr float kMenuTop     = (1080 - kTitleBottom - (5 * 125.2f + 4)) * 0.5f + kTitleBottom;
constexpr float kMenuX       = 240 + 720 * 0.5f;  // centre of the left column
inline float    buttonY(int i) { return kMenuTop + i * (kButtonItem + 2) + kButtonItem * 0.5f; }
enum Button { kStart, kSettings, kLeaderboard, kTutorial, kExit };
// The level table: heading (42 px font), header row, rows of 36 px text + cell padding.
constexpr float kTableTop = (1080 - kTitleBottom - (40 + 216 + 1080 * 0.125f)) * 0.5f + kTitleBottom + 42 + 4;
inline float    levelRowY(int i) { return kTableTop + 40 * (i + 1) + 20; }
constexpr float kLevelX = 1100;
// The buttons under the five-row table.
constexpr float kActionsY = 692;
constexpr float kAddSongX = 1048, kImportPackageX = 1263, kExportX = 1456;
// A file dialog, centred, 700 x 450: its list rows ("[D] .." first) and its "ok"
// (above the status line).
constexpr float kDialogRowX = 712;
inline float    dialogRowY(int i) { return 438 + 40 * i; }
constexpr float kDialogOkX = 646, kDialogOkY = 697;
}  // namespace menu

struct Box {
    int x0, y0, x1, y1;
};

struct Image {
    int                        width = 0, height = 0;
    std::vector<unsigned char> rgb;
    const unsigned char*       at(int x, int y) const { return &rgb[(static_cast<size_t>(y) * width + x) * 3]; }
    // Pixels of the box [x0, x1) x [y0, y1) that pass test.
    int count(int x0, int y0, int x1, int y1, const std::function<bool(const unsigned char*)>& test) const;
    int count(const Box& box, const std::function<bool(const unsigned char*)>& test) const {
        return count(box.x0, box.y0, box.x1, box.y1, test);
    }
};

// The whole display, saved at path and read back; empty (with a test failure) when that fails.
Image screenshot(const std::filesystem::path& path);

// Screenshots into path until at least `least` pixels of the box pass test,
// or the time is up: what the screen shows, however long a loaded machine
// takes to draw it. The last one is returned (and left at path).
Image waitForScreen(const std::filesystem::path& path, const Box& box,
                    const std::function<bool(const unsigned char*)>& test, int least,
                    std::chrono::seconds timeout = std::chrono::seconds(30));

// Where the open file dialog's path row (its folder's names as buttons) ends
// on the screen: a deeper folder ends further right; 0 when no dialog is open.
int dialogPathEnd(const std::filesystem::path& screenshotPath);

class GuiGameTest : public ::testing::Test {
protected:
    void SetUp() override;  // the assets in the game folder

    // The game started in the game folder (binary: another copy of it); waits for the first frames.
    std::unique_ptr<GameProcess> start(const std::string& serverUrl = "http://127.0.0.1:9/api",
                                       const std::string& binary    = LUMOKA_BINARY);
    // Escape on the main menu ends the game with exit code 0.
    void quit(GameProcess& game);
    // Double-clicks a folder's row (0: "..") in the open file dialog until it lists that folder.
    ::testing::AssertionResult enterDialogFolder(int row, bool deeper);

    std::filesystem::path levels() const { return dir.path() / "levels"; }

    TempDir dir;
    TempDir home;
};

}  // namespace testsupport
