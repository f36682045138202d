// The entry-point table's resolution order and critical set, the GL error
// report, and the version test of initOpenGL, on the real context. Fake entry
// points stand in only where Mesa cannot produce the case (two queued errors,
// an old GL version).
#include "GLTestContext.h"

#include "render/RenderState.h"

#include <SDL3/SDL_video.h>
#include <gtest/gtest.h>

#include <deque>
#include <set>
#include <string>
#include <vector>

using ::testing::internal::CaptureStderr;
using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStderr;
using ::testing::internal::GetCapturedStdout;

namespace {

const std::vector<std::string> kTableOrder = {"glGenBuffers",
                                              "glDeleteBuffers",
                                              "glBindBuffer",
                                              "glBufferData",
                                              "glBufferSubData",
                                              "glBindBufferBase",
                                              "glGenVertexArrays",
                                              "glDeleteVertexArrays",
                                              "glBindVertexArray",
                                              "glCreateShader",
                                              "glDeleteShader",
                                              "glShaderSource",
                                              "glCompileShader",
                                              "glGetShaderiv",
                                              "glGetShaderInfoLog",
                                              "glCreateProgram",
                                              "glDeleteProgram",
                                              "glAttachShader",
                                              "glLinkProgram",
                                              "glGetProgramiv",
                                              "glGetProgramInfoLog",
                                              "glUseProgram",
                                              "glDrawArrays",
                                              "glDrawArraysInstanced",
                                              "glGetError",
                                              "glGetString",
                                              "glGetIntegerv",
                                              "glClear",
                                              "glClearColor",
                                              "glViewport",
                                              "glGetUniformBlockIndex",
                                              "glUniformBlockBinding",
                                              "glEnable",
                                              "glDisable",
                                              "glBlendFunc",
                                              "glBlendEquation",
                                              "glDepthFunc",
                                              "glDepthMask",
                                              "glCullFace",
                                              "glFrontFace",
                                              "glScissor",
                                              "glActiveTexture",
                                              "glBindTexture",
                                              "glGetBooleanv",
                                              "glGetFloatv",
                                              "glVertexAttribPointer",
                                              "glEnableVertexAttribArray",
                                              "glDisableVertexAttribArray",
                                              "glUniform1f",
                                              "glUniform2f",
                                              "glUniform1ui",
                                              "glUniform1i",
                                              "glUniform1fv",
                                              "glUniform2fv",
                                              "glUniform4fv",
                                              "glUniform1iv",
                                              "glUniform3f",
                                              "glUniform4f",
                                              "glUniformMatrix4fv",
                                              "glGetUniformLocation",
                                              "glCopyBufferSubData",
                                              "glIsEnabled"};

const std::vector<std::string> kCriticalOrder = {"glGenBuffers",
                                                 "glDeleteBuffers",
                                                 "glBindBuffer",
                                                 "glBufferData",
                                                 "glGenVertexArrays",
                                                 "glDeleteVertexArrays",
                                                 "glBindVertexArray",
                                                 "glCreateShader",
                                                 "glDeleteShader",
                                                 "glCreateProgram",
                                                 "glDeleteProgram",
                                                 "glUseProgram",
                                                 "glDrawArrays",
                                                 "glDrawArraysInstanced",
                                                 "glGetError",
                                                 "glClear",
                                                 "glViewport",
                                                 "glGetUniformBlockIndex",
                                                 "glUniformBlockBinding",
                                                 "glEnable",
                                                 "glDisable",
                                                 "glBlendFunc",
                                                 "glBlendEquation",
                                                 "glDepthFunc",
                                                 "glDepthMask",
                                                 "glCullFace",
                                                 "glFrontFace",
                                                 "glScissor",
                                                 "glActiveTexture",
                                                 "glBindTexture",
                                                 "glGetBooleanv",
                                                 "glGetFloatv",
                                                 "glVertexAttribPointer",
                                                 "glEnableVertexAttribArray",
                                                 "glDisableVertexAttribArray",
                                                 "glUniform1f",
                                                 "glUniform2f",
                                                 "glUniform1ui",
                                                 "glUniform1i",
                                                 "glUniform1fv",
                                                 "glUniform2fv",
                                                 "glUniform4fv",
                                                 "glUniform1iv",
                                                 "glUniform4f",
                                                 "glGetUniformLocation",
                                                 "glCopyBufferSubData"};

// What the resolvers below hide, fake and record.
std::set<std::string>    hiddenNames;
std::vector<std::string> askedNames;
std::deque<GLenum>       queuedErrors;
PFNGLGETINTEGERVPROC     realGetIntegerv = nullptr;

GLProc hidingResolver(const char* name) {
    askedNames.push_back(name);
    return hiddenNames.count(name) ? nullptr : SDL_GL_GetProcAddress(name);
}

GLenum APIENTRY queuedGetError() {
    if (queuedErrors.empty()) return GL_NO_ERROR;
    const GLenum error = queuedErrors.front();
    queuedErrors.pop_front();
    return error;
}

void APIENTRY version21GetIntegerv(GLenum name, GLint* value) {
    if (name == GL_MAJOR_VERSION) *value = 2;
    else if (name == GL_MINOR_VERSION) *value = 1;
    else realGetIntegerv(name, value);
}

GLProc fakingResolver(const char* name) {
    const std::string entry = name;
    if (entry == "glGetError") return reinterpret_cast<GLProc>(&queuedGetError);
    if (entry == "glGetIntegerv") {
        realGetIntegerv = reinterpret_cast<PFNGLGETINTEGERVPROC>(SDL_GL_GetProcAddress(name));
        return reinterpret_cast<GLProc>(&version21GetIntegerv);
    }
    return SDL_GL_GetProcAddress(name);
}

std::string missingLines(const std::vector<std::string>& names) {
    std::string lines = "Failed to load critical OpenGL functions\n";
    for (const std::string& name : names) lines += "  " + name + " failed to load\n";
    return lines;
}

class GLLoader : public ::testing::Test {
protected:
    void SetUp() override {
        rendertest::makeSharedCurrent();
        hiddenNames.clear();
        askedNames.clear();
        queuedErrors.clear();
    }
    void TearDown() override { rendertest::makeSharedCurrent(); }
};

TEST_F(GLLoader, ResolvesAllSixtyTwoEntryPointsInTableOrder) {
    CaptureStdout();
    EXPECT_TRUE(loadOpenGLFunctions(hidingResolver));
    EXPECT_EQ(GetCapturedStdout(), "Loading OpenGL functions...\nOpenGL functions loaded successfully!\n");
    EXPECT_EQ(askedNames, kTableOrder);
}

TEST_F(GLLoader, MissingCriticalEntryPointsAreListedInCheckOrder) {
    hiddenNames = {"glCopyBufferSubData", "glUniform4f"};
    CaptureStderr();
    EXPECT_FALSE(loadOpenGLFunctions(hidingResolver));
    EXPECT_EQ(GetCapturedStderr(), missingLines({"glUniform4f", "glCopyBufferSubData"}));

    hiddenNames.insert(kTableOrder.begin(), kTableOrder.end());
    CaptureStderr();
    EXPECT_FALSE(loadOpenGLFunctions(hidingResolver));
    EXPECT_EQ(GetCapturedStderr(), missingLines(kCriticalOrder));
}

TEST_F(GLLoader, MissingNonCriticalEntryPointStillLoads) {
    hiddenNames = {"glUniform3f"};
    CaptureStdout();
    CaptureStderr();
    EXPECT_TRUE(loadOpenGLFunctions(hidingResolver));
    EXPECT_EQ(GetCapturedStderr(), "");
    EXPECT_NE(GetCapturedStdout().find("OpenGL functions loaded successfully!"), std::string::npos);
    EXPECT_EQ(gl.glUniform3f, nullptr);
    EXPECT_NE(gl.glUniform4f, nullptr);
}

TEST_F(GLLoader, CheckGLErrorReportsOneQueuedErrorPerCall) {
    CaptureStdout();
    ASSERT_TRUE(loadOpenGLFunctions(fakingResolver));
    GetCapturedStdout();
    queuedErrors           = {GL_INVALID_VALUE, 0x0506, GL_INVALID_ENUM, GL_INVALID_OPERATION, GL_OUT_OF_MEMORY};
    const char* expected[] = {"GL_INVALID_VALUE", "Unknown error 1286", "GL_INVALID_ENUM", "GL_INVALID_OPERATION",
                              "GL_OUT_OF_MEMORY"};
    for (const char* name : expected) {
        CaptureStderr();
        EXPECT_FALSE(checkGLError("Frame rendering"));
        EXPECT_EQ(GetCapturedStderr(), std::string("OpenGL error in Frame rendering: ") + name + "\n");
    }
    CaptureStderr();
    EXPECT_TRUE(checkGLError("Frame rendering"));
    EXPECT_EQ(GetCapturedStderr(), "");
}

TEST_F(GLLoader, CheckGLErrorConsumesARealDriverError) {
    gl.glEnable(0x1234);
    CaptureStderr();
    EXPECT_FALSE(checkGLError("Text rendering"));
    EXPECT_TRUE(checkGLError("Text rendering"));
    EXPECT_EQ(GetCapturedStderr(), "OpenGL error in Text rendering: GL_INVALID_ENUM\n");
}

TEST_F(GLLoader, InitOpenGLRefusesAContextBelowVersionThree) {
    CaptureStdout();
    ASSERT_TRUE(loadOpenGLFunctions(fakingResolver));
    GetCapturedStdout();
    RenderState scratch;
    CaptureStdout();
    CaptureStderr();
    EXPECT_FALSE(scratch.initOpenGL());
    EXPECT_EQ(GetCapturedStderr(), "OpenGL ES 3.0 or higher required, but found 2.1\n");
    const std::string out = GetCapturedStdout();
    EXPECT_EQ(out.find("OpenGL Vendor: "), 0u);
    EXPECT_NE(out.find("\nOpenGL Renderer: "), std::string::npos);
    EXPECT_NE(out.find("\nOpenGL Version: "), std::string::npos);
    EXPECT_EQ(scratch.backgroundVertexArray, 0u);
}

}  // namespace
