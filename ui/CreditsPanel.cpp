// The credits panel, reached from the settings and going back to them.
#include "app/App.h"

#include "ui/Gui.h"
#include "ui/UISystem.h"
#include "ui/Widgets.h"

#include <imgui.h>

namespace {

constexpr PanelLayout kCreditsLayout{"CREDITS", 0.25f, 1.0f, "##CreditsPanel", 60.0f, 0.75f, 40.0f};

}  // namespace

void drawCreditsPanel(App& app) {
    beginPanel(kCreditsLayout);
    beginContentBox("CreditsContent", true, false);
    pushFont(defaultFont);
    pushFont(buttonFont);
    drawTextCentred("Lumoka \u00a9 2026", kGold);
    ImGui::PopFont();
    drawSpacer(30.0f);
    drawTextCentred("Developed by the Lumoka team", ImVec4(0.8f, 0.8f, 1.0f, 1.0f));
    drawSpacer(20.0f);
    drawTextCentred("Music & Audio: Various Artists", ImVec4(0.8f, 1.0f, 0.8f, 1.0f));
    drawSpacer(20.0f);
    drawTextCentred("Powered by SDL3, Dear ImGui, libsndfile and FluidSynth", ImVec4(1.0f, 0.8f, 0.8f, 1.0f));
    ImGui::PopFont();
    endContentBox(true);
    const bool back = drawCentredBackButton();
    ImGui::End();
    if (back) {
        app.showCredits  = false;
        app.showSettings = true;
    }
}
