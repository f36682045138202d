// The circle pass: the live circles that show, handed to the render state's
// instanced circle draw in list order, then the key labels.
#include "game/GameLogic.h"

#include "render/RenderState.h"

#include <algorithm>

namespace {

constexpr float kLabelScale = 2.5f;

float holdProgress(const Circle& circle, double streamTime) {
    if (circle.channel != kHoldChannel || circle.holdDuration <= 0.0f) return 0.0f;
    const double elapsed  = streamTime - circle.time;
    const float  progress = elapsed > 0.0 ? static_cast<float>(elapsed / circle.holdDuration) : 0.0f;
    return std::clamp(progress, 0.0f, 1.0f);
}

// Whether anything the circle draws, glow included, falls inside the window.
bool onScreen(const Circle& circle, const RenderState& render) {
    const float reach = std::max(circle.radius, circle.targetRadius) + kCircleGlowReach;
    return circle.x + reach >= 0.0f && circle.x - reach <= static_cast<float>(render.width) &&
           circle.y + reach >= 0.0f && circle.y - reach <= static_cast<float>(render.height);
}

// The active circles that show, in list order; a judged tap set aside off the
// screen is left out.
std::vector<CircleInstance> visibleCircles(const std::vector<Circle>& circles, const RenderState& render,
                                           double streamTime) {
    std::vector<CircleInstance> visible;
    visible.reserve(circles.size());
    for (const Circle& circle : circles) {
        if (!circle.active || !onScreen(circle, render)) continue;
        CircleInstance instance;
        instance.x            = circle.x;
        instance.y            = circle.y;
        instance.radius       = circle.radius;
        instance.targetRadius = circle.targetRadius;
        instance.stemIndex    = circle.stemIndex;
        instance.flags        = (circle.judged ? kCircleHit : 0) | (circle.channel == kHoldChannel ? kCircleHold : 0);
        instance.holdProgress = holdProgress(circle, streamTime);
        visible.push_back(instance);
    }
    return visible;
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
    render.drawCircles(visibleCircles(circles, render, streamTime));
    if (keyboardGameplay) drawLabels(render, circles);
    checkGLError("Circle SDF rendering");
}
