#include "TestSupport.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace testsupport {

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "lumoka-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

void copyAssets(const fs::path& dir) {
    const fs::path assets = LUMOKA_ASSETS_DIR;
    for (const char* sub : {"shaders", "fonts", "textures"}) {
        if (fs::exists(assets / sub)) {
            fs::copy(assets / sub, dir / sub, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
        }
    }
}

std::string readFile(const fs::path& path) {
    std::ifstream      in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

WorkingDirectory::WorkingDirectory(const fs::path& dir) : previous_(fs::current_path()) { fs::current_path(dir); }

WorkingDirectory::~WorkingDirectory() { fs::current_path(previous_); }

void writeFile(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

size_t endOfLinesInOrder(const std::string& text, const std::vector<std::string>& lines) {
    size_t at = 0;
    for (const std::string& line : lines) {
        const size_t found = text.find(line, at);
        if (found == std::string::npos) return std::string::npos;
        at = found + line.size();
    }
    return at;
}

::testing::AssertionResult containsInOrder(const std::string& text, const std::vector<std::string>& lines) {
    for (size_t n = 1; n <= lines.size(); ++n) {
        if (endOfLinesInOrder(text, {lines.begin(), lines.begin() + static_cast<long>(n)}) == std::string::npos) {
            return ::testing::AssertionFailure() << "missing or out of order: \"" << lines[n - 1] << "\"\n--- in ---\n"
                                                 << text;
        }
    }
    return ::testing::AssertionSuccess();
}

bool pressKey(const std::string& key) {
    const std::string command = "xdotool search --name 'Lumoka v0.0.1' windowfocus key " + key;
    return std::system(command.c_str()) == 0;
}

bool typeText(const std::string& text) {
    const std::string command = "xdotool search --name 'Lumoka v0.0.1' windowfocus type --delay 40 '" + text + "'";
    return std::system(command.c_str()) == 0;
}

bool clickAt(float x, float y) {
    const std::string command = "xdotool mousemove " + std::to_string(static_cast<int>(x)) + " " +
                                std::to_string(static_cast<int>(y)) + " sleep 0.1 click 1";
    return std::system(command.c_str()) == 0;
}

bool pressAt(float x, float y) {
    const std::string command = "xdotool mousemove " + std::to_string(static_cast<int>(x)) + " " +
                                std::to_string(static_cast<int>(y)) + " sleep 0.5 mousedown 1 sleep 0.2 mouseup 1";
    return std::system(command.c_str()) == 0;
}

::testing::AssertionResult clickUntil(GameProcess& game, float x, float y, const std::string& line, int attempts) {
    const size_t from = game.stdoutText().size();
    for (int attempt = 0; attempt < attempts; ++attempt) {
        pressAt(x, y);
        if (game.waitForOutput(line, std::chrono::seconds(10), from)) return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "no \"" << line << "\" after clicks at " << x << ", " << y << "\n"
                                         << game.stdoutText() << game.stderrText();
}

bool takeScreenshot(const fs::path& path) {
    fs::create_directories(path.parent_path());
    // The fastest compression: tests that wait for the screen take many.
    const std::string command = "import -window root -quality 10 '" + path.string() + "'";
    return std::system(command.c_str()) == 0;
}

GameProcess::GameProcess(const fs::path& cwd, const std::vector<std::pair<std::string, std::string>>& env)
    : GameProcess(LUMOKA_BINARY, {}, cwd, env) {}

GameProcess::GameProcess(const std::string& binary, const std::vector<std::string>& args, const fs::path& cwd,
                         const std::vector<std::pair<std::string, std::string>>& env) {
    std::vector<char*> argv{const_cast<char*>(binary.c_str())};
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    const std::string outPath = (logs_.path() / "stdout").string();
    const std::string errPath = (logs_.path() / "stderr").string();
    pid_                      = fork();
    if (pid_ == 0) {
        if (chdir(cwd.c_str()) != 0) _exit(126);
        // No test wants the machine's real sound card, which CI does not have.
        setenv("SDL_AUDIO_DRIVER", "dummy", 0);
        for (const auto& [name, value] : env) setenv(name.c_str(), value.c_str(), 1);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        execv(binary.c_str(), argv.data());
        _exit(127);
    }
}

GameProcess::~GameProcess() {
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}

std::string GameProcess::stdoutText() const { return readFile(logs_.path() / "stdout"); }

std::string GameProcess::stderrText() const { return readFile(logs_.path() / "stderr"); }

bool GameProcess::waitForOutput(const std::string& text, std::chrono::milliseconds timeout, size_t from) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (stdoutText().find(text, from) != std::string::npos) return true;
        if (!reaped_ && waitpid(pid_, &status_, WNOHANG) == pid_) reaped_ = true;
        if (reaped_) return stdoutText().find(text, from) != std::string::npos;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

void GameProcess::signal(int sig) {
    if (!reaped_) kill(pid_, sig);
}

ProcessResult GameProcess::wait(std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!reaped_ && std::chrono::steady_clock::now() < end) {
        if (waitpid(pid_, &status_, WNOHANG) == pid_) reaped_ = true;
        else std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ProcessResult result;
    if (!reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        reaped_ = true;
    } else if (WIFEXITED(status_)) {
        result.exitCode = static_cast<signed char>(WEXITSTATUS(status_));
    }
    result.out = stdoutText();
    result.err = stderrText();
    return result;
}

double statusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string   line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::atof(line.c_str() + std::strlen(field));
    return 0;
}

}  // namespace testsupport
