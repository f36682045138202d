#include "app/FixedRate.h"

#include <thread>

#include <sys/prctl.h>
#include <time.h>

namespace {

// Wake-ups on a loaded machine can come a few tens of microseconds late; the
// last stretch is spun so that lateness does not eat into every period.
constexpr std::chrono::microseconds kSpinMargin{200};
constexpr std::chrono::milliseconds kLongestSleep{86'400'000};

void sleepUntil(SteadyTime until) {
    // The default timer slack of 50 us would be added to every wake-up.
    static thread_local const bool slackSet = prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0) == 0;
    (void)slackSet;
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(until.time_since_epoch()).count();
    timespec ts{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) != 0) {
    }
}

}  // namespace

void waitPrecise(SteadyTime deadline) {
    const SteadyTime now = std::chrono::steady_clock::now();
    if (now >= deadline) return;
    if (deadline - now > kSpinMargin) sleepUntil(deadline - kSpinMargin);
    while (std::chrono::steady_clock::now() < deadline) {
        __builtin_ia32_pause();
    }
}

void waitWholeMilliseconds(SteadyTime deadline) {
    for (;;) {
        const SteadyTime now = std::chrono::steady_clock::now();
        if (now >= deadline) return;
        auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
        if (remaining > kLongestSleep) remaining = kLongestSleep;
        std::this_thread::sleep_for(remaining);
    }
}

void runFixedRate(const bool& running, const std::atomic<bool>& stop, const TickFn& tick, WaitFn wait) {
    if (stop.load()) return;
    while (running) {
        const SteadyTime start = std::chrono::steady_clock::now();
        tick(start);
        wait(start + kTickPeriod);
        if (stop.load()) break;
    }
}
