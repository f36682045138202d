// The four menu panels shown instead of the main menu: leaderboard, settings,
// tutorial and credits. Each shares the dimmed screen with a glowing title, a
// dark rounded content box and image buttons at the bottom.
#include "app/App.h"

#include "game/GameLogic.h"
#include "level/TutorialSong.h"
#include "persistence/Leaderboard.h"
#include "persistence/Prefs.h"
#include "ui/Gui.h"
#include "ui/PanelParts.h"
#include "ui/UISystem.h"

#include <imgui.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

bool tutorialActive        = false;
int  tutorialPage          = 0;
char playerNameBuffer[64]  = {};
bool playerNameBufferReady = false;

namespace {

constexpr float            kNavWidth   = 300.0f;
constexpr ImGuiWindowFlags kPanelFlags = ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize |
                                         ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoScrollbar |
                                         ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_NoBackground;

}  // namespace

void pushFont(ImFont* font) { ImGui::PushFont(font, font->LegacySize); }

// The title, then the panel's window; the caller ends the window.
void beginPanel(const PanelLayout& layout) {
    drawPanelTitle(layout.title, layout.hueSpeed, layout.saturation);
    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    const float          s        = uiScale;
    const float          h        = ImGui::CalcTextSize(layout.title).y;
    const float          top      = viewport->Pos.y + 0.08f * viewport->Size.y + h + layout.gapBelowTitle * s;
    const float          width    = layout.widthShare * viewport->Size.x;
    ImGui::SetNextWindowPos(ImVec2(viewport->Pos.x + (viewport->Size.x - width) * 0.5f, top), ImGuiCond_Always);
    ImGuiWindowFlags flags = kPanelFlags;
    if (layout.gapAtBottom < 0.0f) {
        flags |= ImGuiWindowFlags_AlwaysAutoResize;
        ImGui::SetNextWindowSizeConstraints(ImVec2(width, 0.0f), ImVec2(width, (viewport->Size.y - top) * 0.8f));
    } else {
        ImGui::SetNextWindowSize(ImVec2(width, viewport->Size.y - top - layout.gapAtBottom * s));
    }
    ImGui::Begin(layout.windowId, nullptr, flags);
}

// The dark rounded box; its height leaves room for the buttons below unless the
// box sizes itself to its content.
void beginContentBox(const char* id, bool padded, bool fitsContent) {
    const float s = uiScale;
    ImGui::PushStyleVar(ImGuiStyleVar_ChildRounding, 12.0f);
    if (padded) ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(40.0f * s, 40.0f * s));
    ImGui::PushStyleColor(ImGuiCol_ChildBg, ImVec4(0.05f, 0.05f, 0.1f, 0.85f));
    ImGui::PushStyleColor(ImGuiCol_Border, ImVec4(0.3f, 0.3f, 0.5f, 0.5f));
    const float height = fitsContent ? 0.0f : ImGui::GetContentRegionAvail().y - kButtonHeight * s - 60.0f * s;
    ImGui::BeginChild(id, ImVec2(0.0f, height),
                      ImGuiChildFlags_Borders | (fitsContent ? ImGuiChildFlags_AutoResizeY : ImGuiChildFlags_None));
}

void endContentBox(bool padded) {
    ImGui::EndChild();
    ImGui::PopStyleColor(2);
    ImGui::PopStyleVar(padded ? 2 : 1);
}

// Pushes the row of buttons to the bottom of the window.
void spaceAboveButtons(float buttonHeight) {
    const float space = ImGui::GetContentRegionAvail().y - buttonHeight - 10.0f * uiScale;
    if (space > 0.0f) ImGui::Dummy(ImVec2(0.0f, space));
}

bool normalButton(const char* id, float width, float height, const char* label) {
    return drawImageButton(id, buttonNormalTexture, buttonNormalActiveTexture, width, height, label);
}

// One "Back" button centred at the bottom of the window.
bool centredBackButton() {
    const float s = uiScale;
    spaceAboveButtons(kButtonHeight * s);
    ImGui::SetCursorPosX((ImGui::GetWindowWidth() - kButtonWidth * s) * 0.5f);
    return normalButton("##back", kButtonWidth * s, kButtonHeight * s, "Back");
}

void drawTextCentred(const char* text, const ImVec4& colour) {
    ImGui::SetCursorPosX((ImGui::GetWindowWidth() - ImGui::CalcTextSize(text).x) * 0.5f);
    ImGui::TextColored(colour, "%s", text);
}

void spacer(float height) { ImGui::Dummy(ImVec2(0.0f, height * uiScale)); }

void heading(const char* text) {
    pushFont(buttonFont);
    ImGui::TextUnformatted(text);
    ImGui::PopFont();
}

namespace {

constexpr PanelLayout kLeaderboardLayout{"LEADERBOARD", 0.3f, 0.8f, "##LeaderboardPanel", 60.0f, 0.75f, 40.0f};
constexpr PanelLayout kSettingsLayout{"SETTINGS", 0.35f, 1.0f, "##SettingsPanel", 120.0f, 0.75f, -1.0f};
constexpr PanelLayout kTutorialLayout{"TUTORIAL", 0.4f, 0.9f, "##TutorialPanel", 120.0f, 0.65f, 70.0f};
constexpr PanelLayout kCreditsLayout{"CREDITS", 0.25f, 1.0f, "##CreditsPanel", 60.0f, 0.75f, 40.0f};

// --- leaderboard ---

void drawLevelCombo() {
    ImGui::PushStyleVar(ImGuiStyleVar_FrameRounding, 8.0f);
    ImGui::PushStyleColor(ImGuiCol_FrameBg, ImVec4(0.15f, 0.15f, 0.2f, 0.9f));
    ImGui::PushStyleColor(ImGuiCol_Button, ImVec4(0.2f, 0.2f, 0.3f, 0.9f));
    ImGui::PushItemWidth(-1.0f);
    const char* preview = "No levels found";
    if (!leaderboardLevels.empty()) {
        if (selectedLeaderboardLevel < 0 || selectedLeaderboardLevel >= static_cast<int32_t>(leaderboardLevels.size()))
            selectedLeaderboardLevel = 0;
        preview = leaderboardLevels[static_cast<size_t>(selectedLeaderboardLevel)].name.c_str();
    }
    if (ImGui::BeginCombo("##LeaderboardLevelSelect", preview)) {
        for (int32_t i = 0; i < static_cast<int32_t>(leaderboardLevels.size()); ++i) {
            ImGui::PushID(i);
            const bool selected = i == selectedLeaderboardLevel;
            if (ImGui::Selectable(leaderboardLevels[static_cast<size_t>(i)].name.c_str(), selected))
                selectedLeaderboardLevel = i;
            if (selected) ImGui::SetItemDefaultFocus();
            ImGui::PopID();
        }
        ImGui::EndCombo();
    }
    ImGui::PopItemWidth();
    ImGui::PopStyleColor(2);
    ImGui::PopStyleVar();
}

ImVec4 rankColour(int rank) {
    switch (rank) {
    case 1: return ImVec4(1.0f, 0.84f, 0.0f, 1.0f);
    case 2: return ImVec4(0.75f, 0.75f, 0.75f, 1.0f);
    case 3: return ImVec4(0.8f, 0.5f, 0.2f, 1.0f);
    default: return ImVec4(0.7f, 0.7f, 0.7f, 1.0f);
    }
}

void drawScoreRow(int rank, const LeaderboardEntry& entry) {
    ImGui::TableNextRow();
    ImGui::TableSetColumnIndex(0);
    ImGui::TextColored(rankColour(rank), "%d.", rank);
    ImGui::TableSetColumnIndex(1);
    ImGui::Text("%s", entry.player.c_str());
    ImGui::TableSetColumnIndex(2);
    ImGui::TextColored(ImVec4(0.0f, 1.0f, 0.5f, 1.0f), "%d", entry.score);
    ImGui::TableSetColumnIndex(3);
    ImGui::Text("%02d:%02d", entry.time / 60, entry.time % 60);
    ImGui::TableSetColumnIndex(4);
    ImGui::TextColored(ImVec4(0.5f, 0.8f, 1.0f, 1.0f), "%s", entry.highestLayer.c_str());
    ImGui::TableSetColumnIndex(5);
    ImGui::TextColored(ImVec4(1.0f, 0.8f, 0.0f, 1.0f), "%d", entry.highestCombo);
}

void drawScoresTable(std::vector<LeaderboardEntry>& scores) {
    const float s = uiScale;
    std::sort(scores.begin(), scores.end(),
              [](const LeaderboardEntry& a, const LeaderboardEntry& b) { return a.score > b.score; });
    ImGui::PushStyleColor(ImGuiCol_TableHeaderBg, ImVec4(0.2f, 0.2f, 0.3f, 0.8f));
    ImGui::PushStyleColor(ImGuiCol_TableRowBg, ImVec4(0.1f, 0.1f, 0.15f, 0.4f));
    ImGui::PushStyleColor(ImGuiCol_TableRowBgAlt, ImVec4(0.15f, 0.15f, 0.2f, 0.4f));
    ImGui::PushStyleVar(ImGuiStyleVar_CellPadding, ImVec2(12.0f * s, 8.0f * s));
    if (ImGui::BeginTable("ScoresTable", 6,
                          ImGuiTableFlags_RowBg | ImGuiTableFlags_BordersInnerV | ImGuiTableFlags_SizingFixedFit,
                          ImVec2(0.0f, 0.0f))) {
        ImGui::TableSetupColumn("#", ImGuiTableColumnFlags_WidthFixed, 40.0f * s);
        ImGui::TableSetupColumn("Player", ImGuiTableColumnFlags_WidthStretch);
        for (const char* header : {"Score", "Time", "Layer", "Combo"})
            ImGui::TableSetupColumn(header, ImGuiTableColumnFlags_WidthFixed);
        ImGui::TableHeadersRow();
        for (size_t i = 0; i < scores.size(); ++i) drawScoreRow(static_cast<int>(i) + 1, scores[i]);
        ImGui::EndTable();
    }
    ImGui::PopStyleVar();
    ImGui::PopStyleColor(3);
}

void drawNoScores() {
    const char*  text  = "No leaderboard data available.";
    const ImVec2 size  = ImGui::CalcTextSize(text);
    const ImVec2 avail = ImGui::GetContentRegionAvail();
    ImGui::SetCursorPos(
        ImVec2((avail.x - size.x) * 0.5f + ImGui::GetCursorPosX(), (avail.y - size.y) * 0.5f + ImGui::GetCursorPosY()));
    ImGui::TextColored(ImVec4(0.6f, 0.6f, 0.6f, 1.0f), "%s", text);
}

// --- settings ---

// At most 63 bytes, never ending inside a UTF-8 sequence.
void copyNameToBuffer(const std::string& name) {
    size_t length = std::min(name.size(), sizeof(playerNameBuffer) - 1);
    if (length < name.size())
        while (length > 0 && (static_cast<unsigned char>(name[length]) & 0xC0) == 0x80) --length;
    name.copy(playerNameBuffer, length);
    playerNameBuffer[length] = '\0';
}

void drawNameField() {
    const float s = uiScale;
    ImGui::PushStyleVar(ImGuiStyleVar_FrameRounding, 8.0f);
    ImGui::PushStyleVar(ImGuiStyleVar_FramePadding, ImVec2(15.0f * s, 12.0f * s));
    ImGui::PushStyleColor(ImGuiCol_FrameBg, ImVec4(0.15f, 0.15f, 0.2f, 0.9f));
    ImGui::PushStyleColor(ImGuiCol_FrameBgHovered, ImVec4(0.2f, 0.2f, 0.3f, 0.9f));
    ImGui::PushStyleColor(ImGuiCol_FrameBgActive, ImVec4(0.25f, 0.25f, 0.35f, 0.9f));
    ImGui::PushItemWidth(-1.0f);
    ImGui::InputText("##playername", playerNameBuffer, sizeof(playerNameBuffer));
    ImGui::PopItemWidth();
    ImGui::PopStyleColor(3);
    ImGui::PopStyleVar(2);
}

void drawKeyboardSwitch(GameLogic& game) {
    ImGui::PushStyleColor(ImGuiCol_FrameBg, ImVec4(0.15f, 0.15f, 0.2f, 0.9f));
    ImGui::PushStyleColor(ImGuiCol_FrameBgHovered, ImVec4(0.2f, 0.2f, 0.3f, 0.9f));
    ImGui::PushStyleColor(ImGuiCol_CheckMark, ImVec4(0.0f, 1.0f, 0.5f, 1.0f));
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
    ImGui::PushStyleColor(ImGuiCol_FrameBg, ImVec4(0.15f, 0.15f, 0.2f, 0.9f));
    ImGui::PushStyleColor(ImGuiCol_SliderGrab, ImVec4(0.0f, 1.0f, 0.5f, 1.0f));
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

// --- tutorial ---

struct TutorialPage {
    const char*              heading;
    ImVec4                   colour;
    std::vector<std::string> paragraphs;
};

std::string layerRulesParagraph() {
    return "Once you achieve a " + std::to_string(kComboPerLayer) +
           " beat combo you can progress to the next layer. However, if you miss " + std::to_string(kMissLimit) +
           " beats in a row you are downgraded one layer.";
}

const std::vector<TutorialPage>& tutorialPages() {
    static const std::vector<TutorialPage> pages = {
        {"Welcome to Lumoka!",
         ImVec4(1.0f, 0.8f, 0.0f, 1.0f),
         {"Lumoka is an endless rhythm game that evolves with audio-reactive visuals as you play!",
          "The longer you hold a combo, the more layers of the track you unlock!",
          "This tutorial will teach you how to play the game."}},
        {"Basic Gameplay",
         ImVec4(0.0f, 1.0f, 0.5f, 1.0f),
         {"Circles will appear on the screen. Tap them when they reach the target area to score points.",
          "Timing is everything! Hit the circles precisely when they align with the target."}},
        {"Hold Notes",
         ImVec4(1.0f, 0.5f, 0.0f, 1.0f),
         {"Some circles are filled - these are hold notes!",
          "Keep your finger down until the circle completely shrinks to the edge for maximum points."}},
        {"Stem Progress",
         ImVec4(0.5f, 0.8f, 1.0f, 1.0f),
         {"Build your combo to unlock more musical layers!", layerRulesParagraph(),
          "The progress bar at the top shows how many layers you've unlocked. More layers = more complex music!"}},
        {"Ready to Play!",
         ImVec4(1.0f, 0.3f, 0.7f, 1.0f),
         {"You're all set! Select a level from the main menu and start playing.",
          "Remember: timing is key, and don't forget to hold those hold notes!", "Have fun and enjoy the music!"}},
    };
    return pages;
}

void drawTutorialPage(const TutorialPage& page) {
    pushFont(buttonFont);
    drawTextCentred(page.heading, page.colour);
    ImGui::PopFont();
    spacer(20.0f);
    for (size_t i = 0; i < page.paragraphs.size(); ++i) {
        if (i > 0) spacer(10.0f);
        ImGui::TextWrapped("%s", page.paragraphs[i].c_str());
    }
}

void drawTutorialNavigation() {
    const float s = uiScale;
    const float w = kNavWidth * s, h = kButtonHeight * s;
    spaceAboveButtons(h);
    const float y = ImGui::GetCursorPosY();
    if (tutorialPage > 0) {
        ImGui::SetCursorPos(ImVec2(30.0f * s, y));
        if (normalButton("##nav_back", w, h, "Back")) --tutorialPage;
    }
    ImGui::SetCursorPos(ImVec2(ImGui::GetWindowWidth() - w - 30.0f * s, y));
    if (tutorialPage < kTutorialPages - 1) {
        if (normalButton("##nav_next", w, h, "Next")) ++tutorialPage;
    } else if (normalButton("##nav_finish", w, h, "Finish")) {
        tutorialActive = false;
    }
    char indicator[64];
    std::snprintf(indicator, sizeof(indicator), "Page %d of %d", tutorialPage + 1, kTutorialPages);
    pushFont(defaultFont);
    const ImVec2 size = ImGui::CalcTextSize(indicator);
    ImGui::SetCursorPos(ImVec2((ImGui::GetWindowWidth() - size.x) * 0.5f, y + (h - size.y) * 0.5f));
    ImGui::TextColored(ImVec4(0.8f, 0.8f, 0.9f, 1.0f), "%s", indicator);
    ImGui::PopFont();
}

}  // namespace

void drawLeaderboardPanel(App& app) {
    beginPanel(kLeaderboardLayout);
    heading("Select Level:");
    spacer(10.0f);
    drawLevelCombo();
    spacer(20.0f);
    beginContentBox("ScoresList", false, false);
    const bool                     hasLevel = !leaderboardLevels.empty();
    std::vector<LeaderboardEntry>* scores =
        hasLevel ? &leaderboardLevels[static_cast<size_t>(selectedLeaderboardLevel)].scores : nullptr;
    if (scores == nullptr || scores->empty()) drawNoScores();
    else drawScoresTable(*scores);
    endContentBox(false);
    const bool back = centredBackButton();
    ImGui::End();
    if (back) app.showLeaderboard = false;
}

void drawSettingsPanel(App& app) {
    beginPanel(kSettingsLayout);
    if (!playerNameBufferReady) {
        copyNameToBuffer(app.game.playerName);
        playerNameBufferReady = true;
    }
    beginContentBox("SettingsContent", true, true);
    heading("Player Name");
    spacer(20.0f);
    drawNameField();
    spacer(40.0f);
    heading("Gameplay Settings");
    spacer(20.0f);
    drawKeyboardSwitch(app.game);
    ImGui::PushStyleColor(ImGuiCol_Text, ImVec4(0.7f, 0.7f, 0.7f, 1.0f));
    ImGui::TextWrapped("Enable for playing with a keyboard.");
    ImGui::PopStyleColor();
    spacer(20.0f);
    drawAudioSettings(app);
    endContentBox(true);

    const float s = uiScale;
    const float k = std::min(1.0f, ImGui::GetContentRegionAvail().x / (1280.0f * s));
    const float w = kButtonWidth * s * k, h = kButtonHeight * s * k, gap = 40.0f * s * k;
    ImGui::SetCursorPosX((ImGui::GetWindowWidth() - (3.0f * w + 2.0f * gap)) * 0.5f);
    const bool back = normalButton("##back", w, h, "Back");
    ImGui::SameLine(0.0f, gap);
    const bool credits = normalButton("##credits", w, h, "Credits");
    ImGui::SameLine(0.0f, gap);
    if (normalButton("##save", w, h, "Save")) {
        {
            std::lock_guard<std::mutex> lock(gameStateMutex);
            app.game.playerName = playerNameBuffer;
        }
        Prefs::savePlayerName(app.game.playerName);
    }
    ImGui::End();
    if (back || credits) {
        app.showSettings      = false;
        playerNameBufferReady = false;
        app.showCredits       = credits;
    }
}

void drawTutorialPanel(App&) {
    beginPanel(kTutorialLayout);
    beginContentBox("TutorialContent", true, false);
    pushFont(defaultFont);
    drawTutorialPage(tutorialPages()[static_cast<size_t>(std::clamp(tutorialPage, 0, kTutorialPages - 1))]);
    ImGui::PopFont();
    endContentBox(true);
    drawTutorialNavigation();
    ImGui::End();
}

void drawCreditsPanel(App& app) {
    beginPanel(kCreditsLayout);
    beginContentBox("CreditsContent", true, false);
    pushFont(defaultFont);
    pushFont(buttonFont);
    drawTextCentred("Lumoka \u00a9 2026", ImVec4(1.0f, 0.8f, 0.0f, 1.0f));
    ImGui::PopFont();
    spacer(30.0f);
    drawTextCentred("Developed by the Lumoka team", ImVec4(0.8f, 0.8f, 1.0f, 1.0f));
    spacer(20.0f);
    drawTextCentred("Music & Audio: Various Artists", ImVec4(0.8f, 1.0f, 0.8f, 1.0f));
    spacer(20.0f);
    drawTextCentred("Powered by SDL3, Dear ImGui, libsndfile and FluidSynth", ImVec4(1.0f, 0.8f, 0.8f, 1.0f));
    ImGui::PopFont();
    endContentBox(true);
    const bool back = centredBackButton();
    ImGui::End();
    if (back) {
        app.showCredits  = false;
        app.showSettings = true;
    }
}
