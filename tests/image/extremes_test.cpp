#include "image/extremes.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

namespace veltrane2 {
namespace {

std::vector<int> sorted_index(const std::vector<double>& ra) {
    std::vector<int> indx(ra.size());
    hpsort(static_cast<int>(ra.size()), ra.data(), indx.data());
    return indx;
}

TEST(Sorting, HandCheckedCases) {
    EXPECT_EQ(sorted_index({3.0, 1.0, 2.0}), (std::vector<int>{2, 3, 1}));
    EXPECT_EQ(sorted_index({5.0}), (std::vector<int>{1}));
    EXPECT_EQ(sorted_index({2.0, 2.0}), (std::vector<int>{1, 2}));
    EXPECT_EQ(sorted_index({3.0, 2.0}), (std::vector<int>{2, 1}));
    int ra[2] = {4, 4};
    int indx[2];
    ihpsort(2, ra, indx);
    EXPECT_EQ(indx[0], 2);
    EXPECT_EQ(indx[1], 1);
    int rb[2] = {3, 4};
    ihpsort(2, rb, indx);
    EXPECT_EQ(indx[0], 1);
    EXPECT_EQ(indx[1], 2);
    // Equal keys in a longer list: the heap's own order, fixed by its steps.
    EXPECT_EQ(sorted_index({1.0, 1.0, 1.0}), (std::vector<int>{2, 3, 1}));
}

TEST(Sorting, EveryListComesOutAscendingAsAPermutation) {
    std::mt19937 rng(11);
    for (int trial = 0; trial < 300; ++trial) {
        const int n = 1 + static_cast<int>(rng() % 40);
        std::vector<double> ra(n);
        std::vector<int> ri(n);
        for (int k = 0; k < n; ++k) {
            ri[k] = static_cast<int>(rng() % 7);  // many ties
            ra[k] = ri[k] * 0.5;
        }
        std::vector<int> a = sorted_index(ra);
        std::vector<int> b(n);
        ihpsort(n, ri.data(), b.data());
        for (int k = 1; k < n; ++k) {
            ASSERT_LE(ra[a[k - 1] - 1], ra[a[k] - 1]);
            ASSERT_LE(ri[b[k - 1] - 1], ri[b[k] - 1]);
        }
        std::sort(a.begin(), a.end());
        std::sort(b.begin(), b.end());
        for (int k = 0; k < n; ++k) {
            ASSERT_EQ(a[k], k + 1);
            ASSERT_EQ(b[k], k + 1);
        }
    }
}

// The lift's one-sweep extremes: the lowest is the search's minimum bit for
// bit, also when both zeros are in the image and the search keeps the later
// one; the highest is the first highest value in storage order.
TEST(Extremes, OneSweepExtremesAreTheSearchsAndThePlainSweeps) {
    std::mt19937 rng(5);
    for (int trial = 0; trial < 48; ++trial) {
        const int n = 1 << (1 + trial % 5 + (trial >= 20 ? 2 : 0));  // up to 128: on three threads
        RealImage img(n, n);
        for (int j = 1; j <= n; ++j)
            for (int i = 1; i <= n; ++i) img(i, j) = trial % 2 ? (rng() % 3) * 0.5 : static_cast<double>(rng() % 9) - 4;
        if (trial % 4 == 1) {
            img(1, 1) = trial % 8 == 1 ? 0.0 : -0.0;
            img(1, 2) = -img(1, 1);
        }
        if (trial >= 40) {
            // Every value at most 0, with zeros of both signs late in the
            // storage order: the highest is a zero.
            for (std::size_t k = 0; k < img.size(); ++k) img.data()[k] = -std::abs(img.data()[k]) - 1.0;
            img(n, n - 1) = trial % 2 ? -0.0 : 0.0;
            img(n, n) = -img(n, n - 1);
        }
        const ValueSpan a = lowest_and_highest(img, 3);
        const double b = location_max_min_image(img).extreme[0];
        ASSERT_EQ(std::signbit(a.low), std::signbit(b)) << trial;
        ASSERT_EQ(a.low, b) << trial;
        double hi = img.data()[0];
        for (std::size_t k = 1; k < img.size(); ++k) hi = img.data()[k] > hi ? img.data()[k] : hi;
        ASSERT_EQ(std::signbit(a.high), std::signbit(hi)) << trial;
        ASSERT_EQ(a.high, hi) << trial;
    }
    // Hand-checked: within line 1 the sort puts its -0 first; line 2's +0
    // does not replace it, being no lower.
    RealImage z(8, 8, 1.0);
    z(1, 1) = 0.0;
    z(1, 2) = -0.0;
    z(2, 1) = 0.0;
    EXPECT_TRUE(std::signbit(location_max_min_image(z).extreme[0]));
    EXPECT_TRUE(std::signbit(lowest_and_highest(z).low));
}

}  // namespace
}  // namespace veltrane2
