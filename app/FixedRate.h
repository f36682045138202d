// A fixed-rate loop on the steady clock: each tick's deadline counts from the
// start of that tick, a late tick is followed at once by the next, and lost time
// is never caught up. The wait is separate so that the benchmark can compare it
// with the whole-millisecond sleep.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>

using SteadyTime = std::chrono::steady_clock::time_point;
using WaitFn     = void (*)(SteadyTime deadline);

inline constexpr std::chrono::nanoseconds kTickPeriod{8'333'000};

// Sleeps most of the way, then spins briefly, so the tick starts within a few
// microseconds after the deadline and never before it.
void waitPrecise(SteadyTime deadline);

// Sleeps until the steady clock reaches `until`, through interruptions; false,
// at once, when the system refuses the time.
bool sleepUntil(SteadyTime until);

// Sleeps the remaining time rounded up to whole milliseconds, repeatedly, until
// the deadline has passed (coarser: about 9 ms for an 8.33 ms period).
void waitWholeMilliseconds(SteadyTime deadline);

// Runs tick while running is true, stopping after the first tick (and its wait)
// that finds stop set. Returns without ticking when stop is already set. The
// tick is given the start time its deadline is measured from.
using TickFn = std::function<void(SteadyTime tickStart)>;
void runFixedRate(const bool& running, const std::atomic<bool>& stop, const TickFn& tick, WaitFn wait = waitPrecise);
