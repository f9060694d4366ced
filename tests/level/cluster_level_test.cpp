#include "level/cluster_level.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "cluster/cluster_map.hpp"

namespace veltrane2 {
namespace {

struct Grouped {
    RunState st;
    std::ostringstream out;
    Grouped() { st.out = &out; }
    // Dense labels and statistics for a label map, as the driver makes them.
    void count(IntMap& labels, const RealImage& t) {
        int ncl = 0;
        for (int j = 1; j <= labels.ny(); ++j)
            for (int i = 1; i <= labels.nx(); ++i) ncl = std::max(ncl, labels(i, j));
        count_cluster(st, labels.nx(), labels.ny(), labels, t, ncl);
        out.str("");
    }
};

TEST(ClusterLevels, SquareAndTouchingClusters) {
    Grouped g;
    IntMap labels(9, 9);
    for (int i = 2; i <= 6; ++i)
        for (int j = 2; j <= 6; ++j) labels(i, j) = 1;
    for (int i = 7; i <= 8; ++i)  // a second cluster touching the first along i = 6 / 7
        for (int j = 2; j <= 6; ++j) labels(i, j) = 2;
    g.count(labels, RealImage(9, 9, 1.0));
    IntMap lev(9, 9);
    level_map(g.st, 9, 9, labels, lev);
    EXPECT_EQ(lev(2, 2), 1);
    EXPECT_EQ(lev(6, 4), 1);  // the common edge is a border of its own cluster
    EXPECT_EQ(lev(7, 4), 1);
    EXPECT_EQ(lev(3, 3), 2);
    EXPECT_EQ(lev(4, 4), 3);
    EXPECT_EQ(lev(5, 4), 2);  // its ring grows only through its own label
    EXPECT_EQ(g.st.level_1.nlevl, (std::vector<int>{3, 1}));
}

TEST(ClusterLevels, EstimatorLowersReleasesAndCounts) {
    Grouped g;
    const int n = 9;
    IntMap labels(n, n);
    RealImage t(n, n, 1.0);
    IntMap mask(n, n);
    for (int i = 3; i <= 7; ++i)
        for (int j = 3; j <= 7; ++j) {
            labels(i, j) = 1;
            mask(i, j) = 1;
            t(i, j) = 5.0;
        }
    t(4, 4) = 0.5;  // ring 2, at or below the noise threshold: released unchanged
    g.count(labels, t);
    IntMap lev(n, n);
    level_map(g.st, n, n, labels, lev);
    g.st.gauss_refnoise.noise_thr = 0.75;
    level_map_estimator(g.st, 1, n, n, t, mask, lev);
    EXPECT_EQ(t(4, 4), 0.5);
    EXPECT_EQ(mask(4, 4), 0);
    EXPECT_EQ(t(3, 3), 1.0);  // ring 1: five unmarked neighbours of 1.0
    for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= n; ++i) EXPECT_LE(t(i, j), 5.0);
    EXPECT_EQ(g.out.str().rfind(" LEVEL_MAP_ESTIMATOR FIXED PTS= ", 0), 0u);
    EXPECT_NE(g.out.str(), " LEVEL_MAP_ESTIMATOR FIXED PTS= 0\n");

    // Nothing stands out: none lowered, every pixel released.
    Grouped flat;
    IntMap l2(5, 5);
    IntMap m2(5, 5);
    l2(3, 3) = 1;
    m2(3, 3) = 1;
    RealImage t2(5, 5, 2.0);
    flat.count(l2, t2);
    IntMap lev2(5, 5);
    level_map(flat.st, 5, 5, l2, lev2);
    level_map_estimator(flat.st, 1, 5, 5, t2, m2, lev2);
    EXPECT_EQ(flat.out.str(), " LEVEL_MAP_ESTIMATOR FIXED PTS= 0\n");
    EXPECT_EQ(m2(3, 3), 0);
    EXPECT_EQ(t2(3, 3), 2.0);
}

TEST(ClusterLevels, PixelWithoutUsableNeighbours) {
    RealImage t(5, 5, 9.0);
    IntMap m(5, 5, 1);  // every neighbour still marked
    double ave = 0, sd = 0;
    var_constr(1, 5, 5, t, m, 0, 3, 3, ave, sd);
    EXPECT_EQ(m(3, 3), -1);
    EXPECT_EQ(t(3, 3), 9.0);
    m(2, 2) = 0;
    t(2, 2) = 1.0;
    m(3, 3) = 1;
    var_constr(1, 5, 5, t, m, 0, 3, 3, ave, sd);
    EXPECT_EQ(m(3, 3), 0);
    EXPECT_EQ(t(3, 3), 1.0);
}

}  // namespace
}  // namespace veltrane2
