// The 208-byte "ShaderUniforms" block as the GPU sees it: the bytes in the
// uniform buffer after an upload, and the layout the game's shaders declare.
#include "GLTestContext.h"

#include "render/RenderState.h"

#include <SDL3/SDL_video.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <ctime>
#include <map>
#include <vector>

using rendertest::probe;
using rendertest::sharedRender;

namespace {

using BlockBytes = std::array<unsigned char, 208>;

BlockBytes readUniformBuffer(const RenderState& render) {
    BlockBytes bytes{};
    gl.glBindBuffer(GL_UNIFORM_BUFFER, render.uniformBuffer);
    probe().glGetBufferSubData(GL_UNIFORM_BUFFER, 0, bytes.size(), bytes.data());
    return bytes;
}

float floatAt(const BlockBytes& bytes, size_t offset) {
    float value = 0.0f;
    std::memcpy(&value, bytes.data() + offset, sizeof value);
    return value;
}

class UniformBlock : public ::testing::Test {
protected:
    void SetUp() override {
        rendertest::makeSharedCurrent();
        sharedRender().refreshWindowSize();
    }
};

TEST_F(UniformBlock, BufferIsAllocatedOnceWith208BytesAtBindingPointZero) {
    RenderState& render = sharedRender();
    ASSERT_NE(render.uniformBuffer, 0u);
    GLint size = 0;
    gl.glBindBuffer(GL_UNIFORM_BUFFER, render.uniformBuffer);
    probe().glGetBufferParameteriv(GL_UNIFORM_BUFFER, GL_BUFFER_SIZE, &size);
    EXPECT_EQ(size, 208);
    GLint usage = 0;
    probe().glGetBufferParameteriv(GL_UNIFORM_BUFFER, GL_BUFFER_USAGE, &usage);
    EXPECT_EQ(usage, GL_DYNAMIC_DRAW);
    PFNGLGETINTEGERI_VPROC getIndexed =
        reinterpret_cast<PFNGLGETINTEGERI_VPROC>(SDL_GL_GetProcAddress("glGetIntegeri_v"));
    ASSERT_NE(getIndexed, nullptr);
    GLint atZero = 0;
    getIndexed(GL_UNIFORM_BUFFER_BINDING, 0, &atZero);
    EXPECT_EQ(static_cast<GLuint>(atZero), render.uniformBuffer);
}

TEST_F(UniformBlock, UploadedBytesSitAtTheirStd140Offsets) {
    RenderState& render = sharedRender();
    render.width        = 1280;
    render.height       = 720;
    render.frameCount   = 41;
    render.elapsedTime  = 3.0f;
    render.writeUniforms();  // time base for the next write
    render.elapsedTime = 3.5f;
    for (int i = 0; i < kStemSlots; ++i) {
        render.stemValue[i]  = 1.0f + 0.25f * static_cast<float>(i);
        render.stemActive[i] = (i % 2) == 0;
    }
    render.activeStemCount = 4;
    render.stemCountEase   = 0.625f;
    render.setPointer(10.0f, 20.0f, true);
    render.setPointer(30.0f, 40.0f, false);
    render.bindUniformBlocks();  // writes the mirror again and uploads it

    const BlockBytes bytes = readUniformBuffer(render);
    EXPECT_EQ(floatAt(bytes, 0), 1280.0f);
    EXPECT_EQ(floatAt(bytes, 4), 720.0f);
    EXPECT_EQ(floatAt(bytes, 8), 1.0f);
    EXPECT_EQ(floatAt(bytes, 12), 0.0f);
    EXPECT_EQ(floatAt(bytes, 16), 3.5f);
    EXPECT_EQ(floatAt(bytes, 20), 0.5f);
    EXPECT_EQ(floatAt(bytes, 24), 2.0f);
    EXPECT_EQ(floatAt(bytes, 28), 41.0f);
    EXPECT_EQ(floatAt(bytes, 32), 30.0f);
    EXPECT_EQ(floatAt(bytes, 36), 40.0f);
    EXPECT_EQ(floatAt(bytes, 40), 10.0f);
    EXPECT_EQ(floatAt(bytes, 44), 20.0f);

    const std::time_t now = std::time(nullptr);
    std::tm           local{};
    localtime_r(&now, &local);
    EXPECT_EQ(floatAt(bytes, 48), static_cast<float>(local.tm_year + 1900));
    EXPECT_EQ(floatAt(bytes, 52), static_cast<float>(local.tm_mon + 1));
    EXPECT_EQ(floatAt(bytes, 56), static_cast<float>(local.tm_mday));
    const float secondsToday = static_cast<float>(local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec);
    EXPECT_NEAR(floatAt(bytes, 60), secondsToday, 2.0f);

    EXPECT_EQ(floatAt(bytes, 64), 44100.0f);
    for (size_t offset = 68; offset < 80; offset += 4) EXPECT_EQ(floatAt(bytes, offset), 0.0f);

    for (int i = 0; i < kStemSlots; ++i) {
        const size_t slot = 80 + 16 * static_cast<size_t>(i);
        EXPECT_EQ(floatAt(bytes, slot), 1.0f + 0.25f * static_cast<float>(i)) << "slot " << i;
        EXPECT_EQ(floatAt(bytes, slot + 4), (i % 2) == 0 ? 1.0f : 0.0f) << "slot " << i;
        EXPECT_EQ(floatAt(bytes, slot + 8), i == 0 ? 4.0f : 0.0f) << "slot " << i;
        EXPECT_EQ(floatAt(bytes, slot + 12), i == 0 ? 0.625f : 0.0f) << "slot " << i;
    }
}

TEST_F(UniformBlock, RenderFrameUploadsTheMirror) {
    RenderState& render         = sharedRender();
    render.uniforms.time        = 123.25f;
    render.uniforms.stems[7][0] = 9.5f;
    render.renderFrame();
    const BlockBytes bytes = readUniformBuffer(render);
    EXPECT_EQ(floatAt(bytes, 16), 123.25f);
    EXPECT_EQ(floatAt(bytes, 80 + 7 * 16), 9.5f);
}

TEST_F(UniformBlock, StartUpStemColoursGoRoundTheHueCircle) {
    const float expected[kStemSlots][3] = {{0.5f, 0.933f, 0.067f},   {0.854f, 0.629f, 0.017f}, {1.0f, 0.25f, 0.25f},
                                           {0.854f, 0.017f, 0.629f}, {0.5f, 0.067f, 0.933f},   {0.146f, 0.371f, 0.983f},
                                           {0.0f, 0.75f, 0.75f},     {0.146f, 0.983f, 0.371f}};
    const RenderState& render           = sharedRender();
    for (int i = 0; i < kStemSlots; ++i) {
        for (int c = 0; c < 3; ++c) EXPECT_NEAR(render.stemColor[i][c], expected[i][c], 0.0005f) << i;
        EXPECT_EQ(render.stemColor[i][3], 1.0f);
        EXPECT_EQ(render.stemPeak[i].load(), 2.0f);
        EXPECT_EQ(render.stemLerpSpeed[i], 18.0f);
    }
}

// The shaders' own declaration of the block must match the mirror byte for byte.
void expectShaderLayout(GLuint program, const char* programName) {
    SCOPED_TRACE(programName);
    const GLuint block = gl.glGetUniformBlockIndex(program, "ShaderUniforms");
    ASSERT_NE(block, GL_INVALID_INDEX);
    GLint dataSize = 0;
    probe().glGetActiveUniformBlockiv(program, block, GL_UNIFORM_BLOCK_DATA_SIZE, &dataSize);
    EXPECT_EQ(dataSize, 208);
    GLint binding = -1;
    probe().glGetActiveUniformBlockiv(program, block, GL_UNIFORM_BLOCK_BINDING, &binding);
    EXPECT_EQ(binding, 0);

    GLint memberCount = 0;
    probe().glGetActiveUniformBlockiv(program, block, GL_UNIFORM_BLOCK_ACTIVE_UNIFORMS, &memberCount);
    std::vector<GLint> members(static_cast<size_t>(memberCount));
    probe().glGetActiveUniformBlockiv(program, block, GL_UNIFORM_BLOCK_ACTIVE_UNIFORM_INDICES, members.data());
    // Members by their GLSL type and offset; the names are the shader author's.
    std::map<GLint, GLenum> typeAtOffset;
    for (const GLint member : members) {
        const GLuint index  = static_cast<GLuint>(member);
        GLint        offset = -1;
        GLint        type   = 0;
        probe().glGetActiveUniformsiv(program, 1, &index, GL_UNIFORM_OFFSET, &offset);
        probe().glGetActiveUniformsiv(program, 1, &index, GL_UNIFORM_TYPE, &type);
        typeAtOffset[offset] = static_cast<GLenum>(type);
    }
    const std::map<GLint, GLenum> expected = {{0, GL_FLOAT_VEC4},  {16, GL_FLOAT}, {20, GL_FLOAT},
                                              {24, GL_FLOAT},      {28, GL_FLOAT}, {32, GL_FLOAT_VEC4},
                                              {48, GL_FLOAT_VEC4}, {64, GL_FLOAT}, {80, GL_FLOAT_VEC4}};
    for (const auto& [offset, type] : typeAtOffset) {
        const auto found = expected.find(offset);
        ASSERT_NE(found, expected.end()) << "member at unexpected offset " << offset;
        EXPECT_EQ(type, found->second) << "offset " << offset;
    }
    EXPECT_TRUE(typeAtOffset.count(80)) << "the stem array must be used";
}

TEST_F(UniformBlock, BackgroundAndCircleShadersDeclareTheSameLayout) {
    RenderState& render = sharedRender();
    expectShaderLayout(render.backgroundProgram, "background");
    expectShaderLayout(render.circleProgram, "circles");
}

}  // namespace
