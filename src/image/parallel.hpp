// Work shared out over threads in stretches of an index range. Callers give
// each stretch work whose result does not depend on how the range is cut:
// values computed on their own, extremes, integer counts.
#pragma once

#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

namespace veltrane2 {

// Threads to use when asked for `threads` (0: as many as the machine has
// cores, at most four).
inline int thread_count(int threads) {
    return threads > 0 ? threads : static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
}

// Runs work(part, first, last) over first..last-1 covering 0..count-1 in
// up to thread_count(threads) parts side by side, part 0 on the calling
// thread; a range of fewer than `least` elements a part stays on one.
template <class Work>
void for_parts(int threads, int count, int least, Work work) {
    const int parts = std::clamp(std::min(thread_count(threads), count / std::max(least, 1)), 1, std::max(count, 1));
    const auto bound = [count, parts](int t) { return static_cast<int>(static_cast<long long>(count) * t / parts); };
    std::vector<std::thread> pool;
    for (int t = 1; t < parts; ++t) pool.emplace_back(work, t, bound(t), bound(t + 1));
    work(0, 0, bound(1));
    for (auto& th : pool) th.join();
}

// Runs first() and second() side by side, first() on a thread of its own
// when more than one thread is asked for; an exception of either is
// thrown once both are done (the first's when both throw).
template <class First, class Second>
void side_by_side(int threads, First first, Second second) {
    if (thread_count(threads) < 2) {
        first();
        second();
        return;
    }
    std::exception_ptr error;
    std::thread helper([&] {
        try {
            first();
        } catch (...) {
            error = std::current_exception();
        }
    });
    try {
        second();
    } catch (...) {
        helper.join();
        if (error) std::rethrow_exception(error);
        throw;
    }
    helper.join();
    if (error) std::rethrow_exception(error);
}

}  // namespace veltrane2
