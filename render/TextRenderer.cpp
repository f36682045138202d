// The render state's own small text renderer: a 512 x 512 single-channel atlas
// baked with stb_truetype, and one draw call per string.
#include "render/RenderState.h"

#include "base/Log.h"
#include "render/FontCheck.h"
#include "render/GLFunctions.h"

#include <SDL3/SDL_iostream.h>
#include <SDL3/SDL_stdinc.h>

#define STB_TRUETYPE_IMPLEMENTATION
#include <stb_truetype.h>

#include <array>
#include <cstdint>
#include <vector>

using base::logError;
using base::logInfo;

namespace {

constexpr int   kAtlasSize      = 512;
constexpr float kTexelSize      = 1.0f / 512.0f;
constexpr int   kFirstCharacter = 32;
constexpr int   kCharacterCount = 95;

struct TextVertex {
    float x, y;
    float u, v;
    float red, green, blue, alpha;
};
static_assert(sizeof(TextVertex) == 32);

// Releases SDL_LoadFile's buffer on every way out.
struct LoadedFile {
    size_t         size  = 0;  // before bytes: the load writes it
    unsigned char* bytes = nullptr;
    explicit LoadedFile(const std::string& path)
        : bytes(static_cast<unsigned char*>(SDL_LoadFile(path.c_str(), &size))) {}
    ~LoadedFile() { SDL_free(bytes); }
    LoadedFile(const LoadedFile&)            = delete;
    LoadedFile& operator=(const LoadedFile&) = delete;
};

uint32_t readBigEndian(const unsigned char* p, int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value = (value << 8) | p[i];
    return value;
}

// stb_truetype trusts the file: make sure its table directory and every table it
// names lie inside the bytes before handing them over.
bool tablesInBounds(const unsigned char* bytes, size_t size) {
    if (size < 12) return false;
    const size_t tableCount = readBigEndian(bytes + 4, 2);
    if (size < 12 + tableCount * 16) return false;
    for (size_t t = 0; t < tableCount; ++t) {
        const unsigned char* entry  = bytes + 12 + t * 16;
        const uint64_t       offset = readBigEndian(entry + 8, 4);
        const uint64_t       length = readBigEndian(entry + 12, 4);
        if (offset + length > size) return false;
    }
    return true;
}

}  // namespace

bool isUsableFont(const unsigned char* bytes, size_t size) {
    stbtt_fontinfo font;
    return bytes != nullptr && tablesInBounds(bytes, size) && stbtt_InitFont(&font, bytes, 0);
}

namespace {

Glyph glyphFrom(const stbtt_bakedchar& baked) {
    Glyph glyph;
    glyph.width    = static_cast<float>(baked.x1 - baked.x0);
    glyph.height   = static_cast<float>(baked.y1 - baked.y0);
    glyph.uvLeft   = baked.x0 * kTexelSize;
    glyph.uvTop    = baked.y0 * kTexelSize;
    glyph.uvRight  = baked.x1 * kTexelSize;
    glyph.uvBottom = baked.y1 * kTexelSize;
    glyph.advance  = baked.xadvance;
    glyph.xOffset  = baked.xoff;
    glyph.yOffset  = baked.yoff;
    return glyph;
}

uint32_t createAtlasTexture(const unsigned char* bitmap) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    gl.glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_R8, kAtlasSize, kAtlasSize, 0, GL_RED, GL_UNSIGNED_BYTE, bitmap);
    return texture;
}

// Pixels from the top-left corner, y downward, to clip space (column-major).
std::array<float, 16> pixelProjection(float w, float h) {
    return {2.0f / w, 0.0f, 0.0f, 0.0f, 0.0f, -2.0f / h, 0.0f, 0.0f, 0.0f, 0.0f, -1.0f, 0.0f, -1.0f, 1.0f, 0.0f, 1.0f};
}

void appendQuad(std::vector<TextVertex>& vertices, const Glyph& glyph, float penX, float baseline, float scale,
                const float color[4]) {
    const float x0     = penX + scale * glyph.xOffset;
    const float y0     = baseline + scale * glyph.yOffset;
    const float x1     = x0 + scale * glyph.width;
    const float y1     = y0 + scale * glyph.height;
    const auto  corner = [&](float x, float y, float u, float v) {
        vertices.push_back({x, y, u, v, color[0], color[1], color[2], color[3]});
    };
    corner(x0, y0, glyph.uvLeft, glyph.uvTop);
    corner(x1, y0, glyph.uvRight, glyph.uvTop);
    corner(x1, y1, glyph.uvRight, glyph.uvBottom);
    corner(x0, y0, glyph.uvLeft, glyph.uvTop);
    corner(x1, y1, glyph.uvRight, glyph.uvBottom);
    corner(x0, y1, glyph.uvLeft, glyph.uvBottom);
}

void describeTextVertex() {
    struct Attribute {
        GLuint location;
        GLint  components;
        size_t offset;
    };
    constexpr Attribute attributes[] = {{0, 2, 0}, {1, 2, 8}, {2, 4, 16}};
    for (const Attribute& attribute : attributes) {
        gl.glVertexAttribPointer(attribute.location, attribute.components, GL_FLOAT, GL_FALSE, sizeof(TextVertex),
                                 reinterpret_cast<const void*>(attribute.offset));
        gl.glEnableVertexAttribArray(attribute.location);
    }
}

// Start-up sets the text pass up twice; the second set replaces the first
// instead of leaking it.
void releaseTextObjects(RenderState& render) {
    releaseBuffer(render.textVertexBuffer);
    releaseVertexArray(render.textVertexArray);
    releaseProgram(render.textProgram);
    releaseShader(render.textVertexShader);
    releaseShader(render.textFragmentShader);
}

}  // namespace

bool RenderState::initTextRendering() {
    releaseTextObjects(*this);
    const ShaderProgram built = loadProgram("shaders/text.vert", "shaders/text.frag", "text ");
    if (built.program == 0) return false;
    textVertexShader   = built.vertexShader;
    textFragmentShader = built.fragmentShader;
    textProgram        = built.program;

    gl.glGenVertexArrays(1, &textVertexArray);
    gl.glGenBuffers(1, &textVertexBuffer);
    gl.glBindVertexArray(textVertexArray);
    gl.glBindBuffer(GL_ARRAY_BUFFER, textVertexBuffer);
    describeTextVertex();
    gl.glBindVertexArray(0);
    gl.glBindBuffer(GL_ARRAY_BUFFER, 0);
    logInfo("Text rendering system initialized successfully!");
    return true;
}

bool RenderState::loadFontAtlas(const std::string& fontPath, int32_t pixelHeight) {
    const LoadedFile file(fontPath);
    if (!file.bytes || file.size == 0) {
        logError("Failed to load font file: %s", fontPath.c_str());
        return false;
    }
    if (!isUsableFont(file.bytes, file.size)) {
        logError("Failed to initialize font: %s", fontPath.c_str());
        return false;
    }
    std::vector<unsigned char>                   bitmap(kAtlasSize * kAtlasSize, 0);
    std::array<stbtt_bakedchar, kCharacterCount> baked{};
    if (stbtt_BakeFontBitmap(file.bytes, 0, static_cast<float>(pixelHeight), bitmap.data(), kAtlasSize, kAtlasSize,
                             kFirstCharacter, kCharacterCount, baked.data()) <= 0) {
        logError("Failed to bake font bitmap: %s", fontPath.c_str());
        return false;
    }

    releaseTexture(fontTexture);
    fontTexture = createAtlasTexture(bitmap.data());
    atlasWidth  = kAtlasSize;
    atlasHeight = kAtlasSize;

    glyphs.clear();
    for (int k = 0; k < kCharacterCount; ++k) glyphs[kFirstCharacter + k] = glyphFrom(baked[k]);
    logInfo("Font atlas loaded successfully: %dx%d, %d characters", kAtlasSize, kAtlasSize, kCharacterCount);
    return true;
}

void RenderState::renderText(const char* text, float x, float y, float red, float green, float blue, float alpha,
                             float scale) {
    if (!text || textProgram == 0 || fontTexture == 0) return;

    gl.glUseProgram(textProgram);
    gl.glActiveTexture(GL_TEXTURE0);
    gl.glBindTexture(GL_TEXTURE_2D, fontTexture);
    const GLint textureLocation = gl.glGetUniformLocation(textProgram, "uFontTexture");
    if (textureLocation != -1) gl.glUniform1i(textureLocation, 0);
    const GLint projectionLocation = gl.glGetUniformLocation(textProgram, "uProjection");
    if (projectionLocation != -1) {
        const std::array<float, 16> projection = pixelProjection(static_cast<float>(width), static_cast<float>(height));
        gl.glUniformMatrix4fv(projectionLocation, 1, GL_FALSE, projection.data());
    }
    gl.glDisable(GL_DEPTH_TEST);
    gl.glEnable(GL_BLEND);
    gl.glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);

    const float             color[4] = {red, green, blue, alpha};
    std::vector<TextVertex> vertices;
    float                   penX = x;
    for (const char* c = text; *c != '\0'; ++c) {
        const auto found = glyphs.find(static_cast<int32_t>(static_cast<signed char>(*c)));
        if (found == glyphs.end()) continue;
        appendQuad(vertices, found->second, penX, y, scale, color);
        penX += scale * found->second.advance;
    }

    if (!vertices.empty()) {
        gl.glBindVertexArray(textVertexArray);
        gl.glBindBuffer(GL_ARRAY_BUFFER, textVertexBuffer);
        gl.glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof(TextVertex)), vertices.data(),
                        GL_DYNAMIC_DRAW);
        gl.glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(vertices.size()));
        gl.glBindVertexArray(0);
        gl.glBindBuffer(GL_ARRAY_BUFFER, 0);
    }
    gl.glUseProgram(0);
    gl.glDisable(GL_BLEND);
    checkGLError("Text rendering");
}
