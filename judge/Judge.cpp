#include "judge/Judge.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>
#include <utility>

const std::array<KeyColumn, 8> keyColumns = {{
    {0, 15, {'z', 'a', 'q'}, {'Z', 'A', 'Q'}},
    {16, 31, {'x', 's', 'w'}, {'X', 'S', 'W'}},
    {32, 47, {'c', 'd', 'e'}, {'C', 'D', 'E'}},
    {48, 63, {'v', 'f', 'r'}, {'V', 'F', 'R'}},
    {64, 79, {'b', 'g', 't'}, {'B', 'G', 'T'}},
    {80, 95, {'n', 'h', 'y'}, {'N', 'H', 'Y'}},
    {96, 111, {'m', 'j', 'u'}, {'M', 'J', 'U'}},
    {112, 127, {',', 'k', 'i'}, {',', 'K', 'I'}},
}};

namespace {

constexpr double kSpawnLead         = 1.0;    // a circle appears this long before its note
constexpr double kLateSpawnSlack    = 0.001;  // a stem fading in still gives a note this far past its circle
constexpr double kDuplicateWindow   = 0.01;
constexpr double kEarliestPress     = 0.1;
constexpr float  kHitSlack          = 2.0f;
constexpr double kTouchHoldWindow   = 0.4;
constexpr double kPointerHoldWindow = 0.1;  // mouse and keys
constexpr double kReleaseTolerance  = 0.3;
constexpr double kHoldOverrun       = 0.3;  // holding on longer than this past the end is a miss
constexpr float  kSpawnRadius       = 40.0f;
constexpr float  kTargetRadius      = 100.0f;
constexpr float  kTapLinger         = 0.2f;
constexpr float  kOffScreen         = 1'000'000.0f;
// More circles than a player could ever meet at once: a denser chart's extra
// notes make none, so no chart can make the rules' work grow without bound.
constexpr size_t kMaxCircles = 512;
constexpr double kNever      = std::numeric_limits<double>::infinity();

// The band at the top of the window the HUD (layer bar, score window, exit
// button) takes at 1080 pixels; no ring may reach into it.
constexpr float kHudBand = 150.0f;

const KeyColumn& columnFor(int32_t note) {
    for (const KeyColumn& column : keyColumns)
        if (note >= column.lowestNote && note <= column.highestNote) return column;
    return keyColumns[static_cast<size_t>(((note % 8) + 8) % 8)];
}

// 0 soft, 1 middle, 2 loud.
int velocityRow(int32_t velocity) {
    if (velocity < 42) return 0;
    return velocity <= 85 ? 1 : 2;
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

void setAside(Circle& circle) {
    circle.radius = 0.0f;
    circle.x      = kOffScreen;
    circle.y      = kOffScreen;
}

bool spawns(const MidiNoteEvent& event, double loopSeconds) {
    return event.isNoteOn && event.velocity > 0 && std::isfinite(event.time) && event.time >= 0.0 &&
           (loopSeconds <= 0.0 || event.time < loopSeconds);
}

template <typename Table>
void forgetCircle(Table& table, int32_t index) {
    std::erase_if(table, [index](const auto& entry) { return entry.second == index; });
    for (auto& entry : table)
        if (entry.second > index) --entry.second;
}

int32_t microseconds(double seconds) {
    return saturate(std::round(seconds * 1e6));
}

// Middle value and interquartile range of sorted values.
std::pair<double, double> medianAndSpread(const std::vector<double>& sorted) {
    if (sorted.empty()) return {0.0, 0.0};
    const auto at = [&](double q) {
        const double place = q * static_cast<double>(sorted.size() - 1);
        const auto   low   = static_cast<size_t>(std::floor(place));
        const size_t high  = std::min(low + 1, sorted.size() - 1);
        return sorted[low] + (sorted[high] - sorted[low]) * (place - static_cast<double>(low));
    };
    return {at(0.5), at(0.75) - at(0.25)};
}

}  // namespace

// Velocity gives the height as velocity / 128 of the window, except that the
// span a whole ring fits in, one radius from each edge, is drawn together
// below the HUD's band: the bottom row stays, the top row comes down, and a
// ring that would leave the window is kept at its edge.
float playfieldY(int32_t velocity, int32_t height) {
    const float y    = static_cast<float>(height * velocity) * 0.0078125f;
    const float span = static_cast<float>(height) - 2.0f * kTargetRadius;
    if (span <= kHudBand) return y;
    const float inSpan = std::clamp(y, kTargetRadius, kTargetRadius + span);
    return kTargetRadius + (inSpan - kTargetRadius) * (span - kHudBand) / span;
}

const char* firstDifference(const RunResult& a, const RunResult& b) {
    if (a.score != b.score) return "score";
    if (a.perfect != b.perfect) return "perfect";
    if (a.great != b.great) return "great";
    if (a.good != b.good) return "good";
    if (a.misses != b.misses) return "misses";
    if (a.strays != b.strays) return "strayPresses";
    if (a.highestCombo != b.highestCombo) return "highestCombo";
    if (a.highestLayer != b.highestLayer) return "highestLayer";
    if (a.errorMedianUs != b.errorMedianUs) return "hitErrorMedianUs";
    if (a.errorSpreadUs != b.errorSpreadUs) return "hitErrorSpreadUs";
    return "";
}

void Judge::resetRules() {
    score             = 0;
    combo             = 0;
    highestCombo      = 0;
    layers            = 1;
    highestLayer      = 1;
    multiplier        = 1.0f;
    misses            = 0;
    comboAtLastUnlock = 0;
    stats.clear();
    clearCircles();
    stems.clear();
    recorded.clear();
    layerChanges.clear();
    frontierUs = std::numeric_limits<int64_t>::min();
}

// An input still holding a circle would otherwise keep an index into the new list.
void Judge::clearCircles() {
    circles.clear();
    tierMarks.clear();
    pointerHolds.clear();
    keyHolds.clear();
}

void Judge::beginRun(std::vector<JudgeStem> runStems, const JudgeSettings& runSettings) {
    resetRules();
    runSettings_     = runSettings;
    width            = runSettings.width;
    height           = runSettings.height;
    keyboardGameplay = runSettings.keyboardGameplay;
    comboPerLayer    = runSettings.comboPerLayer;
    missLimit        = runSettings.missLimit;
    maxLayers        = runSettings.layerCap;
    int32_t audible  = 0;
    startMask        = 0;
    for (JudgeStem& stem : runStems) {
        RunStem run;
        run.active = stem.active;
        if (stem.active && stems.size() < 32) startMask |= 1u << stems.size();
        audible += stem.active ? 1 : 0;
        // A chart with nothing to spawn would have the cursor lap the loop for ever.
        const double loop = stem.loopSeconds;
        stem.charted      = stem.charted && std::any_of(stem.events.begin(), stem.events.end(),
                                                        [loop](const MidiNoteEvent& event) { return spawns(event, loop); });
        run.stem          = std::move(stem);
        stems.push_back(std::move(run));
    }
    layers       = std::max(1, audible);
    highestLayer = layers;
    multiplier   = static_cast<float>(layers);
}

std::vector<JudgeStem> Judge::runStems() const {
    std::vector<JudgeStem> copies;
    for (const RunStem& run : stems) copies.push_back(run.stem);
    return copies;
}

std::vector<LayerChange> Judge::takeLayerChanges() { return std::exchange(layerChanges, {}); }

RunResult Judge::result() const {
    RunResult result;
    result.score        = score;
    result.perfect      = stats.count(Tier::Perfect);
    result.great        = stats.count(Tier::Great);
    result.good         = stats.count(Tier::Good);
    result.misses       = stats.count(Tier::Miss);
    result.strays       = stats.strays;
    result.highestCombo = highestCombo;
    result.highestLayer = highestLayer;
    std::vector<double> errors = stats.hitErrors;
    std::sort(errors.begin(), errors.end());
    const auto [median, spread] = medianAndSpread(errors);
    result.errorMedianUs        = microseconds(median);
    result.errorSpreadUs        = microseconds(spread);
    return result;
}

// ---- The clock's own events: spawns, hold completions, expiries ----

// Everything due strictly before `us`, earliest first; the same events come in
// the same order however the span is cut into calls, which is what makes the
// outcome independent of frame times.
void Judge::advanceTo(int64_t us) {
    if (us <= frontierUs) return;
    frontierUs         = us;
    const double until = static_cast<double>(us) * 1e-6;
    removeSetAside();
    for (;;) {
        constexpr size_t kNone   = static_cast<size_t>(-1);
        double           soonest = until;
        size_t           which   = kNone;
        for (size_t i = 0; i < circles.size(); ++i) {
            const double due = deadline(circles[i]);
            if (due < soonest) {
                soonest = due;
                which   = i;
            }
        }
        // Spawns change no counter, so they run in a batch ahead of the next circle event.
        for (int32_t stem = nextSpawner(soonest); stem >= 0; stem = nextSpawner(soonest)) {
            const size_t before = circles.size();
            spawnNext(stem);
            if (circles.size() > before && deadline(circles.back()) < soonest) {
                soonest = deadline(circles.back());
                which   = circles.size() - 1;
            }
        }
        if (which == kNone) break;
        expire(which, soonest);
        applyLayerRules(soonest);
    }
}

double Judge::deadline(const Circle& circle) const {
    const double hold = circle.holdDuration;
    if (circle.channel != kHoldChannel) return circle.judged ? kNever : circle.time + hold;
    if (circle.holders.empty()) return circle.judged || circle.holdDone ? kNever : circle.time + hold;
    const double removal = circle.time + std::min(hold + kHoldOverrun, 2.0 * hold);
    if (circle.holdDone) return removal;
    return std::min(std::max(circle.heldFrom, circle.time) + hold, removal);
}

void Judge::expire(size_t index, double at) {
    Circle&      circle = circles[index];
    const double hold   = circle.holdDuration;
    if (circle.channel == kHoldChannel && !circle.holders.empty()) {
        const double completes = std::max(circle.heldFrom, circle.time) + hold;
        if (!circle.holdDone && completes <= at) {
            circle.holdDone = true;
            circle.heldTime = circle.holdDuration;
            addScore(kHoldPoints);
            countHit();
            return;
        }
        // Held on past the end; a short hold may be held twice its length without a miss.
        if (hold + kHoldOverrun <= 2.0 * hold) missAt(circle);
    }
    removeCircle(index);
}

void Judge::removeCircle(size_t index) {
    const auto position = static_cast<int32_t>(index);
    Circle&    circle   = circles[index];
    if (!circle.judged && !circle.holdDone) missAt(circle);
    circles.erase(circles.begin() + static_cast<std::ptrdiff_t>(index));
    forgetCircle(pointerHolds, position);
    forgetCircle(keyHolds, position);
}

// Judged taps and released holds have nothing left to earn.
void Judge::removeSetAside() {
    for (size_t i = circles.size(); i-- > 0;) {
        const Circle& circle = circles[i];
        const bool    done   = circle.channel == kHoldChannel ? circle.judged && circle.holders.empty() : circle.judged;
        if (done) removeCircle(i);
    }
}

// ---- Spawning: one cursor per stem, each note visited once ----

bool Judge::settle(RunStem& run) {
    const JudgeStem& stem = run.stem;
    if (!stem.charted) return false;
    for (;;) {
        if (run.next.index >= stem.events.size()) {
            if (stem.loopSeconds <= 0.0) return false;
            ++run.next.pass;
            run.next.index = 0;
        }
        if (spawns(stem.events[run.next.index], stem.loopSeconds)) return true;
        ++run.next.index;
    }
}

double Judge::spawnTime(const RunStem& run) {
    const MidiNoteEvent& event = run.stem.events[run.next.index];
    return event.time + static_cast<double>(run.next.pass) * run.stem.loopSeconds - kSpawnLead;
}

int32_t Judge::nextSpawner(double before) {
    int32_t earliest = -1;
    double  soonest  = before;
    for (size_t i = 0; i < stems.size() && i <= static_cast<size_t>(kLastVisualStem); ++i) {
        RunStem& run = stems[i];
        if (!run.active || !settle(run)) continue;
        const double at = spawnTime(run);
        if (at < soonest) {
            soonest  = at;
            earliest = static_cast<int32_t>(i);
        }
    }
    return earliest;
}

// Two note-ons of one pitch a few milliseconds apart are one circle.
void Judge::spawnNext(int32_t stemIndex) {
    RunStem&             run        = stems[static_cast<size_t>(stemIndex)];
    const MidiNoteEvent& event      = run.stem.events[run.next.index];
    const double         circleTime = spawnTime(run) + kSpawnLead;
    ++run.next.index;
    const auto last = run.lastCircleTime.find(event.note);
    if (last != run.lastCircleTime.end() && std::abs(last->second - circleTime) < kDuplicateWindow) return;
    run.lastCircleTime[event.note] = circleTime;
    if (circles.size() >= kMaxCircles) return;
    spawnCircle(event, stemIndex, circleTime, width, height);
}

void Judge::spawnCircle(const MidiNoteEvent& event, int32_t stemIndex, double circleTime, int32_t width,
                        int32_t height) {
    Circle circle;
    circle.x            = static_cast<float>(event.note * width) * 0.0078125f;
    circle.y            = playfieldY(event.velocity, height);
    circle.radius       = kSpawnRadius;
    circle.targetRadius = kTargetRadius;
    const bool   hold   = event.channel == kHoldChannel;
    const double length = std::isfinite(event.duration) && event.duration > 0.0 ? event.duration : 0.0;
    circle.holdDuration = hold ? static_cast<float>(length) : kTapLinger;
    circle.active       = true;
    circle.time         = circleTime;
    circle.note         = event.note;
    circle.stemIndex    = stemIndex;
    circle.channel      = event.channel;
    if (keyboardGameplay) {
        const KeyColumn& column = columnFor(event.note);
        const int        row    = velocityRow(event.velocity);
        circle.key              = column.keys[row];
        circle.label            = column.labels[row];
    }
    circles.push_back(std::move(circle));
}

// A stem fading in gives circles to the notes from just before this moment on;
// the notes that already had their turn never get a second one.
void Judge::activate(int32_t stemIndex, double at) {
    RunStem&     run   = stems[static_cast<size_t>(stemIndex)];
    const double from  = at - kLateSpawnSlack;
    const double loop  = run.stem.loopSeconds;
    Cursor       start;
    double       local = from;
    if (loop > 0.0 && from > 0.0) {
        start.pass = static_cast<int64_t>(std::floor(from / loop));
        local      = from - static_cast<double>(start.pass) * loop;
    }
    const auto& events = run.stem.events;
    start.index        = static_cast<size_t>(
        std::lower_bound(events.begin(), events.end(), local,
                         [](const MidiNoteEvent& event, double time) { return event.time < time; }) -
        events.begin());
    if (start.pass > run.next.pass || (start.pass == run.next.pass && start.index > run.next.index)) run.next = start;
    run.active = true;
}

// ---- The layer rules, after every judged moment ----

void Judge::applyLayerRules(double at) {
    const auto count = static_cast<int32_t>(stems.size());
    if (combo - comboAtLastUnlock >= layers * comboPerLayer && layers < maxLayers) {
        if (layers < count) {
            const auto silent = std::find_if(stems.begin(), stems.end(), [](const RunStem& run) { return !run.active; });
            if (silent != stems.end()) {
                const auto index = static_cast<int32_t>(silent - stems.begin());
                activate(index, at);
                layerChanges.push_back({index, true});
                layers += 1;
                highestLayer = std::max(highestLayer, layers);
            }
        }
        comboAtLastUnlock = combo;
    }
    if (misses >= missLimit && layers > 1) {
        const auto newest = std::find_if(stems.rbegin(), stems.rend(), [](const RunStem& run) { return run.active; });
        if (newest != stems.rend()) {
            const auto index = static_cast<int32_t>(stems.rend() - newest) - 1;
            newest->active   = false;
            layerChanges.push_back({index, false});
            layers -= 1;
            if (logRules)
                std::cout << "Deactivated stem " << index + 1 << "/" << count << " (" << newest->stem.name << ")"
                          << std::endl;
        }
        misses = 0;
    }
    multiplier = (static_cast<float>(combo) * 0.1f + 1.0f) * static_cast<float>(layers);
}

// ---- Inputs ----

void Judge::feed(const JudgeInput& input) {
    const int64_t us = std::max(input.us, frontierUs);
    advanceTo(us);
    recorded.push_back(input);
    recorded.back().us = us;
    const double at    = static_cast<double>(us) * 1e-6;
    judgeInput(input, at);
    removeSetAside();
    applyLayerRules(at);
}

void Judge::judgeInput(const JudgeInput& input, double at) {
    switch (input.kind) {
    case InputKind::Resize:
        if (input.x >= 1.0f && input.y >= 1.0f && input.x <= 1e5f && input.y <= 1e5f) {
            width  = static_cast<int32_t>(input.x);
            height = static_cast<int32_t>(input.y);
        }
        return;
    case InputKind::Key:
        if (!keyboardGameplay) return;
        if (input.press) {
            judgeKeyPress(input.id, at);
        } else if (const int32_t* held = findHold(InputKind::Key, input.id)) {
            judge(*held, InputKind::Key, input.id, false, at);
        }
        return;
    case InputKind::Touch:
    case InputKind::Mouse:
        if (input.press) {
            const int32_t index = hitTest(input.x, input.y, at);
            if (index != -1) judge(index, input.kind, input.id, true, at);
        } else if (const int32_t* held = findHold(input.kind, input.id)) {
            judge(*held, input.kind, input.id, false, at);
        }
        return;
    }
}

// A key that finds no circle of its own breaks the combo, as a hold pressed
// out of its window does: mashing must never pay.
void Judge::judgeKeyPress(uint64_t key, double at) {
    const auto code  = static_cast<int32_t>(key);
    const auto found = std::find_if(circles.begin(), circles.end(), [&](const Circle& circle) {
        return circle.key == code && hittable(circle, at);
    });
    if (found != circles.end() && !keyHolds.contains(code)) {
        judge(static_cast<int32_t>(found - circles.begin()), InputKind::Key, key, true, at);
        return;
    }
    combo             = 0;
    comboAtLastUnlock = 0;
    ++stats.strays;
}

// Both edges at the press's own moment: not more than the earliest press ahead
// of the note, and not after the circle would have expired unpressed.
bool Judge::hittable(const Circle& circle, double at) const {
    return circle.active && !circle.judged && circle.time - at <= kEarliestPress &&
           at - circle.time <= circle.holdDuration;
}

int32_t Judge::hitTest(float x, float y, double at) const {
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

void Judge::judge(int32_t index, InputKind kind, uint64_t id, bool press, double at) {
    if (index < 0 || index >= static_cast<int32_t>(circles.size())) {
        dropHold(kind, id);
        return;
    }
    if (press) judgePress(index, kind, id, at);
    else judgeHoldRelease(index, kind, id, at);
}

void Judge::judgePress(int32_t index, InputKind kind, uint64_t id, double at) {
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
    if (circle.holders.empty()) circle.heldFrom = at;
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

void Judge::judgeHoldRelease(int32_t index, InputKind kind, uint64_t id, double at) {
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

    // The held span counts from the note (a late press is credited from it), capped at the note's length.
    if (circle.holdDone) {
        setAside(circle);
        return;
    }
    const double held = std::clamp(at - circle.time, 0.0, static_cast<double>(circle.holdDuration));
    circle.heldTime   = static_cast<float>(held);
    say(touch, "Not held successfully");
    if (held >= circle.holdDuration - kReleaseTolerance) {
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

void Judge::awardPress(const Circle& circle, double at) {
    const double accuracy = std::clamp(1.0 - std::abs(circle.time - at), 0.0, 1.0);
    addScore(timingFactor(accuracy) * pitchPoints(circle.note) * tierFactor(accuracy));
    countHit();
    markTier(circle, stats.countPress(at - circle.time));
}

void Judge::countHit() {
    combo += 1;
    highestCombo = std::max(highestCombo, combo);
    misses       = 0;
}

// A long run at eight layers can pass the largest int32; the score stops there.
void Judge::addScore(int32_t points) {
    const auto added = saturate(std::trunc(static_cast<double>(static_cast<float>(points) * multiplier)));
    score            = saturate(static_cast<double>(score) + added);
    if (score > highScore) {
        highScore = score;
        if (logRules) std::cout << "High score updated: " << highScore << "\n";
    }
    if (logRules) std::cout << "Score added: " << added << " (Total: " << score << ")" << std::endl;
}

void Judge::missAt(const Circle& circle) {
    registerMiss();
    markTier(circle, Tier::Miss);
}

void Judge::markTier(const Circle& circle, Tier tier) { tierMarks.push_back({circle.x, circle.y, tier, 0.0f}); }

void Judge::registerMiss() {
    stats.countMiss();
    misses += 1;
    combo             = 0;
    comboAtLastUnlock = 0;
    if (logRules) std::cout << "Miss registered (" << misses << "/" << missLimit << ")" << std::endl;
}

void Judge::say(bool touch, const char* message) const {
    if (touch && logRules) std::cerr << message << std::endl;
}

const int32_t* Judge::findHold(InputKind kind, uint64_t id) const {
    if (kind == InputKind::Key) {
        const auto found = keyHolds.find(static_cast<int32_t>(id));
        return found == keyHolds.end() ? nullptr : &found->second;
    }
    const auto found = pointerHolds.find(id);
    return found == pointerHolds.end() ? nullptr : &found->second;
}

void Judge::setHold(InputKind kind, uint64_t id, int32_t index) {
    if (kind == InputKind::Key) keyHolds[static_cast<int32_t>(id)] = index;
    else pointerHolds[id] = index;
}

void Judge::dropHold(InputKind kind, uint64_t id) {
    if (kind == InputKind::Key) keyHolds.erase(static_cast<int32_t>(id));
    else pointerHolds.erase(id);
}
