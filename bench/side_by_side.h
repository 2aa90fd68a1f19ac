// Side-by-side timing for the benchmarks: variants measured in alternating
// order within one run, repeated, and compared by their medians, so that a
// disturbance of the machine hits both alike.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <utility>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double NanosecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::nano>(Clock::now() - start).count();
}

inline double Median(std::vector<double> values) {
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Nanoseconds per call of run, timed over `repeats` calls in a row.
inline double TimePerCall(const std::function<void()>& run, int repeats) {
    const Clock::time_point start = Clock::now();
    for (int i = 0; i < repeats; ++i) run();
    return NanosecondsSince(start) / repeats;
}

struct PairTiming {
    double MedianA;  // ns per call
    double MedianB;
    double MedianRatio;  // median over rounds of A / B
};

// How one variant is timed: nanoseconds per call of run over `repeats` calls.
using CallTimer = std::function<double(const std::function<void()>& run, int repeats)>;

// rounds times: A then B in even rounds, B then A in odd ones, each timed by
// timer (by default on the calling thread).
inline PairTiming TimePair(const std::function<void()>& a, const std::function<void()>& b, int rounds, int repeats,
                           const CallTimer& timer = TimePerCall) {
    std::vector<double> timesA, timesB, ratios;
    for (int round = 0; round < rounds; ++round) {
        double ta, tb;
        if (round % 2 == 0) {
            ta = timer(a, repeats);
            tb = timer(b, repeats);
        } else {
            tb = timer(b, repeats);
            ta = timer(a, repeats);
        }
        timesA.push_back(ta);
        timesB.push_back(tb);
        ratios.push_back(ta / tb);
    }
    return PairTiming{Median(timesA), Median(timesB), Median(ratios)};
}

// Any number of variants, timed in rotating order within one run: round r
// starts with variant r mod n. Each variant's median, and the median over
// rounds of the ratio of two variants' times in the same round.
struct RoundTimings {
    std::vector<std::vector<double>> Times;  // [variant][round], ns per call

    double MedianOf(std::size_t variant) const { return Median(Times[variant]); }
    double MedianRatio(std::size_t a, std::size_t b) const {
        std::vector<double> ratios;
        for (std::size_t round = 0; round < Times[a].size(); ++round)
            ratios.push_back(Times[a][round] / Times[b][round]);
        return Median(std::move(ratios));
    }
};

inline RoundTimings TimeRotating(const std::vector<std::function<void()>>& variants, int rounds, int repeats,
                                 const CallTimer& timer = TimePerCall) {
    RoundTimings timings;
    timings.Times.assign(variants.size(), std::vector<double>(static_cast<std::size_t>(rounds)));
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = 0; i < variants.size(); ++i) {
            const std::size_t variant = (static_cast<std::size_t>(round) + i) % variants.size();
            timings.Times[variant][static_cast<std::size_t>(round)] = timer(variants[variant], repeats);
        }
    }
    return timings;
}

}  // namespace bench
