// Helpers shared by the tests: temporary folders, running the real game binary
// as a child process and reading what it printed.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// A fresh folder under the system's temp folder, removed with the object.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&)                                = delete;
    TempDir&                     operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// Runs the test body with the working directory set to dir.
class WorkingDirectory {
public:
    explicit WorkingDirectory(const std::filesystem::path& dir);
    ~WorkingDirectory();
    WorkingDirectory(const WorkingDirectory&)            = delete;
    WorkingDirectory& operator=(const WorkingDirectory&) = delete;

private:
    std::filesystem::path previous_;
};

// The game's assets folder, copied (shaders, fonts, textures) into dir.
void copyAssets(const std::filesystem::path& dir);

struct ProcessResult {
    int         exitCode = -1000;  // -1000: did not exit in time and was killed
    std::string out;
    std::string err;
};

// The real lumoka binary (or another program of ours, with arguments) started in
// cwd with extra environment variables.
class GameProcess {
public:
    GameProcess(const std::filesystem::path& cwd, const std::vector<std::pair<std::string, std::string>>& env = {});
    GameProcess(const std::string& binary, const std::vector<std::string>& args, const std::filesystem::path& cwd,
                const std::vector<std::pair<std::string, std::string>>& env = {});
    ~GameProcess();
    GameProcess(const GameProcess&)            = delete;
    GameProcess& operator=(const GameProcess&) = delete;

    // Waits until standard output contains text (at or after byte `from`), or
    // the process exits, or timeout.
    bool          waitForOutput(const std::string& text, std::chrono::milliseconds timeout, size_t from = 0);
    void          signal(int sig);
    ProcessResult wait(std::chrono::milliseconds timeout);
    std::string   stdoutText() const;
    std::string   stderrText() const;
    int           pid() const { return pid_; }

private:
    TempDir logs_;
    int     pid_    = -1;
    bool    reaped_ = false;
    int     status_ = 0;
};

std::string readFile(const std::filesystem::path& path);

// Kibibytes from a line of /proc/self/status such as "VmHWM:  1234 kB"; 0 when
// the line is missing.
double statusKiB(const char* field);
void   writeFile(const std::filesystem::path& path, const std::string& text);

// Where the last of lines ends in text when they all appear in this order, else npos.
size_t endOfLinesInOrder(const std::string& text, const std::vector<std::string>& lines);
// The same as a test assertion that names the first line missing or out of order.
::testing::AssertionResult containsInOrder(const std::string& text, const std::vector<std::string>& lines);

// Sends a key (xdotool's name for it) to the game's window on the test display.
bool pressKey(const std::string& key);
// Types text into the game's window.
bool typeText(const std::string& text);
// A left click at a point of the test display's screen.
bool clickAt(float x, float y);
// The same, slow and deliberate: the pointer rests on the point, then the
// button is held, each for longer than a slow frame of the software renderer.
bool pressAt(float x, float y);
// Presses (pressAt) again while the line, printed after the first press, does
// not come: a slow frame may miss one. For buttons where a second click, should the
// first have counted late, changes nothing.
::testing::AssertionResult clickUntil(GameProcess& game, float x, float y, const std::string& line, int attempts = 4);
// The whole test display as a PNG file.
bool takeScreenshot(const std::filesystem::path& path);

}  // namespace testsupport
