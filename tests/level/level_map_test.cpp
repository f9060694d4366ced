#include "level/level_map.hpp"

#include <gtest/gtest.h>

#include <deque>
#include <random>

namespace veltrane2 {
namespace {

IntMap block(int n, int i0, int j0, int side, int value = 1) {
    IntMap m(n, n);
    for (int i = i0; i < i0 + side; ++i)
        for (int j = j0; j < j0 + side; ++j) m(i, j) = value;
    return m;
}

TEST(LevelMap, HandCheckedMasks) {
    IntMap lev(9, 9);
    int ml = -1;
    level_whole_map(9, 9, IntMap(9, 9), lev, ml);
    EXPECT_EQ(lev, IntMap(9, 9));
    EXPECT_EQ(ml, 1);

    IntMap one(9, 9);
    one(4, 4) = 1;
    level_whole_map(9, 9, one, lev, ml);
    EXPECT_EQ(lev(4, 4), 1);
    EXPECT_EQ(ml, 1);

    level_whole_map(9, 9, block(9, 3, 3, 5), lev, ml);
    int count[4] = {0, 0, 0, 0};
    for (int j = 1; j <= 9; ++j)
        for (int i = 1; i <= 9; ++i) ++count[lev(i, j)];
    EXPECT_EQ(count[1], 16);
    EXPECT_EQ(count[2], 8);
    EXPECT_EQ(count[3], 1);
    EXPECT_EQ(lev(5, 5), 3);
    EXPECT_EQ(ml, 3);

    level_whole_map(9, 9, IntMap(9, 9, 1), lev, ml);  // no border anywhere
    EXPECT_EQ(lev, IntMap(9, 9));
    EXPECT_EQ(ml, 1);

    // A block on the image edge is peeled from its inner side only.
    level_whole_map(9, 9, block(9, 1, 1, 4), lev, ml);
    EXPECT_EQ(lev(1, 1), 4);
    EXPECT_EQ(lev(4, 1), 1);
    EXPECT_EQ(lev(1, 4), 1);
    EXPECT_EQ(lev(3, 3), 2);

    IntMap two = block(9, 3, 3, 3);
    two(4, 4) = 2;  // not a border pixel, and never levelled: its value is not 1
    level_whole_map(9, 9, two, lev, ml);
    EXPECT_EQ(lev(4, 4), 0);
    EXPECT_EQ(lev(3, 3), 1);
    EXPECT_EQ(lev(4, 3), 1);
    EXPECT_EQ(ml, 1);
}

// Levels by a plain breadth-first search: 1 on the border pixels, then one
// more per eight-neighbour step through pixels of value 1.
IntMap reference_levels(const IntMap& b) {
    const int nx = b.nx(), ny = b.ny();
    IntMap lev(nx, ny);
    std::deque<std::pair<int, int>> q;
    for (int j = 1; j <= ny; ++j)
        for (int i = 1; i <= nx; ++i) {
            if (b(i, j) <= 0) continue;
            bool border = false;
            const int di[4] = {-1, 1, 0, 0}, dj[4] = {0, 0, -1, 1};
            for (int k = 0; k < 4; ++k) {
                const int a = i + di[k], c = j + dj[k];
                if (a >= 1 && a <= nx && c >= 1 && c <= ny && b(a, c) != 1) border = true;
            }
            if (border) {
                lev(i, j) = 1;
                q.emplace_back(i, j);
            }
        }
    while (!q.empty()) {
        const auto [i, j] = q.front();
        q.pop_front();
        for (int k = -1; k <= 1; ++k)
            for (int l = -1; l <= 1; ++l) {
                const int a = i + k, c = j + l;
                if (a < 1 || a > nx || c < 1 || c > ny || lev(a, c) != 0 || b(a, c) != 1) continue;
                lev(a, c) = lev(i, j) + 1;
                q.emplace_back(a, c);
            }
    }
    return lev;
}

TEST(LevelMap, LevelsAreTheRingDistancesFromTheBorder) {
    std::mt19937 rng(13);
    for (int trial = 0; trial < 60; ++trial) {
        const int n = 8 + static_cast<int>(rng() % 40);
        IntMap b(n, n);
        // Blobs of ones, with a few -1 and 2 values sprinkled in.
        for (int blob = 0; blob < 4; ++blob) {
            const int ci = 1 + static_cast<int>(rng() % n), cj = 1 + static_cast<int>(rng() % n);
            const int r = 1 + static_cast<int>(rng() % 8);
            for (int j = 1; j <= n; ++j)
                for (int i = 1; i <= n; ++i)
                    if ((i - ci) * (i - ci) + (j - cj) * (j - cj) <= r * r) b(i, j) = 1;
        }
        for (int k = 0; k < 5; ++k)
            b(1 + static_cast<int>(rng() % n), 1 + static_cast<int>(rng() % n)) = (k % 2) ? -1 : 2;
        IntMap lev(n, n);
        int ml = 0;
        level_whole_map(n, n, b, lev, ml);
        const IntMap want = reference_levels(b);
        ASSERT_EQ(lev, want);
        int top = 1;
        for (int j = 1; j <= n; ++j)
            for (int i = 1; i <= n; ++i) top = std::max(top, want(i, j));
        EXPECT_EQ(ml, top);
    }
}

TEST(LevelEstimator, SinglePixelTakesItsNeighbours) {
    RealImage t(5, 5, 1.0);
    t(3, 3) = 10.0;
    IntMap b(5, 5);
    b(3, 3) = 1;
    IntMap lev(5, 5);
    int ml = 0;
    level_whole_map(5, 5, b, lev, ml);
    level_whole_estimator(1, 5, 5, t, b, ml, lev);
    EXPECT_EQ(t(3, 3), 1.0);
    EXPECT_EQ(b(3, 3), 0);
}

TEST(LevelEstimator, ValuesAreNeverRaised) {
    RealImage t(5, 5, 1.0);
    t(3, 3) = 0.5;  // below its neighbourhood
    IntMap b(5, 5);
    b(3, 3) = 1;
    IntMap lev(5, 5);
    lev(3, 3) = 1;
    level_whole_estimator(1, 5, 5, t, b, 1, lev);
    EXPECT_EQ(t(3, 3), 0.5);
    EXPECT_EQ(b(3, 3), 0);

    // Equal to ave + spread: kept (strict comparison).
    RealImage u(3, 3, 2.0);
    u(1, 1) = 4.0;  // neighbours of (2, 2): seven 2s and one 4
    IntMap c(3, 3);
    c(2, 2) = 1;
    IntMap lv(3, 3);
    lv(2, 2) = 1;
    double ave = 0, sd = 0;
    int n = 0;
    for (int i = 1; i <= 3; ++i)
        for (int j = 1; j <= 3; ++j) {
            if (i == 2 && j == 2) continue;
            ++n;
            const double x = u(i, j);
            ave = ave + (x - ave) * (1.0 / n);
            sd = sd + (x - ave) * (x - ave) * ((1.0 / n) * (1.0 / n));
        }
    u(2, 2) = ave + std::sqrt(sd);
    const double at = u(2, 2);
    level_whole_estimator(1, 3, 3, u, c, 1, lv);
    EXPECT_EQ(u(2, 2), at);
}

TEST(LevelEstimator, FallbackMeanOverTheWiderWindow) {
    // Every neighbour in the 3 x 3 window is still marked without a level:
    // the 5 x 5 window's unmarked pixels give the value.
    RealImage t(7, 7, 2.0);
    t(4, 4) = 50.0;
    IntMap b(7, 7);
    for (int i = 3; i <= 5; ++i)
        for (int j = 3; j <= 5; ++j) b(i, j) = 1;
    IntMap lev(7, 7);
    lev(4, 4) = 1;
    level_whole_estimator(1, 7, 7, t, b, 1, lev);
    EXPECT_EQ(t(4, 4), 2.0);
    EXPECT_EQ(b(4, 4), 0);
    EXPECT_EQ(b(3, 3), 1);

    IntMap all(3, 3, 1);
    RealImage v(3, 3, 7.0);
    EXPECT_EQ(avenxn_x(2, 3, 3, v, all, 0, 2, 2), 100000.0);
    all(1, 1) = 0;
    v(1, 1) = 3.0;
    EXPECT_EQ(avenxn_x(2, 3, 3, v, all, 0, 2, 2), 3.0);
}

TEST(LevelEstimator, ResultNeverExceedsTheInput) {
    std::mt19937 rng(17);
    std::uniform_real_distribution<double> u(-2.0, 6.0);
    for (int trial = 0; trial < 30; ++trial) {
        const int n = 24;
        RealImage t(n, n);
        IntMap b(n, n);
        for (int j = 1; j <= n; ++j)
            for (int i = 1; i <= n; ++i) {
                t(i, j) = u(rng);
                b(i, j) = (i > 8 && i < 16) || (rng() % 10 == 0) ? 1 : 0;
            }
        const RealImage before = t;
        IntMap lev(n, n);
        int ml = 0;
        level_whole_map(n, n, b, lev, ml);
        level_whole_estimator(1, n, n, t, b, ml, lev);
        for (int j = 1; j <= n; ++j)
            for (int i = 1; i <= n; ++i) {
                ASSERT_LE(t(i, j), before(i, j));
                if (lev(i, j) > 0) {
                    ASSERT_EQ(b(i, j), 0);
                }
            }
    }
}

}  // namespace
}  // namespace veltrane2
