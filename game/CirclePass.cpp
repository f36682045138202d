// The circle pass: every live circle handed to the circle shader as uniform
// arrays and drawn with one full-screen triangle, then the key labels.
#include "game/GameLogic.h"

#include "render/GLFunctions.h"
#include "render/RenderState.h"

#include <algorithm>

namespace {

constexpr float kLabelScale = 2.5f;

// One element per circle of the list, inactive ones included.
struct CircleArrays {
    std::vector<float>   centres;
    std::vector<float>   radii;
    std::vector<float>   targetRadii;
    std::vector<int32_t> active;
    std::vector<int32_t> hit;
    std::vector<int32_t> stemIndex;
    std::vector<int32_t> isHold;
    std::vector<float>   holdProgress;
};

float holdProgress(const Circle& circle, double streamTime) {
    if (circle.channel != kHoldChannel || circle.holdDuration <= 0.0f) return 0.0f;
    const double elapsed  = streamTime - circle.time;
    const float  progress = elapsed > 0.0 ? static_cast<float>(elapsed / circle.holdDuration) : 0.0f;
    return std::clamp(progress, 0.0f, 1.0f);
}

CircleArrays buildArrays(const std::vector<Circle>& circles, double streamTime) {
    const size_t n = circles.size();
    CircleArrays arrays;
    arrays.centres.reserve(2 * n);
    for (auto* values : {&arrays.radii, &arrays.targetRadii, &arrays.holdProgress}) values->reserve(n);
    for (auto* values : {&arrays.active, &arrays.hit, &arrays.stemIndex, &arrays.isHold}) values->reserve(n);
    for (const Circle& circle : circles) {
        arrays.centres.push_back(circle.x);
        arrays.centres.push_back(circle.y);
        arrays.radii.push_back(circle.radius);
        arrays.targetRadii.push_back(circle.targetRadius);
        arrays.active.push_back(circle.active ? 1 : 0);
        arrays.hit.push_back(circle.judged ? 1 : 0);
        arrays.stemIndex.push_back(circle.stemIndex);
        arrays.isHold.push_back(circle.channel == kHoldChannel ? 1 : 0);
        arrays.holdProgress.push_back(holdProgress(circle, streamTime));
    }
    return arrays;
}

void uploadArrays(const RenderState& render, const CircleArrays& arrays, GLsizei n) {
    const uint32_t program  = render.circleProgram;
    const auto     location = [program](const char* name) { return gl.glGetUniformLocation(program, name); };
    GLint at = -1;
    if ((at = location("uNumCircles")) != -1) gl.glUniform1i(at, n);
    if ((at = location("uCircleCenters")) != -1) gl.glUniform2fv(at, n, arrays.centres.data());
    if ((at = location("uCircleRadii")) != -1) gl.glUniform1fv(at, n, arrays.radii.data());
    if ((at = location("uTargetRadii")) != -1) gl.glUniform1fv(at, n, arrays.targetRadii.data());
    if ((at = location("uCircleActive")) != -1) gl.glUniform1iv(at, n, arrays.active.data());
    if ((at = location("uCircleHit")) != -1) gl.glUniform1iv(at, n, arrays.hit.data());
    if ((at = location("uCircleStemIndex")) != -1) gl.glUniform1iv(at, n, arrays.stemIndex.data());
    if ((at = location("neonColors")) != -1) gl.glUniform4fv(at, kStemSlots, render.stemColor[0].data());
    if ((at = location("uCircleIsHoldNote")) != -1) gl.glUniform1iv(at, n, arrays.isHold.data());
    if ((at = location("uCircleHoldProgress")) != -1) gl.glUniform1fv(at, n, arrays.holdProgress.data());
}

void drawLabels(RenderState& render, const std::vector<Circle>& circles) {
    for (const Circle& circle : circles) {
        if (render.fontTexture == 0) return;
        if (!circle.active) continue;
        const auto glyph = render.glyphs.find(static_cast<int32_t>(static_cast<signed char>(circle.label)));
        if (glyph == render.glyphs.end()) continue;

        std::array<float, 4> colour = {1.0f, 1.0f, 1.0f, 1.0f};
        if (circle.stemIndex >= 0 && circle.stemIndex < kStemSlots)
            colour = render.stemColor[static_cast<size_t>(circle.stemIndex)];
        // Centred on the circle, in the text renderer's top-down space.
        const Glyph& g = glyph->second;
        const float  x = circle.x - (g.xOffset + g.width) * 0.5f * kLabelScale;
        const float  y = static_cast<float>(render.height) - circle.y - (g.yOffset + g.height) * 0.5f * kLabelScale;
        const char   text[2] = {circle.label, '\0'};
        render.renderText(text, x, y, colour[0], colour[1], colour[2], 1.0f, kLabelScale);
    }
}

}  // namespace

void GameLogic::renderCircles(RenderState& render) {
    if (std::none_of(circles.begin(), circles.end(), [](const Circle& circle) { return circle.active; })) return;

    const CircleArrays arrays = buildArrays(circles, streamTime);
    gl.glUseProgram(render.circleProgram);
    uploadArrays(render, arrays, static_cast<GLsizei>(circles.size()));

    gl.glEnable(GL_BLEND);
    gl.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gl.glBindVertexArray(render.circleVertexArray);
    gl.glDrawArrays(GL_TRIANGLES, 0, 3);
    gl.glBindVertexArray(0);
    gl.glUseProgram(0);
    gl.glDisable(GL_BLEND);

    if (keyboardGameplay) drawLabels(render, circles);
    checkGLError("Circle SDF rendering");
}
