// Runs the real game binary in a temporary working folder under the test
// display and checks what it prints and how it exits.
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>

using namespace std::chrono_literals;
using testsupport::containsInOrder;
namespace fs = std::filesystem;

namespace {

class AppProcess : public ::testing::Test {
protected:
    void SetUp() override { testsupport::copyAssets(dir.path()); }

    testsupport::ProcessResult runToFailure() {
        testsupport::GameProcess game(dir.path());
        return game.wait(60s);
    }

    testsupport::TempDir dir;
};

TEST_F(AppProcess, MissingBackgroundShaderFailsStartUp) {
    fs::remove(dir.path() / "shaders/background_uniform.frag");
    const auto result = runToFailure();
    EXPECT_EQ(result.exitCode, -1);
    EXPECT_TRUE(containsInOrder(
        result.err,
        {"Failed to load shader file with SDL_LoadFile, Error: ", "Failed to load fragment shader source",
         "Failed to initialize shaders", "Failed to initialize render system", "Failed to initialize application"}));
    EXPECT_EQ(result.out.find("Game logic thread started"), std::string::npos);
}

TEST_F(AppProcess, EmptyTextShaderFailsStartUp) {
    testsupport::writeFile(dir.path() / "shaders/text.vert", "");
    const auto result = runToFailure();
    EXPECT_EQ(result.exitCode, -1);
    EXPECT_TRUE(
        containsInOrder(result.err, {"Shader file is empty(or SDL_LoadFile reported 0 size)",
                                     "Failed to load text vertex shader source", "Failed to initialize text rendering",
                                     "Failed to initialize render system", "Failed to initialize application"}));
}

TEST_F(AppProcess, BrokenCircleShaderFailsStartUp) {
    testsupport::writeFile(dir.path() / "shaders/circle_sdf.frag", "#version 460 core\nthis is not glsl;\n");
    const auto result = runToFailure();
    EXPECT_EQ(result.exitCode, -1);
    EXPECT_TRUE(
        containsInOrder(result.err, {"Shader compilation failed:", "Failed to initialize circle rendering",
                                     "Failed to initialize render system", "Failed to initialize application"}));
    EXPECT_EQ(result.out.find("Game logic thread started"), std::string::npos);
}

TEST_F(AppProcess, EscapeQuitsCleanlyWithoutALevel) {
    testsupport::GameProcess game(dir.path());
    ASSERT_TRUE(game.waitForOutput("Game logic thread started", 60s)) << game.stdoutText();
    std::this_thread::sleep_for(500ms);  // let a few frames run
    ASSERT_TRUE(testsupport::pressKey("Escape"));
    const auto result = game.wait(30s);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_NE(result.err.find("Failed to load default level JSON definition (levels/level.json)"), std::string::npos);
    EXPECT_TRUE(containsInOrder(
        result.out, {"SDL initialized successfully.", "OpenGL render system initialized successfully!",
                     "Application initialized successfully!", "Controls:", "  Tap - Hit on beat (when playing)",
                     "  UI buttons for other controls", "Game logic thread ended",
                     "Game logic thread joined successfully", "Shutting down application..."}));
}

TEST_F(AppProcess, WindowCloseQuitsLikeEscape) {
    testsupport::GameProcess game(dir.path());
    ASSERT_TRUE(game.waitForOutput("Game logic thread started", 60s)) << game.stdoutText();
    // SDL turns a termination request into the same quit event as the close button.
    game.signal(SIGTERM);
    const auto result = game.wait(30s);
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_TRUE(containsInOrder(result.out, {"Game logic thread ended", "Game logic thread joined successfully",
                                             "Shutting down application..."}));
}

}  // namespace
