// The calibration screen, reached from the settings: our click track at 100 BPM
// through the mixer, and the player's taps on the clicks (Space, or a click or
// touch on the box). Each tap is placed on the click voice's clock at its own
// SDL stamp; the maths is game/Calibration's. "Apply" keeps the offset found.
#include "app/App.h"

#include "audio/ClickTrack.h"
#include "audio/Sound.h"
#include "base/Log.h"
#include "game/Calibration.h"
#include "persistence/Prefs.h"
#include "ui/Gui.h"
#include "ui/Widgets.h"
#include "ui/UISystem.h"

#include <SDL3/SDL.h>
#include <imgui.h>

#include <cmath>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {

constexpr PanelLayout kCalibrationLayout{"CALIBRATION", 0.45f, 1.0f, "##CalibrationPanel", 60.0f, 0.75f, 40.0f};
constexpr int32_t     kSpaceKey   = 32;
constexpr double      kBeat       = 60.0 / kCalibrationBpm;
constexpr double      kFlashBeats = 0.15;  // the beat lamp is lit for this share of a beat
const ImVec4          kRefused(1.0f, 0.35f, 0.3f, 1.0f);
const ImVec4          kHint(0.8f, 0.8f, 0.9f, 1.0f);

struct Listening {
    Sound               click;
    uint32_t            voice = 0;  // 0: the clicks are not playing
    std::vector<double> errors;     // seconds, each tap against its nearest click
    CalibrationResult   result;
};
Listening listening;

void startClicks(App& app) {
    if (listening.click.frameCount() == 0 && !makeClickTrack(listening.click, kCalibrationBpm)) return;
    {
        std::lock_guard<std::mutex> lock(gameStateMutex);
        app.audio.stopAll();
    }
    listening.voice = app.audio.engine.play(listening.click);
    listening.errors.clear();
    listening.result = CalibrationResult{};
    base::logInfo("Calibration click track started");
}

void stopClicks(App& app) {
    std::lock_guard<std::mutex> lock(gameStateMutex);
    app.audio.stopAll();
    listening.voice = 0;
}

void takeTap(App& app, uint64_t stampNs) {
    uint64_t     readNs = 0;
    const double clock  = playbackTimeNow(app.audio.engine, listening.voice, readNs);
    listening.errors.push_back(tapError(clockAtStamp(clock, readNs, stampNs), kBeat));
    listening.result = calibrate(listening.errors);
    if (!listening.result.ready) return;
    base::logInfo("Calibration: offset %+.1f ms, spread %.1f ms, %d of %zu taps kept", listening.result.offset * 1000.0,
                  listening.result.spread * 1000.0, listening.result.kept, listening.errors.size());
}

// The lamp lights on each click as the clock plays it, uncorrected.
void drawBeatLamp(App& app) {
    const double clock = app.audio.engine.getPlaybackTime(listening.voice);
    const bool   lit   = std::fmod(clock, kBeat) < kBeat * kFlashBeats;
    const float  r     = 40.0f * uiScale;
    ImGui::SetCursorPosX((ImGui::GetWindowWidth() - 2.0f * r) * 0.5f);
    const ImVec2 corner = ImGui::GetCursorScreenPos();
    ImGui::Dummy(ImVec2(2.0f * r, 2.0f * r));
    ImGui::GetWindowDrawList()->AddCircleFilled(ImVec2(corner.x + r, corner.y + r), r,
                                                lit ? IM_COL32(255, 220, 0, 255) : IM_COL32(60, 60, 80, 255));
}

void drawVerdict() {
    char line[128];
    std::snprintf(line, sizeof(line), "Taps: %zu (at least %d)", listening.errors.size(), kCalibrationTaps);
    drawTextCentred(line, kHint);
    const CalibrationResult& result = listening.result;
    if (!result.ready) return;
    drawSpacer(10.0f);
    if (result.accepted) {
        std::snprintf(line, sizeof(line), "Offset: %+.0f ms    Spread: %.1f ms", result.offset * 1000.0,
                      result.spread * 1000.0);
        drawTextCentred(line, kGreen);
    } else if (!mostTapsKept(result.kept, listening.errors.size())) {
        std::snprintf(line, sizeof(line), "Only %d of %zu taps kept time with the others; three in four must. Please try again.",
                      result.kept, listening.errors.size());
        drawTextCentred(line, kRefused);
    } else {
        std::snprintf(line, sizeof(line), "Your taps spread %.0f ms, more than %.0f ms. Please try again.",
                      result.spread * 1000.0, kCalibrationMaxSpread * 1000.0);
        drawTextCentred(line, kRefused);
    }
}

void applyOffset(App& app) {
    const auto offsetMs = static_cast<int32_t>(std::lround(listening.result.offset * 1000.0));
    {
        std::lock_guard<std::mutex> lock(gameStateMutex);
        app.game.audioOffset = offsetMs / 1000.0;
    }
    Prefs::saveAudioOffsetMs(offsetMs);
}

}  // namespace

void drawCalibrationPanel(App& app) {
    if (listening.voice == 0) startClicks(app);
    beginPanel(kCalibrationLayout);
    beginContentBox("CalibrationContent", true, false);
    pushFont(defaultFont);
    drawTextCentred("Tap Space, click or touch here on every click you hear.", kHint);
    drawSpacer(30.0f);
    drawBeatLamp(app);
    drawSpacer(30.0f);
    drawVerdict();
    ImGui::PopFont();
    const bool overBox = ImGui::IsWindowHovered(ImGuiHoveredFlags_ChildWindows);
    endContentBox(true);
    if (app.input.keysPressed.contains(kSpaceKey)) takeTap(app, app.input.keysPressed.at(kSpaceKey));
    if (app.input.mousePressed() && overBox) takeTap(app, app.input.mouseDownAt);

    const float s = uiScale, w = kButtonWidth * s, h = kButtonHeight * s, gap = 40.0f * s;
    spaceAboveButtons(h);
    ImGui::SetCursorPosX((ImGui::GetWindowWidth() - (3.0f * w + 2.0f * gap)) * 0.5f);
    const bool back = drawNormalButton("##calibration_back", w, h, "Back");
    ImGui::SameLine(0.0f, gap);
    if (drawNormalButton("##calibration_again", w, h, "Try again")) {
        listening.errors.clear();
        listening.result = CalibrationResult{};
    }
    ImGui::SameLine(0.0f, gap);
    ImGui::BeginDisabled(!listening.result.accepted);
    const bool apply = drawNormalButton("##calibration_apply", w, h, "Apply");
    ImGui::EndDisabled();
    ImGui::End();
    if (apply) applyOffset(app);
    if (back || apply) {
        stopClicks(app);
        app.showCalibration = false;
    }
}
