// The main menu: the title, five image buttons on the left, the level table and
// the chosen level's details on the right. "Start Level" asks the App to load
// the chosen package (off the main thread) and start a run when it is ready.
#include "app/App.h"

#include "level/LevelList.h"
#include "level/LevelPackage.h"
#include "level/PackageImport.h"
#include "net/HttpDatabase.h"
#include "persistence/Leaderboard.h"
#include "ui/DialogFolders.h"
#include "ui/Gui.h"
#include "ui/UISystem.h"
#include "ui/Widgets.h"
#include "ui/filebrowser/FileBrowser.h"
#include "ui/filebrowser/FileDialogs.h"

#include <SDL3/SDL_stdinc.h>
#include <imgui.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <string>
#include <vector>

int selectedLevel = 0;

bool hasSelectedLevel() { return selectedLevel >= 0 && selectedLevel < static_cast<int>(levelList.size()); }

namespace {

constexpr int kStarSlots = 5;

// What the last export did, shown under its button.
std::string packageStatus;
bool        importRequested = false;
bool        exportRequested = false;

void drawDifficultyStars(int difficulty) {
    const int stars = std::max(difficulty, 1);
    ImGui::PushStyleColor(ImGuiCol_Text, kGold);
    for (int k = 0; k < kStarSlots; ++k) {
        if (k < stars) ImGui::TextUnformatted("*");
        if (k < kStarSlots - 1) ImGui::SameLine(0.0f, 2.0f);
    }
    ImGui::PopStyleColor();
}

void drawLevelTable(float height) {
    pushFont(defaultFont);
    ImGui::BeginChild("LevelSelectionChild", ImVec2(0.0f, height), ImGuiChildFlags_None, ImGuiWindowFlags_NoBackground);
    if (ImGui::BeginTable("LevelsTable", 2, ImGuiTableFlags_ScrollY | ImGuiTableFlags_PadOuterX, ImVec2(0.0f, 0.0f))) {
        ImGui::TableSetupColumn("Level", ImGuiTableColumnFlags_WidthStretch);
        ImGui::TableSetupColumn("Difficulty", ImGuiTableColumnFlags_WidthFixed,
                                12.0f * uiScale + ImGui::CalcTextSize("Difficulty").x);
        ImGui::TableSetupScrollFreeze(0, 1);
        ImGui::TableHeadersRow();
        for (int i = 0; i < static_cast<int>(levelList.size()); ++i) {
            ImGui::TableNextRow();
            ImGui::TableSetColumnIndex(0);
            ImGui::PushID(i);
            if (ImGui::Selectable(levelList[i].name.c_str(), i == selectedLevel,
                                  ImGuiSelectableFlags_SpanAllColumns | ImGuiSelectableFlags_AllowOverlap))
                selectedLevel = i;
            ImGui::TableSetColumnIndex(1);
            drawDifficultyStars(levelList[i].difficulty);
            ImGui::PopID();
        }
        ImGui::EndTable();
    }
    ImGui::EndChild();
    ImGui::PopFont();
}

void drawLevelDetails(float height) {
    pushFont(defaultFont);
    ImGui::BeginChild("LevelDetails", ImVec2(0.0f, height), ImGuiChildFlags_None,
                      ImGuiWindowFlags_NoBackground | ImGuiWindowFlags_NoScrollbar);
    if (hasSelectedLevel()) {
        const LevelInfo& level = levelList[static_cast<size_t>(selectedLevel)];
        ImGui::Text("Difficulty: %d/5", level.difficulty);
        if (!level.description.empty()) ImGui::TextWrapped("Description: %s", level.description.c_str());
    }
    ImGui::EndChild();
    ImGui::PopFont();
}

void exportSelectedLevel(const std::string& folder) {
    if (!hasSelectedLevel()) return;
    const LevelInfo&  level = levelList[static_cast<size_t>(selectedLevel)];
    const std::string zip   = folder + "/" + baseName(level.file) + ".zip";
    std::string       error;
    packageStatus = exportPackage("levels", level.file, zip, error) ? "Exported to " + zip : error;
}

// The chosen file or folder of a dialog this menu opened, taken once.
bool takeChoice(FileBrowser& dialog, bool& requested, std::string& path) {
    if (!requested || !dialog.hasSelected()) return false;
    requested                            = false;
    const std::vector<std::string> paths = dialog.selectedPaths();
    dialog.clearSelection();
    if (paths.empty()) return false;
    path = paths.front();
    return true;
}

void openDialog(FileBrowser& dialog, bool& requested) {
    packageStatus.clear();
    forgetPackageImportMessage();
    openDialogAtRememberedFolder(dialog);
    requested = true;
}

// Under the table: "Add Song...", the package buttons and what the last of them came to.
void drawLevelActions() {
    pushFont(defaultFont);
    if (ImGui::Button("Add Song...")) openSongImport();
    ImGui::SameLine();
    ImGui::BeginDisabled(packageImportRunning());
    if (ImGui::Button("Import Package...")) openDialog(levelPackageDialog, importRequested);
    ImGui::EndDisabled();
    ImGui::SameLine();
    if (ImGui::Button("Export...") && hasSelectedLevel()) openDialog(exportFolderDialog, exportRequested);
    ImGui::SameLine();
    drawDeleteLevelButton();
    drawPackageImportStatus();
    drawLevelTableMessage();
    if (!packageStatus.empty()) ImGui::TextWrapped("%s", packageStatus.c_str());
    const std::string& message = songImportMessage();
    if (!message.empty()) ImGui::TextWrapped("%s", message.c_str());
    ImGui::PopFont();

    std::string chosen;
    if (takeChoice(levelPackageDialog, importRequested, chosen)) startPackageImport(chosen);
    if (takeChoice(exportFolderDialog, exportRequested, chosen)) exportSelectedLevel(chosen);
}

}  // namespace

// The panel shows the list the fetch (or its fallback to the local file) delivers.
void App::openLeaderboard() {
    HttpDatabase::loadLeaderboardAsync([](const nlohmann::json& document) { Leaderboard::loadFromJson(document); });
    showLeaderboard = true;
}

void App::drawMainMenu() {
    drawPanelTitle("LUMOKA", 0.5f, 1.0f);

    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    const ImVec2         workPos  = viewport->WorkPos;
    const ImVec2         workSize = viewport->WorkSize;
    const float          s        = uiScale;
    const float          width    = workSize.x * 0.75f;
    ImGui::SetNextWindowPos(ImVec2(workPos.x + (workSize.x - width) * 0.5f, workPos.y), ImGuiCond_Always,
                            ImVec2(0.0f, 0.0f));
    ImGui::SetNextWindowSize(ImVec2(width, workSize.y));
    const ImGuiWindowFlags flags = ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize | ImGuiWindowFlags_NoMove |
                                   ImGuiWindowFlags_NoCollapse | ImGuiWindowFlags_AlwaysAutoResize |
                                   ImGuiWindowFlags_NoBackground;
    // Under an open dialog or window the menu neither answers nor draws over it.
    const bool covered = anyFileDialogOpen() || songImportWindowOpen() || levelQuestionOpen();
    if (ImGui::Begin("##MainMenu", nullptr, flags)) {
        ImGui::BeginDisabled(covered);
        ImGui::Columns(2, "MainMenuColumns", false);
        const float titleBottom = workPos.y + workSize.y * kTitleTop + ImGui::CalcTextSize("LUMOKA").y;
        const float room        = workPos.y + workSize.y - titleBottom;
        const float buttonW     = kButtonWidth * s;
        const float buttonH     = kButtonHeight * s;

        ImGui::SetCursorPos(
            ImVec2(ImGui::GetCursorPosX(), std::max((room - (5.0f * buttonH + 4.0f)) * 0.5f, 0.0f) + titleBottom));
        const float x       = ImGui::GetCursorPosX() + (ImGui::GetColumnWidth(-1) - buttonW) * 0.5f;
        ImGuiStyle& style   = ImGui::GetStyle();
        const float spacing = style.ItemSpacing.y;
        style.ItemSpacing.y = 2.0f * s;
        auto button         = [&](const char* id, uint32_t texture, uint32_t active, const char* label) {
            ImGui::SetCursorPosX(x);
            return drawImageButton(id, texture, active, buttonW, buttonH, label);
        };
        if (button("##start", buttonStartTexture, buttonStartActiveTexture, "Start Level")) startSelectedLevel();
        if (button("##settings", buttonNormalTexture, buttonNormalActiveTexture, "Settings")) showSettings = true;
        if (button("##leaderboard", buttonNormalTexture, buttonNormalActiveTexture, "Leaderboard")) openLeaderboard();
        if (button("##tutorial", buttonNormalTexture, buttonNormalActiveTexture, "Tutorial")) {
            tutorialActive = true;
            tutorialPage   = 0;
        }
        if (button("##exit", buttonExitTexture, buttonExitActiveTexture, "Exit")) input.quit = true;
        style.ItemSpacing.y = spacing;
        ImGui::NextColumn();

        const float lineHeight    = ImGui::GetTextLineHeightWithSpacing();
        const float tableHeight   = 5.0f * lineHeight + 4.0f * style.ItemSpacing.y;
        const float detailsHeight = workSize.y * 0.125f;
        ImGui::SetCursorPos(
            ImVec2(ImGui::GetCursorPosX(),
                   std::max((room - (lineHeight + tableHeight + detailsHeight)) * 0.5f, 0.0f) + titleBottom));
        drawHeading("Select Level");
        drawLevelTable(tableHeight);
        drawLevelActions();
        drawHeading("Details");
        drawLevelDetails(detailsHeight);
        ImGui::Columns(1, nullptr, true);
        ImGui::EndDisabled();
        drawLevelQuestions();
    }
    ImGui::End();
}
