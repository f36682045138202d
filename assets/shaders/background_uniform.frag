#version 460 core
// The default background: a night sky with one aurora ribbon per stem. Each
// ribbon swells with its stem's pulse and brightens while the stem is audible;
// the more stems play, the livelier the sky (the eased count); a soft light
// follows the pointer and a faint ring marks the last press.

in vec2 vUV;
out vec4 fragColor;

layout(std140) uniform ShaderUniforms {
    vec4  resolution;   // xy: drawable pixels
    float time;
    float timeDelta;
    float frameRate;
    float frame;
    vec4  mouse;        // xy: pointer, zw: last press (window pixels, y down)
    vec4  date;
    float sampleRate;
    vec4  stems[8];     // x: value (rest 1), y: audible; stems[0].z: count, .w: ease
};

const vec3 kRibbonColors[8] = vec3[8](
    vec3(0.20, 0.95, 0.75), vec3(0.35, 0.55, 1.00), vec3(0.85, 0.35, 1.00),
    vec3(1.00, 0.35, 0.60), vec3(1.00, 0.60, 0.25), vec3(0.95, 0.95, 0.35),
    vec3(0.40, 1.00, 0.40), vec3(0.30, 0.85, 1.00));

// Integer hash of a pixel, 0..1 (cheap on software rasterisers, unlike sin).
float hash(uvec2 pixel) {
    uint h = pixel.x * 1664525u + pixel.y * 1013904223u;
    h ^= h >> 16u;
    h *= 2246822519u;
    h ^= h >> 13u;
    return float(h) * (1.0 / 4294967296.0);
}

// A sine-like wave from two parabolas: all the ribbons need, at a fraction of sin's cost.
float wave(float x) {
    float t = fract(x * 0.15915494) * 2.0 - 1.0;   // one period over -1..1
    return -4.0 * t * (1.0 - abs(t));
}

// Screen position (y up, centred, height 1) of a point in window pixels, y down.
vec2 fromWindow(vec2 windowPoint, vec2 res) {
    vec2 uv = vec2(windowPoint.x, res.y - windowPoint.y) / res;
    return (uv - 0.5) * vec2(res.x / res.y, 1.0);
}

void main() {
    vec2 res = max(resolution.xy, vec2(1.0));
    vec2 p = (vUV - 0.5) * vec2(res.x / res.y, 1.0);

    float activeCount = stems[0].z;
    float liveliness = clamp(1.0 - stems[0].w, 0.0, 1.0);   // ease 0.95 calm .. 0.4 busy
    float drift = time * (0.12 + 0.25 * liveliness);

    vec3 color = mix(vec3(0.010, 0.015, 0.045), vec3(0.045, 0.020, 0.090), vUV.y);

    // One hash per pixel: sparse twinkling stars (dimmed as the sky fills with
    // light), and below, a dither against banding in the dark blues.
    float grain = hash(uvec2(gl_FragCoord.xy));
    float twinkle = 0.5 + 0.5 * wave(time * 2.0 + fract(grain * 977.0) * 40.0);
    color += step(0.9993, grain) * twinkle * (0.8 - 0.5 * liveliness);

    float energy = 0.0;
    for (int i = 0; i < 8; ++i) {
        float value = stems[i].x;
        float audible = stems[i].y;
        float fi = float(i);
        float centre = -0.36 + fi * 0.1
                     + (0.05 + 0.03 * liveliness) * wave(p.x * (1.4 + 0.23 * fi) + drift * (1.0 + 0.1 * fi) + fi * 1.9);
        float thickness = 0.004 + 0.012 * value * (0.3 + audible);
        float glow = thickness / (abs(p.y - centre) + thickness);
        float strength = mix(0.10, 0.45, audible) * (0.5 + 0.5 * value);
        color += kRibbonColors[i] * glow * glow * strength;
        energy += audible * max(value - 1.0, 0.0);
    }

    // A halo in the middle that breathes with the number of audible stems and their pulses.
    float spread = 3.0 * dot(p, p) / (0.08 + 0.03 * activeCount);
    float halo = 1.0 / ((1.0 + spread) * (1.0 + spread));
    color += vec3(0.25, 0.20, 0.45) * halo * (0.15 + 0.08 * energy);

    vec2 toPointer = p - fromWindow(mouse.xy, res);
    color += vec3(0.30, 0.45, 0.90) * 0.02 / (dot(toPointer, toPointer) * 30.0 + 0.1);

    // Distance to the ring from squared distances: |d - r| ~ |d^2 - r^2| / 2r, no sqrt.
    vec2 toPress = p - fromWindow(mouse.zw, res);
    float ringRadius = 0.04 + 0.01 * stems[0].x;
    float ring = abs(dot(toPress, toPress) - ringRadius * ringRadius) / (2.0 * ringRadius);
    float pressedOnce = step(0.5, dot(mouse.zw, mouse.zw));   // (0, 0) until the first press
    color += vec3(0.60, 0.70, 1.00) * 0.15 * pressedOnce * clamp(1.0 - ring / 0.006, 0.0, 1.0);

    // Gentle tone curve, vignette, dither.
    color = color * 1.3 / (1.0 + color * 1.3);
    color *= 1.0 - 0.45 * dot(vUV - 0.5, vUV - 0.5);
    color += (fract(grain + frame * 0.618034) - 0.5) / 255.0;
    fragColor = vec4(color, 1.0);
}
