#include "support/GuiGame.h"

#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

#include <algorithm>
#include <cstdlib>
#include <thread>

using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace testsupport {

namespace {

// The list's text: light grey on the dialog's dark, dimmed ground.
bool textPixel(const unsigned char* p) {
    const int high = std::max({p[0], p[1], p[2]}), low = std::min({p[0], p[1], p[2]});
    return high > 170 && high - low < 40;
}

bool doubleClickAt(float x, float y) {
    const std::string command = "xdotool mousemove " + std::to_string(static_cast<int>(x)) + " " +
                                std::to_string(static_cast<int>(y)) + " sleep 0.1 click --repeat 2 --delay 60 1";
    return std::system(command.c_str()) == 0;
}

}  // namespace

int Image::count(int x0, int y0, int x1, int y1, const std::function<bool(const unsigned char*)>& test) const {
    int n = 0;
    for (int y = std::max(y0, 0); y < std::min(y1, height); ++y)
        for (int x = std::max(x0, 0); x < std::min(x1, width); ++x) n += test(at(x, y)) ? 1 : 0;
    return n;
}

Image screenshot(const fs::path& path) {
    Image image;
    if (!takeScreenshot(path)) {
        ADD_FAILURE() << "cannot take a screenshot into " << path;
        return image;
    }
    int            channels = 0;
    unsigned char* pixels   = stbi_load(path.c_str(), &image.width, &image.height, &channels, 3);
    if (pixels == nullptr) {
        ADD_FAILURE() << "cannot read " << path;
        return image;
    }
    image.rgb.assign(pixels, pixels + static_cast<size_t>(image.width) * image.height * 3);
    stbi_image_free(pixels);
    return image;
}

Image waitForScreen(const fs::path& path, const Box& box, const std::function<bool(const unsigned char*)>& test,
                    int least, std::chrono::seconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    Image      image    = screenshot(path);
    while (image.count(box, test) < least && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(200ms);
        image = screenshot(path);
    }
    return image;
}

int dialogPathEnd(const fs::path& screenshotPath) {
    const Image image = screenshot(screenshotPath);
    for (int x = 1310; x > 615; --x)
        if (image.count(x, 375, x + 1, 401, textPixel) > 0) return x;
    return 0;
}

void GuiGameTest::SetUp() { copyAssets(dir.path()); }

std::unique_ptr<GameProcess> GuiGameTest::start(const std::string& serverUrl, const std::string& binary) {
    auto game = std::make_unique<GameProcess>(
        binary, std::vector<std::string>{}, dir.path(),
        std::vector<std::pair<std::string, std::string>>{{"HOME", home.path().string()},
                                                         {"XDG_DATA_HOME", (home.path() / ".local/share").string()},
                                                         {"LUMOKA_SERVER_URL", serverUrl}});
    EXPECT_TRUE(game->waitForOutput("Game logic thread started", 60s)) << game->stdoutText();
    std::this_thread::sleep_for(1500ms);  // a few frames, so the first click meets a drawn menu
    return game;
}

void GuiGameTest::quit(GameProcess& game) {
    ASSERT_TRUE(pressKey("Escape"));
    const ProcessResult result = game.wait(30s);
    EXPECT_EQ(result.exitCode, 0) << result.err;
}

// A double click the frame loop splits over too many slow frames is two single
// clicks; the folder is still listed and another double click does no harm.
::testing::AssertionResult GuiGameTest::enterDialogFolder(int row, bool deeper) {
    const fs::path shot   = home.path() / "dialog.png";
    const int      before = dialogPathEnd(shot);
    for (int attempt = 0; attempt < 6; ++attempt) {
        doubleClickAt(menu::kDialogRowX, menu::dialogRowY(row));
        for (int look = 0; look < 10; ++look) {
            const int end = dialogPathEnd(shot);
            if (deeper ? end > before + 20 : end > 0 && end < before - 20) return ::testing::AssertionSuccess();
            std::this_thread::sleep_for(300ms);
        }
    }
    return ::testing::AssertionFailure() << "the dialog's path row still ends at x = " << before;
}

}  // namespace testsupport
