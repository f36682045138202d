#include "app/FixedRate.h"

#include <cerrno>
#include <thread>

#include <sys/prctl.h>
#include <time.h>

namespace {

// Wake-ups on a loaded machine can come a few tens of microseconds late; the
// last stretch is spun so that lateness does not eat into every period.
constexpr std::chrono::microseconds kSpinMargin{200};
constexpr std::chrono::milliseconds kLongestSleep{86'400'000};

// Tells the core we are spinning, in the instruction of the machine we run on.
inline void relaxWhileSpinning() {
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__) || defined(__arm__)
    __asm__ __volatile__("yield");
#else
    std::this_thread::yield();
#endif
}

}  // namespace

bool sleepUntil(SteadyTime until) {
    // The default timer slack of 50 us would be added to every wake-up.
    static thread_local const bool slackSet = prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0) == 0;
    (void)slackSet;
    const auto     ns = std::chrono::duration_cast<std::chrono::nanoseconds>(until.time_since_epoch()).count();
    const timespec ts{static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
    for (;;) {
        const int error = clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr);
        if (error == 0) return true;
        if (error != EINTR) return false;
    }
}

void waitPrecise(SteadyTime deadline) {
    const SteadyTime now = std::chrono::steady_clock::now();
    if (now >= deadline) return;
    if (deadline - now > kSpinMargin && !sleepUntil(deadline - kSpinMargin))
        std::this_thread::sleep_until(deadline - kSpinMargin);  // the portable sleep is coarser, but it ends
    while (std::chrono::steady_clock::now() < deadline) relaxWhileSpinning();
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
