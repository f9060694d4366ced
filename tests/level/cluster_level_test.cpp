// Level maps and the estimator's fallback.
#include "level/cluster_level.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <sstream>
#include <string>
#include <vector>

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
    // The rings of each cluster pixel; the background holds no ring.
    for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= n; ++i)
            EXPECT_EQ(lev(i, j), !mask(i, j) ? 0 : i == 1 ? 1 : 1 + std::min({i - 3, 7 - i, j - 2, 6 - j})) << i << j;
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
        MarkMap written(5, 5);
        level_map_estimator(out, stats, level, c.noise_thr, 1, v, written, mask, lev);
        EXPECT_EQ(written(2, 2), v(2, 2) != 3.0 ? 1 : 0);
        EXPECT_EQ(written(3, 3), v(3, 3) != 5.0 ? 1 : 0);
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

namespace veltrane2 {
namespace {

// The rings of the whole streak, hand-checked: ring 1 is the border (a
// marked pixel with a four-neighbour inside the grid that is not 1), each
// next ring the unringed pixels of value 1 that touch the ring
// before (eight-neighbourhood); a pixel of another value is never ringed.
TEST(LevelWholeMap, RingsFromTheBorderInwards) {
    struct Case {
        const char* name;
        std::vector<std::string> mask;   // rows j = 1.. of the map, i along the row: '#' 1, 'x' 2, '.' 0
        std::vector<std::string> rings;  // the expected level of each pixel
        int levels;
    } cases[] = {
        {"empty", {"...", "...", "..."}, {"000", "000", "000"}, 1},
        {"a square",
         {".......", ".#####.", ".#####.", ".#####.", ".#####.", ".#####.", "......."},
         {"0000000", "0111110", "0122210", "0123210", "0122210", "0111110", "0000000"},
         3},
        // Neighbours outside the grid do not count: a streak filling the grid has no border.
        {"the grid's edge is no border", {"###", "###", "###"}, {"000", "000", "000"}, 1},
        {"a value other than 1 stays without a ring",
         {".......", ".#####.", ".#####.", ".##x##.", ".#####.", ".#####.", "......."},
         {"0000000", "0111110", "0121210", "0110110", "0121210", "0111110", "0000000"},
         2},
        {"a block two wide inside",
         {"......", ".####.", ".####.", ".####.", ".####.", "......"},
         {"000000", "011110", "012210", "012210", "011110", "000000"},
         2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int ny = static_cast<int>(c.mask.size());
        const int nx = static_cast<int>(c.mask[0].size());
        IntMap b(nx, ny), lev(nx, ny);
        for (int j = 1; j <= ny; ++j)
            for (int i = 1; i <= nx; ++i) {
                const char m = c.mask[static_cast<std::size_t>(j - 1)][static_cast<std::size_t>(i - 1)];
                b(i, j) = m == '#' ? 1 : m == 'x' ? 2 : 0;
            }
        EXPECT_EQ(level_whole_map(b, lev), c.levels);
        for (int j = 1; j <= ny; ++j) {
            std::string row;
            for (int i = 1; i <= nx; ++i) row += static_cast<char>('0' + lev(i, j));
            EXPECT_EQ(row, c.rings[static_cast<std::size_t>(j - 1)]) << "row " << j;
        }
    }
}

}  // namespace
}  // namespace veltrane2
