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

// The grouped estimator on a 3 x 3 cluster at the middle of a 5 x 5 grid of
// ones: the ring (level 1) is lowered whatever the noise threshold, the
// centre (level 2) only when it lies above the threshold; at or below it the
// centre is just unmarked.
TEST(ClusterLevels, InnerRingsAtTheNoiseThresholdAreOnlyUnmarked) {
    struct Case {
        double noise_thr;
        double centre;    // the centre's value afterwards
        const char* line;  // the report line
    } cases[] = {
        {5.0, 5.0, " LEVEL_MAP_ESTIMATOR FIXED PTS= 1\n"},
        {4.999, 1.0, " LEVEL_MAP_ESTIMATOR FIXED PTS= 2\n"},
        {-1.0, 1.0, " LEVEL_MAP_ESTIMATOR FIXED PTS= 2\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.noise_thr);
        std::ostringstream out;
        IntMap mask(5, 5);
        for (int i = 2; i <= 4; ++i)
            for (int j = 2; j <= 4; ++j) mask(i, j) = 1;
        RealImage v(5, 5, 1.0);
        v(2, 2) = 3.0;  // a ring pixel at or below every threshold above
        v(3, 3) = 5.0;
        IntMap labels(5, 5), lev(5, 5);
        int ncl = cluster_map(DivideInt{}, 0, mask, 1, labels);
        const ClusterStats stats = count_cluster(out, labels, v, ncl);
        const Level1 level = level_map(stats, labels, lev);
        ASSERT_EQ(level.nlevl, (std::vector<int>{2}));
        ASSERT_EQ(lev(3, 3), 2);
        out.str("");
        level_map_estimator(out, stats, level, c.noise_thr, 1, v, mask, lev);
        EXPECT_EQ(v(2, 2), 1.0);  // the mean of its five unmarked neighbours
        EXPECT_EQ(v(3, 3), c.centre);
        EXPECT_EQ(mask, IntMap(5, 5));
        EXPECT_EQ(out.str(), c.line);
    }
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
