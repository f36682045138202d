// The sample packages' background shaders in the game's own GL context: each
// compiles, links against the game's shaders/fullscreen.vert as a package's
// shader is installed, lays out "ShaderUniforms" as the game's 208-byte block,
// and draws a picture of its own (not flat, and unlike the other packages').
#include "GLTestContext.h"

#include "render/RenderState.h"
#include "tools/levelgen/Catalogue.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using rendertest::probe;
using rendertest::sharedRender;

namespace {

struct Picture {
    double mean[3] = {0, 0, 0};
    double spread  = 0.0;  // standard deviation of the brightness
};

Picture look(const rendertest::Pixels& p) {
    Picture out;
    double  sum = 0.0, sumSquares = 0.0;
    size_t  n = 0;
    for (int y = 0; y < p.height; y += 8)
        for (int x = 0; x < p.width; x += 8, ++n) {
            const unsigned char* c = p.at(x, y);
            for (int k = 0; k < 3; ++k) out.mean[k] += c[k];
            double b = (c[0] + c[1] + c[2]) / 3.0;
            sum += b;
            sumSquares += b * b;
        }
    for (double& m : out.mean) m /= double(n);
    out.spread = std::sqrt(std::max(0.0, sumSquares / double(n) - (sum / double(n)) * (sum / double(n))));
    return out;
}

void expectBlockMember(GLuint program, const char* name, GLint offset) {
    GLuint index = GL_INVALID_INDEX;
    probe().glGetUniformIndices(program, 1, &name, &index);
    ASSERT_NE(index, GL_INVALID_INDEX) << name;
    GLint at = -1;
    probe().glGetActiveUniformsiv(program, 1, &index, GL_UNIFORM_OFFSET, &at);
    EXPECT_EQ(at, offset) << name;
}

}  // namespace

TEST(PackageShaders, CompileLinkDeclareTheBlockAndDrawDistinctPictures) {
    rendertest::makeSharedCurrent();
    RenderState& render = sharedRender();
    render.refreshWindowSize();
    render.bindUniformBlocks();
    std::vector<Picture> pictures;
    for (const levelgen::LevelPlan& level : levelgen::levelCatalogue()) {
        if (!level.shader) continue;
        SCOPED_TRACE(level.folder);
        uint32_t fragment = compileShader(level.shader, GL_FRAGMENT_SHADER);
        ASSERT_NE(fragment, 0u);
        uint32_t program = createShaderProgram(render.backgroundVertexShader, fragment);
        ASSERT_NE(program, 0u);

        GLuint block = gl.glGetUniformBlockIndex(program, "ShaderUniforms");
        ASSERT_NE(block, GL_INVALID_INDEX);
        GLint size = 0;
        probe().glGetActiveUniformBlockiv(program, block, GL_UNIFORM_BLOCK_DATA_SIZE, &size);
        EXPECT_EQ(size, 208);
        const std::pair<const char*, GLint> members[] = {{"resolution", 0}, {"time", 16},       {"timeDelta", 20},
                                                         {"frameRate", 24}, {"frame", 28},      {"mouse", 32},
                                                         {"date", 48},      {"sampleRate", 64}, {"stems[0]", 80}};
        for (const auto& [name, offset] : members) expectBlockMember(program, name, offset);

        gl.glUniformBlockBinding(program, block, 0);
        gl.glViewport(0, 0, render.width, render.height);
        gl.glUseProgram(program);
        gl.glBindVertexArray(render.backgroundVertexArray);
        gl.glDrawArrays(GL_TRIANGLES, 0, 3);
        EXPECT_EQ(gl.glGetError(), GLenum(GL_NO_ERROR));
        pictures.push_back(look(rendertest::readBackBuffer(render.width, render.height)));
        EXPECT_GT(pictures.back().spread, 8.0) << "a flat screen";
        gl.glUseProgram(0);
        gl.glDeleteProgram(program);
        gl.glDeleteShader(fragment);
    }
    ASSERT_EQ(pictures.size(), 3u);
    for (size_t i = 0; i < pictures.size(); ++i)
        for (size_t j = i + 1; j < pictures.size(); ++j) {
            double d = 0.0;
            for (int k = 0; k < 3; ++k) d += std::fabs(pictures[i].mean[k] - pictures[j].mean[k]);
            d += std::fabs(pictures[i].spread - pictures[j].spread);
            EXPECT_GT(d, 10.0) << "packages " << i << " and " << j << " look alike";
        }
}
