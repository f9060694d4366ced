#include "level/level_map.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>
#include <sstream>

#include "cluster/cluster_map.hpp"
#include "level/cluster_level.hpp"

namespace veltrane2 {
namespace {

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

// In the grouping mode each cluster's top level is its deepest ring, the
// first column included.
TEST(ClusterLevels, TopLevelOfEachCluster) {
    RunState st;
    std::ostringstream out;
    st.out = &out;
    const int n = 8;
    IntMap mask(n, n);
    for (int j = 1; j <= n; ++j) mask(1, j) = 1;  // a line along the first column: one ring
    for (int i = 3; i <= 7; ++i)
        for (int j = 2; j <= 6; ++j) mask(i, j) = 1;  // a 5 x 5 block: three rings
    IntMap labels(n, n);
    int ncl = 0;
    cluster_map(st, 0, n, n, mask, 1, labels, ncl);
    count_cluster(st, n, n, labels, RealImage(n, n, 1.0), ncl);
    IntMap lev(n, n);
    level_map(st, n, n, labels, lev);
    std::vector<int> top = st.level_1.nlevl;
    std::sort(top.begin(), top.end());
    EXPECT_EQ(top, (std::vector<int>{1, 3}));
    EXPECT_EQ(lev(5, 4), 3);
    EXPECT_EQ(lev(1, 5), 1);
}

}  // namespace
}  // namespace veltrane2
