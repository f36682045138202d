// What actually reaches the screen: the background pass and how it answers the
// block's inputs, the size follow-up of the pass, text placed by the projection,
// and the circle shader's shapes. Pixels are read back from the real back buffer.
#include "GLTestContext.h"

#include "render/RenderState.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using rendertest::Pixels;
using rendertest::probe;
using rendertest::readBackBuffer;
using rendertest::sharedRender;

namespace {

class Drawing : public ::testing::Test {
protected:
    void SetUp() override {
        rendertest::makeSharedCurrent();
        render.refreshWindowSize();
        savedUniforms = render.uniforms;
    }
    void TearDown() override {
        render.uniforms = savedUniforms;
        for (int i = 0; i < kStemSlots; ++i) {
            render.stemValue[i]  = 1.0f;
            render.stemActive[i] = false;
        }
        render.activeStemCount = 0;
        render.stemCountEase   = 0.0f;
    }
    Pixels screen() { return readBackBuffer(render.width, render.height); }
    void   clearToBlack() {
          gl.glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
          gl.glClear(GL_COLOR_BUFFER_BIT);
    }

    RenderState&   render = sharedRender();
    ShaderUniforms savedUniforms{};
};

// Sum of absolute channel differences over the whole image.
long long difference(const Pixels& a, const Pixels& b) {
    long long sum = 0;
    for (size_t i = 0; i < a.rgba.size(); ++i) sum += std::abs(int(a.rgba[i]) - int(b.rgba[i]));
    return sum;
}

double meanLuma(const Pixels& p) {
    double sum = 0.0;
    for (size_t i = 0; i < p.rgba.size(); i += 4)
        sum += 0.2126 * p.rgba[i] + 0.7152 * p.rgba[i + 1] + 0.0722 * p.rgba[i + 2];
    return sum / (p.rgba.size() / 4);
}

TEST_F(Drawing, BackgroundPassCoversTheWholeScreen) {
    render.writeUniforms();
    render.renderFrame();
    const Pixels image         = screen();
    size_t       clearColoured = 0;
    for (size_t i = 0; i < image.rgba.size(); i += 4) {
        const unsigned char* px = &image.rgba[i];
        if (std::abs(px[0] - 26) <= 1 && std::abs(px[1] - 51) <= 1 && std::abs(px[2] - 77) <= 1) ++clearColoured;
    }
    EXPECT_LT(clearColoured, image.rgba.size() / 4 / 1000) << "the clear colour shows through";
    EXPECT_GT(meanLuma(image), 2.0) << "not black";
}

TEST_F(Drawing, BackgroundAnswersEveryStemTheCountTheEaseTimeAndPointer) {
    const auto frame = [&] {
        render.writeUniforms();
        render.uniforms.time = 10.0f;  // keeps the dither still between frames
        render.renderFrame();
        return screen();
    };
    const Pixels    base    = frame();
    const long long minimum = 20000;  // far above nothing, far below a redraw

    for (int i = 0; i < kStemSlots; ++i) {
        render.stemValue[i] = 2.5f;
        EXPECT_GT(difference(frame(), base), minimum) << "value of stem " << i;
        render.stemValue[i]  = 1.0f;
        render.stemActive[i] = true;
        EXPECT_GT(difference(frame(), base), minimum) << "active flag of stem " << i;
        render.stemActive[i] = false;
    }
    render.activeStemCount = 6;
    EXPECT_GT(difference(frame(), base), minimum) << "active count";
    render.activeStemCount = 0;
    render.stemCountEase   = 0.4f;
    EXPECT_GT(difference(frame(), base), minimum) << "ease";
    render.stemCountEase = 0.0f;
    render.setPointer(900.0f, 500.0f, false);
    EXPECT_GT(difference(frame(), base), minimum) << "pointer";

    render.writeUniforms();
    render.uniforms.time = 13.7f;
    render.renderFrame();
    EXPECT_GT(difference(screen(), base), minimum) << "time";
}

TEST_F(Drawing, RenderFrameFollowsThePixelSizeAndRewritesTheBlock) {
    render.width  = 1;
    render.height = 1;
    render.elapsedTime += 0.5f;
    render.renderFrame();
    EXPECT_EQ(render.width, 1920);
    EXPECT_EQ(render.height, 1080);
    EXPECT_EQ(render.uniforms.resolution[0], 1920.0f);
    EXPECT_EQ(render.uniforms.resolution[1], 1080.0f);
    GLint viewport[4] = {};
    gl.glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 1920);
    EXPECT_EQ(viewport[3], 1080);
    EXPECT_TRUE(checkGLError("test"));
}

// Inked pixels (red channel above half) of the back buffer, top-down rows.
struct InkBox {
    int  left = 1 << 30, right = -1, top = 1 << 30, bottom = -1;
    bool empty() const { return right < 0; }
};

InkBox inkBox(const Pixels& image) {
    InkBox box;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            if (image.at(x, y)[0] > 127) {
                const int row = image.height - 1 - y;
                box.left      = std::min(box.left, x);
                box.right     = std::max(box.right, x);
                box.top       = std::min(box.top, row);
                box.bottom    = std::max(box.bottom, row);
            }
    return box;
}

TEST_F(Drawing, LabelLandsWhereTheProjectionPutsIt) {
    const float x        = 300.0f;
    const float baseline = 400.0f;
    const float scale    = 2.5f;
    const Glyph glyph    = render.glyphs.at('W');
    clearToBlack();
    render.renderText("W", x, baseline, 1.0f, 0.5f, 0.0f, 1.0f, scale);
    const Pixels image = screen();
    const InkBox box   = inkBox(image);
    ASSERT_FALSE(box.empty());

    const float left = x + scale * glyph.xOffset;
    const float top  = baseline + scale * glyph.yOffset;
    EXPECT_NEAR(box.left, left, 3.0);
    EXPECT_NEAR(box.right + 1, left + scale * glyph.width, 3.0);
    EXPECT_NEAR(box.top, top, 3.0);
    EXPECT_NEAR(box.bottom + 1, top + scale * glyph.height, 3.0);

    const int            cx  = (box.left + box.right) / 2;
    const unsigned char* ink = nullptr;
    for (int row = box.top; row <= box.bottom && !ink; ++row) {
        const unsigned char* px = image.at(cx, image.height - 1 - row);
        if (px[0] == 255) ink = px;
    }
    ASSERT_NE(ink, nullptr) << "a fully covered pixel";
    EXPECT_NEAR(ink[1], 128, 2);
    EXPECT_EQ(ink[2], 0);
}

TEST_F(Drawing, SpacesAdvanceThePenAndUnknownBytesDoNot) {
    const Glyph space = render.glyphs.at(' ');
    EXPECT_EQ(space.width * space.height, 0.0f) << "the space has an empty box";
    EXPECT_GT(space.advance, 0.0f);

    clearToBlack();
    render.renderText("I", 500.0f, 300.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f);
    const InkBox plain = inkBox(screen());
    clearToBlack();
    render.renderText("\t\x80I", 500.0f, 300.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f);
    const InkBox unknown = inkBox(screen());
    clearToBlack();
    render.renderText(" I", 500.0f, 300.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f);
    const InkBox spaced = inkBox(screen());
    EXPECT_EQ(unknown.left, plain.left);
    EXPECT_NEAR(spaced.left - plain.left, space.advance, 1.0);
}

TEST_F(Drawing, TextWithoutAnyKnownCharacterUploadsNothingButResetsState) {
    clearToBlack();
    render.renderText("WW", 100.0f, 100.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f);
    GLint before = 0;
    gl.glBindBuffer(GL_ARRAY_BUFFER, render.textVertexBuffer);
    probe().glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &before);
    EXPECT_EQ(before, 12 * 32);

    clearToBlack();
    gl.glEnable(GL_BLEND);
    render.renderText("\t\x80\xff", 100.0f, 100.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f);
    GLint after = 0;
    probe().glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &after);
    gl.glBindBuffer(GL_ARRAY_BUFFER, 0);
    EXPECT_EQ(after, before);
    EXPECT_TRUE(inkBox(screen()).empty());
    EXPECT_FALSE(gl.glIsEnabled(GL_BLEND));
    GLint program = -1;
    gl.glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    EXPECT_EQ(program, 0);
}

TEST_F(Drawing, TextBeforeTheAtlasExistsDoesNothing) {
    RenderState noAtlas;
    noAtlas.textProgram = render.textProgram;
    noAtlas.glyphs      = render.glyphs;
    noAtlas.width       = render.width;
    noAtlas.height      = render.height;
    gl.glEnable(GL_BLEND);
    clearToBlack();
    noAtlas.renderText("W", 300.0f, 400.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f);
    noAtlas.renderText(nullptr, 300.0f, 400.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f);
    EXPECT_TRUE(gl.glIsEnabled(GL_BLEND)) << "returned before touching any state";
    EXPECT_TRUE(inkBox(screen()).empty());
}

// The circle program, driven the way the circle pass drives it.
CircleInstance circleAt(float x, float y, float radius, float target, int stem = 0, int flags = 0,
                        float holdProgress = 0.0f) {
    CircleInstance c;
    c.x            = x;
    c.y            = y;
    c.radius       = radius;
    c.targetRadius = target;
    c.stemIndex    = stem;
    c.flags        = flags;
    c.holdProgress = holdProgress;
    return c;
}

void drawCircles(RenderState& render, const std::vector<CircleInstance>& circles) {
    render.writeUniforms();  // the frame's block upload, as the main loop does it
    gl.glBindBuffer(GL_UNIFORM_BUFFER, render.uniformBuffer);
    gl.glBufferSubData(GL_UNIFORM_BUFFER, 0, sizeof(ShaderUniforms), &render.uniforms);
    render.drawCircles(circles);
}

TEST_F(Drawing, CirclesShowRingDiscAndHit) {
    clearToBlack();
    drawCircles(render,
                {circleAt(600.0f, 500.0f, 50.0f, 100.0f, 2), circleAt(1200.0f, 500.0f, 50.0f, 100.0f, 2, kCircleHit)});
    const Pixels image = screen();
    // Stem 2's start-up colour is (1.0, 0.25, 0.25).
    const unsigned char* ring = image.at(700, 500);
    EXPECT_GT(ring[0], 200);
    EXPECT_LT(ring[1], ring[0] / 2);
    const unsigned char* disc = image.at(625, 500);
    EXPECT_GT(disc[0], 40);
    EXPECT_GT(disc[0], image.at(675, 500)[0]) << "the disc is filled, the gap to the ring is not";
    const unsigned char* far = image.at(900, 500);
    EXPECT_LT(far[0] + far[1] + far[2], 3);
    EXPECT_GT(image.at(1200, 500)[1], disc[1] + 40) << "a hit disc turns white";
    EXPECT_FALSE(gl.glIsEnabled(GL_BLEND)) << "blending is switched off again";
}

TEST_F(Drawing, HoldArcFillsClockwiseFromTheTop) {
    clearToBlack();
    drawCircles(render, {circleAt(700.0f, 500.0f, 100.0f, 100.0f, 0, kCircleHold, 0.25f),
                         circleAt(1200.0f, 500.0f, 100.0f, 100.0f, 0, kCircleHold, 1.0f)});
    const Pixels image      = screen();
    const auto   brightness = [&](int x, int y) {
        const unsigned char* p = image.at(x, y);
        return p[0] + p[1] + p[2];
    };
    // On the arc radius (target + 7): at one o'clock and at six o'clock.
    EXPECT_GT(brightness(700 + 38, 500 + 100), brightness(700 - 38, 500 + 100) + 60)
        << "a quarter is lit right of twelve o'clock, not left";
    EXPECT_GT(brightness(1200, 500 - 107), brightness(700, 500 - 107) + 60)
        << "a full hold lights six o'clock, a quarter does not";
}

// Where two circles overlap, the earlier one in the list is drawn over the later.
TEST_F(Drawing, EarlierCirclesLieInFront) {
    const auto startUpColours = render.stemColor;
    render.stemColor[0]       = {1.0f, 0.0f, 0.0f, 1.0f};
    render.stemColor[1]       = {0.0f, 0.0f, 1.0f, 1.0f};
    for (const bool redFirst : {true, false}) {
        clearToBlack();
        const CircleInstance red  = circleAt(900.0f, 500.0f, 90.0f, 100.0f, 0);
        const CircleInstance blue = circleAt(960.0f, 500.0f, 90.0f, 100.0f, 1);
        drawCircles(render, redFirst ? std::vector{red, blue} : std::vector{blue, red});
        const Pixels         image = screen();
        const unsigned char* both  = image.at(930, 500);
        if (redFirst) EXPECT_GT(both[0], both[2] + 5) << "red in front";
        else EXPECT_GT(both[2], both[0] + 5) << "blue in front";
    }
    render.stemColor = startUpColours;
}

// No capacity leaves a circle out, however many there are.
TEST_F(Drawing, EveryCircleIsDrawnHoweverMany) {
    std::vector<CircleInstance> many;
    for (int row = 0; row < 15; ++row)
        for (int column = 0; column < 20; ++column)
            many.push_back(circleAt(60.0f + 90.0f * column, 60.0f + 68.0f * row, 10.0f, 20.0f, 2));
    clearToBlack();
    drawCircles(render, many);
    EXPECT_TRUE(checkGLError("test"));
    const Pixels image = screen();
    int          lit   = 0;
    for (const CircleInstance& c : many) lit += image.at(static_cast<int>(c.x) + 20, static_cast<int>(c.y))[0] > 150;
    EXPECT_EQ(lit, 300) << "every ring shows";
}

}  // namespace
