#include "input/X11PressStamps.h"

#include <SDL3/SDL.h>

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <deque>
#include <set>

namespace {

constexpr size_t  kKept       = 64;             // presses waiting for the frame that reads them
constexpr int64_t kLongestAge = 1'000'000'000;  // older, or from the future: another host's clock
constexpr int64_t kSameMoment = 1'000'000;      // the server's millisecond may end after ours

enum class Source { Key, Button };

struct Stamp {
    Source   source;
    uint32_t code;
    bool     down;
    uint64_t ticksNs;
};

std::deque<Stamp>  stamps;
std::set<uint32_t> keysDown;  // an X auto-repeat is a second press without a release

// The server's time is whole milliseconds of CLOCK_MONOTONIC, truncated to 32
// bits; its age now, taken with SDL's clock at the same moment, places it on
// SDL's clock whatever the two clocks' origins.
uint64_t toTicks(unsigned long serverMs) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const uint64_t ticks = SDL_GetTicksNS();
    const uint64_t nowNs = static_cast<uint64_t>(now.tv_sec) * 1'000'000'000u + static_cast<uint64_t>(now.tv_nsec);
    const auto     ageMs =
        static_cast<int32_t>(static_cast<uint32_t>(nowNs / 1'000'000u) - static_cast<uint32_t>(serverMs));
    // The event fell somewhere inside its millisecond: take the middle, but
    // never after now.
    const int64_t ageNs = int64_t{ageMs} * 1'000'000 + static_cast<int64_t>(nowNs % 1'000'000u) - 500'000;
    if (ageNs < -kSameMoment || ageNs > kLongestAge || ageNs >= static_cast<int64_t>(ticks)) return 0;
    return ticks - static_cast<uint64_t>(std::max<int64_t>(ageNs, 0));
}

void keep(Source source, uint32_t code, bool down, unsigned long serverMs) {
    const uint64_t ticks = toTicks(serverMs);
    if (ticks == 0) return;
    if (stamps.size() == kKept) stamps.pop_front();
    stamps.push_back({source, code, down, ticks});
}

void keepKey(const XKeyEvent& key, bool down) {
    if (down && !keysDown.insert(key.keycode).second) return;
    if (!down) keysDown.erase(key.keycode);
    keep(Source::Key, key.keycode, down, key.time);
}

// Buttons come through XInput2; the master device's copy of each is left out,
// as SDL leaves it out.
void keepButton(const XGenericEventCookie& cookie) {
    if (cookie.evtype != XI_ButtonPress && cookie.evtype != XI_ButtonRelease) return;
    const auto* device = static_cast<const XIDeviceEvent*>(cookie.data);
    if (device == nullptr || device->deviceid != device->sourceid) return;
    keep(Source::Button, static_cast<uint32_t>(device->detail), cookie.evtype == XI_ButtonPress, device->time);
}

bool SDLCALL watchX11(void*, XEvent* event) {
    if (event->type == KeyPress || event->type == KeyRelease) keepKey(event->xkey, event->type == KeyPress);
    else if (event->type == GenericEvent) keepButton(event->xcookie);
    return true;
}

// fallback is SDL's stamp, the frame's pumping: a kept stamp far older than
// that belongs to an event nobody asked about.
uint64_t take(Source source, uint32_t code, bool down, uint64_t fallback) {
    std::erase_if(stamps, [fallback](const Stamp& stamp) { return stamp.ticksNs + kLongestAge < fallback; });
    const auto found = std::find_if(stamps.begin(), stamps.end(), [&](const Stamp& stamp) {
        return stamp.source == source && stamp.code == code && stamp.down == down;
    });
    if (found == stamps.end()) return fallback;
    const uint64_t ticks = found->ticksNs;
    stamps.erase(found);
    return ticks;
}

}  // namespace

namespace X11PressStamps {

void install() {
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver != nullptr && std::strcmp(driver, "x11") == 0) SDL_SetX11EventHook(watchX11, nullptr);
}

uint64_t takeKey(uint16_t rawKeycode, bool down, uint64_t fallback) {
    return take(Source::Key, rawKeycode, down, fallback);
}

uint64_t takeButton(uint8_t button, bool down, uint64_t fallback) {
    return take(Source::Button, button, down, fallback);
}

}  // namespace X11PressStamps
