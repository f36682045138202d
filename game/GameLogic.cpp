#include "game/GameLogic.h"

#include "app/App.h"
#include "net/HttpDatabase.h"
#include "render/RenderState.h"

#include <algorithm>
#include <cmath>

std::unordered_map<uint64_t, int32_t> pointerHolds;
std::unordered_map<int32_t, int32_t>  keyHolds;

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

constexpr double  kSpawnLead       = 1.0;    // a circle appears this long before its note
constexpr double  kLateSpawnSlack  = 0.001;  // a note this far past still gets its circle
constexpr double  kDuplicateWindow = 0.01;
constexpr int32_t kLastVisualStem  = 7;
constexpr float   kSpawnRadius     = 40.0f;
constexpr float   kGrowFromRadius  = 20.0f;
constexpr float   kTargetRadius    = 100.0f;
constexpr float   kTapLinger       = 0.2f;
constexpr double  kReachWindow     = 0.1;
constexpr float   kHoldOverrun     = 0.3f;   // holding on longer than this past the end is a miss
constexpr float   kVanishedRadius  = 5.0f;

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

template <typename Table>
void forgetCircle(Table& table, int32_t index) {
    std::erase_if(table, [index](const auto& entry) { return entry.second == index; });
    for (auto& entry : table)
        if (entry.second > index) --entry.second;
}

}  // namespace

void GameLogic::reset(int32_t layerCap) {
    score             = 0;
    combo             = 0;
    highestCombo      = 0;
    layers            = 1;
    maxLayers         = layerCap;
    highestLayer      = 1;
    inGame            = false;
    multiplier        = 1.0f;
    playerName        = "Player 1";
    keyboardGameplay  = false;
    clearCircles();
    comboPerLayer     = 5;
    missLimit         = 3;
    misses            = 0;
    comboAtLastUnlock = 0;
}

void GameLogic::newRun() {
    layers       = 1;
    score        = 0;
    combo        = 0;
    highestCombo = 0;
    highestLayer = 1;
    inGame       = false;
    multiplier   = 1.0f;
    // Until the fetched best arrives, a best of the previous level must not stand
    // (a run saved before the answer would claim it).
    highScore = 0;
    // The answer comes on a worker thread, maybe after the App is gone: it only
    // posts into the shared box, which the frame loop empties.
    const uint64_t run = ++runNumber;
    HttpDatabase::getPlayerScoreAsync(levelName, playerName, [box = fetchedBestScores, run](int best) {
        box->post({run, best});
    });
    clearCircles();
    misses            = 0;
    comboAtLastUnlock = 0;
}

void GameLogic::takeFetchedBestScore() {
    for (const FetchedBestScore& fetched : fetchedBestScores->takeAll()) {
        // A late answer for an earlier run is dropped; one that comes after this
        // run's score passed it does not lower the best below the score.
        if (fetched.run == runNumber) highScore = std::max(fetched.score, score);
    }
}

// An input still holding a circle would otherwise keep an index into the new list.
void GameLogic::clearCircles() {
    circles.clear();
    pointerHolds.clear();
    keyHolds.clear();
}

void GameLogic::setNoteCallback() {
    noteCallback = [](const MidiNoteEvent& event, RenderState* render) {
        if (render) render->pulseStem(event);
    };
}

void GameLogic::update(RenderState& render, App& app) {
    triggeredEvents.clear();
    const AudioSystem& audio = app.audio;
    if (!audio.playing) return;

    const double  t = streamTime;
    const int32_t w = render.width;
    const int32_t h = render.height;
    for (const Stem& stem : audio.stems) {
        if (!stem.active || !stem.midi.loaded || stem.index > kLastVisualStem) continue;
        const double length    = stem.midi.lengthSeconds;
        const bool   loops     = audio.looping && length > 0.0;
        const double position  = loops ? std::fmod(t, length) : 0.0;
        const auto   stemIndex = static_cast<int32_t>(stem.index);
        for (const MidiNoteEvent& event : stem.midi.events) {
            if (!event.isNoteOn || event.velocity == 0) continue;
            double lead       = event.time - t;
            double circleTime = event.time;
            if (loops) {
                // The note's place in the current pass of the loop, or the next one.
                lead = event.time - position;
                if (lead < -kLateSpawnSlack) lead += length;
                circleTime = t + lead;
            }
            if (!(lead >= -kLateSpawnSlack && lead <= kSpawnLead)) continue;  // NaN times spawn nothing
            if (!isDuplicate(stemIndex, event.note, circleTime))
                spawnCircle(event, stemIndex, circleTime, w, h);
        }
    }
}

bool GameLogic::isDuplicate(int32_t stemIndex, int32_t note, double circleTime) const {
    return std::any_of(circles.begin(), circles.end(), [&](const Circle& circle) {
        return circle.stemIndex == stemIndex && circle.note == note &&
               std::abs(circle.time - circleTime) < kDuplicateWindow;
    });
}

void GameLogic::spawnCircle(const MidiNoteEvent& event, int32_t stemIndex, double circleTime,
                            int32_t width, int32_t height) {
    Circle circle;
    circle.x            = static_cast<float>(event.note * width) * 0.0078125f;
    circle.y            = static_cast<float>(height * event.velocity) * 0.0078125f;
    circle.radius       = kSpawnRadius;
    circle.targetRadius = kTargetRadius;
    circle.holdDuration = event.channel == kHoldChannel ? static_cast<float>(event.duration) : kTapLinger;
    circle.active       = true;
    circle.time         = circleTime;
    circle.note         = event.note;
    circle.stemIndex    = stemIndex;
    circle.channel      = event.channel;
    if (keyboardGameplay) {
        const KeyColumn& column = columnFor(event.note);
        const int        row    = velocityRow(event.velocity);
        circle.key   = column.keys[row];
        circle.label = column.labels[row];
    }
    circles.push_back(std::move(circle));
}

void GameLogic::updateCircles(float dt) {
    for (size_t i = 0; i < circles.size();) {
        Circle&      circle = circles[i];
        const double untilNote = circle.time - streamTime;
        bool         timed     = true;
        if (!circle.reached) {
            if (untilNote > -kReachWindow && untilNote <= 0.0) {
                circle.reached = true;
            } else {
                const float progress = std::clamp(1.0f - static_cast<float>(untilNote), 0.0f, 1.0f);
                circle.radius = kGrowFromRadius + progress * (circle.targetRadius - kGrowFromRadius);
                timed = false;
            }
        }
        if (timed && !circle.holders.empty()) {
            circle.heldTime += dt;
            if (!circle.holdDone && circle.heldTime >= circle.holdDuration) {
                circle.holdDone = true;
                addScore(kHoldPoints);
                countHit();
            }
        }
        if (leavesList(circle)) removeCircle(i);
        else ++i;
    }
}

bool GameLogic::leavesList(Circle& circle) {
    const double late = streamTime - circle.time;
    const float  hold = circle.holdDuration;
    if (circle.channel != kHoldChannel) return late > hold || circle.radius <= kVanishedRadius;

    if (circle.holders.empty() && (circle.holdDone || late > hold)) return true;
    const float overrun = hold + kHoldOverrun;
    if (late > overrun || late > 2.0f * hold) {
        if (!circle.holders.empty() && late > overrun) registerMiss();
        return true;
    }
    return false;
}

void GameLogic::removeCircle(size_t index) {
    const auto position = static_cast<int32_t>(index);
    Circle&    circle   = circles[index];
    circle.holders.clear();
    if (!circle.judged && circle.reached && !circle.holdDone) registerMiss();
    circles.erase(circles.begin() + static_cast<std::ptrdiff_t>(index));
    forgetCircle(pointerHolds, position);
    forgetCircle(keyHolds, position);
}
