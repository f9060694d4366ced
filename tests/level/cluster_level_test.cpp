// Level maps and the estimator's fallback.
#include "level/cluster_level.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <sstream>

#include "cluster/cluster_map.hpp"
#include "level/level_map.hpp"

namespace veltrane2 {
namespace {

// In the grouping mode each cluster's top level is its deepest ring, the
// first column included.
TEST(ClusterLevels, TopLevelOfEachCluster) {
    std::ostringstream out;
    const int n = 8;
    IntMap mask(n, n);
    for (int j = 1; j <= n; ++j) mask(1, j) = 1;  // a line along the first column: one ring
    for (int i = 3; i <= 7; ++i)
        for (int j = 2; j <= 6; ++j) mask(i, j) = 1;  // a 5 x 5 block: three rings
    IntMap labels(n, n);
    int ncl = cluster_map(DivideInt{}, 0, mask, 1, labels);
    const ClusterStats stats = count_cluster(out, labels, RealImage(n, n, 1.0), ncl);
    IntMap lev(n, n);
    std::vector<int> top = level_map(stats, labels, lev).nlevl;
    std::sort(top.begin(), top.end());
    EXPECT_EQ(top, (std::vector<int>{1, 3}));
    // Value-weighted means of each cluster: second index, then first.
    auto means = stats.cluster_ana1.cmcl;
    std::sort(means.begin(), means.end());
    EXPECT_EQ(means, (std::vector<std::array<double, 2>>{{4.0, 5.0}, {4.5, 1.0}}));
}

// The estimator's fallback: the mean of a window's unmarked pixels, clipped.
TEST(LevelEstimator, FallbackMeanOfTheUnmarkedNeighbours) {
    IntMap all(3, 3, 1);
    RealImage v(3, 3, 7.0);
    EXPECT_EQ(avenxn_x(2, v, all, 0, 2, 2), 100000.0);
    all(1, 1) = 0;
    v(1, 1) = 3.0;
    EXPECT_EQ(avenxn_x(2, v, all, 0, 2, 2), 3.0);
}

}  // namespace
}  // namespace veltrane2
