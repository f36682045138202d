// Shader utilities and the start-up steps that depend on asset files: what a
// missing, empty or broken shader or font does, with the exact messages, and
// what shut-down releases after a start-up that stopped half-way.
#include "GLTestContext.h"

#include "render/RenderState.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <tuple>

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;
using testsupport::TempDir;
using testsupport::writeFile;

namespace fs = std::filesystem;

namespace {

const char* kBrokenShader = "#version 460 core\nvoid main() { this is not glsl; }\n";

// A fragment stage that reads an input no vertex stage of the game writes: it
// compiles but cannot link.
const char* kUnlinkableFragment =
    "#version 460 core\nin vec3 vNowhere;\nout vec4 c;\nvoid main() { c = vec4(vNowhere, 1.0); }\n";

const char* kFragmentWithoutBlock = "#version 460 core\nout vec4 c;\nvoid main() { c = vec4(1.0); }\n";

void expectAllReleased(const RenderState& render) {
    for (const uint32_t name :
         {render.backgroundVertexShader, render.backgroundFragmentShader, render.backgroundProgram,
          render.circleVertexShader, render.circleFragmentShader, render.circleProgram, render.textVertexShader,
          render.textFragmentShader, render.textProgram, render.textVertexArray, render.textVertexBuffer,
          render.fontTexture, render.backgroundVertexArray, render.uniformBuffer, render.circleVertexArray})
        EXPECT_EQ(name, 0u);
    EXPECT_EQ(render.window, nullptr);
    EXPECT_EQ(render.glContext, nullptr);
}

bool endsWith(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

struct Output {
    bool        result = false;
    std::string out;
    std::string err;
};

Output captured(const std::function<bool()>& step) {
    CaptureStdout();
    CaptureStderr();
    Output output;
    output.result = step();
    output.err    = GetCapturedStderr();
    output.out    = GetCapturedStdout();
    return output;
}

// A working directory with the game's shaders and fonts, then the case's changes.
class AssetCase : public ::testing::Test {
protected:
    void SetUp() override {
        rendertest::makeSharedCurrent();
        testsupport::copyAssets(dir.path());
    }
    void TearDown() override {
        scratch.shutdown();
        rendertest::makeSharedCurrent();
    }
    void   remove(const char* file) { fs::remove(dir.path() / file); }
    void   write(const char* file, const std::string& text) { writeFile(dir.path() / file, text); }
    Output run(bool (RenderState::*step)()) {
        const rendertest::WorkingDirectory inside(dir.path());
        return captured([&] { return (scratch.*step)(); });
    }
    Output initAll() {
        const rendertest::WorkingDirectory inside(dir.path());
        return captured([&] { return scratch.init("Lumoka render test", 1920, 1080); });
    }

    TempDir     dir;
    RenderState scratch;  // shares the test context; created objects die in TearDown
};

using ShaderFiles = AssetCase;

TEST_F(ShaderFiles, LoadReportsMissingEmptyAndGoodFiles) {
    const rendertest::WorkingDirectory inside(dir.path());
    write("shaders/empty.frag", "");
    Output missing = captured([] { return !loadShaderFile("shaders/absent.frag").empty(); });
    EXPECT_FALSE(missing.result);
    EXPECT_EQ(missing.err.rfind("Failed to load shader file with SDL_LoadFile, Error: ", 0), 0u);
    EXPECT_TRUE(endsWith(missing.err, ")\n"));
    EXPECT_EQ(missing.err.find('\n'), missing.err.size() - 1) << "one line";

    Output empty = captured([] { return !loadShaderFile("shaders/empty.frag").empty(); });
    EXPECT_FALSE(empty.result);
    EXPECT_EQ(empty.err, "Shader file is empty(or SDL_LoadFile reported 0 size)\n");

    write("shaders/tiny.frag", "abc\n\0def");
    CaptureStdout();
    const std::string source = loadShaderFile("shaders/tiny.frag");
    EXPECT_EQ(GetCapturedStdout(), "Loaded shader source using SDL_LoadFile: shaders/tiny.frag (4 characters)\n");
    EXPECT_EQ(source, "abc\n");
}

TEST_F(ShaderFiles, CompileNamesTheKindOrLogsTheDriversReason) {
    const std::string fragment = kFragmentWithoutBlock;
    const std::string compute  = "#version 460 core\nlayout(local_size_x = 1) in;\nvoid main() {}\n";
    for (const auto& [source, type, kind] :
         {std::tuple{fragment, GL_FRAGMENT_SHADER, "fragment"}, std::tuple{compute, GL_COMPUTE_SHADER, "compute"}}) {
        uint32_t shader = 0;
        Output   ok     = captured([&] {
            shader = compileShader(source, type);
            return shader != 0;
        });
        EXPECT_TRUE(ok.result);
        EXPECT_EQ(ok.out, std::string("Successfully compiled ") + kind + " shader\n");
        gl.glDeleteShader(shader);
    }

    Output broken = captured([] { return compileShader(kBrokenShader, GL_VERTEX_SHADER) != 0; });
    EXPECT_FALSE(broken.result);
    EXPECT_EQ(broken.err.rfind("Shader compilation failed:\n", 0), 0u);
    EXPECT_GT(broken.err.size(), std::string("Shader compilation failed:\n\n").size()) << "the driver's log";
    EXPECT_TRUE(endsWith(broken.err, "\n"));
}

TEST_F(ShaderFiles, LinkFailureLogsTheDriversReason) {
    const RenderState& shared = rendertest::sharedRender();
    CaptureStdout();
    const uint32_t fragment = compileShader(kUnlinkableFragment, GL_FRAGMENT_SHADER);
    GetCapturedStdout();
    ASSERT_NE(fragment, 0u);
    Output link = captured([&] { return createShaderProgram(shared.backgroundVertexShader, fragment) != 0; });
    EXPECT_FALSE(link.result);
    EXPECT_EQ(link.err.rfind("Shader program linking failed:\n", 0), 0u);
    EXPECT_GT(link.err.size(), std::string("Shader program linking failed:\n\n").size());
    gl.glDeleteShader(fragment);

    Output good = captured(
        [&] { return createShaderProgram(shared.backgroundVertexShader, shared.backgroundFragmentShader) != 0; });
    EXPECT_TRUE(good.result);
    EXPECT_EQ(good.out, "Successfully created shader program\n");
}

struct StepCase {
    const char* name;
    const char* file;  // the file the case removes (no text) or overwrites
    const char* text;  // null: remove the file
    bool (RenderState::*step)();
    bool        succeeds;
    const char* lastErrorLine;
};

void PrintTo(const StepCase& c, std::ostream* os) { *os << c.name; }

class ProgramSetUp : public AssetCase, public ::testing::WithParamInterface<StepCase> {};

TEST_P(ProgramSetUp, FailsOrWarnsWithTheStepsMessage) {
    const StepCase& c = GetParam();
    if (c.text) write(c.file, c.text);
    else remove(c.file);
    const Output output = run(c.step);
    EXPECT_EQ(output.result, c.succeeds);
    EXPECT_TRUE(endsWith(output.err, std::string(c.lastErrorLine) + "\n")) << output.err;
}

INSTANTIATE_TEST_SUITE_P(
    Background, ProgramSetUp,
    ::testing::Values(
        StepCase{"MissingVertex", "shaders/fullscreen.vert", nullptr, &RenderState::initShaders, false,
                 "Failed to load vertex shader source"},
        StepCase{"EmptyFragment", "shaders/background_uniform.frag", "", &RenderState::initShaders, false,
                 "Shader file is empty(or SDL_LoadFile reported 0 size)\nFailed to load fragment shader source"},
        StepCase{"BrokenVertex", "shaders/fullscreen.vert", kBrokenShader, &RenderState::initShaders, false,
                 "Failed to compile vertex shader"},
        StepCase{"BrokenFragment", "shaders/background_uniform.frag", kBrokenShader, &RenderState::initShaders, false,
                 "Failed to compile fragment shader"},
        StepCase{"UnlinkableFragment", "shaders/background_uniform.frag", kUnlinkableFragment,
                 &RenderState::initShaders, false, "Failed to create shader program"},
        StepCase{"FragmentWithoutBlock", "shaders/background_uniform.frag", kFragmentWithoutBlock,
                 &RenderState::initShaders, true, "Warning: Could not find uniform block 'ShaderUniforms'"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Circles, ProgramSetUp,
    ::testing::Values(StepCase{"MissingVertex", "shaders/circle_sdf.vert", nullptr, &RenderState::initCircleRendering,
                               false, "Failed to load circle SDF vertex shader source"},
                      StepCase{"MissingFragment", "shaders/circle_sdf.frag", nullptr, &RenderState::initCircleRendering,
                               false, "Failed to load circle SDF fragment shader source"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Text, ProgramSetUp,
    ::testing::Values(StepCase{"MissingVertex", "shaders/text.vert", nullptr, &RenderState::initTextRendering, false,
                               "Failed to load text vertex shader source"},
                      StepCase{"EmptyFragment", "shaders/text.frag", "", &RenderState::initTextRendering, false,
                               "Failed to load text fragment shader source"},
                      StepCase{"BrokenVertex", "shaders/text.vert", kBrokenShader, &RenderState::initTextRendering,
                               false, "Failed to compile text vertex shader"},
                      StepCase{"BrokenFragment", "shaders/text.frag", kBrokenShader, &RenderState::initTextRendering,
                               false, "Failed to compile text fragment shader"},
                      StepCase{"UnlinkableFragment", "shaders/text.frag", kUnlinkableFragment,
                               &RenderState::initTextRendering, false, "Failed to create text shader program"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(AssetCase, CircleProgramWithoutTheBlockWarnsAndStillDraws) {
    write("shaders/circle_sdf.vert",
          "#version 460 core\nvoid main() { gl_Position = vec4(float(gl_VertexID & 1), 0.0, 0.0, 1.0); }\n");
    write("shaders/circle_sdf.frag", kFragmentWithoutBlock);
    const Output output = run(&RenderState::initCircleRendering);
    EXPECT_TRUE(output.result);
    EXPECT_EQ(output.err, "Warning: Could not find uniform block 'ShaderUniforms' in circle shader\n");
    EXPECT_NE(scratch.circleVertexArray, 0u);
}

TEST_F(AssetCase, SettingUpTextTwiceReplacesTheFirstObjects) {
    ASSERT_TRUE(run(&RenderState::initTextRendering).result);
    const GLuint firstProgram = scratch.textProgram;
    const GLuint firstBuffer  = scratch.textVertexBuffer;
    ASSERT_TRUE(run(&RenderState::initTextRendering).result);
    ASSERT_NE(scratch.textProgram, 0u);
    // A deleted name may come back for the new object, never for a second live one.
    EXPECT_TRUE(scratch.textProgram == firstProgram || !rendertest::probe().glIsProgram(firstProgram));
    EXPECT_TRUE(scratch.textVertexBuffer == firstBuffer || !rendertest::probe().glIsBuffer(firstBuffer));
}

TEST_F(AssetCase, BrokenCircleShaderFailsWithOnlyTheDriversLog) {
    write("shaders/circle_sdf.frag", kBrokenShader);
    const Output output = run(&RenderState::initCircleRendering);
    EXPECT_FALSE(output.result);
    EXPECT_EQ(output.err.rfind("Shader compilation failed:\n", 0), 0u) << output.err;
    EXPECT_EQ(output.err.find("circle"), std::string::npos) << "no message of its own";
    EXPECT_EQ(scratch.circleVertexArray, 0u);
}

TEST_F(AssetCase, StartUpFallsBackToOrbitronWhenRobotoIsMissing) {
    remove("fonts/Roboto-Regular.ttf");
    const Output output = initAll();
    EXPECT_TRUE(output.result) << output.err;
    EXPECT_EQ(output.err,
              "Failed to load font file: fonts/Roboto-Regular.ttf\n"
              "Failed to load font atlas, trying fallback font\n");
    EXPECT_NE(output.out.find("Font atlas loaded successfully: 512x512, 95 characters\n"), std::string::npos);
    EXPECT_NE(output.out.find("OpenGL render system initialized successfully!\n"), std::string::npos);
    EXPECT_EQ(scratch.glyphs.size(), 95u);
    EXPECT_EQ(scratch.atlasWidth, 512);

    scratch.shutdown();
    expectAllReleased(scratch);
}

TEST_F(AssetCase, StartUpFailsWhenNeitherFontLoads) {
    remove("fonts/Roboto-Regular.ttf");
    write("fonts/Orbitron-Regular.ttf", "not a font at all");
    const Output output = initAll();
    EXPECT_FALSE(output.result);
    EXPECT_TRUE(endsWith(output.err,
                         "Failed to load font atlas, trying fallback font\n"
                         "Failed to initialize font: fonts/Orbitron-Regular.ttf\n"
                         "Failed to load fallback font atlas\n"))
        << output.err;
    EXPECT_EQ(scratch.fontTexture, 0u);
    EXPECT_EQ(scratch.uniformBuffer, 0u) << "start-up stops at the fonts";
}

TEST_F(AssetCase, MissingBackgroundShaderStopsStartUp) {
    remove("shaders/fullscreen.vert");
    const Output output = initAll();
    EXPECT_FALSE(output.result);
    EXPECT_TRUE(endsWith(output.err, "Failed to load vertex shader source\nFailed to initialize shaders\n"))
        << output.err;
    EXPECT_EQ(scratch.circleProgram, 0u);
}

TEST_F(AssetCase, ShutdownAfterAStartUpThatStoppedAtTheTextProgram) {
    remove("shaders/text.frag");
    const Output output = initAll();
    EXPECT_FALSE(output.result);
    EXPECT_TRUE(
        endsWith(output.err, "Failed to load text fragment shader source\nFailed to initialize text rendering\n"))
        << output.err;
    EXPECT_NE(scratch.window, nullptr);
    EXPECT_NE(scratch.circleProgram, 0u);
    EXPECT_EQ(scratch.textProgram, 0u);

    scratch.shutdown();
    expectAllReleased(scratch);
}

}  // namespace
