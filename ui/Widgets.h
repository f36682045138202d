// The look every screen of the GUI shares: the menu's sizes, colours and window
// flags, the glowing title, image buttons with centred labels, and the panel
// frame (title, window, dark content box, buttons at the bottom). Sizes are at
// a GUI scale of 1; callers multiply by uiScale. What each screen shows is left
// to its own file.
#pragma once

#include <imgui.h>

#include <cstdint>

inline constexpr float kButtonWidth  = 400.0f;  // the menu's image buttons
inline constexpr float kButtonHeight = 125.2f;
inline constexpr float kNavWidth     = 300.0f;  // the tutorial's page buttons
inline constexpr float kTitleTop     = 0.08f;   // of the viewport's height, above the title

// A window that stays where the GUI puts it.
inline constexpr ImGuiWindowFlags kFixedWindow = ImGuiWindowFlags_NoTitleBar | ImGuiWindowFlags_NoResize |
                                                 ImGuiWindowFlags_NoMove | ImGuiWindowFlags_NoScrollbar |
                                                 ImGuiWindowFlags_NoCollapse;

inline constexpr ImVec4 kGold(1.0f, 0.8f, 0.0f, 1.0f);
inline constexpr ImVec4 kGreen(0.0f, 1.0f, 0.5f, 1.0f);
inline constexpr ImVec4 kGrey(0.7f, 0.7f, 0.7f, 1.0f);
inline constexpr ImVec4 kFieldColour(0.15f, 0.15f, 0.2f, 0.9f);  // edit fields, combo, checkbox
inline constexpr ImVec4 kFieldHoverColour(0.2f, 0.2f, 0.3f, 0.9f);

// One panel's frame: its title and the window below it.
struct PanelLayout {
    const char* title;
    float       hueSpeed;
    float       saturation;
    const char* windowId;
    float       gapBelowTitle;  // × uiScale
    float       widthShare;     // of the viewport
    float       gapAtBottom;    // × uiScale; negative: the window sizes itself
};

void pushFont(ImFont* font);  // at the size it was loaded with
void drawPanelTitle(const char* text, float hueSpeed, float saturation);
void drawCenteredLabel(const char* label);
bool drawImageButton(const char* id, uint32_t texture, uint32_t activeTexture, float width, float height,
                     const char* label);
bool drawNormalButton(const char* id, float width, float height, const char* label);
void drawHeading(const char* text);  // in the button font
void drawTextCentred(const char* text, const ImVec4& colour);
void drawSpacer(float height);  // × uiScale

void beginPanel(const PanelLayout& layout);  // the caller ends the window
void beginContentBox(const char* id, bool padded, bool fitsContent);
void endContentBox(bool padded);
void spaceAboveButtons(float buttonHeight);  // pushes a row of buttons to the window's bottom
bool drawCentredBackButton();
