// Drawing a list of circles: their records into the storage buffer, last circle
// first, and one instanced draw of each circle's own polygons.
#include "render/RenderState.h"

#include "render/GLFunctions.h"

namespace {

constexpr GLuint  kCircleBinding     = 1;
constexpr GLsizei kVerticesPerCircle = 9 * 16;  // the vertex shader's band and disc, 16 sides

}  // namespace

void RenderState::drawCircles(const std::vector<CircleInstance>& circles) {
    if (circles.empty() || circleProgram == 0) return;
    // Blending paints in instance order, so the circle in front goes last.
    const std::vector<CircleInstance> backToFront(circles.rbegin(), circles.rend());
    gl.glBindBuffer(GL_SHADER_STORAGE_BUFFER, circleBuffer);
    gl.glBufferData(GL_SHADER_STORAGE_BUFFER, static_cast<GLsizeiptr>(backToFront.size() * sizeof(CircleInstance)),
                    backToFront.data(), GL_STREAM_DRAW);
    gl.glBindBufferBase(GL_SHADER_STORAGE_BUFFER, kCircleBinding, circleBuffer);
    gl.glBindBuffer(GL_SHADER_STORAGE_BUFFER, 0);

    gl.glUseProgram(circleProgram);
    const GLint colours = gl.glGetUniformLocation(circleProgram, "neonColors");
    if (colours != -1) gl.glUniform4fv(colours, kStemSlots, stemColor[0].data());
    gl.glEnable(GL_BLEND);
    gl.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gl.glBindVertexArray(circleVertexArray);
    gl.glDrawArraysInstanced(GL_TRIANGLES, 0, kVerticesPerCircle, static_cast<GLsizei>(backToFront.size()));
    gl.glBindVertexArray(0);
    gl.glUseProgram(0);
    gl.glDisable(GL_BLEND);
}
