#include "image/parallel.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <string>
#include <stdexcept>
#include <vector>

namespace veltrane2 {
namespace {

// The parts cover the range once, in order, each on its own index.
TEST(Parallel, PartsCoverTheRangeOnce) {
    for (int count : {0, 1, 63, 64, 1000}) {
        for (int threads : {1, 2, 3}) {
            std::vector<int> seen(static_cast<std::size_t>(count), 0);
            std::vector<std::pair<int, int>> bounds(4, {-1, -1});
            for_parts(threads, count, 16, [&](int part, int first, int last) {
                bounds[static_cast<std::size_t>(part)] = {first, last};
                for (int k = first; k < last; ++k) ++seen[static_cast<std::size_t>(k)];
            });
            for (int v : seen) ASSERT_EQ(v, 1) << count << " " << threads;
            for (std::size_t p = 1; p < bounds.size() && bounds[p].first >= 0; ++p)
                ASSERT_EQ(bounds[p].first, bounds[p - 1].second);
        }
    }
}

// Both run; the first's exception wins when both throw, as it would
// one after the other.
TEST(Parallel, SideBySideRunsBothAndThrowsAsInOrder) {
    for (int threads : {1, 2}) {
        std::atomic<int> ran{0};
        const auto fail = [&](const char* what) {
            ++ran;
            throw std::runtime_error(what);
        };
        const auto pass = [&] { ++ran; };
        const auto message = [](auto first, auto second, int t) -> std::string {
            try {
                side_by_side(t, first, second);
            } catch (const std::runtime_error& e) {
                return e.what();
            }
            return "";
        };
        EXPECT_EQ(message(pass, pass, threads), "");
        EXPECT_EQ(ran, 2);
        EXPECT_EQ(message([&] { fail("first"); }, [&] { fail("second"); }, threads), "first");
        EXPECT_EQ(message(
                      pass, [&] { fail("second"); }, threads),
                  "second");
        EXPECT_EQ(message([&] { fail("first"); }, pass, threads), "first");
    }
}

// Every task runs once whichever of them throw; the caller gets the
// exception of the lowest task that threw (a bad_alloc on a thread of its
// own included), never a terminated process.
TEST(Parallel, ThreadsHandTheirExceptionsToTheCaller) {
    struct Case {
        int count;
        std::vector<int> throwing;  // tasks that throw; the first of them out of memory
        std::string expected;       // what the caller catches
    } cases[] = {
        {1, {}, ""},
        {4, {}, ""},
        {1, {0}, "out of memory"},
        {4, {3}, "out of memory"},
        {4, {2, 1}, "task 1"},  // task 2 is out of memory, but task 1 comes first
        {3, {1, 0}, "task 0"},
        {3, {0, 2}, "out of memory"},
    };
    for (const Case& c : cases) {
        std::vector<std::atomic<int>> ran(static_cast<std::size_t>(c.count));
        std::string caught;
        try {
            run_on_threads(c.count, [&](int t) {
                ++ran[static_cast<std::size_t>(t)];
                for (std::size_t k = 0; k < c.throwing.size(); ++k) {
                    if (c.throwing[k] != t) continue;
                    if (k == 0) throw std::bad_alloc();
                    throw std::runtime_error("task " + std::to_string(t));
                }
            });
        } catch (const std::bad_alloc&) {
            caught = "out of memory";
        } catch (const std::runtime_error& e) {
            caught = e.what();
        }
        for (const auto& r : ran) EXPECT_EQ(r.load(), 1);
        EXPECT_EQ(caught, c.expected) << c.count;
    }
}

}  // namespace
}  // namespace veltrane2
