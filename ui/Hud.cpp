// The dispatcher that picks what the GUI shows each frame, and the in-game HUD:
// the score window, the row of layer segments and the red exit button; while a
// level loads, a bar with its name and progress.
#include "app/App.h"

#include "level/TutorialSong.h"
#include "ui/DialogFolders.h"
#include "ui/Gui.h"
#include "ui/UISystem.h"
#include "ui/Widgets.h"
#include "ui/filebrowser/FileBrowser.h"
#include "ui/filebrowser/FileDialogs.h"

#include <imgui.h>

#include <cfloat>
#include <mutex>

int lastTutorialPage = -1;

namespace {

void coloredText(const ImVec4& colour, const char* format, auto value) {
    ImGui::PushStyleColor(ImGuiCol_Text, colour);
    ImGui::Text(format, value);
    ImGui::PopStyleColor();
}

constexpr float kTierLabelRise = 40.0f;  // × uiScale over a label's life
constexpr float kTierLabelGap  = 30.0f;  // × uiScale right of the circle's centre: its letter stays readable

ImU32 tierColour(Tier tier, float alpha) {
    const auto a = static_cast<int>(alpha * 255.0f);
    switch (tier) {
    case Tier::Perfect: return IM_COL32(255, 215, 0, a);
    case Tier::Great: return IM_COL32(0, 230, 120, a);
    case Tier::Good: return IM_COL32(80, 170, 255, a);
    case Tier::Miss: break;
    }
    return IM_COL32(255, 60, 60, a);
}

// Bottom centre, over whatever screen the load was started from; at the top
// on the tutorial, whose page buttons and page number are at the bottom.
void drawLoadingBar(const LevelLoader& loader) {
    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    const float          s        = uiScale;
    const float          width    = 420.0f * s;
    const bool           atTop    = tutorialActive;
    const float          y = atTop ? viewport->WorkPos.y + 10.0f * s : viewport->WorkPos.y + viewport->WorkSize.y - 40.0f * s;
    ImGui::SetNextWindowPos(ImVec2(viewport->WorkPos.x + viewport->WorkSize.x * 0.5f, y), ImGuiCond_Always,
                            ImVec2(0.5f, atTop ? 0.0f : 1.0f));
    ImGui::SetNextWindowSize(ImVec2(width, 0.0f));
    ImGui::SetNextWindowBgAlpha(0.8f);
    ImGui::Begin("##Loading", nullptr, kFixedWindow | ImGuiWindowFlags_AlwaysAutoResize);
    ImGui::Text("Loading %s...", loader.pending()->levelName.c_str());
    ImGui::ProgressBar(loader.progress(), ImVec2(-1.0f, 0.0f));
    ImGui::End();
}

}  // namespace

// Each judged press and miss: its tier's word beside the circle's letter,
// rising a little and fading out. Behind the windows, on the background draw list.
void drawTierLabels(const GameLogic& game) {
    ImDrawList* list   = ImGui::GetBackgroundDrawList();
    ImFont*     font   = scoreFont;
    const float height = ImGui::GetIO().DisplaySize.y;
    for (const TierMark& mark : game.tierMarks) {
        const float  life = mark.age / kTierMarkLife;
        const char*  text = tierName(mark.tier);
        const ImVec2 size = font->CalcTextSizeA(font->LegacySize, FLT_MAX, 0.0f, text);
        const float  top  = height - mark.y - size.y * 0.5f - life * kTierLabelRise * uiScale;
        list->AddText(font, font->LegacySize, ImVec2(mark.x + kTierLabelGap * uiScale, top),
                      tierColour(mark.tier, 1.0f - life), text);
    }
}

void drawScoreHud(App& app) {
    const GameLogic&     game     = app.game;
    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    const float          s        = uiScale;
    ImGui::SetNextWindowPos(ImVec2(viewport->WorkPos.x + viewport->WorkSize.x * 0.5f, viewport->WorkPos.y + 40.0f * s),
                            ImGuiCond_Always, ImVec2(0.5f, 0.0f));
    ImGui::SetNextWindowBgAlpha(0.8f);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowRounding, 10.0f);
    ImGui::PushStyleVar(ImGuiStyleVar_WindowPadding, ImVec2(40.0f * s, 20.0f * s));
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing, ImVec2(30.0f * s, 10.0f * s));
    ImGui::PushStyleColor(ImGuiCol_WindowBg, ImVec4(0.05f, 0.05f, 0.1f, 1.0f));
    if (ImGui::Begin("##ScoreHUD", nullptr,
                     kFixedWindow | ImGuiWindowFlags_AlwaysAutoResize | ImGuiWindowFlags_NoSavedSettings)) {
        ImGui::PushFont(scoreFont, scoreFont->LegacySize);
        coloredText(ImVec4(1.0f, 0.85f, 0.0f, 1.0f), "Score: %d", game.score);
        ImGui::SameLine();
        coloredText(game.score > game.highScore ? kGreen : kGrey, "Best: %d", game.highScore);
        ImGui::SameLine();
        coloredText(ImVec4(0.7f, 0.7f, 1.0f, 1.0f), "x%.1f", static_cast<double>(game.multiplier));
        ImGui::SameLine();
        coloredText(game.combo > 0 ? kGreen : kGrey, "Combo: %d", game.combo);
        ImGui::PopFont();
    }
    ImGui::End();
    ImGui::PopStyleColor();
    ImGui::PopStyleVar(3);
}

void GameLogic::drawStemProgressHud(int32_t count) const {
    const float s     = uiScale;
    const float width = ImGui::GetIO().DisplaySize.x;
    ImGui::SetNextWindowPos(ImVec2(0.0f, 0.0f), ImGuiCond_None, ImVec2(0.0f, 0.0f));
    ImGui::SetNextWindowSize(ImVec2(width, 30.0f * s));
    ImGui::Begin("##StemProgressHUD", nullptr, kFixedWindow | ImGuiWindowFlags_NoBackground);
    const float  margin   = 0.1f * width;
    const float  segment  = count > 0 ? (width - 2.0f * margin) / static_cast<float>(count) : 0.0f;
    const float  step     = segment + 2.0f * s;
    const float  height   = 40.0f * s;
    const float  rounding = 4.0f * s;
    ImDrawList*  list     = ImGui::GetWindowDrawList();
    const ImVec2 position = ImGui::GetWindowPos();
    const float  top      = position.y + (ImGui::GetWindowHeight() - height) * 0.5f;
    for (int i = 0; i < count; ++i) {
        const ImVec2 min(position.x + margin + static_cast<float>(i) * step, top);
        const ImVec2 max(min.x + segment, top + height);
        list->AddRectFilled(min, max, i < layers ? IM_COL32(100, 200, 100, 255) : IM_COL32(40, 40, 40, 255), rounding);
        list->AddRect(min, max, IM_COL32(20, 20, 20, 255), rounding, ImDrawFlags_None, 1.0f);
    }
    ImGui::End();
}

void App::drawExitButton() {
    const float s    = uiScale;
    const float side = 60.0f * s;
    ImGui::SetNextWindowPos(ImVec2(ImGui::GetIO().DisplaySize.x - side - 20.0f * s, 20.0f * s), ImGuiCond_None,
                            ImVec2(0.0f, 0.0f));
    ImGui::SetNextWindowSize(ImVec2(side, side));
    ImGui::Begin("##ExitButton", nullptr, kFixedWindow | ImGuiWindowFlags_NoBackground);
    ImGui::PushStyleColor(ImGuiCol_Button, ImVec4(0.8f, 0.1f, 0.1f, 0.9f));
    ImGui::PushStyleColor(ImGuiCol_ButtonHovered, ImVec4(0.9f, 0.2f, 0.2f, 1.0f));
    ImGui::PushStyleColor(ImGuiCol_ButtonActive, ImVec4(0.7f, 0.1f, 0.1f, 1.0f));
    ImGui::PushStyleVar(ImGuiStyleVar_FrameRounding, 12.0f);
    ImGui::PushStyleVar(ImGuiStyleVar_FramePadding, ImVec2(8.0f * s, 8.0f * s));
    if (ImGui::Button("X", ImVec2(side - 12.0f, side - 12.0f))) endRun();
    ImGui::PopStyleVar(2);
    ImGui::PopStyleColor(3);
    ImGui::End();
}

// The song loads off the main thread; the page is played again once it is in
// (App::installLoadedLevel).
void App::updateTutorialSong() {
    const bool wanted = tutorialPage != 0;
    if (wanted && !tutorialSongLoaded()) {
        if (!levelLoader.loading(LevelLoader::Purpose::Tutorial))
            requestLevel({kTutorialSongFolder, "the tutorial song", LevelLoader::Purpose::Tutorial});
        return;
    }
    if (!wanted && levelLoader.loading(LevelLoader::Purpose::Tutorial)) levelLoader.cancel();
    playTutorialPage(tutorialPage, audio, game);
}

// Leaving the screen a load was started from drops it: a run's is the main
// menu, the tutorial song's the tutorial.
void App::cancelLoadOnLeaving() {
    const bool onMenu = !game.inGame && !showLeaderboard && !tutorialActive && !showSettings && !showCredits;
    if ((levelLoader.loading(LevelLoader::Purpose::Run) && !onMenu) ||
        (levelLoader.loading(LevelLoader::Purpose::Tutorial) && !tutorialActive))
        levelLoader.cancel();
}

bool guiTakesEscape() { return anyFileDialogOpen() || songImportWindowOpen() || levelQuestionOpen(); }

void App::drawGui() {
    if (!guiVisible) return;
    cancelLoadOnLeaving();
    if (game.inGame) {
        std::lock_guard<std::mutex> lock(gameStateMutex);
        drawTierLabels(game);
        drawScoreHud(*this);
        game.drawStemProgressHud(static_cast<int32_t>(audio.stems.size()));
        drawExitButton();
    } else if (showResults) {
        drawResultsPanel(*this);
    } else if (showLeaderboard) {
        drawLeaderboardPanel(*this);
    } else if (tutorialActive) {
        drawTutorialPanel(*this);
    } else if (showCalibration) {
        drawCalibrationPanel(*this);
    } else if (showSettings) {
        drawSettingsPanel(*this);
    } else if (showCredits) {
        drawCreditsPanel(*this);
    } else {
        drawMainMenu();
    }
    if (levelLoader.loading()) drawLoadingBar(levelLoader);
    displayFileDialogs(uiScale);
    rememberDialogFolders();
    if (!game.inGame) drawSongImport();  // after the dialogs: it takes their choice

    game.practice = tutorialActive && tutorialPageShowsCircles(tutorialPage);
    if (!tutorialActive) {
        lastTutorialPage = -1;
        return;
    }
    std::lock_guard<std::mutex> lock(gameStateMutex);
    if (game.practice) drawTierLabels(game);
    if (tutorialPage != lastTutorialPage) {
        updateTutorialSong();
        lastTutorialPage = tutorialPage;
    }
    if (tutorialActive && tutorialPage == 3) game.drawStemProgressHud(static_cast<int32_t>(audio.stems.size()));
}
