// The results screen after a run: score and best, presses per tier and misses,
// accuracy, highest combo and layer, the run's time, and the histogram of hit
// errors over the tier bands with its median and spread. "Retry" plays the
// level again, "Menu" goes back, "Use this offset" moves the audio offset by
// the run's median error. The run was saved before this screen appeared.
#include "app/App.h"

#include "game/Calibration.h"
#include "persistence/Prefs.h"
#include "ui/Gui.h"
#include "ui/Widgets.h"
#include "ui/UISystem.h"

#include <imgui.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>

namespace {

constexpr PanelLayout kResultsLayout{"RESULTS", 0.3f, 1.0f, "##ResultsPanel", 60.0f, 0.75f, 40.0f};
constexpr int32_t     kPressesForOffset = 20;
constexpr double      kHistogramSpan    = kHistogramBins * kHistogramBinSec;  // seconds, early to late
const ImVec4          kGold(1.0f, 0.85f, 0.0f, 1.0f);
const ImVec4          kLabel(0.8f, 0.8f, 0.9f, 1.0f);
const ImVec4          kGreen(0.0f, 1.0f, 0.5f, 1.0f);

// The tier windows behind the bars: perfect within 0.1 s, great within 0.25 s.
struct Band {
    double within;
    ImU32  colour;
};
constexpr Band kBands[] = {{0.25, IM_COL32(0, 230, 120, 40)}, {0.1, IM_COL32(255, 215, 0, 50)}};

void line(const ImVec4& colour, const char* format, auto... values) { ImGui::TextColored(colour, format, values...); }

void drawNumbers(const RunSummary& run) {
    ImGui::PushFont(scoreFont, scoreFont->LegacySize);
    line(kGold, "Score: %d", run.score);
    ImGui::SameLine();
    line(run.newBest ? kGreen : kLabel, run.newBest ? "Best: %d  New best!" : "Best: %d", run.best);
    ImGui::PopFont();
    drawSpacer(10.0f);
    line(kLabel, "Perfect %d    Great %d    Good %d    Miss %d    Stray presses %d", run.stats.count(Tier::Perfect),
         run.stats.count(Tier::Great), run.stats.count(Tier::Good), run.stats.count(Tier::Miss), run.stats.strays);
    line(kLabel, "Accuracy %.1f %%    Highest combo %d    Highest layer %d    Time %d:%02d", run.accuracy() * 100.0,
         run.highestCombo, run.highestLayer, static_cast<int>(run.seconds) / 60, static_cast<int>(run.seconds) % 60);
    line(kLabel, "Hit error: median %+.0f ms, spread %.0f ms (%d presses)", median(run.stats.hitErrors) * 1000.0,
         standardDeviation(run.stats.hitErrors) * 1000.0, run.presses());
}

// Early on the left, late on the right; the middle line is on time.
void drawHistogram(const RunSummary& run, float height) {
    const float  width  = ImGui::GetContentRegionAvail().x;
    const ImVec2 origin = ImGui::GetCursorScreenPos();
    ImGui::Dummy(ImVec2(width, height));
    ImDrawList* list = ImGui::GetWindowDrawList();
    const auto  xAt  = [&](double error) {
        return origin.x + width * static_cast<float>(std::clamp(error / kHistogramSpan + 0.5, 0.0, 1.0));
    };
    const float bottom = origin.y + height;
    for (const Band& band : kBands)
        list->AddRectFilled(ImVec2(xAt(-band.within), origin.y), ImVec2(xAt(band.within), bottom), band.colour);
    const auto  bins     = run.stats.histogram();
    const int   tallest  = std::max(1, *std::max_element(bins.begin(), bins.end()));
    const float binWidth = width / kHistogramBins;
    for (int i = 0; i < kHistogramBins; ++i) {
        if (bins[static_cast<size_t>(i)] == 0) continue;
        const float top =
            bottom - height * 0.95f * static_cast<float>(bins[static_cast<size_t>(i)]) / static_cast<float>(tallest);
        list->AddRectFilled(ImVec2(origin.x + i * binWidth + 1.0f, top),
                            ImVec2(origin.x + (i + 1) * binWidth - 1.0f, bottom), IM_COL32(90, 160, 255, 255));
    }
    list->AddLine(ImVec2(xAt(0.0), origin.y), ImVec2(xAt(0.0), bottom), IM_COL32(255, 255, 255, 160));
    list->AddText(ImVec2(origin.x, bottom + 4.0f), IM_COL32(200, 200, 220, 255), "-200 ms (early)");
    const char* late = "+200 ms (late)";
    list->AddText(ImVec2(origin.x + width - ImGui::CalcTextSize(late).x, bottom + 4.0f), IM_COL32(200, 200, 220, 255),
                  late);
    ImGui::Dummy(ImVec2(width, ImGui::GetTextLineHeight()));
}

// The run's median moves the offset once: the next run measures against the new one.
bool runOffsetUsed = false;

void useRunOffset(App& app) {
    const double moved = app.game.audioOffset + median(app.lastRun.stats.hitErrors);
    const auto   ms    = std::clamp(static_cast<int32_t>(std::lround(moved * 1000.0)), Prefs::kLowestAudioOffsetMs,
                                    Prefs::kHighestAudioOffsetMs);
    {
        std::lock_guard<std::mutex> lock(gameStateMutex);
        app.game.audioOffset = ms / 1000.0;
    }
    Prefs::saveAudioOffsetMs(ms);
    runOffsetUsed = true;
}

// Under the numbers: what "Use this offset" did, or why it cannot.
void drawOffsetLine(const App& app) {
    if (runOffsetUsed) {
        line(kGreen, "Audio offset is now %+.0f ms", app.game.audioOffset * 1000.0);
    } else if (app.lastRun.presses() < kPressesForOffset) {
        line(kLabel, "An offset needs at least %d presses", kPressesForOffset);
    }
}

}  // namespace

void drawResultsPanel(App& app) {
    beginPanel(kResultsLayout);
    beginContentBox("ResultsContent", true, false);
    pushFont(defaultFont);
    drawNumbers(app.lastRun);
    drawOffsetLine(app);
    drawSpacer(20.0f);
    drawHistogram(app.lastRun, std::max(80.0f, ImGui::GetContentRegionAvail().y - 60.0f * uiScale));
    ImGui::PopFont();
    endContentBox(true);

    const float s = uiScale, w = kButtonWidth * s, h = kButtonHeight * s, gap = 40.0f * s;
    spaceAboveButtons(h);
    ImGui::SetCursorPosX((ImGui::GetWindowWidth() - (3.0f * w + 2.0f * gap)) * 0.5f);
    const bool retry = drawNormalButton("##results_retry", w, h, "Retry");
    ImGui::SameLine(0.0f, gap);
    const bool menu = drawNormalButton("##results_menu", w, h, "Menu");
    ImGui::SameLine(0.0f, gap);
    ImGui::BeginDisabled(runOffsetUsed || app.lastRun.presses() < kPressesForOffset);
    const bool useOffset = drawNormalButton("##results_offset", w, h, "Use this offset");
    ImGui::EndDisabled();
    ImGui::End();
    if (useOffset && !runOffsetUsed) useRunOffset(app);
    if (retry || menu) {
        app.showResults = false;
        runOffsetUsed   = false;
    }
    if (retry) app.startSelectedLevel();
}
