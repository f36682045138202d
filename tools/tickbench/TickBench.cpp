// Measures the logic thread's fixed-rate loop: for each wait, the achieved tick
// rate over a run, the lateness of tick starts after their deadlines (p50, p99,
// max) and the CPU time the waiting thread spent. Usage: tickbench [seconds]
#include "app/FixedRate.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <time.h>

using namespace std::chrono;

namespace {

struct Report {
    double ticksPerSecond;
    double lateP50Us, lateP99Us, lateMaxUs;
    double cpuPercent;
};

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    return values[static_cast<size_t>(p * static_cast<double>(values.size() - 1))];
}

Report measure(WaitFn wait, double seconds) {
    std::vector<SteadyTime> starts;
    starts.reserve(static_cast<size_t>(seconds * 130));
    bool              running = true;
    std::atomic<bool> stop{false};
    const SteadyTime  end       = steady_clock::now() + duration_cast<nanoseconds>(duration<double>(seconds));
    const double      cpuBefore = threadCpuSeconds();
    runFixedRate(
        running, stop,
        [&](SteadyTime start) {
            starts.push_back(start);
            if (starts.back() >= end) stop = true;
        },
        wait);
    const double cpu = threadCpuSeconds() - cpuBefore;

    std::vector<double> lateness;
    for (size_t i = 1; i < starts.size(); ++i) {
        lateness.push_back(duration<double, std::micro>(starts[i] - (starts[i - 1] + kTickPeriod)).count());
    }
    const double span = duration<double>(starts.back() - starts.front()).count();
    return {static_cast<double>(starts.size() - 1) / span, percentile(lateness, 0.5), percentile(lateness, 0.99),
            *std::max_element(lateness.begin(), lateness.end()), 100.0 * cpu / span};
}

void print(const char* name, const Report& r) {
    std::printf("%-22s %9.3f ticks/s   late p50 %8.1f us  p99 %8.1f us  max %8.1f us   CPU %5.2f %% of a core\n", name,
                r.ticksPerSecond, r.lateP50Us, r.lateP99Us, r.lateMaxUs, r.cpuPercent);
}

}  // namespace

int main(int argc, char** argv) {
    const double seconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    std::printf("tick period 8333000 ns (ideal 120.005 ticks/s), %.0f s per wait\n", seconds);
    print("sleep + spin (ours)", measure(waitPrecise, seconds));
    print("whole milliseconds", measure(waitWholeMilliseconds, seconds));
    return 0;
}
