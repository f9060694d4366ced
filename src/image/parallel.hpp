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

// Runs task(0) .. task(count - 1) side by side, task(0) on the calling
// thread and the others on threads of their own, and returns when all are
// done. A task whose thread cannot be started (the system is out of
// threads or of memory for their stacks) runs on the calling thread after
// task(0), so callers give tasks that do not wait for one another. An
// exception of a task is handed to the caller once all are done: that of
// the task of the lowest index when several throw.
template <class Task>
void run_on_threads(int count, Task task) {
    if (count <= 1) {
        if (count == 1) task(0);
        return;
    }
    // Set aside before any thread starts, so that nothing below allocates.
    std::vector<std::exception_ptr> errors(static_cast<std::size_t>(count));
    std::vector<std::thread> pool;
    pool.reserve(static_cast<std::size_t>(count));
    const auto guarded = [&errors, &task](int t) noexcept {
        try {
            task(t);
        } catch (...) {
            errors[static_cast<std::size_t>(t)] = std::current_exception();
        }
    };
    int started = 1;
    for (; started < count; ++started) {
        try {
            pool.emplace_back(guarded, started);
        } catch (...) {
            break;  // this task and the rest run here
        }
    }
    guarded(0);
    for (int t = started; t < count; ++t) guarded(t);
    for (auto& th : pool) th.join();
    for (const std::exception_ptr& e : errors)
        if (e) std::rethrow_exception(e);
}

// Runs work(part, first, last) over first..last-1 covering 0..count-1 in
// up to thread_count(threads) parts side by side, part 0 on the calling
// thread; a range of fewer than `least` elements a part stays on one.
// Exceptions as run_on_threads().
template <class Work>
void for_parts(int threads, int count, int least, Work work) {
    const int parts = std::clamp(std::min(thread_count(threads), count / std::max(least, 1)), 1, std::max(count, 1));
    const auto bound = [count, parts](int t) { return static_cast<int>(static_cast<long long>(count) * t / parts); };
    run_on_threads(parts, [&](int t) { work(t, bound(t), bound(t + 1)); });
}

// Runs first() and second() side by side when more than one thread is
// asked for; an exception of either is thrown once both are done (the
// first's when both throw).
template <class First, class Second>
void side_by_side(int threads, First first, Second second) {
    if (thread_count(threads) < 2) {
        first();
        second();
        return;
    }
    run_on_threads(2, [&](int t) {
        if (t == 0) {
            first();
        } else {
            second();
        }
    });
}

}  // namespace veltrane2
