#include "ui/UISystem.h"

#include "base/Log.h"
#include "level/LevelList.h"
#include "render/FontCheck.h"
#include "render/GLFunctions.h"
#include "render/RenderState.h"
#include "ui/filebrowser/FileDialogs.h"

#include <SDL3/SDL.h>
#include <imgui.h>
#include <imgui_internal.h>
#include <imgui_impl_opengl3.h>
#include <imgui_impl_sdl3.h>
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

float    uiScale             = 1.0f;
ImFont*  defaultFont         = nullptr;
ImFont*  boldFont            = nullptr;
ImFont*  titleFont           = nullptr;
ImFont*  scoreFont           = nullptr;
ImFont*  buttonFont          = nullptr;
uint32_t buttonNormalTexture = 0, buttonNormalActiveTexture = 0;
uint32_t buttonStartTexture = 0, buttonStartActiveTexture = 0;
uint32_t buttonExitTexture = 0, buttonExitActiveTexture = 0;

namespace {

// The GUI library asserts on font data this small.
constexpr size_t kSmallestFont = 101;

ImFont* loadFontOr(const char* path, float size, ImFont* fallback, const char* message) {
    ImFont* font = UISystem::loadFont(path, size);
    if (font != nullptr) return font;
    base::logError(message, path);
    return fallback;
}

void loadFonts() {
    ImFontAtlas* atlas = ImGui::GetIO().Fonts;
    atlas->Clear();
    const float s = uiScale;
    defaultFont   = UISystem::loadFont("fonts/Roboto-Regular.ttf", 36.0f * s);
    if (defaultFont == nullptr) {
        base::logError("Failed to load default font: %s. Using fallback.", "fonts/Roboto-Regular.ttf");
        defaultFont = atlas->AddFontDefault();
    }
    boldFont =
        loadFontOr("fonts/Roboto-Bold.ttf", 36.0f * s, defaultFont, "Failed to load bold font: %s. Using fallback.");
    titleFont = loadFontOr("fonts/Orbitron-Regular.ttf", 96.0f * s, defaultFont,
                           "Failed to load title font: %s. Using default.");
    scoreFont =
        loadFontOr("fonts/Roboto-Regular.ttf", 48.0f * s, defaultFont, "Failed to load score font: %s. Using default.");
    buttonFont =
        loadFontOr("fonts/Roboto-Medium.ttf", 42.0f * s, defaultFont, "Failed to load button font: %s. Using default.");
    atlas->Build();
}

void applyStyle() {
    ImGui::StyleColorsDark();
    ImGuiStyle& style = ImGui::GetStyle();
    style.ScaleAllSizes(uiScale);
    style.WindowRounding                 = 8.0f;
    style.FrameRounding                  = 4.0f;
    style.GrabRounding                   = 4.0f;
    style.Alpha                          = 0.85f;
    style.WindowBorderSize               = 1.0f;
    style.WindowPadding                  = ImVec2(8.0f * uiScale, 8.0f * uiScale);
    style.Colors[ImGuiCol_WindowBg]      = ImVec4(0.02f, 0.02f, 0.02f, 0.75f);
    style.Colors[ImGuiCol_ChildBg]       = ImVec4(0.0f, 0.0f, 0.0f, 0.5f);
    style.Colors[ImGuiCol_FrameBg]       = ImVec4(0.1f, 0.1f, 0.1f, 0.7f);
    style.Colors[ImGuiCol_Button]        = ImVec4(0.2f, 0.2f, 0.2f, 0.8f);
    style.Colors[ImGuiCol_ButtonHovered] = ImVec4(0.3f, 0.3f, 0.3f, 0.9f);
}

void loadButtonTexture(uint32_t& texture, const char* path, const char* message) {
    int width = 0, height = 0;
    if (texture == 0 && !UISystem::loadTexture(path, texture, width, height)) base::logError("%s", message);
}

void loadButtonTextures() {
    const char* normal = "Failed to load button.png for main menu ImageButtons";
    const char* start  = "Failed to load button_start.png for start button";
    const char* exit   = "Failed to load button_exit.png for exit button";
    loadButtonTexture(buttonNormalTexture, "textures/button_normal_inactive.png", normal);
    loadButtonTexture(buttonStartTexture, "textures/button_start_inactive.png", start);
    loadButtonTexture(buttonExitTexture, "textures/button_exit_inactive.png", exit);
    loadButtonTexture(buttonNormalActiveTexture, "textures/button_normal_active.png", normal);
    loadButtonTexture(buttonStartActiveTexture, "textures/button_start_active.png", start);
    loadButtonTexture(buttonExitActiveTexture, "textures/button_exit_active.png", exit);
}

// The GL state the game's passes rely on, saved around the GUI's draw.
struct SavedGLState {
    GLboolean blend = 0, depthTest = 0, cullFace = 0, scissorTest = 0, depthMask = 0;
    GLint     blendSource = 0, blendDestination = 0, blendEquation = 0, depthFunc = 0;
    GLint     cullFaceMode = 0, frontFace = 0, scissorBox[4] = {}, activeTexture = 0;
    GLint     texture = 0, program = 0, vertexArray = 0;
};

SavedGLState saveGLState() {
    SavedGLState saved;
    gl.glGetBooleanv(GL_BLEND, &saved.blend);
    gl.glGetBooleanv(GL_DEPTH_TEST, &saved.depthTest);
    gl.glGetBooleanv(GL_CULL_FACE, &saved.cullFace);
    gl.glGetBooleanv(GL_SCISSOR_TEST, &saved.scissorTest);
    gl.glGetIntegerv(GL_BLEND_SRC_ALPHA, &saved.blendSource);
    gl.glGetIntegerv(GL_BLEND_DST_ALPHA, &saved.blendDestination);
    gl.glGetIntegerv(GL_BLEND_EQUATION, &saved.blendEquation);
    gl.glGetIntegerv(GL_DEPTH_FUNC, &saved.depthFunc);
    gl.glGetBooleanv(GL_DEPTH_WRITEMASK, &saved.depthMask);
    gl.glGetIntegerv(GL_CULL_FACE_MODE, &saved.cullFaceMode);
    gl.glGetIntegerv(GL_FRONT_FACE, &saved.frontFace);
    gl.glGetIntegerv(GL_SCISSOR_BOX, saved.scissorBox);
    gl.glGetIntegerv(GL_ACTIVE_TEXTURE, &saved.activeTexture);
    gl.glGetIntegerv(GL_TEXTURE_BINDING_2D, &saved.texture);
    gl.glGetIntegerv(GL_CURRENT_PROGRAM, &saved.program);
    gl.glGetIntegerv(GL_VERTEX_ARRAY_BINDING, &saved.vertexArray);
    return saved;
}

void setEnabled(GLenum capability, GLboolean enabled) {
    if (enabled) gl.glEnable(capability);
    else gl.glDisable(capability);
}

void restoreGLState(const SavedGLState& saved) {
    setEnabled(GL_BLEND, saved.blend);
    setEnabled(GL_DEPTH_TEST, saved.depthTest);
    setEnabled(GL_CULL_FACE, saved.cullFace);
    setEnabled(GL_SCISSOR_TEST, saved.scissorTest);
    gl.glBlendFunc(static_cast<GLenum>(saved.blendSource), static_cast<GLenum>(saved.blendDestination));
    gl.glBlendEquation(static_cast<GLenum>(saved.blendEquation));
    gl.glDepthFunc(static_cast<GLenum>(saved.depthFunc));
    gl.glDepthMask(saved.depthMask);
    gl.glCullFace(static_cast<GLenum>(saved.cullFaceMode));
    gl.glFrontFace(static_cast<GLenum>(saved.frontFace));
    gl.glScissor(saved.scissorBox[0], saved.scissorBox[1], saved.scissorBox[2], saved.scissorBox[3]);
    gl.glActiveTexture(static_cast<GLenum>(saved.activeTexture));
    gl.glBindTexture(GL_TEXTURE_2D, static_cast<GLuint>(saved.texture));
    gl.glUseProgram(static_cast<GLuint>(saved.program));
    gl.glBindVertexArray(static_cast<GLuint>(saved.vertexArray));
}

}  // namespace

namespace UISystem {

float scaleFor(float contentScale, int pixelWidth, int pixelHeight) {
    const float content = std::max(contentScale, 1.0f);
    const float room    = std::max(std::min(pixelHeight / 900.0f, pixelWidth / 550.0f), 1.0f);
    return std::min(room, content);
}

bool init(RenderState& render) {
    IMGUI_CHECKVERSION();
    ImGui::CreateContext();
    ImGui_ImplSDL3_InitForOpenGL(render.window, render.glContext);
    ImGui_ImplOpenGL3_Init("#version 300 es");
    // A double click reaches the GUI over four frames; the library's 0.3 s is too short for
    // them on a slow (software-rendered) frame. Half a second is the usual desktop setting.
    ImGui::GetIO().MouseDoubleClickTime = 0.5f;

    int pixelWidth = 0, pixelHeight = 0;
    SDL_GetWindowSizeInPixels(render.window, &pixelWidth, &pixelHeight);
    uiScale = scaleFor(SDL_GetDisplayContentScale(SDL_GetDisplayForWindow(render.window)), pixelWidth, pixelHeight);

    loadFonts();
    applyStyle();
    setUpFileDialogs();
    loadLevelList();
    loadButtonTextures();
    return true;
}

// Before the GUI is set up (or once it is gone) nothing is there to take events.
void processEvent(const SDL_Event& event) {
    if (ImGui::GetCurrentContext() != nullptr) ImGui_ImplSDL3_ProcessEvent(&event);
}

// io.WantTextInput follows a frame behind (it is set at the next NewFrame); the
// text field's own request from the frame just ended is current when the
// events of the next one are read.
bool wantsTextInput() {
    const ImGuiContext* context = ImGui::GetCurrentContext();
    return context != nullptr && context->PlatformImeData.WantTextInput;
}

void beginFrame() {
    ImGui_ImplOpenGL3_NewFrame();
    ImGui_ImplSDL3_NewFrame();
    ImGui::NewFrame();
}

void endFrame() {
    const SavedGLState saved = saveGLState();
    gl.glEnable(GL_BLEND);
    gl.glBlendEquation(GL_FUNC_ADD);
    gl.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    gl.glDisable(GL_CULL_FACE);
    gl.glDisable(GL_DEPTH_TEST);
    gl.glEnable(GL_SCISSOR_TEST);
    ImGui::Render();
    ImGui_ImplOpenGL3_RenderDrawData(ImGui::GetDrawData());
    restoreGLState(saved);
}

void shutdown() {
    ImGui_ImplOpenGL3_Shutdown();
    ImGui_ImplSDL3_Shutdown();
    ImGui::DestroyContext();
}

ImFont* loadFont(const std::string& path, float pixelSize) {
    size_t size  = 0;
    void*  bytes = SDL_LoadFile(path.c_str(), &size);
    if (bytes == nullptr || size == 0) {
        base::logError("CRITICAL: SDL_LoadFile failed for font: '%s'. SDL_Error: %s", path.c_str(), SDL_GetError());
        SDL_free(bytes);
        return nullptr;
    }
    void* copy = std::malloc(size);
    if (copy == nullptr) {
        base::logError("CRITICAL: malloc failed for font buffer of size %zu", size);
        SDL_free(bytes);
        return nullptr;
    }
    std::memcpy(copy, bytes, size);
    SDL_free(bytes);
    // A damaged file never reaches the library: it would assert or read past it.
    // Once handed over, the atlas owns the copy and frees it even on failure.
    const bool usable = size >= kSmallestFont && isUsableFont(static_cast<const unsigned char*>(copy), size);
    ImFont*    font   = nullptr;
    if (usable)
        font = ImGui::GetIO().Fonts->AddFontFromMemoryTTF(copy, static_cast<int>(size), pixelSize, nullptr, nullptr);
    else std::free(copy);
    if (font == nullptr) {
        base::logError("ImGui::AddFontFromMemoryTTF failed for '%s'. The font file may be corrupt.", path.c_str());
        return nullptr;
    }
    base::logInfo("Successfully submitted font '%s' to ImGui.", path.c_str());
    return font;
}

bool loadTexture(const std::string& path, uint32_t& texture, int& width, int& height) {
    size_t size  = 0;
    void*  bytes = SDL_LoadFile(path.c_str(), &size);
    if (bytes == nullptr) return false;
    if (size == 0) {
        SDL_free(bytes);
        return false;
    }
    int            channels = 0;
    unsigned char* pixels   = stbi_load_from_memory(static_cast<const stbi_uc*>(bytes), static_cast<int>(size), &width,
                                                    &height, &channels, 4);
    SDL_free(bytes);
    if (pixels == nullptr) return false;

    GLuint name = 0;
    glGenTextures(1, &name);
    gl.glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    stbi_image_free(pixels);
    texture = name;
    return true;
}

}  // namespace UISystem
