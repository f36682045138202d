// The title glow, the buttons and the panel frame every screen of the GUI shares.
#include "ui/Widgets.h"

#include "ui/UISystem.h"

#include <SDL3/SDL_timer.h>
#include <imgui.h>
#include <imgui_internal.h>

#include <cmath>

namespace {

constexpr double kPi = 3.14159265359;

void addTextCopies(ImDrawList* list, ImFont* font, float size, ImVec2 at, float radius, int copies, ImU32 colour,
                   const char* text) {
    for (int j = 0; j < copies; ++j) {
        const double angle = j * 2.0 * kPi / copies;
        const ImVec2 offset(static_cast<float>(radius * std::cos(angle)), static_cast<float>(radius * std::sin(angle)));
        list->AddText(font, size, ImVec2(at.x + offset.x, at.y + offset.y), colour, text);
    }
}

ImU32 colourOf(float red, float green, float blue, int alpha) {
    return IM_COL32(static_cast<int>(red * 255.0f), static_cast<int>(green * 255.0f), static_cast<int>(blue * 255.0f),
                    alpha);
}

}  // namespace

void pushFont(ImFont* font) { ImGui::PushFont(font, font->LegacySize); }

void drawPanelTitle(const char* text, float hueSpeed, float saturation) {
    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    ImGui::GetBackgroundDrawList()->AddRectFilled(
        viewport->Pos, ImVec2(viewport->Pos.x + viewport->Size.x, viewport->Pos.y + viewport->Size.y),
        IM_COL32(0, 0, 0, 128));

    pushFont(titleFont);
    ImFont*      font     = ImGui::GetFont();
    const float  size     = ImGui::GetFontSize();
    const ImVec2 textSize = ImGui::CalcTextSize(text);
    const ImVec2 at(viewport->Pos.x + (viewport->Size.x - textSize.x) * 0.5f,
                    viewport->Pos.y + viewport->Size.y * kTitleTop);

    const float t   = static_cast<float>(SDL_GetTicks());
    const float hue = std::fmod(t * 0.001f * hueSpeed, 1.0f);
    float       red = 0.0f, green = 0.0f, blue = 0.0f;
    ImGui::ColorConvertHSVtoRGB(hue, saturation, 1.0f, red, green, blue);

    ImDrawList* list = ImGui::GetForegroundDrawList();
    const float s    = uiScale;
    list->AddText(font, size, ImVec2(at.x + 2.0f * s, at.y + 2.0f * s), IM_COL32(0, 0, 0, 150), text);
    for (int ring = 1; ring <= 4; ++ring) {
        const float radius = ring * 1.5f * s;
        const int   alpha  = 120 - 20 * ring;
        addTextCopies(list, font, size, at, radius, 12, colourOf(red, green, blue, alpha), text);
        if (ring <= 2)
            addTextCopies(list, font, size, at, 0.7f * radius, 8, colourOf(red, green, blue, alpha + 20), text);
    }
    const float pulse = std::sin(t * 0.001f * 3.0f) * 0.2f + 0.8f;
    list->AddText(font, size, at, colourOf(red * pulse, green * pulse, blue * pulse, 255), text);
    ImGui::PopFont();
}

void drawCenteredLabel(const char* label) {
    const ImVec2 min  = ImGui::GetItemRectMin();
    const ImVec2 max  = ImGui::GetItemRectMax();
    const ImVec2 size = ImGui::CalcTextSize(label);
    const ImVec2 at(min.x + (max.x - min.x - size.x) * 0.5f, min.y + (max.y - min.y - size.y) * 0.5f);
    // On the button's own window: a dialog or window above it covers the label too.
    ImGui::GetWindowDrawList()->AddText(ImGui::GetFont(), ImGui::GetFontSize(), at,
                                        ImGui::GetColorU32(ImVec4(1.0f, 1.0f, 1.0f, 1.0f)), label);
}

bool drawImageButton(const char* id, uint32_t texture, uint32_t activeTexture, float width, float height,
                     const char* label) {
    const bool   held = ImGui::GetActiveID() == ImGui::GetID(id);
    const ImVec4 clear(0.0f, 0.0f, 0.0f, 0.0f);
    ImGui::PushStyleColor(ImGuiCol_Button, clear);
    ImGui::PushStyleColor(ImGuiCol_ButtonActive, clear);
    ImGui::PushStyleColor(ImGuiCol_ButtonHovered, clear);
    const bool clicked =
        ImGui::ImageButton(id, static_cast<ImTextureID>(held ? activeTexture : texture), ImVec2(width, height),
                           ImVec2(0, 0), ImVec2(1, 1), clear, ImVec4(1, 1, 1, 1));
    ImGui::PopStyleColor(3);
    pushFont(buttonFont);
    drawCenteredLabel(label);
    ImGui::PopFont();
    return clicked;
}

bool drawNormalButton(const char* id, float width, float height, const char* label) {
    return drawImageButton(id, buttonNormalTexture, buttonNormalActiveTexture, width, height, label);
}

void drawHeading(const char* text) {
    pushFont(buttonFont);
    ImGui::TextUnformatted(text);
    ImGui::PopFont();
}

void drawTextCentred(const char* text, const ImVec4& colour) {
    ImGui::SetCursorPosX((ImGui::GetWindowWidth() - ImGui::CalcTextSize(text).x) * 0.5f);
    ImGui::TextColored(colour, "%s", text);
}

void drawSpacer(float height) { ImGui::Dummy(ImVec2(0.0f, height * uiScale)); }

void beginPanel(const PanelLayout& layout) {
    drawPanelTitle(layout.title, layout.hueSpeed, layout.saturation);
    const ImGuiViewport* viewport = ImGui::GetMainViewport();
    const float          s        = uiScale;
    const float          h        = ImGui::CalcTextSize(layout.title).y;
    const float          top      = viewport->Pos.y + kTitleTop * viewport->Size.y + h + layout.gapBelowTitle * s;
    const float          width    = layout.widthShare * viewport->Size.x;
    ImGui::SetNextWindowPos(ImVec2(viewport->Pos.x + (viewport->Size.x - width) * 0.5f, top), ImGuiCond_Always);
    ImGuiWindowFlags flags = kFixedWindow | ImGuiWindowFlags_NoBackground;
    if (layout.gapAtBottom < 0.0f) {
        flags |= ImGuiWindowFlags_AlwaysAutoResize;
        ImGui::SetNextWindowSizeConstraints(ImVec2(width, 0.0f), ImVec2(width, (viewport->Size.y - top) * 0.8f));
    } else {
        ImGui::SetNextWindowSize(ImVec2(width, viewport->Size.y - top - layout.gapAtBottom * s));
    }
    ImGui::Begin(layout.windowId, nullptr, flags);
}

// The box's height leaves room for the buttons below unless it sizes itself to
// its content.
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

void spaceAboveButtons(float buttonHeight) {
    const float space = ImGui::GetContentRegionAvail().y - buttonHeight - 10.0f * uiScale;
    if (space > 0.0f) ImGui::Dummy(ImVec2(0.0f, space));
}

bool drawCentredBackButton() {
    const float s = uiScale;
    spaceAboveButtons(kButtonHeight * s);
    ImGui::SetCursorPosX((ImGui::GetWindowWidth() - kButtonWidth * s) * 0.5f);
    return drawNormalButton("##back", kButtonWidth * s, kButtonHeight * s, "Back");
}
