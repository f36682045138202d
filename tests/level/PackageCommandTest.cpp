// lumoka-import's package modes as a player runs them: exit codes, one-line
// reasons, and the shader check in its own process under the test display
// (a shader that never finishes a frame is left out, not waited for).
#include "support/LevelFiles.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

using namespace std::chrono_literals;
namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

// Enough work per pixel to take hours, in a loop the compiler cannot drop.
const char* kEndlessShader = R"(#version 460 core
in vec2 vUV;
out vec4 color;
#define S x = sin(x * 1.1 + 0.3);
#define S10 S S S S S S S S S S
#define S100 S10 S10 S10 S10 S10 S10 S10 S10 S10 S10
void main() {
    float x = vUV.x;
    while (x >= -2.0) { S100 S100 S100 S100 S100 }
    color = vec4(x);
}
)";
const char* kPlainShader =
    "#version 460 core\nin vec2 vUV;\nout vec4 color;\nvoid main() { color = vec4(vUV, 0.5, 1.0); }\n";

class ImportCommand : public ::testing::Test {
protected:
    testsupport::TempDir dir;
    fs::path             levels = dir.path() / "levels";

    void SetUp() override {
        testsupport::copyAssets(dir.path());
        writeFile(levels / "levels.json", "[]");
    }

    testsupport::ProcessResult run(const std::vector<std::string>& args) {
        testsupport::GameProcess tool(LUMOKA_IMPORT_BINARY, args, dir.path());
        return tool.wait(60s);
    }

    // A package folder outside levels/ with the given shader.
    fs::path package(const std::string& name, const std::string& shader) {
        const fs::path folder = dir.path() / "incoming" / name;
        writeFile(folder / "level.json", R"({"stems": [{"file": "s.wav", "midi": "s.mid"}]})");
        writeFile(folder / "s.wav", levelfiles::wavBytes(0.5));
        writeFile(folder / "s.mid", levelfiles::smfBytes({{0.1, 0.1, 60, 100, 0}}));
        writeFile(folder / "background.frag", shader);
        return folder;
    }
};

size_t lineCount(const std::string& text) { return static_cast<size_t>(std::count(text.begin(), text.end(), '\n')); }

TEST_F(ImportCommand, ImportsExportsAndRefusesWithExitCodes) {
    const auto imported = run({"--levels", "levels", "--package", package("plain", kPlainShader).string()});
    ASSERT_EQ(imported.exitCode, 0) << imported.err;
    EXPECT_NE(imported.out.find("Added level 'plain' in levels/plain"), std::string::npos) << imported.out;
    EXPECT_TRUE(fs::exists(levels / "plain" / ".background.frag.checked")) << "a shader that passed is marked";

    const auto exported = run({"--levels", "levels", "--export", "plain", "--to", "plain.zip"});
    ASSERT_EQ(exported.exitCode, 0) << exported.err;
    const auto again = run({"--levels", "levels", "--package", "plain.zip"});
    ASSERT_EQ(again.exitCode, 0) << again.err;
    for (const char* name : {"s.wav", "s.mid", "background.frag"})
        EXPECT_EQ(readFile(levels / "plain-2" / name), readFile(levels / "plain" / name)) << name;

    writeFile(dir.path() / "fake.zip", "not an archive");
    const auto refused = run({"--levels", "levels", "--package", "fake.zip"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_EQ(lineCount(refused.err), 1u) << refused.err;
    EXPECT_NE(refused.err.find("fake.zip is not a zip archive"), std::string::npos) << refused.err;
    EXPECT_NE(run({"--levels", "levels", "--export", "nothing", "--to", "x.zip"}).exitCode, 0);
    EXPECT_EQ(run({"--levels", "levels", "--package"}).exitCode, 2);
}

TEST_F(ImportCommand, AShaderThatNeverFinishesOrDoesNotCompileIsLeftOut) {
    const struct {
        const char* name;
        const char* shader;
        const char* reason;
    } cases[] = {{"endless", kEndlessShader, "did not finish a frame within 5 s"},
                 {"broken", "#version 460 core\nnot glsl at all;\n", "does not compile or link"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto started = std::chrono::steady_clock::now();
        const auto result  = run({"--levels", "levels", "--package", package(c.name, c.shader).string()});
        EXPECT_LT(std::chrono::steady_clock::now() - started, 30s);
        ASSERT_EQ(result.exitCode, 0) << result.err;
        EXPECT_NE(result.err.find("The package's background.frag was left out (it " + std::string(c.reason) + ")"),
                  std::string::npos)
            << result.err;
        EXPECT_TRUE(fs::exists(levels / c.name / "s.wav"));
        EXPECT_FALSE(fs::exists(levels / c.name / "background.frag"));
    }
}

}  // namespace
