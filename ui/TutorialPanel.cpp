// The tutorial panel: five pages of text with page buttons ("Skip" on the
// first leaves at once); the frame loop plays
// the part of the tutorial song each page talks about.
#include "app/App.h"

#include "game/GameLogic.h"
#include "level/TutorialSong.h"
#include "ui/Gui.h"
#include "ui/UISystem.h"
#include "ui/Widgets.h"

#include <imgui.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

bool tutorialActive = false;
int  tutorialPage   = 0;

namespace {

constexpr PanelLayout kTutorialLayout{"TUTORIAL", 0.4f, 0.9f, "##TutorialPanel", 120.0f, 0.65f, 70.0f};

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
         kGold,
         {"Lumoka is an endless rhythm game that evolves with audio-reactive visuals as you play!",
          "The longer you hold a combo, the more layers of the track you unlock!",
          "This tutorial will teach you how to play the game."}},
        {"Basic Gameplay",
         kGreen,
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
    drawSpacer(20.0f);
    for (size_t i = 0; i < page.paragraphs.size(); ++i) {
        if (i > 0) drawSpacer(10.0f);
        ImGui::TextWrapped("%s", page.paragraphs[i].c_str());
    }
}

void drawTutorialNavigation() {
    const float s = uiScale;
    const float w = kNavWidth * s, h = kButtonHeight * s;
    spaceAboveButtons(h);
    const float y = ImGui::GetCursorPosY();
    ImGui::SetCursorPos(ImVec2(30.0f * s, y));
    if (tutorialPage > 0) {
        if (drawNormalButton("##nav_back", w, h, "Back")) --tutorialPage;
    } else if (drawNormalButton("##nav_skip", w, h, "Skip")) {
        tutorialActive = false;
    }
    ImGui::SetCursorPos(ImVec2(ImGui::GetWindowWidth() - w - 30.0f * s, y));
    if (tutorialPage < kTutorialPages - 1) {
        if (drawNormalButton("##nav_next", w, h, "Next")) ++tutorialPage;
    } else if (drawNormalButton("##nav_finish", w, h, "Finish")) {
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

bool tutorialPageShowsCircles(int page) { return page >= 1 && page <= 3; }

// On the pages about circles the text sits low, over the page buttons, and
// leaves the playfield above it free to hit a few.
void drawTutorialPanel(App&) {
    beginPanel(kTutorialLayout);
    const bool circles = tutorialPageShowsCircles(tutorialPage);
    // The box's height is known once drawn: last frame's puts it just over the buttons.
    static float lowBoxHeight = 0.0f;
    if (circles) {
        const float buttons = kButtonHeight * uiScale + 10.0f * uiScale + 2.0f * ImGui::GetStyle().ItemSpacing.y;
        const float bottom  = ImGui::GetCursorPosY() + ImGui::GetContentRegionAvail().y - buttons;
        ImGui::SetCursorPosY(std::max(ImGui::GetCursorPosY(), bottom - lowBoxHeight));
    }
    beginContentBox("TutorialContent", true, circles);
    pushFont(defaultFont);
    drawTutorialPage(tutorialPages()[static_cast<size_t>(std::clamp(tutorialPage, 0, kTutorialPages - 1))]);
    ImGui::PopFont();
    endContentBox(true);
    if (circles) lowBoxHeight = ImGui::GetItemRectSize().y;
    drawTutorialNavigation();
    ImGui::End();
}
