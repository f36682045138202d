// Draws the six main-menu button images (normal, start, exit; inactive and
// active) into a folder: a rounded, glossy neon button that reads over the dark
// shader background, and a pressed look for the held button. Deterministic: the
// same bytes every run, so the committed images can be checked against it.
//   buttongen OUTPUT_FOLDER
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr int   kWidth  = 640;
constexpr int   kHeight = 200;
constexpr float kMargin = 18.0f;  // room for the outer glow
constexpr float kRadius = 46.0f;

struct Colour {
    float r, g, b;
};

struct Look {
    float inset;  // the pressed button sits smaller and lower
    float drop;
    float bodyLight;  // neon tint of the body, 0..1
    float glossAlpha;
    float glowAlpha;
    float shadowAlpha;  // inner shadow along the top edge when pressed
};

constexpr Look kRaised{0.0f, 0.0f, 0.25f, 0.32f, 0.8f, 0.0f};
constexpr Look kPressed{5.0f, 4.0f, 0.5f, 0.1f, 1.0f, 0.55f};

float clamp01(float v) { return std::clamp(v, 0.0f, 1.0f); }

// Signed distance to a rounded rectangle centred at (cx, cy).
float roundedBox(float x, float y, float cx, float cy, float halfW, float halfH, float radius) {
    const float qx = std::fabs(x - cx) - (halfW - radius);
    const float qy = std::fabs(y - cy) - (halfH - radius);
    const float ox = std::max(qx, 0.0f), oy = std::max(qy, 0.0f);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0f) - radius;
}

// Premultiplied "over".
void over(float rgba[4], Colour c, float alpha) {
    rgba[0] = c.r * alpha + rgba[0] * (1.0f - alpha);
    rgba[1] = c.g * alpha + rgba[1] * (1.0f - alpha);
    rgba[2] = c.b * alpha + rgba[2] * (1.0f - alpha);
    rgba[3] = alpha + rgba[3] * (1.0f - alpha);
}

void shadePixel(float x, float y, Colour neon, const Look& look, float rgba[4]) {
    const float halfW = kWidth * 0.5f - kMargin - look.inset;
    const float halfH = kHeight * 0.5f - kMargin - look.inset;
    const float cx = kWidth * 0.5f, cy = kHeight * 0.5f + look.drop;
    const float d = roundedBox(x, y, cx, cy, halfW, halfH, kRadius - look.inset);
    const float v = clamp01((y - (cy - halfH)) / (2.0f * halfH));  // 0 top .. 1 bottom

    // Outer glow, then the body, the rim, the gloss and the pressed shadow.
    if (d > 0.0f) over(rgba, neon, look.glowAlpha * std::exp(-d / 6.0f) * 0.7f);
    const float inside = clamp01(0.5f - d);
    if (inside > 0.0f) {
        const float  lift = look.bodyLight * (1.0f - 0.6f * v);
        const Colour body{0.04f + neon.r * lift, 0.04f + neon.g * lift, 0.07f + neon.b * lift};
        over(rgba, body, inside * 0.92f);
        const float rim = clamp01(1.0f - std::fabs(d + 3.5f) / 3.0f);
        over(rgba, Colour{neon.r * 0.8f + 0.2f, neon.g * 0.8f + 0.2f, neon.b * 0.8f + 0.2f}, rim * inside);
        const float glossEdge = roundedBox(x, y, cx, cy - halfH * 0.45f, halfW - 12.0f, halfH * 0.45f, kRadius - 14.0f);
        const float gloss     = clamp01(0.5f - glossEdge) * (1.0f - clamp01(v / 0.5f));
        over(rgba, Colour{1.0f, 1.0f, 1.0f}, gloss * look.glossAlpha);
        const float shadow = look.shadowAlpha * clamp01(1.0f - v / 0.25f) * clamp01(-d / 2.0f);
        over(rgba, Colour{0.0f, 0.0f, 0.0f}, shadow);
    }
}

bool writeButton(const std::string& path, Colour neon, const Look& look) {
    std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 4);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            float rgba[4] = {0.0f, 0.0f, 0.0f, 0.0f};
            shadePixel(x + 0.5f, y + 0.5f, neon, look, rgba);
            uint8_t*    out   = &pixels[(static_cast<size_t>(y) * kWidth + x) * 4];
            const float alpha = rgba[3];
            for (int c = 0; c < 3; ++c)  // back to straight alpha for the PNG
                out[c] = static_cast<uint8_t>(std::lround(clamp01(alpha > 0.0f ? rgba[c] / alpha : 0.0f) * 255.0f));
            out[3] = static_cast<uint8_t>(std::lround(clamp01(alpha) * 255.0f));
        }
    }
    if (stbi_write_png(path.c_str(), kWidth, kHeight, 4, pixels.data(), kWidth * 4) == 0) {
        std::fprintf(stderr, "buttongen: cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: buttongen OUTPUT_FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    struct Button {
        const char* name;
        Colour      neon;
    };
    const Button buttons[] = {
        {"normal", {0.25f, 0.75f, 1.0f}},
        {"start", {0.2f, 1.0f, 0.55f}},
        {"exit", {1.0f, 0.25f, 0.4f}},
    };
    for (const Button& button : buttons) {
        const std::string base = folder + "/button_" + button.name;
        if (!writeButton(base + "_inactive.png", button.neon, kRaised)) return 1;
        if (!writeButton(base + "_active.png", button.neon, kPressed)) return 1;
    }
    return 0;
}
