#include "tools/levelgen/BackgroundShaders.h"

namespace levelgen {

#define LUMOKA_SHADER_HEADER                                                      \
    "#version 460 core\n"                                                         \
    "in vec2 vUV;\n"                                                              \
    "out vec4 fragColor;\n"                                                       \
    "\n"                                                                          \
    "layout(std140, binding = 0) uniform ShaderUniforms {\n"                      \
    "    vec4  resolution;  // xy: drawable size in pixels\n"                     \
    "    float time;\n"                                                           \
    "    float timeDelta;\n"                                                      \
    "    float frameRate;\n"                                                      \
    "    float frame;\n"                                                          \
    "    vec4  mouse;\n"                                                          \
    "    vec4  date;\n"                                                           \
    "    float sampleRate;\n"                                                     \
    "    float padding0;\n"                                                       \
    "    float padding1;\n"                                                       \
    "    float padding2;\n"                                                       \
    "    vec4  stems[8];    // x: pulse value (rests at 1), y: 1 while audible\n" \
    "};\n"                                                                        \
    "\n"                                                                          \
    "// How far stem i is above its resting value while it can be heard.\n"       \
    "float pulse(int i) { return max(stems[i].x - 1.0, 0.0) * stems[i].y; }\n"    \
    "\n"

const char* const kDuskWavesShader = LUMOKA_SHADER_HEADER R"(
void main() {
    vec2  uv     = vUV;
    float aspect = resolution.x / max(resolution.y, 1.0);
    vec3  col    = mix(vec3(0.98, 0.52, 0.36), vec3(0.10, 0.05, 0.24), smoothstep(0.05, 0.95, uv.y));

    // The sun swells with the drums.
    float d    = length(vec2((uv.x - 0.5) * aspect, uv.y - 0.40));
    float sunR = 0.15 + 0.025 * pulse(0);
    col = mix(col, vec3(1.0, 0.82, 0.50), smoothstep(sunR, sunR - 0.006, d));
    col += vec3(1.0, 0.45, 0.30) * 0.22 * exp(-4.0 * d) * (1.0 + 0.6 * pulse(0));

    // Three rows of hills, each breathing with one more stem.
    for (int k = 0; k < 3; ++k) {
        float fk   = float(k);
        float amp  = 0.025 + 0.03 * pulse(k + 1);
        float h    = 0.32 - 0.10 * fk + amp * sin(uv.x * (4.0 + 3.0 * fk) + time * (0.25 + 0.15 * fk) + 1.7 * fk)
                     + 0.008 * sin(uv.x * 21.0 - time * 0.9 + fk);
        vec3 layer = mix(vec3(0.36, 0.14, 0.40), vec3(0.06, 0.03, 0.12), fk * 0.5);
        layer += 0.08 * pulse(k + 1) * vec3(1.0, 0.5, 0.7);
        col = mix(col, layer, smoothstep(h + 0.003, h - 0.003, uv.y));
    }
    fragColor = vec4(col, 1.0);
}
)";

const char* const kNeonGridShader = LUMOKA_SHADER_HEADER R"(
void main() {
    float aspect  = resolution.x / max(resolution.y, 1.0);
    vec2  p       = vec2((vUV.x - 0.5) * aspect, vUV.y - 0.42);
    float beat    = pulse(0);
    vec3  col     = mix(vec3(0.01, 0.0, 0.05), vec3(0.30, 0.03, 0.38), exp(-7.0 * abs(p.y)));

    if (p.y > 0.0) {
        // A striped sun over the horizon; the stripes scroll and the disc swells on the beat.
        float d    = length(vec2(p.x, p.y - 0.16));
        float r    = 0.20 + 0.02 * beat;
        float band = step(0.5, fract(p.y * 28.0 - time * 0.6)) + step(0.2, p.y);
        vec3  sun  = mix(vec3(1.0, 0.25, 0.55), vec3(1.0, 0.85, 0.30), clamp(p.y * 3.0, 0.0, 1.0));
        col = mix(col, sun, smoothstep(r, r - 0.004, d) * min(band, 1.0));
        col += sun * 0.12 * exp(-5.0 * d) * (1.0 + beat);
    } else {
        // The floor: grid lines in perspective, running toward the viewer with the bass.
        float z    = 0.30 / max(-p.y, 0.002);
        vec2  g    = vec2(p.x * z * 1.5, z + time * (1.2 + 0.4 * pulse(1)));
        vec2  d    = 0.5 - abs(fract(g) - 0.5);  // 0 on a line
        vec2  w    = fwidth(g) * 1.5 + 0.01;
        float line = max(1.0 - smoothstep(0.0, w.x, d.x), 1.0 - smoothstep(0.0, w.y, d.y));
        vec3  tint = mix(vec3(0.10, 0.85, 1.0), vec3(1.0, 0.30, 0.85), 0.5 + 0.5 * sin(time * 0.3 + 1.5 * pulse(3)));
        float glow = (0.7 + 0.5 * pulse(2) + 0.3 * pulse(4)) * exp(-0.05 * z);
        col += tint * line * glow;
    }
    fragColor = vec4(col, 1.0);
}
)";

const char* const kTunnelShader = LUMOKA_SHADER_HEADER R"(
void main() {
    float aspect = resolution.x / max(resolution.y, 1.0);
    vec2  p      = vec2((vUV.x - 0.5) * aspect, vUV.y - 0.5);
    float r      = max(length(p), 0.001);
    float a      = atan(p.y, p.x) / 6.2831853 + 0.5;
    float speed  = 1.6 + 0.8 * pulse(1);
    float depth  = 0.9 / r + time * speed;

    // Rings rush past; each ring's twelve segments light up with the stems in turn.
    float ring    = smoothstep(0.5, 0.85, abs(fract(depth) - 0.5) * 2.0);
    float turn    = fract(a + 0.03 * time) * 12.0;
    float seam    = smoothstep(0.85, 1.0, abs(fract(turn) - 0.5) * 2.0);
    int   stem    = int(mod(floor(turn) + floor(depth), 6.0));
    float lit     = 0.5 + 0.9 * pulse(stem);
    vec3  hue     = 0.5 + 0.5 * cos(6.2831853 * (vec3(0.0, 0.33, 0.67) + 0.08 * floor(depth) + 0.15 * pulse(5)));
    vec3  col     = hue * (ring + 0.35 * seam) * lit * smoothstep(0.0, 0.12, r);

    // A hot core that flares with the drums, and a dark rim.
    col += vec3(1.0, 0.75, 0.5) * (0.02 + 0.03 * pulse(0)) / (r + 0.03);
    col *= smoothstep(1.1, 0.35, r);
    fragColor = vec4(col, 1.0);
}
)";

#undef LUMOKA_SHADER_HEADER

}  // namespace levelgen
