// Presses are judged at the moment SDL stamped on them, not at the frame that
// reads them: a frame loop at 20 frames a second, a clock that runs in real
// time, and presses stamped between frames through the real input manager.
#include "GameFixture.h"

#include <SDL3/SDL.h>

#include <cmath>

namespace {

constexpr uint64_t kStartNs     = 5'000'000'000;  // the clock reads 0 s here
constexpr uint64_t kFrameNs     = 50'000'000;     // 20 frames a second
constexpr double   kFirstNote   = 1.0;
constexpr double   kNoteSpacing = 0.5071;  // notes fall at every phase of the frames
constexpr float    kH           = 1080.0f;

uint64_t stampAt(double clockSeconds) { return kStartNs + static_cast<uint64_t>(std::llround(clockSeconds * 1e9)); }
double   clockAt(uint64_t ns) { return static_cast<double>(ns - kStartNs) * 1e-9; }

struct Press {
    double at;  // on the clock, seconds
    float  x;
    float  yFromBottom;
};

class PressTiming : public GameFixture {
protected:
    // One tap circle a note, each at its own place, all grown.
    void placeNotes(int count) {
        for (int i = 0; i < count; ++i) addCircle(100.0f + 60.0f * static_cast<float>(i), 400.0f, noteTime(i));
        key_ = game.circles.front().key;
    }
    static double noteTime(int i) { return kFirstNote + kNoteSpacing * i; }

    // Runs frames until the clock passes `until`; each frame hands the
    // presses stamped since the last one to the input manager, reads the
    // clock at the frame's own moment and runs the frame's gameplay.
    void runFrames(const std::vector<Press>& presses, double until, bool keys) {
        size_t next = 0;
        for (uint64_t ns = kStartNs; clockAt(ns) <= until; ns += kFrameNs) {
            for (; next < presses.size() && stampAt(presses[next].at) <= ns; ++next) feed(presses[next], keys);
            game.streamTime    = clockAt(ns);
            game.streamClockNs = ns;
            game.updateRun(input, 1920, static_cast<int32_t>(kH), static_cast<float>(kFrameNs) * 1e-9f);
            input.endFrame();
        }
    }

    void feed(const Press& press, bool keys) {
        SDL_Event down{};
        down.common.timestamp = stampAt(press.at);
        if (keys) {
            down.type    = SDL_EVENT_KEY_DOWN;
            down.key.key = static_cast<SDL_Keycode>(key_);
        } else {
            down.type          = SDL_EVENT_MOUSE_BUTTON_DOWN;
            down.button.button = SDL_BUTTON_LEFT;
            down.button.x      = press.x;
            down.button.y      = kH - press.yFromBottom;
        }
        input.handleEvent(down, false);
    }

    int32_t key_ = 0;  // keyboard gameplay: every placed circle carries the same key
};

// Errors from 90 ms early to 190 ms late, at every phase against the frames.
TEST_F(PressTiming, EachPressIsJudgedAtItsOwnMoment) {
    constexpr int kNotes = 40;
    placeNotes(kNotes);
    std::vector<Press>  presses;
    std::vector<double> errors;
    for (int i = 0; i < kNotes; ++i) {
        const double error = -0.09 + 0.28 * std::fmod(i * 0.618034, 1.0);
        errors.push_back(error);
        presses.push_back({noteTime(i) + error, game.circles[static_cast<size_t>(i)].x, 400.0f});
    }
    runFrames(presses, noteTime(kNotes), false);

    ASSERT_EQ(game.stats.hitErrors.size(), errors.size()) << "every press on its circle counts";
    for (size_t i = 0; i < errors.size(); ++i) EXPECT_NEAR(game.stats.hitErrors[i], errors[i], 0.001) << "press " << i;
    EXPECT_EQ(game.misses, 0);
}

// The late edge holds at the press's moment although the frame that reads it
// comes after the circle's linger; the early edge holds although the frame
// comes after the earliest-press moment.
TEST_F(PressTiming, WindowEdgesHoldAtThePressNotTheFrame) {
    constexpr int kNotes  = 20;
    game.keyboardGameplay = true;
    placeNotes(kNotes);
    std::vector<Press> late;
    for (int i = 0; i < kNotes; ++i) late.push_back({noteTime(i) + 0.185, 0.0f, 0.0f});
    runFrames(late, noteTime(kNotes), true);
    EXPECT_EQ(static_cast<int>(game.stats.hitErrors.size()), kNotes);
    EXPECT_EQ(game.highestCombo, kNotes);
    EXPECT_EQ(game.stats.count(Tier::Miss), 0);
}

TEST_F(PressTiming, PressesTooEarlyCountNoneWhenTheFrameReadsThemInTime) {
    constexpr int kNotes  = 20;
    game.keyboardGameplay = true;
    placeNotes(kNotes);
    std::vector<Press> early;
    for (int i = 0; i < kNotes; ++i) early.push_back({noteTime(i) - 0.115, 0.0f, 0.0f});
    runFrames(early, noteTime(kNotes), true);
    EXPECT_TRUE(game.stats.hitErrors.empty());
    EXPECT_EQ(game.score, 0);
    EXPECT_EQ(game.stats.count(Tier::Miss), kNotes) << "each circle, unhit, is missed";
}

// A positive offset: the player hears the note later than the clock says, so
// a press that late is on time and the circle reaches its ring that late.
TEST_F(PressTiming, OffsetShiftsJudgementAndArrival) {
    game.audioOffset = 0.12;
    Circle& circle   = addCircle(500.0f, 400.0f, kFirstNote);
    game.streamTime  = kFirstNote;
    game.updateCircles(0.0f);
    EXPECT_FALSE(circle.reached) << "the note is not heard yet";
    EXPECT_LT(circle.radius, circle.targetRadius);
    runFrames({{kFirstNote + 0.12, 500.0f, 400.0f}}, kFirstNote + 0.3, false);
    ASSERT_EQ(game.stats.hitErrors.size(), 1u);
    EXPECT_NEAR(game.stats.hitErrors[0], 0.0, 0.001);
    EXPECT_EQ(game.stats.count(Tier::Perfect), 1);
}

}  // namespace
