// The GUI's set-up on the game's window and GL context: Dear ImGui with its SDL3
// and OpenGL3 back ends, the five GUI fonts (each falling back to the default
// font, and that to the library's built-in one), the six button images, the
// style, and the bracket around each frame's GUI drawing. endFrame leaves the GL
// state as the game's passes set it. What is drawn is the dispatcher's
// (App::drawGui). Main thread only; the state below lives for the whole run.
#pragma once

#include <cstdint>
#include <string>

union SDL_Event;
struct ImFont;
struct RenderState;

extern float    uiScale;  // 1 unless the display reports a content scale above 1
extern ImFont*  defaultFont;
extern ImFont*  boldFont;
extern ImFont*  titleFont;
extern ImFont*  scoreFont;
extern ImFont*  buttonFont;
extern uint32_t buttonNormalTexture, buttonNormalActiveTexture;  // 0: the image did not load
extern uint32_t buttonStartTexture, buttonStartActiveTexture;
extern uint32_t buttonExitTexture, buttonExitActiveTexture;

namespace UISystem {
bool    init(RenderState& render);  // always true: every missing asset has a fallback
void    processEvent(const SDL_Event& event);
bool    wantsTextInput();  // a text field had the keyboard at the end of the last frame
void    beginFrame();
void    endFrame();
void    shutdown();
ImFont* loadFont(const std::string& path, float pixelSize);  // null on failure
bool    loadTexture(const std::string& path, uint32_t& texture, int& width, int& height);
// The scale rule: the display's content scale (at least 1), but no more than
// the window has room for at 550 x 900 reference pixels.
float scaleFor(float contentScale, int pixelWidth, int pixelHeight);
}  // namespace UISystem
