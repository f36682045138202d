#include "game/GameLogic.h"

#include "audio/AudioSystem.h"
#include "leaderboard/LeaderboardDocument.h"
#include "net/HttpDatabase.h"
#include "render/RenderState.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

constexpr double kSpawnLead       = 1.0;    // a circle appears this long before its note
constexpr double kLateSpawnSlack  = 0.001;  // a note this far past still gets its circle
constexpr double kDuplicateWindow = 0.01;
// A spawned note is forgotten once its circle time is this far behind the clock,
// well outside the window even if the clock is pulled back a little.
constexpr double  kSpawnedMemory  = 2.0;
constexpr int32_t kLastVisualStem = 7;
constexpr float   kSpawnRadius    = 40.0f;
constexpr float   kGrowFromRadius = 20.0f;
constexpr float   kTargetRadius   = 100.0f;
constexpr float   kTapLinger      = 0.2f;
constexpr double  kReachWindow    = 0.1;
constexpr float   kHoldOverrun    = 0.3f;  // holding on longer than this past the end is a miss
constexpr float   kVanishedRadius = 5.0f;

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

// The band at the top of the window the HUD (layer bar, score window, exit
// button) takes at 1080 pixels; no ring may reach into it.
constexpr float kHudBand = 150.0f;

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

int32_t wholeSeconds(double seconds) {
    const double truncated = std::trunc(seconds);
    if (!(truncated > 0.0)) return 0;
    return truncated >= std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                            : static_cast<int32_t>(truncated);
}

template <typename Table>
void forgetCircle(Table& table, int32_t index) {
    std::erase_if(table, [index](const auto& entry) { return entry.second == index; });
    for (auto& entry : table)
        if (entry.second > index) --entry.second;
}

}  // namespace

void GameLogic::reset(int32_t layerCap) {
    score            = 0;
    combo            = 0;
    highestCombo     = 0;
    layers           = 1;
    maxLayers        = layerCap;
    highestLayer     = 1;
    inGame           = false;
    multiplier       = 1.0f;
    playerName       = "Player 1";
    keyboardGameplay = false;
    clearCircles();
    comboPerLayer     = kComboPerLayer;
    missLimit         = kMissLimit;
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
    stats.clear();
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

// The stream clock has run since the stems started, loops included: the run's time.
RunSummary GameLogic::summarize() const {
    RunSummary summary;
    summary.stats        = stats;
    summary.score        = score;
    summary.best         = highScore;
    summary.newBest      = score > 0 && score >= highScore;
    summary.highestCombo = highestCombo;
    summary.highestLayer = highestLayer;
    summary.seconds      = streamTime;
    return summary;
}

void GameLogic::takeFetchedBestScore() {
    for (const FetchedBestScore& fetched : fetchedBestScores->takeAll()) {
        // A late answer for an earlier run is dropped; one that comes after this
        // run's score passed it does not lower the best below the score.
        if (fetched.run == runNumber) highScore = std::max(fetched.score, score);
    }
}

// Out of the layers this level can reach: its stems, within the cap.
int32_t GameLogic::layersOfLevel() const { return levelStems > 0 ? std::min(levelStems, maxLayers) : maxLayers; }

LeaderboardEntry GameLogic::leaderboardEntry() const {
    LeaderboardEntry entry;
    entry.player       = playerName;
    entry.score        = highScore;
    entry.time         = wholeSeconds(streamTime);
    entry.highestLayer = std::to_string(highestLayer) + "/" + std::to_string(layersOfLevel());
    entry.highestCombo = highestCombo;
    return entry;
}

// An input still holding a circle would otherwise keep an index into the new list.
void GameLogic::clearCircles() {
    circles.clear();
    tierMarks.clear();
    pointerHolds.clear();
    keyHolds.clear();
}

void GameLogic::setNoteCallback() {
    noteCallback = [](const MidiNoteEvent& event, RenderState* render) {
        if (render) render->pulseStem(event);
    };
}

// The fired notes are appended for whoever reads the list before the next
// update; the clock moves only when an audible stem has a chart.
void GameLogic::takeDispatch(MidiDispatch dispatch) {
    if (dispatch.clock) {
        streamTime    = *dispatch.clock;
        streamClockNs = 0;  // the tick's reading has no moment; the frame reads the clock again
    }
    triggeredEvents.insert(triggeredEvents.end(), dispatch.fired.begin(), dispatch.fired.end());
}

void GameLogic::update(RenderState& render, AudioSystem& audio) {
    triggeredEvents.clear();
    if (!audio.playing) return;
    for (Stem& stem : audio.stems) {
        if (!stem.active || !stem.midi.loaded || stem.index > kLastVisualStem) continue;
        spawnDueNotes(stem, audio.looping, render.width, render.height);
    }
}

namespace {

// A contiguous run of a stem's chart in one loop pass, with the lead of each
// note (seconds until it sounds) computed as the spawner always has: against
// the clock, or against the loop position, plus a loop length for the next pass.
struct LeadRun {
    const std::vector<MidiNoteEvent>& events;
    size_t                            begin;
    size_t                            end;
    double                            origin;  // the lead is event time - origin (+ wrap)
    double                            wrap;    // 0, or the loop length for notes of the next pass
    int64_t                           pass;

    double leadOf(size_t i) const {
        const double lead = events[i].time - origin;
        return wrap > 0.0 ? lead + wrap : lead;
    }
    // The first note of the run with a lead of at least `lead`; leads only grow
    // along the run, the chart being sorted by time.
    size_t firstWithLead(double lead) const {
        size_t low = begin, high = end;
        while (low < high) {
            const size_t mid = low + (high - low) / 2;
            if (leadOf(mid) < lead) low = mid + 1;
            else high = mid;
        }
        return low;
    }
};

bool wasSpawned(const StemMidi& midi, int64_t pass, size_t event) {
    return std::any_of(midi.spawnedNotes.begin(), midi.spawnedNotes.end(),
                       [&](const SpawnedNote& note) { return note.pass == pass && note.event == event; });
}

}  // namespace

// Every note of the stem at most one second ahead and at most a millisecond
// late gets its circle once: a note remembers that it had its turn, so a circle
// judged and removed at once is never replaced by a fresh one. Only the runs of
// the chart inside the window are visited.
void GameLogic::spawnDueNotes(Stem& stem, bool looping, int32_t width, int32_t height) {
    StemMidi&    midi   = stem.midi;
    const double t      = streamTime;
    const double length = midi.lengthSeconds;
    const size_t count  = midi.events.size();
    std::erase_if(midi.spawnedNotes, [t](const SpawnedNote& note) { return note.time < t - kSpawnedMemory; });

    const auto stemIndex = static_cast<int32_t>(stem.index);
    const bool loops     = looping && length > 0.0;
    const auto visit     = [&](const LeadRun& run) {
        for (size_t i = run.firstWithLead(-kLateSpawnSlack); i < run.end; ++i) {
            const double lead = run.leadOf(i);
            if (lead > kSpawnLead) break;
            const MidiNoteEvent& event = midi.events[i];
            if (!(lead >= -kLateSpawnSlack) || !event.isNoteOn || event.velocity == 0)
                continue;  // NaN times spawn nothing
            if (wasSpawned(midi, run.pass, i)) continue;
            const double circleTime = loops ? t + lead : event.time;
            midi.spawnedNotes.push_back({run.pass, static_cast<uint32_t>(i), circleTime});
            if (!isDuplicate(stemIndex, event.note, circleTime))
                spawnCircle(event, stemIndex, circleTime, width, height);
        }
    };
    if (!loops) {
        visit(LeadRun{midi.events, 0, count, t, 0.0, 0});
        return;
    }
    // The note's place in the current pass of the loop, or, when it has just
    // passed, in the next one: the notes before the split belong to the next pass.
    const double  position = std::fmod(t, length);
    const int64_t pass     = std::llround((t - position) / length);
    const LeadRun thisPass{midi.events, 0, count, position, 0.0, pass};
    const size_t  split = thisPass.firstWithLead(-kLateSpawnSlack);
    visit(LeadRun{midi.events, 0, split, position, length, pass + 1});
    visit(LeadRun{midi.events, split, count, position, 0.0, pass});
}

// Two note-ons of one pitch a few milliseconds apart are one circle.
bool GameLogic::isDuplicate(int32_t stemIndex, int32_t note, double circleTime) const {
    return std::any_of(circles.begin(), circles.end(), [&](const Circle& circle) {
        return circle.stemIndex == stemIndex && circle.note == note &&
               std::abs(circle.time - circleTime) < kDuplicateWindow;
    });
}

void GameLogic::spawnCircle(const MidiNoteEvent& event, int32_t stemIndex, double circleTime, int32_t width,
                            int32_t height) {
    Circle circle;
    circle.x            = static_cast<float>(event.note * width) * 0.0078125f;
    circle.y            = playfieldY(event.velocity, height);
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
        circle.key              = column.keys[row];
        circle.label            = column.labels[row];
    }
    circles.push_back(std::move(circle));
}

void GameLogic::updateRun(InputManager& input, int32_t height, float dt) {
    handleInput(input, height);
    updateCircles(dt);
}

void GameLogic::updateCircles(float dt) {
    fadeTierMarks(dt);
    for (size_t i = 0; i < circles.size();) {
        Circle&      circle    = circles[i];
        const double untilNote = circle.time - heardTime();
        bool         timed     = true;
        if (!circle.reached) {
            if (untilNote > -kReachWindow && untilNote <= 0.0) {
                circle.reached = true;
            } else {
                const float progress = std::clamp(1.0f - static_cast<float>(untilNote), 0.0f, 1.0f);
                circle.radius        = kGrowFromRadius + progress * (circle.targetRadius - kGrowFromRadius);
                timed                = false;
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
    const double late = heardTime() - circle.time;
    const float  hold = circle.holdDuration;
    if (circle.channel != kHoldChannel) return late > hold || circle.radius <= kVanishedRadius;

    if (circle.holders.empty() && (circle.holdDone || late > hold)) return true;
    const float overrun = hold + kHoldOverrun;
    if (late > overrun || late > 2.0f * hold) {
        if (!circle.holders.empty() && late > overrun) missAt(circle);
        return true;
    }
    return false;
}

void GameLogic::removeCircle(size_t index) {
    const auto position = static_cast<int32_t>(index);
    Circle&    circle   = circles[index];
    circle.holders.clear();
    if (!circle.judged && circle.reached && !circle.holdDone) missAt(circle);
    circles.erase(circles.begin() + static_cast<std::ptrdiff_t>(index));
    forgetCircle(pointerHolds, position);
    forgetCircle(keyHolds, position);
}
