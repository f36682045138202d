#include "app/FixedRate.h"
#include "app/App.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace std::chrono;

namespace {

struct TickLog {
    std::vector<SteadyTime> starts;
};

std::vector<nanoseconds> gaps(const TickLog& log) {
    std::vector<nanoseconds> result;
    for (size_t i = 1; i < log.starts.size(); ++i) result.push_back(log.starts[i] - log.starts[i - 1]);
    return result;
}

void runTicks(TickLog& log, size_t count, WaitFn wait, milliseconds slowTickWork = {}, size_t slowTicks = 0) {
    bool              running = true;
    std::atomic<bool> stop{false};
    runFixedRate(
        running, stop,
        [&](SteadyTime start) {
            log.starts.push_back(start);
            if (log.starts.size() <= slowTicks) std::this_thread::sleep_for(slowTickWork);
            if (log.starts.size() == count) stop = true;
        },
        wait);
}

// Timing the gaps themselves would fail whenever a loaded machine schedules
// the test late; what the loop asks of the wait says the same thing exactly.
struct WaitCall {
    SteadyTime deadline;
    SteadyTime calledAt;
};
std::vector<WaitCall> waitCalls;

void recordAndWaitPrecise(SteadyTime deadline) {
    waitCalls.push_back({deadline, steady_clock::now()});
    waitPrecise(deadline);
}

}  // namespace

TEST(FixedRate, NoTickStartsBeforeItsDeadline) {
    for (WaitFn wait : {waitPrecise, waitWholeMilliseconds}) {
        TickLog log;
        runTicks(log, 40, wait);
        ASSERT_EQ(log.starts.size(), 40u);
        for (nanoseconds gap : gaps(log)) EXPECT_GE(gap, kTickPeriod);
    }
}

TEST(FixedRate, SlowTickIsFollowedAtOnceWithoutCatchUp) {
    waitCalls.clear();
    TickLog log;
    runTicks(log, 6, recordAndWaitPrecise, milliseconds(20), 2);
    ASSERT_EQ(log.starts.size(), 6u);
    ASSERT_EQ(waitCalls.size(), 6u);
    // Each deadline counts from its own tick's start, never from the last
    // deadline, so lost time is not made up with a burst of short gaps...
    for (size_t i = 0; i < waitCalls.size(); ++i)
        EXPECT_EQ(waitCalls[i].deadline, log.starts[i] + kTickPeriod) << "tick " << i;
    // ...and after a 20 ms tick the deadline has passed before the wait
    // begins, so the next tick starts straight away rather than a period later.
    for (size_t i : {0u, 1u}) EXPECT_GE(waitCalls[i].calledAt, waitCalls[i].deadline) << "tick " << i;
    const auto g = gaps(log);
    for (size_t i = 2; i < g.size(); ++i) EXPECT_GE(g[i], kTickPeriod);
}

TEST(FixedRate, StopRules) {
    std::atomic<bool> stop{true};
    bool              running = true;
    int               ticks   = 0;
    runFixedRate(running, stop, [&](SteadyTime) { ++ticks; });
    EXPECT_EQ(ticks, 0) << "a stop set before the loop runs no tick";

    stop    = false;
    running = false;
    runFixedRate(running, stop, [&](SteadyTime) { ++ticks; });
    EXPECT_EQ(ticks, 0) << "the loop only runs while running is set";

    // A stop set during a tick ends the loop after that tick's wait.
    running = true;
    SteadyTime stopTickStart{};
    runFixedRate(running, stop, [&](SteadyTime start) {
        if (++ticks == 3) {
            stop          = true;
            stopTickStart = start;
        }
    });
    EXPECT_EQ(ticks, 3);
    EXPECT_GE(steady_clock::now() - stopTickStart, kTickPeriod) << "the wait after the last tick still runs";
}

TEST(FixedRate, StopDuringTheWaitRunsNoFurtherTick) {
    std::atomic<bool> stop{false};
    std::atomic<int>  ticks{0};
    bool              running = true;
    std::thread       loop([&] { runFixedRate(running, stop, [&](SteadyTime) { ++ticks; }); });
    while (ticks < 3) std::this_thread::sleep_for(microseconds(100));
    std::this_thread::sleep_for(milliseconds(2));  // well inside the 8.3 ms wait
    const int seen = ticks;
    stop           = true;
    loop.join();
    EXPECT_EQ(ticks, seen);
}

TEST(FrameStep, IsCappedAtOneThirtiethOfASecond) {
    EXPECT_FLOAT_EQ(frameStep(1'500, 1'000, 100'000), 0.005f);
    EXPECT_EQ(frameStep(50'000, 0, 100'000), 0.033333335f) << "a 0.5 s frame advances 1/30 s only";
    EXPECT_EQ(frameStep(10'000'000, 0, 1'000), 0.033333335f);
}

TEST(FixedRate, ASleepTheSystemRefusesEndsAtOnce) {
    const SteadyTime before = steady_clock::now();
    EXPECT_FALSE(sleepUntil(SteadyTime(nanoseconds(-1)))) << "a time before the clock's start";
    EXPECT_LT(steady_clock::now() - before, milliseconds(100));

    const SteadyTime soon = steady_clock::now() + milliseconds(3);
    EXPECT_TRUE(sleepUntil(soon));
    EXPECT_GE(steady_clock::now(), soon);
}
