// What the level table asks before it changes: whether a level just imported
// that is already installed (the same charts and stems) is added as a copy,
// and whether the player's own level chosen for "Delete" goes, folder, list
// entry and all (its scores stay in the leaderboard). Shipped levels cannot be
// deleted. Main thread, inside the main menu's window.
#include "level/LevelInstall.h"
#include "level/LevelList.h"
#include "persistence/Leaderboard.h"
#include "ui/Gui.h"

#include <imgui.h>

#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr const char* kCopyPopup   = "Already installed##level_copy";
constexpr const char* kDeletePopup = "Delete level##level_delete";

struct PendingCopy {
    LevelInfo   level;
    std::string installedName;
};

std::vector<PendingCopy> pendingCopies;  // the first is asked about; imports may finish together
bool                     deleteAsked   = false;  // "Delete" was pressed; the question opens
bool                     deleteShowing = false;  // the question was drawn last frame
std::string              tableMessage;  // what the last question came to

bool enterPressed() {
    return ImGui::IsKeyPressed(ImGuiKey_Enter, false) || ImGui::IsKeyPressed(ImGuiKey_KeypadEnter, false);
}

void dropLevel(const LevelInfo& level) {
    std::string error;
    if (!removeLevel("levels", level.file, error)) tableMessage = error;
}

void answerCopy(bool keep) {
    const PendingCopy pending = pendingCopies.front();
    pendingCopies.erase(pendingCopies.begin());
    if (keep) {
        addLevelToTable(pending.level);
        tableMessage = "Added \"" + pending.level.name + "\" as a copy";
    } else {
        dropLevel(pending.level);
        tableMessage = "\"" + pending.level.name + "\" was not added again";
    }
    ImGui::CloseCurrentPopup();
}

void drawCopyQuestion() {
    if (pendingCopies.empty()) return;
    if (!ImGui::IsPopupOpen(kCopyPopup)) ImGui::OpenPopup(kCopyPopup);
    if (!ImGui::BeginPopupModal(kCopyPopup, nullptr, ImGuiWindowFlags_AlwaysAutoResize)) return;
    const PendingCopy& pending = pendingCopies.front();
    ImGui::Text("\"%s\" has the same charts and stems as \"%s\", already installed.", pending.level.name.c_str(),
                pending.installedName.c_str());
    ImGui::TextUnformatted("Add it as a copy? (Enter: add, Escape: don't)");
    const bool keep = ImGui::Button("Add a copy") || enterPressed();
    ImGui::SameLine();
    const bool drop = ImGui::Button("Don't add") || ImGui::IsKeyPressed(ImGuiKey_Escape, false);
    if (keep || drop) answerCopy(keep);
    ImGui::EndPopup();
}

void deleteSelectedLevel() {
    const LevelInfo level = levelList[static_cast<size_t>(selectedLevel)];
    std::string     error;
    if (!removeLevel("levels", level.file, error)) {
        tableMessage = error;
        return;
    }
    levelList.erase(levelList.begin() + selectedLevel);
    Leaderboard::setInstalledLevels(levelListNames());
    selectedLevel = std::min(selectedLevel, static_cast<int>(levelList.size()) - 1);
    tableMessage  = "Deleted \"" + level.name + "\"";
}

void drawDeleteQuestion() {
    if (deleteAsked && !ImGui::IsPopupOpen(kDeletePopup)) ImGui::OpenPopup(kDeletePopup);
    deleteAsked   = false;
    deleteShowing = ImGui::BeginPopupModal(kDeletePopup, nullptr, ImGuiWindowFlags_AlwaysAutoResize);
    if (!deleteShowing) return;
    if (!hasSelectedLevel()) {
        ImGui::CloseCurrentPopup();
        ImGui::EndPopup();
        return;
    }
    ImGui::Text("Delete \"%s\"?", levelList[static_cast<size_t>(selectedLevel)].name.c_str());
    ImGui::TextUnformatted("Its folder and its entry in the level list go; its scores stay.");
    ImGui::TextUnformatted("(Enter: delete, Escape: keep it)");
    const bool confirmed = ImGui::Button("Delete") || enterPressed();
    ImGui::SameLine();
    const bool cancelled = ImGui::Button("Cancel") || ImGui::IsKeyPressed(ImGuiKey_Escape, false);
    if (confirmed) deleteSelectedLevel();
    if (confirmed || cancelled) ImGui::CloseCurrentPopup();
    ImGui::EndPopup();
}

}  // namespace

void addLevelToTable(const LevelInfo& level) {
    levelList.push_back(level);
    Leaderboard::setInstalledLevels(levelListNames());
    selectedLevel = static_cast<int>(levelList.size()) - 1;
}

void addImportedLevel(const LevelInfo& level, const std::string& installedName) {
    if (installedName.empty()) {
        addLevelToTable(level);
        return;
    }
    std::cout << "Level '" << level.name << "' is the same as the installed '" << installedName
              << "': asking whether to add a copy" << std::endl;
    pendingCopies.push_back({level, installedName});
}

void drawDeleteLevelButton() {
    const bool own = hasSelectedLevel() && levelList[static_cast<size_t>(selectedLevel)].imported;
    ImGui::BeginDisabled(!own);
    if (ImGui::Button("Delete")) {
        deleteAsked = true;
        tableMessage.clear();
    }
    ImGui::EndDisabled();
    if (!own && hasSelectedLevel()) ImGui::SetItemTooltip("Only a level you added can be deleted");
}

void drawLevelQuestions() {
    drawCopyQuestion();
    drawDeleteQuestion();
}

void drawLevelTableMessage() {
    if (!tableMessage.empty()) ImGui::TextWrapped("%s", tableMessage.c_str());
}

bool levelQuestionOpen() { return !pendingCopies.empty() || deleteAsked || deleteShowing; }
