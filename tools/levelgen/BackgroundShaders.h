// The background fragment shaders of the level packages, one look per level.
// Each declares the game's std140 block "ShaderUniforms" (208 bytes) and reads
// `in vec2 vUV` (0..1 across the screen) from the game's fullscreen.vert; the
// stems' pulse values (stems[i].x, resting at 1) and audible flags (stems[i].y)
// drive the picture. All are a handful of operations per pixel, for software GL.
#pragma once

namespace levelgen {

extern const char* const kDuskWavesShader;  // sample A: hills and a sun at dusk
extern const char* const kNeonGridShader;   // sample B: a grid floor running to the horizon
extern const char* const kTunnelShader;     // sample C: a tunnel of rings rushing past

}  // namespace levelgen
