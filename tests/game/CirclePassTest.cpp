// The circle pass on a real window and context: where the ring lands on screen,
// which circles reach the circle program and with what, and the key labels of
// keyboard gameplay.
#include "game/GameLogic.h"
#include "render/GLFunctions.h"
#include "render/RenderState.h"

#include <SDL3/SDL_init.h>
#include <SDL3/SDL_video.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <vector>

namespace {

using ReadPixels    = void (*)(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, void*);
using GetBufferData = void (*)(GLenum, GLintptr, GLsizeiptr, void*);
using GetBufferSize = void (*)(GLenum, GLenum, GLint*);

struct Pixels {
    int                        width  = 0;
    int                        height = 0;
    std::vector<unsigned char> rgba;
    const unsigned char*       at(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }

    // Pixels in the box around (cx, cy), y from the bottom, that match.
    int count(int cx, int cy, int half, const std::function<bool(const unsigned char*)>& match) const {
        int found = 0;
        for (int y = cy - half; y <= cy + half; ++y)
            for (int x = cx - half; x <= cx + half; ++x)
                if ((x - cx) * (x - cx) + (y - cy) * (y - cy) > 16 && match(at(x, y))) ++found;
        return found;
    }
};

bool isWhite(const unsigned char* p) { return p[0] > 200 && p[1] > 200 && p[2] > 200; }
bool isGreen(const unsigned char* p) { return p[1] > 200 && p[0] < 80 && p[2] < 80; }

class CirclePass : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(SDL_Init(SDL_INIT_VIDEO)) << SDL_GetError();
        const auto previous = std::filesystem::current_path();
        std::filesystem::current_path(LUMOKA_ASSETS_DIR);
        render             = new RenderState;
        const bool started = render->init("Lumoka circle pass tests", 1920, 1080);
        std::filesystem::current_path(previous);
        ASSERT_TRUE(started);
        readPixels    = reinterpret_cast<ReadPixels>(SDL_GL_GetProcAddress("glReadPixels"));
        getBufferData = reinterpret_cast<GetBufferData>(SDL_GL_GetProcAddress("glGetBufferSubData"));
        getBufferSize = reinterpret_cast<GetBufferSize>(SDL_GL_GetProcAddress("glGetBufferParameteriv"));
        ASSERT_TRUE(readPixels && getBufferData && getBufferSize);
    }

    void SetUp() override {
        ASSERT_NE(render, nullptr);
        SDL_GL_MakeCurrent(render->window, render->glContext);
        while (gl.glGetError() != GL_NO_ERROR) {
        }
        gl.glViewport(0, 0, render->width, render->height);
        gl.glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        gl.glClear(GL_COLOR_BUFFER_BIT);
        for (auto& colour : render->stemColor) colour = {0.0f, 0.0f, 1.0f, 1.0f};
        render->bindUniformBlocks();
        game.reset(8);
    }

    Circle& addCircle(float x, float y, int stemIndex = 0) {
        Circle circle;
        circle.x            = x;
        circle.y            = y;
        circle.radius       = 40.0f;
        circle.targetRadius = 100.0f;
        circle.holdDuration = 0.2f;
        circle.active       = true;
        circle.stemIndex    = stemIndex;
        game.circles.push_back(circle);
        return game.circles.back();
    }

    Pixels draw() {
        game.renderCircles(*render);
        Pixels pixels;
        pixels.width  = render->width;
        pixels.height = render->height;
        pixels.rgba.resize(static_cast<size_t>(pixels.width) * pixels.height * 4);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        readPixels(0, 0, pixels.width, pixels.height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.rgba.data());
        return pixels;
    }

    // What the last pass handed to the circle program, in list order.
    std::vector<CircleInstance> handedOver() const {
        gl.glBindBuffer(GL_SHADER_STORAGE_BUFFER, render->circleBuffer);
        GLint bytes = 0;
        getBufferSize(GL_SHADER_STORAGE_BUFFER, GL_BUFFER_SIZE, &bytes);
        std::vector<CircleInstance> records(static_cast<size_t>(bytes) / sizeof(CircleInstance));
        getBufferData(GL_SHADER_STORAGE_BUFFER, 0, bytes, records.data());
        gl.glBindBuffer(GL_SHADER_STORAGE_BUFFER, 0);
        return {records.rbegin(), records.rend()};  // the buffer holds them last first
    }

    static inline RenderState*  render        = nullptr;
    static inline ReadPixels    readPixels    = nullptr;
    static inline GetBufferData getBufferData = nullptr;
    static inline GetBufferSize getBufferSize = nullptr;
    GameLogic                   game;
};

TEST_F(CirclePass, RingLandsAtTheCircleWithYFromTheBottom) {
    render->stemColor[3] = {1.0f, 0.0f, 0.0f, 1.0f};
    addCircle(600.0f, 300.0f, 3);
    const Pixels         pixels = draw();
    const unsigned char* ring   = pixels.at(700, 300);
    EXPECT_GT(ring[0], 150) << "the target ring in the stem's colour";
    EXPECT_LT(ring[1], 60);
    EXPECT_LT(ring[2], 60);
    EXPECT_GT(pixels.at(600, 340)[0], 150) << "the disc's rim at its radius";
    EXPECT_LT(pixels.at(700, 1080 - 300)[0], 20) << "nothing at the flipped place";
    EXPECT_LT(pixels.at(1500, 900)[0], 20);
    EXPECT_TRUE(checkGLError("test"));
    EXPECT_FALSE(gl.glIsEnabled(GL_BLEND)) << "blending is switched off again";
}

TEST_F(CirclePass, WithoutActiveCirclesNothingIsTouched) {
    addCircle(900.0f, 300.0f);
    draw();
    const size_t before = handedOver().size();
    gl.glClear(GL_COLOR_BUFFER_BIT);
    game.circles.clear();
    addCircle(600.0f, 300.0f).active = false;
    const Pixels pixels              = draw();
    EXPECT_EQ(handedOver().size(), before) << "the last pass's circles are still there";
    EXPECT_LT(pixels.at(700, 300)[2], 20);
    EXPECT_LT(pixels.at(1000, 300)[2], 20);
}

// Only what shows reaches the circle program: inactive circles and taps set
// aside off the screen stay out, so any number of live ones fit.
TEST_F(CirclePass, OnlyShowingCirclesAreHandedOverWithTheirHoldProgress) {
    game.streamTime                   = 10.5;
    addCircle(100.0f, 100.0f).active  = false;
    Circle& hold                      = addCircle(600.0f, 300.0f, 4);
    hold.channel                      = 1;
    hold.holdDuration                 = 2.0f;
    hold.time                         = 10.0;
    Circle& early                     = addCircle(900.0f, 300.0f);
    early.channel                     = 1;
    early.time                        = 11.0;
    early.holdDuration                = 2.0f;
    Circle& judged                    = addCircle(1'000'000.0f, 1'000'000.0f);
    judged.judged                     = true;
    judged.radius                     = 0.0f;
    addCircle(-110.0f, 500.0f).judged = true;  // off the left edge, its glow still shows
    draw();
    std::vector<CircleInstance> records = handedOver();
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0].x, 600.0f);
    EXPECT_EQ(records[0].stemIndex, 4);
    EXPECT_EQ(records[0].flags, kCircleHold);
    EXPECT_FLOAT_EQ(records[0].holdProgress, 0.25f);
    EXPECT_FLOAT_EQ(records[1].holdProgress, 0.0f) << "before its time";
    EXPECT_EQ(records[2].flags, kCircleHit);

    game.streamTime              = 13.0;
    game.circles[2].holdDuration = 0.0f;
    draw();
    records = handedOver();
    EXPECT_FLOAT_EQ(records[0].holdProgress, 1.0f);
    EXPECT_FLOAT_EQ(records[1].holdProgress, 0.0f) << "a hold of length 0";

    game.circles.clear();
    for (int i = 0; i < 400; ++i) addCircle(50.0f + 4.5f * static_cast<float>(i), 540.0f);
    draw();
    EXPECT_EQ(handedOver().size(), 400u);
}

TEST_F(CirclePass, KeyLabelsTakeTheStemColourAndWhitePastSlotSeven) {
    render->stemColor[2]                = {0.0f, 1.0f, 0.0f, 1.0f};
    render->stemColor[7]                = {1.0f, 0.0f, 0.0f, 1.0f};
    addCircle(500.0f, 500.0f, 9).label  = 'T';
    addCircle(1200.0f, 500.0f, 2).label = 'T';
    for (Circle& circle : game.circles) circle.radius = 0.0f;

    game.keyboardGameplay = true;
    Pixels pixels         = draw();
    EXPECT_GT(pixels.count(500, 500, 45, isWhite), 40);
    EXPECT_GT(pixels.count(1200, 500, 45, isGreen), 40);
    EXPECT_EQ(pixels.count(1200, 500, 45, isWhite), 0);

    gl.glClear(GL_COLOR_BUFFER_BIT);
    game.keyboardGameplay = false;
    pixels                = draw();
    EXPECT_EQ(pixels.count(500, 500, 45, isWhite), 0);
    EXPECT_EQ(pixels.count(1200, 500, 45, isGreen), 0);
}

}  // namespace
