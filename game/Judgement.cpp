// Matching a frame's presses and releases to circles, and the scoring rules.
#include "game/GameLogic.h"

#include "input/InputManager.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>

namespace {

constexpr uint64_t kMouseId           = static_cast<uint64_t>(-1);
constexpr double   kEarliestPress     = 0.1;
constexpr float    kHitSlack          = 2.0f;
constexpr double   kTouchHoldWindow   = 0.4;
constexpr double   kPointerHoldWindow = 0.1;  // mouse and keys
constexpr float    kReleaseTolerance  = 0.3f;
constexpr float    kOffScreen         = 1'000'000.0f;

const int32_t* findHold(InputKind kind, uint64_t id) {
    if (kind == InputKind::Key) {
        const auto found = keyHolds.find(static_cast<int32_t>(id));
        return found == keyHolds.end() ? nullptr : &found->second;
    }
    const auto found = pointerHolds.find(id);
    return found == pointerHolds.end() ? nullptr : &found->second;
}

void setHold(InputKind kind, uint64_t id, int32_t index) {
    if (kind == InputKind::Key) keyHolds[static_cast<int32_t>(id)] = index;
    else pointerHolds[id] = index;
}

void dropHold(InputKind kind, uint64_t id) {
    if (kind == InputKind::Key) keyHolds.erase(static_cast<int32_t>(id));
    else pointerHolds.erase(id);
}

void setAside(Circle& circle) {
    circle.radius = 0.0f;
    circle.x      = kOffScreen;
    circle.y      = kOffScreen;
}

int32_t tierFactor(double accuracy) {
    if (accuracy >= 0.9) return 3;
    return accuracy >= 0.75 ? 2 : 1;
}

int32_t timingFactor(double accuracy) { return 1 - static_cast<int32_t>(std::trunc(-2.0 * accuracy)); }

int32_t pitchPoints(int32_t note) {
    if (note < 48) return 50;
    if (note <= 59) return 30;
    return note <= 72 ? 20 : 10;
}

int32_t saturate(double value) {
    constexpr double kLowest  = std::numeric_limits<int32_t>::min();
    constexpr double kHighest = std::numeric_limits<int32_t>::max();
    if (std::isnan(value)) return 0;
    return static_cast<int32_t>(std::clamp(value, kLowest, kHighest));
}

void say(bool loud, const char* message) {
    if (loud) std::cerr << message << std::endl;
}

}  // namespace

void GameLogic::handleInput(InputManager& input, int32_t height) {
    if (!inGame && !practice) return;
    const float h = static_cast<float>(height);

    if (keyboardGameplay) {
        for (const auto& press : input.keysPressed) {
            const auto   key   = press.first;  // clang 14 cannot capture a structured binding
            const double at    = momentOf(press.second);
            const auto   found = std::find_if(circles.begin(), circles.end(), [&](const Circle& circle) {
                return circle.key == key && hittable(circle, at);
            });
            if (found != circles.end() && !keyHolds.contains(key))
                judge(static_cast<int32_t>(found - circles.begin()), InputKind::Key, static_cast<uint64_t>(key), true,
                      at);
        }
        for (const auto& [key, stamp] : input.keysReleased) {
            if (const int32_t* held = findHold(InputKind::Key, static_cast<uint64_t>(key)))
                judge(*held, InputKind::Key, static_cast<uint64_t>(key), false, momentOf(stamp));
        }
    }

    for (const auto& [finger, touch] : input.touches) {
        if (touch.pressed) {
            const double  at    = momentOf(touch.pressedAt);
            const int32_t index = hitTest(touch.x, h - touch.y, at);
            if (index != -1) judge(index, InputKind::Touch, finger, true, at);
        } else if (touch.released) {
            if (const int32_t* held = findHold(InputKind::Touch, finger))
                judge(*held, InputKind::Touch, finger, false, momentOf(touch.releasedAt));
        }
    }
    // Mouse events in a frame with touches are SDL's synthetic copies of them.
    if (!input.touches.empty()) return;

    float mouseX = 0.0f;
    float mouseY = 0.0f;
    input.getMousePosition(mouseX, mouseY);
    if (input.mousePressed()) {
        const double  at    = momentOf(input.mouseDownAt);
        const int32_t index = hitTest(mouseX, h - mouseY, at);
        if (index != -1) judge(index, InputKind::Mouse, kMouseId, true, at);
    }
    if (input.mouseReleased()) {
        if (const int32_t* held = findHold(InputKind::Mouse, kMouseId))
            judge(*held, InputKind::Mouse, kMouseId, false, momentOf(input.mouseUpAt));
    }
}

double clockAtStamp(double clock, uint64_t readNs, uint64_t stampNs) {
    return clock - (static_cast<double>(readNs) - static_cast<double>(stampNs)) * 1e-9;
}

// Without a stamp or a live reading, the press is taken at the frame's clock.
double GameLogic::momentOf(uint64_t stampNs) const {
    if (stampNs == 0 || streamClockNs == 0) return heardTime();
    return clockAtStamp(heardTime(), streamClockNs, stampNs);
}

// Both edges at the press's own moment: not more than the earliest press ahead
// of the note, and not after the circle would have left the list unpressed.
bool GameLogic::hittable(const Circle& circle, double at) const {
    return circle.active && !circle.judged && circle.time - at <= kEarliestPress &&
           at - circle.time <= circle.holdDuration;
}

int32_t GameLogic::hitTest(float x, float y, double at) const {
    int32_t best         = -1;
    float   bestDistance = 0.0f;
    for (size_t i = 0; i < circles.size(); ++i) {
        const Circle& circle = circles[i];
        if (!hittable(circle, at) || !circle.holders.empty()) continue;
        const float distance = std::hypot(x - circle.x, y - circle.y);
        if (distance > circle.targetRadius + kHitSlack) continue;
        // A later circle must be strictly nearer to win.
        if (best == -1 || distance < bestDistance) {
            best         = static_cast<int32_t>(i);
            bestDistance = distance;
        }
    }
    return best;
}

void GameLogic::judge(int32_t index, InputKind kind, uint64_t id, bool press, double at) {
    if (index < 0 || index >= static_cast<int32_t>(circles.size())) {
        dropHold(kind, id);
        return;
    }
    if (press) judgePress(index, kind, id, at);
    else judgeHoldRelease(index, kind, id, at);
}

void GameLogic::judgePress(int32_t index, InputKind kind, uint64_t id, double at) {
    Circle&    circle  = circles[static_cast<size_t>(index)];
    const bool holding = findHold(kind, id) != nullptr;  // this input is on another circle
    if (circle.channel != kHoldChannel) {
        if (circle.judged || holding) return;
        circle.judged = true;
        awardPress(circle, at);
        setAside(circle);
        return;
    }

    if (holding || (kind == InputKind::Touch && !circle.holders.empty())) return;
    circle.holders.insert(id);
    setHold(kind, id, index);
    if (circle.judged) return;  // a later press only holds

    circle.judged       = true;
    const double window = kind == InputKind::Touch ? kTouchHoldWindow : kPointerHoldWindow;
    if (std::abs(at - circle.time) > window) {
        // Too far off: the combo breaks, but the hold is still timed.
        combo             = 0;
        comboAtLastUnlock = 0;
        return;
    }
    awardPress(circle, at);
}

void GameLogic::judgeHoldRelease(int32_t index, InputKind kind, uint64_t id, double at) {
    Circle& circle = circles[static_cast<size_t>(index)];
    // Tap circles ignore releases; an input that does not hold this circle has
    // nothing to release on it.
    if (circle.channel != kHoldChannel || !circle.holders.contains(id)) {
        dropHold(kind, id);
        return;
    }
    const bool touch = kind == InputKind::Touch;
    say(touch, "Touch released on hold note");
    circle.holders.erase(id);
    dropHold(kind, id);
    if (!circle.holders.empty()) return;

    // A late press is credited from the note's time.
    const double sinceNote = at - circle.time;
    if (sinceNote > circle.heldTime) circle.heldTime = static_cast<float>(sinceNote);
    if (circle.holdDone) {
        setAside(circle);
        return;
    }

    say(touch, "Not held successfully");
    if (circle.heldTime >= circle.holdDuration - kReleaseTolerance &&
        circle.heldTime <= circle.holdDuration + kReleaseTolerance) {
        say(touch, "Good hold (with tolerance)");
        addScore(kHoldPoints);
        countHit();
        circle.holdDone = true;
    } else {
        say(touch, "Not held long enough");
        missAt(circle);
    }
    setAside(circle);
}

void GameLogic::awardPress(const Circle& circle, double at) {
    const double accuracy = std::clamp(1.0 - std::abs(circle.time - at), 0.0, 1.0);
    addScore(timingFactor(accuracy) * pitchPoints(circle.note) * tierFactor(accuracy));
    countHit();
    markTier(circle, stats.countPress(at - circle.time));
}

void GameLogic::countHit() {
    combo += 1;
    highestCombo = std::max(highestCombo, combo);
    misses       = 0;
}

// A long run at eight layers can pass the largest int32; the score stops there.
void GameLogic::addScore(int32_t points) {
    const auto added = saturate(std::trunc(static_cast<double>(static_cast<float>(points) * multiplier)));
    score            = saturate(static_cast<double>(score) + added);
    if (score > highScore) {
        highScore = score;
        std::cout << "High score updated: " << highScore << "\n";
    }
    std::cout << "Score added: " << added << " (Total: " << score << ")" << std::endl;
}

void GameLogic::missAt(const Circle& circle) {
    registerMiss();
    markTier(circle, Tier::Miss);
}

void GameLogic::markTier(const Circle& circle, Tier tier) { tierMarks.push_back({circle.x, circle.y, tier, 0.0f}); }

void GameLogic::fadeTierMarks(float dt) {
    for (TierMark& mark : tierMarks) mark.age += dt;
    std::erase_if(tierMarks, [](const TierMark& mark) { return mark.age >= kTierMarkLife; });
}

void GameLogic::registerMiss() {
    stats.countMiss();
    misses += 1;
    combo             = 0;
    comboAtLastUnlock = 0;
    std::cout << "Miss registered (" << misses << "/" << missLimit << ")" << std::endl;
}
