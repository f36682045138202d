// Level packages in a real GL context: the background shader a package brings
// replaces the current one only when it compiles and links, a package without
// one keeps the background before it, and the stems are always replaced.
#include "level/LevelPackage.h"

#include "audio/AudioSystem.h"
#include "game/GameLogic.h"
#include "render/GLTestContext.h"
#include "render/RenderState.h"
#include "support/LevelFiles.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;
using testsupport::containsInOrder;
using testsupport::writeFile;

namespace fs = std::filesystem;

namespace {

std::string solidShader(const char* colour) {
    return std::string("#version 460 core\nin vec2 vUV;\nout vec4 c;\nvoid main() { c = vec4(") + colour + "); }\n";
}

class Packages : public ::testing::Test {
protected:
    void SetUp() override {
        rendertest::makeSharedCurrent();
        ASSERT_TRUE(audio.init(Mixer::Output::None));
        game.reset(kLayerCap);
        makeLevel("red", solidShader("1.0, 0.0, 0.0, 1.0"));
        makeLevel("plain", "");
        makeLevel("broken", "#version 460 core\nvoid main() { nonsense; }\n");
        makeLevel("empty", "");
        writeFile(dir.path() / "levels" / "empty" / "background.frag", "");
        makeLevel("green", solidShader("0.0, 1.0, 0.0, 1.0"));
        fs::create_directories(dir.path() / "levels" / "nomanifest");
    }
    void TearDown() override { audio.shutdown(); }

    void makeLevel(const std::string& name, const std::string& shader) {
        const fs::path folder = dir.path() / "levels" / name;
        levelfiles::writeWav(folder / "a.wav", 0.5);
        writeFile(folder / "level.json", R"({"stems": [{"file": "a.wav"}]})");
        if (!shader.empty()) writeFile(folder / "background.frag", shader);
    }

    // Prepares and applies levels/<name>, keeping what it printed.
    bool use(const std::string& name) {
        testsupport::WorkingDirectory inside(dir.path());
        CaptureStdout();
        CaptureStderr();
        LevelPackage::prepare("levels/" + name, package);
        const bool applied = package.apply(audio, render, game);
        out                = GetCapturedStdout();
        err                = GetCapturedStderr();
        return applied;
    }

    // The background's colour in the middle of the screen.
    std::array<unsigned char, 3> background() {
        render.renderFrame();
        const rendertest::Pixels pixels = rendertest::readBackBuffer(render.width, render.height);
        const unsigned char*     p      = pixels.at(render.width / 2, render.height / 2);
        return {p[0], p[1], p[2]};
    }

    RenderState&         render = rendertest::sharedRender();
    AudioSystem          audio;
    GameLogic            game;
    LevelPackage         package;
    testsupport::TempDir dir;
    std::string          out, err;
};

using Rgb = std::array<unsigned char, 3>;

TEST_F(Packages, AWorkingShaderReplacesTheBackgroundAndAPlainPackageKeepsIt) {
    const uint32_t defaultProgram = render.backgroundProgram;
    ASSERT_TRUE(use("red"));
    EXPECT_EQ(package.name, "red");
    EXPECT_TRUE(containsInOrder(
        out, {"Loading level package from conventional paths in: levels/red",
              "Found and loaded conventional shader: levels/red/background.frag",
              "Package prepared. Manifest: 'levels/red/level.json', Has Shader: Yes", "Applying package to systems...",
              "Custom shader compiled and loaded successfully", "Loaded stems successfully via level.json manifest."}));
    EXPECT_FALSE(rendertest::probe().glIsProgram(defaultProgram)) << "the replaced program is deleted";
    EXPECT_EQ(background(), (Rgb{255, 0, 0}));

    ASSERT_TRUE(use("plain"));
    EXPECT_TRUE(
        containsInOrder(out, {"No shader found at levels/plain/background.frag. The current shader will be used.",
                              "Package prepared. Manifest: 'levels/plain/level.json', Has Shader: No"}));
    EXPECT_EQ(audio.stems.size(), 1u);
    EXPECT_EQ(background(), (Rgb{255, 0, 0})) << "the previous package's background stays";
}

TEST_F(Packages, ABrokenOrEmptyShaderKeepsTheBackgroundAndTheLevelStillLoads) {
    ASSERT_TRUE(use("green"));
    const uint32_t greenProgram = render.backgroundProgram;
    for (const char* name : {"broken", "empty"}) {
        ASSERT_TRUE(use(name)) << err;
        EXPECT_TRUE(containsInOrder(
            err, {"Failed to compile custom fragment shader", "Failed to load custom shader, keeping current shader"}))
            << name << ": " << err;
        EXPECT_EQ(render.backgroundProgram, greenProgram);
        EXPECT_EQ(background(), (Rgb{0, 255, 0})) << name;
        EXPECT_EQ(audio.stems.size(), 1u);
    }
}

TEST_F(Packages, APackageWithoutItsManifestLeavesNoStems) {
    ASSERT_TRUE(use("plain"));
    ASSERT_EQ(audio.stems.size(), 1u);
    EXPECT_FALSE(use("nomanifest"));
    EXPECT_TRUE(audio.stems.empty());
    EXPECT_TRUE(containsInOrder(err, {"Failed to read level JSON: levels/nomanifest/level.json",
                                      "CRITICAL: Failed to load level from manifest: levels/nomanifest/level.json"}));
}

TEST(PackageName, IsTheLastComponentWithoutItsExtension) {
    EXPECT_EQ(baseName("levels/sample_a.zip"), "sample_a");
    EXPECT_EQ(baseName("levels\\tutorialsong"), "tutorialsong");
    EXPECT_EQ(baseName("a.b.c"), "a.b");
    EXPECT_EQ(baseName("levels/.hidden"), "");
}

}  // namespace
