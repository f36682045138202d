#version 460 core
// One instance per visible circle, covering only where the circle can draw: a
// band around the target ring wide enough for its glow and the hold rings, and
// the growing disc inside it (one disc when the two meet). Both are 16-sided
// polygons around the circle; no attributes, the corners come from the vertex
// index. The circle's values, and the colours and sizes worked out from them
// once per circle, go to the fragment stage flat.

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

struct CircleData {
    vec2  centre;
    float radius;
    float targetRadius;
    int   stemIndex;
    int   flags;
    float holdProgress;
    float padding;
};

layout(std430, binding = 1) readonly buffer Circles {
    CircleData circles[];
};

uniform vec4 neonColors[8];

const int   kSides       = 16;
const float kGlowReach   = 24.0;  // pixels of glow outside the larger radius
const float kHoldInside  = 11.0;  // a hold note's inner ring ends this far inside the target
const float kDiscOutside = 2.0;   // the disc's rim ends this far outside the radius
const float kMargin      = 0.5;   // to spare around every edge; coverage is taken at pixel centres

// What the fragment stage needs of the circle, worked out once per circle.
flat out vec2  vCentre;
flat out float vRadius;
flat out float vTarget;
flat out float vReach;          // the glow ends here
flat out float vRingWidth;
flat out float vGlow;           // the glow's strength at the ring
flat out vec3  vRingColor;
flat out vec3  vDiscColor;
flat out float vBodyOpacity;
flat out int   vHold;
flat out float vHoldProgress;
flat out vec3  vNeon;
flat out vec3  vArcColor;

// Vertex k of the band (6 per side, two triangles) and then of the disc (3 per side).
vec2 corner(int k, float discOuter, float bandInner, float bandOuter) {
    float outward = 1.0 / cos(3.14159265 / float(kSides));  // a polygon's sides touch its circle
    int side;
    float radius;
    if (k < 6 * kSides) {
        side = k / 6;
        int v = k % 6;               // quad corners: inner, outer, inner', outer, outer', inner'
        bool outer = v == 1 || v == 3 || v == 4;
        side += (v == 2 || v == 4 || v == 5) ? 1 : 0;
        radius = outer ? bandOuter * outward : bandInner;
    } else {
        k -= 6 * kSides;
        side = k / 3 + (k % 3 == 2 ? 1 : 0);
        radius = k % 3 == 0 ? 0.0 : discOuter * outward;
    }
    float angle = 6.28318531 * float(side) / float(kSides);
    return radius * vec2(cos(angle), sin(angle));
}

void main() {
    CircleData c = circles[gl_InstanceID];
    int stem = clamp(c.stemIndex, 0, 7);
    vec3 neon = neonColors[stem].rgb;
    float pulse = clamp(stems[stem].x - 1.0, 0.0, 2.0);   // the stem's background pulse
    bool hit = (c.flags & 1) != 0;
    bool hold = (c.flags & 2) != 0;
    float ringWidth = 2.0 + 1.5 * pulse + (hit ? 2.0 : 0.0);

    // The target ring reaches its half-width and half a pixel inside the
    // target, a hold note's inner ring 11 pixels.
    float outward   = 1.0 / cos(3.14159265 / float(kSides));
    float bandOuter = max(c.radius, c.targetRadius) + kGlowReach + kMargin;
    float bandInner = max(c.targetRadius - (hold ? kHoldInside : ringWidth + 0.5) - kMargin, 0.0);
    float discOuter = c.radius + kDiscOutside + kMargin;
    if (discOuter * outward >= bandInner) {  // they meet: the band reaches the centre, no separate disc
        bandInner = 0.0;
        discOuter = 0.0;
    }
    vec2 pixel = c.centre + corner(gl_VertexID, discOuter, bandInner, bandOuter);
    gl_Position = vec4(pixel / max(resolution.xy, vec2(1.0)) * 2.0 - 1.0, 0.0, 1.0);

    vCentre       = c.centre;
    vRadius       = c.radius;
    vTarget       = c.targetRadius;
    vReach        = max(c.radius, c.targetRadius) + kGlowReach;
    vRingWidth    = ringWidth;
    vGlow         = 0.25 + 0.2 * pulse;
    vRingColor    = hit ? mix(neon, vec3(1.0), 0.7) : neon;   // a hit flashes white and stays white
    vDiscColor    = hit ? vec3(1.0) : neon * (0.8 + 0.4 * pulse);
    vBodyOpacity  = hit ? 0.55 : 0.28;
    vHold         = hold ? 1 : 0;
    vHoldProgress = clamp(c.holdProgress, 0.0, 1.0);
    vNeon         = neon;
    vArcColor     = mix(neon, vec3(1.0), 0.5);
}
