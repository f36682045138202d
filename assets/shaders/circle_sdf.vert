#version 460 core
// The circle pass draws one attribute-less triangle. Rather than the whole
// viewport it covers only the box around the live circles (ring, glow and hold
// arc included), so pixels far from every circle are never shaded: the fragment
// stage loops over all circles per pixel, which a software rasteriser pays for
// in full. No live circle: a degenerate triangle, nothing is shaded.

layout(std140) uniform ShaderUniforms {
    vec4  resolution;
    float time;
    float timeDelta;
    float frameRate;
    float frame;
    vec4  mouse;
    vec4  date;
    float sampleRate;
    vec4  stems[8];
};

const int   kMaxCircles = 64;
const float kReach      = 32.0;   // pixels drawn outside a circle's larger radius

uniform int   uNumCircles;
uniform vec2  uCircleCenters[kMaxCircles];
uniform float uCircleRadii[kMaxCircles];
uniform float uTargetRadii[kMaxCircles];
uniform int   uCircleActive[kMaxCircles];

flat out vec4 vBox;   // pixels: left, bottom, right, top

void main() {
    vec2 low = vec2(1e9);
    vec2 high = vec2(-1e9);
    int count = min(uNumCircles, kMaxCircles);
    for (int i = 0; i < count; ++i) {
        if (uCircleActive[i] == 0) continue;
        float extent = max(uCircleRadii[i], uTargetRadii[i]) + kReach;
        low = min(low, uCircleCenters[i] - extent);
        high = max(high, uCircleCenters[i] + extent);
    }
    vec2 size = max(resolution.xy, vec2(1.0));
    low = clamp(low, vec2(0.0), size);
    high = clamp(high, vec2(0.0), size);
    vBox = vec4(low, high);
    if (any(greaterThanEqual(low, high))) {
        gl_Position = vec4(0.0, 0.0, 0.0, 1.0);
        return;
    }
    // A right triangle with legs twice the box: vertex 0 at the box's corner.
    vec2 corner = vec2(float((gl_VertexID << 1) & 2), float(gl_VertexID & 2));
    vec2 pixel = low + corner * (high - low);
    gl_Position = vec4(pixel / size * 2.0 - 1.0, 0.0, 1.0);
}
