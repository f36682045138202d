// The credits panel, reached from the settings and going back to them.
#include "app/App.h"

#include "ui/Gui.h"
#include "ui/UISystem.h"
#include "ui/Widgets.h"

#include <imgui.h>

namespace {

constexpr PanelLayout kCreditsLayout{"CREDITS", 0.25f, 1.0f, "##CreditsPanel", 60.0f, 0.75f, 40.0f};
constexpr ImVec4      kMusicColour(0.8f, 1.0f, 0.8f, 1.0f);
constexpr ImVec4      kFontColour(0.8f, 0.9f, 1.0f, 1.0f);

constexpr const char* kMusicLines[] = {
    "Music & Audio: the levels' music is composed by our level generator",
    "and played with FluidSynth on the TimGM6mb soundfont",
    "(Tim Brechbill, David Bolton; GNU GPL version 2).",
    "Songs you add are your own music, split and charted by the game.",
};
constexpr const char* kFontLines[] = {
    "Fonts: Roboto by Christian Robertson (Apache License 2.0),",
    "Orbitron by Matt McInerney (SIL Open Font License 1.1).",
};

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
    for (const char* music : kMusicLines) drawTextCentred(music, kMusicColour);
    drawSpacer(20.0f);
    drawTextCentred("Powered by SDL3, Dear ImGui, libsndfile and FluidSynth", ImVec4(1.0f, 0.8f, 0.8f, 1.0f));
    drawSpacer(20.0f);
    for (const char* font : kFontLines) drawTextCentred(font, kFontColour);
    ImGui::PopFont();
    endContentBox(true);
    const bool back = drawCentredBackButton();
    ImGui::End();
    if (back) {
        app.showCredits  = false;
        app.showSettings = true;
    }
}
