#pragma once
// Timing a piece of work many times over.

#include <algorithm>
#include <chrono>
#include <vector>

// The median and the best of `reps` runs. On a shared machine the best
// shows what the work itself costs; the median what a user would see.
struct Timing {
    double median = 0;
    double best = 0;
};

template <typename F> Timing timeMs(int reps, F&& f) {
    std::vector<double> t;
    t.reserve(static_cast<std::size_t>(reps));
    for (int i = 0; i < reps; ++i) {
        const auto a = std::chrono::steady_clock::now();
        f();
        const auto b = std::chrono::steady_clock::now();
        t.push_back(std::chrono::duration<double, std::milli>(b - a).count());
    }
    std::sort(t.begin(), t.end());
    return {t[t.size() / 2], t.front()};
}
