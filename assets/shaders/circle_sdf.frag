#version 460 core
// The circles, one instance each. Per circle: the target ring it must reach, the
// disc growing toward it, both in its stem's colour; a hit flashes white and
// stays white; a hold note carries a second inner ring and an arc that fills
// clockwise from the top with the hold's progress.
// Centres and radii are window pixels, origin bottom-left, like gl_FragCoord.
// The circles are drawn last first and blended, so earlier ones lie in front;
// the vertex stage covers only the pixels a circle can draw on.

// The circle, its colours and sizes as the stem's pulse and the hit make them
// (the vertex stage works them out once per circle).
flat in vec2  vCentre;
flat in float vRadius;
flat in float vTarget;
flat in float vReach;          // the glow ends here
flat in float vRingWidth;
flat in float vGlow;           // the glow's strength at the ring
flat in vec3  vRingColor;
flat in vec3  vDiscColor;
flat in float vBodyOpacity;
flat in int   vHold;           // a hold note: inner ring and progress arc
flat in float vHoldProgress;
flat in vec3  vNeon;           // the stem's colour
flat in vec3  vArcColor;
out vec4 fragColor;

const float kRingsInside = 12.0;  // no ring reaches further in than this from the target
const float kDiscOutside = 2.5;   // nor the disc's rim further out than this from the radius

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

void main() {
    vec2 offset = gl_FragCoord.xy - vCentre;
    if (dot(offset, offset) >= vReach * vReach) discard;
    float d = length(offset);
    float target = vTarget;
    vec4 acc = vec4(0.0);

    // The target ring with its glow outside, then the growing disc (a bright
    // rim over a translucent body): one layer each. A layer whose coverage is
    // nil here adds exactly nothing, so the band and the disc skip each other.
    if (d > target - kRingsInside) {
        float outside = max(d - target, 0.0) * 0.25;
        float glow = vGlow / (1.0 + outside * outside);
        over(acc, vRingColor, max(0.9 * ring(d, target, vRingWidth), d > target ? glow : 0.0));
        if (vHold != 0) {
            over(acc, vNeon, 0.6 * ring(d, target - 9.0, 1.5));
            float filled = step(clockTurn(offset), vHoldProgress);
            over(acc, vArcColor, filled * ring(d, target + 7.0, 3.0));
        }
    }
    if (d < vRadius + kDiscOutside) {
        float body = clamp(vRadius + 0.5 - d, 0.0, 1.0) * vBodyOpacity;
        over(acc, vDiscColor, max(ring(d, vRadius, 1.5), body));
    }
    if (acc.a == 0.0) discard;   // nothing here: leave the pixel alone
    fragColor = vec4(acc.rgb / acc.a, acc.a);
}
