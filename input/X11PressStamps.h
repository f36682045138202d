// SDL 3.2's X11 back end stamps key and button events with the moment the
// frame pumps them, not the moment they happened. On a local X display the
// server's own event time (milliseconds of the same monotonic clock) says
// when; this hook keeps it, and the input manager asks for it for each press
// and release. Elsewhere (Wayland, other systems, no hook) SDL's stamp stands.
#pragma once

#include <cstdint>

namespace X11PressStamps {
void install();  // on the x11 video driver only; main thread, after the video subsystem starts
// The press's moment on the SDL_GetTicksNS clock, or fallback when none was seen.
uint64_t takeKey(uint16_t rawKeycode, bool down, uint64_t fallback);
uint64_t takeButton(uint8_t button, bool down, uint64_t fallback);
}  // namespace X11PressStamps
