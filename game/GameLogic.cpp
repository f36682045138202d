#include "game/GameLogic.h"

#include "audio/AudioSystem.h"
#include "leaderboard/LeaderboardDocument.h"
#include "net/HttpDatabase.h"
#include "render/RenderState.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr float  kGrowFromRadius = 20.0f;
constexpr double kReachWindow    = 0.1;

int32_t wholeSeconds(double seconds) {
    const double truncated = std::trunc(seconds);
    if (!(truncated > 0.0)) return 0;
    return truncated >= std::numeric_limits<int32_t>::max() ? std::numeric_limits<int32_t>::max()
                                                            : static_cast<int32_t>(truncated);
}

// Heard time in whole microseconds, the replay's unit; a clock that is not a
// number yet stays at the earliest time.
int64_t wholeMicroseconds(double seconds, double rounding(double)) {
    const double us = rounding(seconds * 1e6);
    if (!std::isfinite(us)) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(std::clamp(us, -9.0e18, 9.0e18));
}

}  // namespace

void GameLogic::reset(int32_t layerCap) {
    resetRules();
    maxLayers        = layerCap;
    inGame           = false;
    playerName       = "Player 1";
    keyboardGameplay = false;
    comboPerLayer    = kComboPerLayer;
    missLimit        = kMissLimit;
}

void GameLogic::newRun() {
    resetRules();
    inGame = false;
    // Until the fetched best arrives, a best of the previous level must not stand
    // (a run saved before the answer would claim it).
    highScore = 0;
    runEndUs  = 0;
    // The answer comes on a worker thread, maybe after the App is gone: it only
    // posts into the shared box, which the frame loop empties.
    const uint64_t run = ++runNumber;
    HttpDatabase::getPlayerScoreAsync(levelName, playerName, [box = fetchedBestScores, run](int best) {
        box->post({run, best});
    });
}

// The rules take the charts and flags as the stems stand now; the audio then
// follows the rules' layer changes (updateProgress).
void GameLogic::startJudging(const AudioSystem& audio, int32_t width, int32_t height) {
    std::vector<JudgeStem> runStems;
    for (const Stem& stem : audio.stems) {
        JudgeStem judged;
        judged.events      = stem.midi.events;
        judged.name        = stem.name;
        judged.loopSeconds = audio.looping ? stem.midi.lengthSeconds : 0.0;
        judged.charted     = stem.midi.loaded;
        judged.active      = stem.active;
        runStems.push_back(std::move(judged));
    }
    JudgeSettings settings;
    settings.keyboardGameplay = keyboardGameplay;
    settings.audioOffset      = audioOffset;
    settings.width            = width;
    settings.height           = height;
    settings.comboPerLayer    = comboPerLayer;
    settings.missLimit        = missLimit;
    settings.layerCap         = maxLayers;
    beginRun(std::move(runStems), settings);
}

void GameLogic::finishJudging() {
    runEndUs = std::max(wholeMicroseconds(heardTime(), std::round), judgedUntil());
    advanceTo(runEndUs);
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

// Spawning is the rules' own (on the frame's clock); the tick only hands the
// fired notes on.
void GameLogic::update(RenderState&, AudioSystem&) { triggeredEvents.clear(); }

void GameLogic::updateRun(InputManager& input, int32_t width, int32_t height, float dt) {
    if (inGame && (width != playWidth() || height != playHeight())) {
        JudgeInput resize;
        resize.us   = judgedUntil();
        resize.kind = InputKind::Resize;
        resize.x    = static_cast<float>(width);
        resize.y    = static_cast<float>(height);
        feed(resize);
    }
    handleInput(input, height);
    updateCircles(dt);
}

void GameLogic::updateCircles(float dt) {
    advanceTo(wholeMicroseconds(heardTime() - judgeLag, std::floor));
    growCircles();
    fadeTierMarks(dt);
}

// Drawing only: the ring grows toward the target until the note is heard.
void GameLogic::growCircles() {
    for (Circle& circle : circles) {
        if (circle.reached) continue;
        const double untilNote = circle.time - heardTime();
        if (untilNote > -kReachWindow && untilNote <= 0.0) {
            circle.reached = true;
        } else {
            const float progress = std::clamp(1.0f - static_cast<float>(untilNote), 0.0f, 1.0f);
            circle.radius        = kGrowFromRadius + progress * (circle.targetRadius - kGrowFromRadius);
        }
    }
}

void GameLogic::fadeTierMarks(float dt) {
    for (TierMark& mark : tierMarks) mark.age += dt;
    std::erase_if(tierMarks, [](const TierMark& mark) { return mark.age >= kTierMarkLife; });
}
