#version 460 core
// Every live circle in one pass. Per circle: the target ring it must reach, the
// disc growing toward it, both in its stem's colour; a hit flashes white and
// stays white; a hold note carries a second inner ring and an arc that fills
// clockwise from the top with the hold's progress.
// Centres and radii are window pixels, origin bottom-left, like gl_FragCoord.
// The vertex stage only covers the box around the live circles.

flat in vec4 vBox;    // the box the vertex stage drew, in pixels
out vec4 fragColor;

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

const int kMaxCircles = 64;

uniform int   uNumCircles;
uniform vec2  uCircleCenters[kMaxCircles];
uniform float uCircleRadii[kMaxCircles];
uniform float uTargetRadii[kMaxCircles];
uniform int   uCircleActive[kMaxCircles];
uniform int   uCircleHit[kMaxCircles];
uniform int   uCircleStemIndex[kMaxCircles];
uniform vec4  neonColors[8];
uniform int   uCircleIsHoldNote[kMaxCircles];
uniform float uCircleHoldProgress[kMaxCircles];

const float kGlowReach = 24.0;   // pixels of soft light outside the target ring

// Coverage of a ring of the given radius and half-width at distance d, with a
// one-pixel soft edge.
float ring(float d, float radius, float halfWidth) {
    return clamp(halfWidth + 0.5 - abs(d - radius), 0.0, 1.0);
}

// Layers composited front to back into premultiplied colour and alpha.
void over(inout vec4 acc, vec3 color, float alpha) {
    acc += vec4(color * alpha, alpha) * (1.0 - acc.a);
}

// Turn of the offset clockwise from twelve o'clock, 0..1, from a cheap
// polynomial arctangent (error well under a pixel at ring size).
float clockTurn(vec2 offset) {
    vec2 a = abs(offset);
    float t = min(a.x, a.y) / max(max(a.x, a.y), 1e-6);
    float s = t * t;
    float angle = ((-0.0464964749 * s + 0.15931422) * s - 0.327622764) * s * t + t;  // atan(t), t in 0..1
    if (a.x > a.y) angle = 1.57079633 - angle;      // angle from the +y axis toward +x
    if (offset.y < 0.0) angle = 3.14159265 - angle;
    if (offset.x < 0.0) angle = 6.28318531 - angle;
    return angle * 0.159154943;
}

// Everything one circle adds to this pixel, composited under what is already there.
void drawCircle(int i, vec2 frag, inout vec4 acc) {
    float target = uTargetRadii[i];
    vec2 offset = frag - uCircleCenters[i];
    float d = length(offset);
    int stem = clamp(uCircleStemIndex[i], 0, 7);
    vec3 neon = neonColors[stem].rgb;
    float pulse = clamp(stems[stem].x - 1.0, 0.0, 2.0);   // the stem's background pulse
    bool hit = uCircleHit[i] != 0;
    float radius = uCircleRadii[i];

    // The target ring with its glow outside, then the growing disc (a bright
    // rim over a translucent body): one layer each.
    float ringWidth = 2.0 + 1.5 * pulse + (hit ? 2.0 : 0.0);
    float outside = max(d - target, 0.0) * 0.25;
    float glow = (0.25 + 0.2 * pulse) / (1.0 + outside * outside);
    over(acc, hit ? mix(neon, vec3(1.0), 0.7) : neon,
         max(0.9 * ring(d, target, ringWidth), d > target ? glow : 0.0));

    if (uCircleIsHoldNote[i] != 0) {
        over(acc, neon, 0.6 * ring(d, target - 9.0, 1.5));
        float filled = step(clockTurn(offset), clamp(uCircleHoldProgress[i], 0.0, 1.0));
        over(acc, mix(neon, vec3(1.0), 0.5), filled * ring(d, target + 7.0, 3.0));
    }

    float body = clamp(radius + 0.5 - d, 0.0, 1.0) * (hit ? 0.55 : 0.28);
    over(acc, hit ? vec3(1.0) : neon * (0.8 + 0.4 * pulse), max(ring(d, radius, 1.5), body));
}

void main() {
    vec2 frag = gl_FragCoord.xy;
    // Half of the triangle lies outside the box: nothing to draw there.
    if (any(lessThan(frag, vBox.xy)) || any(greaterThan(frag, vBox.zw))) discard;

    // A cheap pass marks the circles that reach this pixel; only those get the
    // full shading below. A software rasteriser runs every instruction of a
    // loop body for all pixels of a block, so the expensive body then runs as
    // often as circles overlap here, not once per circle.
    uvec2 reaching = uvec2(0u);
    int count = min(uNumCircles, kMaxCircles);
    for (int i = 0; i < count; ++i) {
        vec2 offset = frag - uCircleCenters[i];
        float reach = max(uCircleRadii[i], uTargetRadii[i]) + kGlowReach;
        if (uCircleActive[i] != 0 && dot(offset, offset) < reach * reach)
            reaching[i >> 5] |= 1u << uint(i & 31);
    }

    vec4 acc = vec4(0.0);
    for (int word = 0; word < 2; ++word) {
        uint bits = reaching[word];
        while (bits != 0u) {
            drawCircle(word * 32 + findLSB(bits), frag, acc);   // list order: earlier in front
            bits &= bits - 1u;
        }
    }
    fragColor = acc.a > 0.0 ? vec4(acc.rgb / acc.a, acc.a) : vec4(0.0);
}
