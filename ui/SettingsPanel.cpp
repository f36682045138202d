// The settings panel: the player name (kept when the field lets go of the
// keyboard, on "Save" and on leaving, "Saved" showing a moment), the keyboard gameplay
// switch (kept at once), the audio offset with the way to its calibration and
// the music volume (kept when let go), with the way on to the credits.
#include "app/App.h"

#include "audio/AudioSystem.h"
#include "base/Log.h"
#include "game/GameLogic.h"
#include "persistence/Prefs.h"
#include "ui/Gui.h"
#include "ui/UISystem.h"
#include "ui/Widgets.h"

#include <SDL3/SDL_timer.h>
#include <imgui.h>

#include <algorithm>
#include <cstdint>
#include <cmath>
#include <mutex>
#include <string>

char playerNameBuffer[kMaxNameBytes + 1] = {};
bool playerNameBufferReady               = false;

namespace {

constexpr PanelLayout kSettingsLayout{"SETTINGS", 0.35f, 1.0f, "##SettingsPanel", 120.0f, 0.75f, -1.0f};
constexpr uint64_t    kSavedShownMs = 2000;

uint64_t nameSavedAt = 0;  // SDL ticks of the last save; 0: none yet

// The buffer holds exactly the longest name the server accepts.
void copyNameToBuffer(const std::string& name) {
    const std::string cut = cutToNameLimit(name);
    cut.copy(playerNameBuffer, cut.size());
    playerNameBuffer[cut.size()] = '\0';
}

void saveName(App& app) {
    if (playerNameBuffer[0] == '\0') {
        base::logError("An empty player name is not kept; the name stays %s", app.game.playerName.c_str());
        copyNameToBuffer(app.game.playerName);
        return;
    }
    nameSavedAt = SDL_GetTicks();
    {
        std::lock_guard<std::mutex> lock(gameStateMutex);
        app.game.playerName = playerNameBuffer;
    }
    Prefs::savePlayerName(app.game.playerName);
}

void drawSavedMark() {
    if (nameSavedAt == 0 || SDL_GetTicks() - nameSavedAt > kSavedShownMs) return;
    ImGui::SameLine();
    pushFont(buttonFont);
    ImGui::TextColored(kGreen, "Saved");
    ImGui::PopFont();
}

void drawNameField(App& app) {
    const float s = uiScale;
    ImGui::PushStyleVar(ImGuiStyleVar_FrameRounding, 8.0f);
    ImGui::PushStyleVar(ImGuiStyleVar_FramePadding, ImVec2(15.0f * s, 12.0f * s));
    ImGui::PushStyleColor(ImGuiCol_FrameBg, kFieldColour);
    ImGui::PushStyleColor(ImGuiCol_FrameBgHovered, kFieldHoverColour);
    ImGui::PushStyleColor(ImGuiCol_FrameBgActive, ImVec4(0.25f, 0.25f, 0.35f, 0.9f));
    ImGui::PushItemWidth(-1.0f);
    // A click on the name selects it whole, so typing replaces it.
    ImGui::InputText("##playername", playerNameBuffer, sizeof(playerNameBuffer), ImGuiInputTextFlags_AutoSelectAll);
    if (ImGui::IsItemDeactivatedAfterEdit()) saveName(app);
    ImGui::PopItemWidth();
    ImGui::PopStyleColor(3);
    ImGui::PopStyleVar(2);
}

void drawKeyboardSwitch(GameLogic& game) {
    ImGui::PushStyleColor(ImGuiCol_FrameBg, kFieldColour);
    ImGui::PushStyleColor(ImGuiCol_FrameBgHovered, kFieldHoverColour);
    ImGui::PushStyleColor(ImGuiCol_CheckMark, kGreen);
    bool enabled = game.keyboardGameplay;
    if (ImGui::Checkbox("Enable Keyboard Gameplay", &enabled)) {
        {
            std::lock_guard<std::mutex> lock(gameStateMutex);
            game.keyboardGameplay = enabled;
        }
        Prefs::saveKeyboardGameplay(enabled);
    }
    ImGui::PopStyleColor(3);
}

// The offset shifts judging and the circles together; both sliders act while
// dragged and are kept when let go.
void drawAudioSettings(App& app) {
    ImGui::PushStyleColor(ImGuiCol_FrameBg, kFieldColour);
    ImGui::PushStyleColor(ImGuiCol_SliderGrab, kGreen);
    ImGui::PushItemWidth(ImGui::GetContentRegionAvail().x * 0.5f);
    int offsetMs = static_cast<int>(std::lround(app.game.audioOffset * 1000.0));
    if (ImGui::SliderInt("Audio offset", &offsetMs, Prefs::kLowestAudioOffsetMs, Prefs::kHighestAudioOffsetMs, "%d ms",
                         ImGuiSliderFlags_AlwaysClamp)) {
        std::lock_guard<std::mutex> lock(gameStateMutex);
        app.game.audioOffset = offsetMs / 1000.0;
    }
    if (ImGui::IsItemDeactivatedAfterEdit()) Prefs::saveAudioOffsetMs(offsetMs);
    ImGui::SameLine();
    if (ImGui::Button("Calibrate...")) app.showCalibration = true;
    int volume = static_cast<int>(std::lround(app.audio.musicVolume * 100.0f));
    if (ImGui::SliderInt("Music volume", &volume, 0, 100, "%d %%", ImGuiSliderFlags_AlwaysClamp))
        app.audio.setMusicVolume(static_cast<float>(volume) / 100.0f);
    if (ImGui::IsItemDeactivatedAfterEdit()) Prefs::saveMusicVolume(volume);
    ImGui::PopItemWidth();
    ImGui::PopStyleColor(2);
}

}  // namespace

void drawSettingsPanel(App& app) {
    beginPanel(kSettingsLayout);
    if (!playerNameBufferReady) {
        copyNameToBuffer(app.game.playerName);
        playerNameBufferReady = true;
    }
    beginContentBox("SettingsContent", true, true);
    drawHeading("Player Name");
    drawSavedMark();
    drawSpacer(20.0f);
    drawNameField(app);
    drawSpacer(40.0f);
    drawHeading("Gameplay Settings");
    drawSpacer(20.0f);
    drawKeyboardSwitch(app.game);
    ImGui::PushStyleColor(ImGuiCol_Text, kGrey);
    ImGui::TextWrapped("Enable for playing with a keyboard.");
    ImGui::PopStyleColor();
    drawSpacer(20.0f);
    drawAudioSettings(app);
    endContentBox(true);

    const float s = uiScale;
    const float k = std::min(1.0f, ImGui::GetContentRegionAvail().x / (1280.0f * s));
    const float w = kButtonWidth * s * k, h = kButtonHeight * s * k, gap = 40.0f * s * k;
    ImGui::SetCursorPosX((ImGui::GetWindowWidth() - (3.0f * w + 2.0f * gap)) * 0.5f);
    const bool back = drawNormalButton("##back", w, h, "Back");
    ImGui::SameLine(0.0f, gap);
    const bool credits = drawNormalButton("##credits", w, h, "Credits");
    ImGui::SameLine(0.0f, gap);
    if (drawNormalButton("##save", w, h, "Save")) saveName(app);
    ImGui::End();
    if (back || credits) {
        saveName(app);
        app.showSettings      = false;
        playerNameBufferReady = false;
        app.showCredits       = credits;
    }
}
