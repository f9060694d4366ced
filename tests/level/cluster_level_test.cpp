// The grouping mode's level map.
#include "level/cluster_level.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "cluster/cluster_map.hpp"

namespace veltrane2 {
namespace {

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
