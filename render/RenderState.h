// The rendering half of the game: the SDL window and its OpenGL context, the
// background, circle and text programs, the font atlas, the shared uniform block
// and the audio-reactive per-stem animation that feeds it, and the drawing of a
// list of circles. Which circles, and how they look from the run's state, is
// gameplay's (GameLogic::renderCircles); the main loop decides when each pass
// runs and uploads the block once per frame.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct SDL_Window;
typedef struct SDL_GLContextState* SDL_GLContext;
struct MidiNoteEvent;

// Everything visual has eight stem slots: the block, the colours, the animation.
inline constexpr int kStemSlots = 8;

// One baked character of the font atlas (texels, pixels at the baked size).
struct Glyph {
    float width    = 0.0f;
    float height   = 0.0f;
    float uvLeft   = 0.0f;
    float uvTop    = 0.0f;
    float uvRight  = 0.0f;
    float uvBottom = 0.0f;
    float advance  = 0.0f;
    float xOffset  = 0.0f;  // pen (baseline) to the box's top-left, y downward
    float yOffset  = 0.0f;
};

// CPU mirror of the std140 block "ShaderUniforms" (binding point 0), byte for byte.
struct ShaderUniforms {
    float resolution[3];  // drawable size in pixels, 1.0
    float padding0;
    float time;
    float timeDelta;
    float frameRate;
    float frame;
    float mouse[4];  // pointer x, y; pointer at the last press
    float date[4];   // year, month, day, seconds since local midnight
    float sampleRate;
    float padding1[3];
    float stems[kStemSlots][4];  // value, active, (slot 0: active count, ease)
};
static_assert(sizeof(ShaderUniforms) == 208);
static_assert(offsetof(ShaderUniforms, padding0) == 12);
static_assert(offsetof(ShaderUniforms, time) == 16);
static_assert(offsetof(ShaderUniforms, timeDelta) == 20);
static_assert(offsetof(ShaderUniforms, frameRate) == 24);
static_assert(offsetof(ShaderUniforms, frame) == 28);
static_assert(offsetof(ShaderUniforms, mouse) == 32);
static_assert(offsetof(ShaderUniforms, date) == 48);
static_assert(offsetof(ShaderUniforms, sampleRate) == 64);
static_assert(offsetof(ShaderUniforms, padding1) == 68);
static_assert(offsetof(ShaderUniforms, stems) == 80);

// One circle as the circle program reads it from its storage buffer (std430),
// in window pixels from the bottom-left.
struct CircleInstance {
    float   x            = 0.0f;
    float   y            = 0.0f;
    float   radius       = 0.0f;  // the growing disc
    float   targetRadius = 0.0f;  // the ring
    int32_t stemIndex    = 0;     // colour and pulse; clamped to 0..7
    int32_t flags        = 0;     // kCircleHit | kCircleHold
    float   holdProgress = 0.0f;  // 0..1, the arc of a hold note
    float   padding      = 0.0f;
};
static_assert(sizeof(CircleInstance) == 32);
inline constexpr int32_t kCircleHit  = 1;
inline constexpr int32_t kCircleHold = 2;
// Pixels of glow a circle draws outside its larger radius; the circle shaders use the same.
inline constexpr float kCircleGlowReach = 24.0f;

struct RenderState {
    SDL_Window*   window    = nullptr;
    SDL_GLContext glContext = nullptr;

    uint32_t                 backgroundVertexShader   = 0;
    uint32_t                 backgroundFragmentShader = 0;
    uint32_t                 backgroundProgram        = 0;
    uint32_t                 circleVertexShader       = 0;
    uint32_t                 circleFragmentShader     = 0;
    uint32_t                 circleProgram            = 0;
    uint32_t                 textVertexShader         = 0;
    uint32_t                 textFragmentShader       = 0;
    uint32_t                 textProgram              = 0;
    uint32_t                 textVertexArray          = 0;
    uint32_t                 textVertexBuffer         = 0;
    uint32_t                 fontTexture              = 0;
    int32_t                  atlasWidth               = 0;
    int32_t                  atlasHeight              = 0;
    std::map<int32_t, Glyph> glyphs;
    uint32_t                 backgroundVertexArray = 0;
    uint32_t                 uniformBuffer         = 0;
    uint32_t                 circleVertexArray     = 0;
    uint32_t                 circleBuffer = 0;  // storage binding 1: the CircleInstance records, last circle first

    ShaderUniforms uniforms{};
    float          elapsedTime = 0.0f;
    int32_t        width       = 0;
    int32_t        height      = 0;
    int32_t        frameCount  = 0;

    // The logic thread's note pulse reads and writes target, flag and peak of a
    // slot while the main thread eases them, so those elements are atomic.
    std::array<float, kStemSlots>                stemValue{};
    std::array<std::atomic<float>, kStemSlots>   stemTarget{};
    std::array<float, kStemSlots>                stemBase{};
    std::array<std::atomic<float>, kStemSlots>   stemPeak{};
    std::array<float, kStemSlots>                stemLerpSpeed{};
    std::array<std::atomic<bool>, kStemSlots>    stemPulsing{};
    std::array<bool, kStemSlots>                 stemActive{};
    int32_t                                      activeStemCount = 0;
    float                                        stemCountEase   = 0.0f;
    std::array<std::array<float, 4>, kStemSlots> stemColor{};  // RGBA

    bool init(const char* title, int32_t windowWidth, int32_t windowHeight);
    bool initOpenGL();
    bool initShaders();
    bool initCircleRendering();
    bool initTextRendering();
    bool loadFontAtlas(const std::string& fontPath, int32_t pixelHeight);
    void renderText(const char* text, float x, float y, float red, float green, float blue, float alpha, float scale);
    void writeUniforms();
    void update(float dt);
    void setPointer(float x, float y, bool pressed);
    void pulseStem(const MidiNoteEvent& event);
    void bindUniformBlocks();
    void renderFrame();
    // One instanced draw, blended over the frame: every circle covers only
    // the pixels it can draw on, and earlier circles lie in front.
    void drawCircles(const std::vector<CircleInstance>& circles);
    void refreshWindowSize();
    void swapBuffers();
    void shutdown();
};

// Shader utilities shared by every program of the game (level packages included).
std::string loadShaderFile(const std::string& path);                        // empty on failure
uint32_t    compileShader(const std::string& source, uint32_t shaderType);  // 0 on failure
uint32_t    createShaderProgram(uint32_t vertexShader, uint32_t fragmentShader);

// One stage of a program: source text to compile, or a shader compiled before
// (a level package's background keeps the game's vertex shader).
struct ShaderStage {
    std::string source;
    uint32_t    compiled = 0;
};
// A program and its two shaders; all zero when it could not be built.
struct ShaderProgram {
    uint32_t vertexShader   = 0;
    uint32_t fragmentShader = 0;
    uint32_t program        = 0;
};
// Whether a failed compile or link adds a line of its own after the driver's log
// (the circle program has always left it at the driver's log).
enum class BuildFailures { Said, DriverLogOnly };
// Compiles what the stages need and links them. The step that fails is logged
// with the label ("Failed to compile text vertex shader"); what it made is released.
ShaderProgram buildProgram(const ShaderStage& vertex, const ShaderStage& fragment, const std::string& label,
                           BuildFailures failures = BuildFailures::Said);
// Reads both files first ("Failed to load text vertex shader source"), then builds.
ShaderProgram loadProgram(const std::string& vertexPath, const std::string& fragmentPath, const std::string& label,
                          BuildFailures failures = BuildFailures::Said);

// Fills the process-wide GL entry-point table through SDL_GL_GetProcAddress.
bool loadOpenGLFunctions();
// Reports (and consumes) one pending GL error; true when there was none.
bool checkGLError(const std::string& context);
