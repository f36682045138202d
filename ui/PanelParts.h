// The parts every menu panel is built of: the glowing title over the dimmed
// screen with the panel's window below it, the dark rounded content box, the
// image buttons and the text helpers. What a panel shows is its own file's.
// Main thread, inside a GUI frame.
#pragma once

struct ImFont;
struct ImVec4;

inline constexpr float kButtonWidth  = 400.0f;  // × uiScale
inline constexpr float kButtonHeight = 125.2f;

struct PanelLayout {
    const char* title;
    float       hueSpeed;
    float       saturation;
    const char* windowId;
    float       gapBelowTitle;  // × uiScale
    float       widthShare;     // of the viewport
    float       gapAtBottom;    // × uiScale; negative: the window sizes itself
};

void beginPanel(const PanelLayout& layout);  // the caller ends the window
void beginContentBox(const char* id, bool padded, bool fitsContent);
void endContentBox(bool padded);
void spaceAboveButtons(float buttonHeight);
bool normalButton(const char* id, float width, float height, const char* label);
bool centredBackButton();
void drawTextCentred(const char* text, const ImVec4& colour);
void spacer(float height);  // × uiScale
void heading(const char* text);
void pushFont(ImFont* font);
