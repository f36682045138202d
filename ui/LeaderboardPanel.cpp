// The leaderboard panel: a level picker (every installed level, scored or not,
// and every level the leaderboard holds) over the best run of every player on
// that level, highest score first; a line says when the server was out of reach.
#include "app/App.h"

#include "level/LevelList.h"
#include "net/HttpDatabase.h"
#include "persistence/Leaderboard.h"
#include "ui/Gui.h"
#include "ui/UISystem.h"
#include "ui/Widgets.h"

#include <imgui.h>

#include <algorithm>
#include <vector>

namespace {

constexpr PanelLayout kLeaderboardLayout{"LEADERBOARD", 0.3f, 0.8f, "##LeaderboardPanel", 60.0f, 0.75f, 40.0f};

// A level without a score yet is still one to pick: its table says so.
void listEveryInstalledLevel() {
    for (const LevelInfo& level : levelList) {
        const bool listed = std::any_of(leaderboardLevels.begin(), leaderboardLevels.end(),
                                        [&](const LeaderboardLevel& known) { return known.name == level.name; });
        if (!listed) leaderboardLevels.push_back({level.name, {}});
    }
}

void drawServerState() {
    if (!HttpDatabase::serverLastFailed()) return;
    drawSpacer(10.0f);
    ImGui::TextColored(ImVec4(1.0f, 0.6f, 0.3f, 1.0f),
                       "The leaderboard server is offline: these are the scores kept on this computer.");
}

void drawLevelCombo() {
    ImGui::PushStyleVar(ImGuiStyleVar_FrameRounding, 8.0f);
    ImGui::PushStyleColor(ImGuiCol_FrameBg, kFieldColour);
    ImGui::PushStyleColor(ImGuiCol_Button, kFieldHoverColour);
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
    default: return kGrey;
    }
}

void drawScoreRow(int rank, const LeaderboardEntry& entry) {
    ImGui::TableNextRow();
    ImGui::TableSetColumnIndex(0);
    ImGui::TextColored(rankColour(rank), "%d.", rank);
    ImGui::TableSetColumnIndex(1);
    ImGui::Text("%s", entry.player.c_str());
    ImGui::TableSetColumnIndex(2);
    ImGui::TextColored(kGreen, "%d", entry.score);
    ImGui::TableSetColumnIndex(3);
    ImGui::Text("%02d:%02d", entry.time / 60, entry.time % 60);
    ImGui::TableSetColumnIndex(4);
    ImGui::TextColored(ImVec4(0.5f, 0.8f, 1.0f, 1.0f), "%s", entry.highestLayer.c_str());
    ImGui::TableSetColumnIndex(5);
    ImGui::TextColored(kGold, "%d", entry.highestCombo);
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
    const char*  text  = leaderboardLevels.empty() ? "No leaderboard data available." : "No scores yet for this level.";
    const ImVec2 size  = ImGui::CalcTextSize(text);
    const ImVec2 avail = ImGui::GetContentRegionAvail();
    ImGui::SetCursorPos(
        ImVec2((avail.x - size.x) * 0.5f + ImGui::GetCursorPosX(), (avail.y - size.y) * 0.5f + ImGui::GetCursorPosY()));
    ImGui::TextColored(ImVec4(0.6f, 0.6f, 0.6f, 1.0f), "%s", text);
}

}  // namespace

void drawLeaderboardPanel(App& app) {
    listEveryInstalledLevel();
    beginPanel(kLeaderboardLayout);
    drawHeading("Select Level:");
    drawSpacer(10.0f);
    drawLevelCombo();
    drawServerState();
    drawSpacer(20.0f);
    beginContentBox("ScoresList", false, false);
    const bool                     hasLevel = !leaderboardLevels.empty();
    std::vector<LeaderboardEntry>* scores =
        hasLevel ? &leaderboardLevels[static_cast<size_t>(selectedLeaderboardLevel)].scores : nullptr;
    if (scores == nullptr || scores->empty()) drawNoScores();
    else drawScoresTable(*scores);
    endContentBox(false);
    const bool back = drawCentredBackButton();
    ImGui::End();
    if (back) app.showLeaderboard = false;
}
