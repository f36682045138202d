// Feeds real SDL events through SDL's own queue into the input manager.
#include "input/InputManager.h"

#include <SDL3/SDL.h>
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <vector>

namespace {

class InputManagerTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(SDL_Init(SDL_INIT_VIDEO)) << SDL_GetError();
        window = SDL_CreateWindow("input test", 800, 600, SDL_WINDOW_HIDDEN);
        ASSERT_NE(window, nullptr) << SDL_GetError();
    }
    static void TearDownTestSuite() {
        SDL_DestroyWindow(window);
        SDL_Quit();
    }
    void SetUp() override {
        SDL_PumpEvents();
        SDL_FlushEvents(SDL_EVENT_FIRST, SDL_EVENT_LAST);
        input.init();
    }

    static void push(SDL_Event event) { ASSERT_TRUE(SDL_PushEvent(&event)) << SDL_GetError(); }

    static void key(SDL_EventType type, SDL_Keycode code, bool repeat = false, Uint64 stamp = 0) {
        SDL_Event e{};
        e.type             = type;
        e.common.timestamp = stamp;
        e.key.key          = code;
        e.key.down         = type == SDL_EVENT_KEY_DOWN;
        e.key.repeat       = repeat;
        push(e);
    }
    static void button(SDL_EventType type, Uint8 which, float x, float y) {
        SDL_Event e{};
        e.type          = type;
        e.button.button = which;
        e.button.x      = x;
        e.button.y      = y;
        push(e);
    }
    static void finger(SDL_EventType type, SDL_FingerID id, float nx, float ny) {
        SDL_Event e{};
        e.type             = type;
        e.tfinger.fingerID = id;
        e.tfinger.windowID = SDL_GetWindowID(window);
        e.tfinger.x        = nx;
        e.tfinger.y        = ny;
        push(e);
    }
    void frame() { input.processEvents(nullptr, false); }

    static SDL_Window* window;
    InputManager       input;
};

SDL_Window* InputManagerTest::window = nullptr;

std::set<int32_t> keysOf(const std::map<int32_t, uint64_t>& keys) {
    std::set<int32_t> codes;
    for (const auto& entry : keys) codes.insert(entry.first);
    return codes;
}

TEST_F(InputManagerTest, HeldKeyCountsOnceAndAutoRepeatIsIgnored) {
    key(SDL_EVENT_KEY_DOWN, SDLK_A);
    frame();
    EXPECT_EQ(keysOf(input.keysPressed), std::set<int32_t>{'a'});
    input.endFrame();

    key(SDL_EVENT_KEY_DOWN, SDLK_A, true);
    key(SDL_EVENT_KEY_DOWN, SDLK_SPACE, true);
    frame();
    EXPECT_TRUE(input.keysPressed.empty());
    EXPECT_FALSE(input.playTogglePressed()) << "an auto-repeated Space must not toggle playback";
    input.endFrame();

    key(SDL_EVENT_KEY_UP, SDLK_A);
    frame();
    EXPECT_EQ(keysOf(input.keysReleased), std::set<int32_t>{'a'});
}

TEST_F(InputManagerTest, PressAndReleaseInOneFrameAreBothSeenThenCleared) {
    key(SDL_EVENT_KEY_DOWN, SDLK_COMMA);
    key(SDL_EVENT_KEY_UP, SDLK_COMMA);
    key(SDL_EVENT_KEY_DOWN, SDLK_Q);
    frame();
    EXPECT_EQ(keysOf(input.keysPressed), (std::set<int32_t>{',', 'q'}));
    EXPECT_EQ(keysOf(input.keysReleased), std::set<int32_t>{','});
    input.endFrame();
    EXPECT_TRUE(input.keysPressed.empty());
    EXPECT_TRUE(input.keysReleased.empty());
}

// Each press and release keeps the moment SDL stamped on it, not the frame's.
TEST_F(InputManagerTest, PressesKeepTheirOwnStamps) {
    key(SDL_EVENT_KEY_DOWN, SDLK_A, false, 1'000'000);
    key(SDL_EVENT_KEY_UP, SDLK_A, false, 2'000'000);
    SDL_Event down{};
    down.type             = SDL_EVENT_MOUSE_BUTTON_DOWN;
    down.common.timestamp = 3'000'000;
    down.button.button    = SDL_BUTTON_LEFT;
    push(down);
    SDL_Event up        = down;
    up.type             = SDL_EVENT_MOUSE_BUTTON_UP;
    up.common.timestamp = 4'000'000;
    push(up);
    SDL_Event touch{};
    touch.type             = SDL_EVENT_FINGER_DOWN;
    touch.common.timestamp = 5'000'000;
    touch.tfinger.fingerID = 2;
    push(touch);
    touch.type             = SDL_EVENT_FINGER_UP;
    touch.common.timestamp = 6'000'000;
    push(touch);
    frame();
    EXPECT_EQ(input.keysPressed.at('a'), 1'000'000u);
    EXPECT_EQ(input.keysReleased.at('a'), 2'000'000u);
    EXPECT_EQ(input.mouseDownAt, 3'000'000u);
    EXPECT_EQ(input.mouseUpAt, 4'000'000u);
    EXPECT_EQ(input.touches.at(2).pressedAt, 5'000'000u);
    EXPECT_EQ(input.touches.at(2).releasedAt, 6'000'000u);
}

// While a GUI text field has the keyboard, Space is a typed space: it neither
// toggles playback nor presses a gameplay key. Escape and F12 still work.
TEST_F(InputManagerTest, KeysTypedIntoTheGuiStayOutOfTheGame) {
    for (const SDL_Keycode code : {SDLK_SPACE, SDLK_A, SDLK_ESCAPE, SDLK_F12}) {
        SDL_Event e{};
        e.type     = SDL_EVENT_KEY_DOWN;
        e.key.key  = code;
        e.key.down = true;
        input.handleEvent(e, true);
    }
    EXPECT_FALSE(input.playTogglePressed());
    EXPECT_EQ(keysOf(input.keysPressed), (std::set<int32_t>{27, static_cast<int32_t>(SDLK_F12)}));
    EXPECT_TRUE(input.quitRequested());
    EXPECT_TRUE(input.guiTogglePressed());
}

TEST_F(InputManagerTest, GlobalControls) {
    key(SDL_EVENT_KEY_DOWN, SDLK_SPACE);
    key(SDL_EVENT_KEY_DOWN, SDLK_F12);
    frame();
    EXPECT_TRUE(input.playTogglePressed());
    EXPECT_TRUE(input.guiTogglePressed());
    EXPECT_FALSE(input.quitRequested());
    input.endFrame();
    EXPECT_FALSE(input.playTogglePressed());
    EXPECT_FALSE(input.guiTogglePressed());

    key(SDL_EVENT_KEY_DOWN, SDLK_ESCAPE);
    static std::vector<SDL_Keycode> guiKeys;
    input.processEvents(
        [](const SDL_Event& event) {
            if (event.type == SDL_EVENT_KEY_DOWN) guiKeys.push_back(event.key.key);
        },
        true);  // the GUI sees it first, and has the keyboard: the game still quits
    EXPECT_EQ(guiKeys, std::vector<SDL_Keycode>{SDLK_ESCAPE});
    EXPECT_TRUE(input.quitRequested());
    input.endFrame();
    EXPECT_TRUE(input.quitRequested()) << "quit lasts past the frame";

    input.init();
    SDL_Event quit{};
    quit.type = SDL_EVENT_QUIT;
    push(quit);
    frame();
    EXPECT_TRUE(input.quitRequested());
}

TEST_F(InputManagerTest, OnlyTheLeftButtonCounts) {
    button(SDL_EVENT_MOUSE_BUTTON_DOWN, SDL_BUTTON_LEFT, 10, 20);
    frame();
    EXPECT_TRUE(input.mousePressed());
    float x, y;
    input.getMousePosition(x, y);
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 20);
    input.endFrame();
    EXPECT_FALSE(input.mousePressed());

    button(SDL_EVENT_MOUSE_BUTTON_DOWN, SDL_BUTTON_RIGHT, 300, 400);
    button(SDL_EVENT_MOUSE_BUTTON_UP, SDL_BUTTON_MIDDLE, 300, 400);
    frame();
    EXPECT_FALSE(input.mousePressed());
    EXPECT_FALSE(input.mouseReleased());
    input.getMousePosition(x, y);
    EXPECT_EQ(x, 10) << "other buttons do not even move the stored position";
    EXPECT_EQ(y, 20);

    button(SDL_EVENT_MOUSE_BUTTON_UP, SDL_BUTTON_LEFT, 30, 40);
    SDL_Event motion{};
    motion.type     = SDL_EVENT_MOUSE_MOTION;
    motion.motion.x = 50;
    motion.motion.y = 60;
    push(motion);
    frame();
    EXPECT_TRUE(input.mouseReleased());
    input.getMousePosition(x, y);
    EXPECT_EQ(x, 50);
    EXPECT_EQ(y, 60);
}

TEST_F(InputManagerTest, TouchLifecycleAndScaling) {
    finger(SDL_EVENT_FINGER_DOWN, 7, 0.5f, 0.25f);
    finger(SDL_EVENT_FINGER_DOWN, 3, 0.1f, 0.1f);
    frame();
    ASSERT_EQ(input.touches.size(), 2u);
    EXPECT_EQ(input.touches.begin()->first, 3u) << "fingers are walked by ascending id";
    const TouchPoint& seven = input.touches.at(7);
    EXPECT_TRUE(seven.active && seven.pressed && !seven.released);
    EXPECT_FLOAT_EQ(seven.x, 400.0f);
    EXPECT_FLOAT_EQ(seven.y, 150.0f);
    input.endFrame();
    EXPECT_FALSE(input.touches.at(7).pressed);

    finger(SDL_EVENT_FINGER_MOTION, 7, 1.0f, 1.0f);
    finger(SDL_EVENT_FINGER_UP, 7, 0.0f, 0.0f);
    frame();
    const TouchPoint& lifted = input.touches.at(7);
    EXPECT_TRUE(lifted.released && !lifted.active);
    EXPECT_FLOAT_EQ(lifted.x, 800.0f) << "a lift keeps the last position";
    input.endFrame();
    EXPECT_EQ(input.touches.count(7), 0u);
    EXPECT_EQ(input.touches.count(3), 1u);
}

TEST_F(InputManagerTest, TapWithinOneFrameAndUnknownLift) {
    finger(SDL_EVENT_FINGER_DOWN, 1, 0.5f, 0.5f);
    finger(SDL_EVENT_FINGER_UP, 1, 0.5f, 0.5f);
    finger(SDL_EVENT_FINGER_UP, 99, 0.9f, 0.9f);
    frame();
    const TouchPoint& tap = input.touches.at(1);
    EXPECT_TRUE(tap.pressed && tap.released && !tap.active);
    const TouchPoint& stray = input.touches.at(99);
    EXPECT_TRUE(stray.released && !stray.active && !stray.pressed);
    EXPECT_EQ(stray.x, 0.0f);
    EXPECT_EQ(stray.y, 0.0f);
    input.endFrame();
    EXPECT_TRUE(input.touches.empty());
}

TEST_F(InputManagerTest, CancelledFingerIsLiftedLikeAnyOther) {
    finger(SDL_EVENT_FINGER_DOWN, 4, 0.5f, 0.5f);
    frame();
    input.endFrame();
    finger(SDL_EVENT_FINGER_CANCELED, 4, 0.5f, 0.5f);
    frame();
    const TouchPoint& cancelled = input.touches.at(4);
    EXPECT_TRUE(cancelled.released && !cancelled.active && !cancelled.pressed);
    input.endFrame();
    EXPECT_TRUE(input.touches.empty()) << "no finger is left down";
}

TEST_F(InputManagerTest, TouchesFollowTheWindowSizeAtEachEvent) {
    finger(SDL_EVENT_FINGER_DOWN, 5, 0.5f, 0.5f);
    frame();
    EXPECT_FLOAT_EQ(input.touches.at(5).x, 400.0f);
    SDL_SetWindowSize(window, 400, 200);
    SDL_SyncWindow(window);
    finger(SDL_EVENT_FINGER_MOTION, 5, 0.5f, 0.5f);
    frame();
    EXPECT_FLOAT_EQ(input.touches.at(5).x, 200.0f);
    EXPECT_FLOAT_EQ(input.touches.at(5).y, 100.0f);
    SDL_SetWindowSize(window, 800, 600);
    SDL_SyncWindow(window);
}

}  // namespace
