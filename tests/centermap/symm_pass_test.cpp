#include "centermap/symm_pass.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <sstream>
#include <utility>
#include <vector>

#include "core/errors.hpp"

namespace veltrane2 {
namespace {

TEST(SymmetricPass, WindowLimit) {
    RealImage t(16, 16, 1.0);
    IntMap b(16, 16);
    MarkMap w(16, 16);
    try {
        real_symm_pass_1pair(25, {8, 8}, Box::of(16, 16), MiddleLines::of(16), t, w, b);
        FAIL();
    } catch (const FatalStop& e) {
        EXPECT_EQ(e.line(), " NS0 > MXSYMM in REAL_SYMM_PASS  51 50  NS= 25 50\n");
    }
}

// Hand-checked windows of side 3 (ns = 1) around (3, 3) and its mirror
// (6, 6) on an 8 x 8 grid: each term is |d1 - d2| of the window position and
// its reversed position, a pixel not selected or outside the box giving 0.
TEST(SymmetricPass, WindowMismatch) {
    struct Case {
        const char* name;
        Box box;
        std::vector<std::array<int, 3>> selected;  // (i, j, value) set in the mask (default 1 everywhere)
        std::vector<std::pair<std::array<int, 2>, double>> heights;  // changed heights (default 1)
        double limit;
        double want;
    } cases[] = {
        {"equal windows", Box::of(8, 8), {}, {}, 1e300, 0.0},
        // (4, 4) is offset (+1, +1) from (3, 3); its partner is (5, 5).
        {"one difference", Box::of(8, 8), {}, {{{4, 4}, 3.0}}, 1e300, 2.0},
        {"last row and column count", Box::of(8, 8), {}, {{{7, 7}, 2.5}}, 1e300, 1.5},
        {"unselected pixel gives 0", Box::of(8, 8), {{4, 4, 0}}, {{{4, 4}, 3.0}, {{5, 5}, 4.0}}, 1e300, 3.0},
        {"outside the box gives 0", Box{1, 5, 1, 5}, {}, {{{5, 5}, 4.0}}, 1e300, 0.0 + 3.0 * 1 + 0.0},
        {"both sides differ", Box::of(8, 8), {}, {{{2, 3}, 5.0}, {{7, 6}, 2.0}}, 1e300, 3.0},
        // Terms 4 (row ix = 1) then 3 (row 3): the sum stops after the row that reaches the limit.
        {"stops at the limit", Box::of(8, 8), {}, {{{2, 2}, 5.0}, {{4, 4}, 4.0}}, 1.0, 4.0},
        {"whole below the limit", Box::of(8, 8), {}, {{{2, 2}, 5.0}, {{4, 4}, 4.0}}, 7.5, 7.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RealImage t(8, 8, 1.0);
        IntMap b(8, 8, 1);
        for (const auto& [i, j, v] : c.selected) b(i, j) = v;
        for (const auto& [at, h] : c.heights) t(at[0], at[1]) = h;
        EXPECT_EQ(window_mismatch(c.box, 1, {3, 6}, {3, 6}, t, b, c.limit), c.want);
    }
}

// The pass takes a pair when the two values are equal and their windows
// are mirror images; the larger of a pair of nearly equal values is pulled
// down to their mean. Every pair is decided before any is passed.
TEST(SymmetricPass, TakesMirroredPairsOnly) {
    RealImage t(8, 8, 1.0);
    IntMap b(8, 8, 1);
    const MiddleLines middle{};  // none left out
    t(2, 2) = 3.0;  // mirror (6, 6) through (4, 4) stays 1: not taken
    t(3, 5) = 1.0 + 1e-9;  // mirror (5, 3): equal within 1e-8, windows 8 x 1e-9 apart
    t(5, 3) = 1.0;
    b(7, 1) = 0;  // (1, 7), its mirror in the first column, is taken from its own side alone
    MarkMap w(8, 8);
    real_symm_pass_1pair(1, {4, 4}, Box::of(8, 8), middle, t, w, b);
    EXPECT_EQ(b(1, 7), 0);
    EXPECT_EQ(b(2, 2), 1);
    EXPECT_EQ(b(6, 6), 1);
    EXPECT_EQ(t(2, 2), 3.0);
    EXPECT_EQ(b(3, 5), 0);
    EXPECT_EQ(b(5, 3), 0);
    // Both pixels are candidates, so the pair is passed twice, in the order
    // of its pixels: (3, 5) first, then (5, 3) with (3, 5) as its mirror.
    const double once = 0.5 * ((1.0 + 1e-9) + 1.0);
    EXPECT_EQ(t(3, 5), 0.5 * (1.0 + once));
    EXPECT_EQ(t(5, 3), 1.0);
    EXPECT_EQ(w(3, 5), 1);  // lowered twice; nothing else is written
    EXPECT_EQ(std::count(w.data(), w.data() + w.size(), 1), 1);

    // Equal values whose windows are exactly 1e-8 apart are not taken: one
    // term |1e-8 - 0| of (1, 4) against (7, 4).
    RealImage u(8, 8, 1.0);
    IntMap c(8, 8, 1);
    u(2, 4) = u(6, 4) = u(7, 4) = 0.0;
    u(1, 4) = 1e-8;
    EXPECT_EQ(window_mismatch(Box::of(8, 8), 1, {2, 6}, {4, 4}, u, c, 1.0), 1e-8);
    MarkMap wu(8, 8);
    real_symm_pass_1pair(1, {4, 4}, Box::of(8, 8), middle, u, wu, c);
    EXPECT_EQ(c(2, 4), 1);
    EXPECT_EQ(c(6, 4), 1);
}

// On a nearly symmetric spectrum most windows are taken on a bound of their
// mismatch instead of its sum: the pass must take exactly the pairs whose
// summed windows are below the limit. Mirror differences spread over the
// decades around the limit, a few unselected pixels, values that are not
// numbers and a box off the centre put windows on both sides of it.
TEST(SymmetricPass, TakesWhatTheSummedWindowsTake) {
    const int n = 40;
    const std::array<int, 2> icent{20, 21};
    const Box box{3, 37, 2, 38};
    for (unsigned seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        std::uniform_real_distribution<double> unit(0.0, 1.0);
        RealImage t(n, n);
        IntMap b(n, n, 1);
        for (int j = 1; j <= n; ++j)
            for (int i = 1; i <= n; ++i) {
                const int mi = 2 * icent[0] - i, mj = 2 * icent[1] - j;
                const bool inside = mi >= 1 && mi <= n && mj >= 1 && mj <= n;
                t(i, j) = inside && (mi < i || (mi == i && mj < j)) ? t(mi, mj) : 10.0 * unit(rng);
                if (unit(rng) < 0.1) t(i, j) += std::ldexp(unit(rng) - 0.5, -24 - static_cast<int>(unit(rng) * 30));
                if (unit(rng) < 0.004) b(i, j) = 0;
            }
        t(9, 30) = std::nan("");
        t(30, 9) = std::numeric_limits<double>::infinity();
        // Two windows whose mirror differences are all but nil while their
        // sums, rounded, pass the limit: large values round |t - c| apart.
        // Around (8, 10), neighbours 1.5 2^30 on both sides and centre
        // values 2^-23 +- 2^-40; around (8, 24), centre values 2^22 and
        // most neighbours 2^-32 +- 2^-50, the two sides of a rounding tie.
        const auto plant = [&](int pi, int pj, double c1, double c2, double v, double dv) {
            int k = 0;
            for (int dj = -3; dj <= 3; ++dj)
                for (int di = -3; di <= 3; ++di, ++k) {
                    const int i = pi + di, j = pj + dj;
                    const bool near = k % 5 != 0;
                    t(i, j) = near ? v + dv : 1.0;
                    t(2 * icent[0] - i, 2 * icent[1] - j) = near ? v - dv : 1.0;
                    b(i, j) = b(2 * icent[0] - i, 2 * icent[1] - j) = 1;
                }
            t(pi, pj) = c1;
            t(2 * icent[0] - pi, 2 * icent[1] - pj) = c2;
        };
        plant(8, 10, 0x1p-23 + 0x1p-40, 0x1p-23 - 0x1p-40, 0x3p29, 0.0);
        plant(8, 24, 0x1p22, 0x1p22, 0x1p-32, 0x1p-50);
        RealImage want = t;
        IntMap want_b = b;
        std::vector<std::pair<std::array<int, 2>, std::array<int, 2>>> taken;
        for (int i = box.i0; i <= box.i1; ++i)
            for (int j = box.j0; j <= box.j1; ++j) {
                const std::array<int, 2> loci{i, 2 * icent[0] - i}, locj{j, 2 * icent[1] - j};
                if (b(i, j) != 1 || i == n / 2 || j == n / 2 || loci[1] < 1 || loci[1] > n || locj[1] < 1 ||
                    locj[1] > n)
                    continue;
                if (std::abs(t(i, j) - t(loci[1], locj[1])) < 1e-8 &&
                    window_mismatch(box, 3, loci, locj, t, b, 1e-8) < 1e-8)
                    taken.emplace_back(loci, locj);
            }
        MarkMap want_w(n, n), w(n, n);
        for (const auto& [loci, locj] : taken) local_pass_1pair(loci, locj, want, want_w, want_b);
        ASSERT_GT(taken.size(), 100u);
        real_symm_pass_1pair(3, icent, box, MiddleLines::of(n), t, w, b);
        EXPECT_TRUE(b == want_b);
        EXPECT_TRUE(w == want_w);
        EXPECT_EQ(std::memcmp(t.data(), want.data(), sizeof(double) * t.size()), 0);
    }
}

}  // namespace
}  // namespace veltrane2
