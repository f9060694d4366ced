#include "cluster/partition.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "cluster/interface.hpp"
#include "cluster/line_cluster.hpp"
#include "core/errors.hpp"

namespace veltrane2 {
namespace {

using Groups = std::vector<std::vector<int>>;

std::string stop_line(const std::function<void()>& f) {
    try {
        f();
    } catch (const FatalStop& e) {
        return e.line();
    }
    return "no stop";
}

TEST(SetPartition, LimitsStopTheRun) {
    EXPECT_EQ(stop_line([] { singular_grp(1, 1, 5, {1}, {2}); }), " in SINGULAR_GRP NDIM too small  2 1\n");
    EXPECT_EQ(stop_line([] { partition_sets(2, 1, 6, {1, 3, 5}, {2, 4, 6}); }), " in PARTITION_SETS NBGRP too big 3\n");
    EXPECT_EQ(stop_line([] { cluster1d({1, 2, 3}, 2, 5); }), " NG > MDIM in CLUSTER1D  2\n");
    EXPECT_EQ(stop_line([] { cluster1d({1, 1, 1}, 2, 2); }), " NNG(NG) > MN in CLUSTER1D  2 1\n");
    EXPECT_EQ(stop_line([] { partition_big(2, 1, 6, {1, 3, 5}, {2, 4, 6}); }), " in PARTITION_BIG NBGRP too big 3 2\n");
    EXPECT_EQ(stop_line([] { group_sorted({5, 6, 5, 7}, {1, 2, 3, 4}, 2); }), " NG > MDIM in GROUP_sorted \n");
    // Exactly at each limit the tables still hold.
    EXPECT_EQ(stop_line([] { partition_sets(2, 1, 4, {1, 3}, {2, 4}); }), "no stop");
    EXPECT_EQ(stop_line([] { cluster1d({1, 2, 1}, 2, 2); }), "no stop");
    EXPECT_EQ(stop_line([] { partition_big(2, 1, 4, {1, 3}, {2, 4}); }), "no stop");
    EXPECT_EQ(group_sorted({5, 6, 5, 7}, {1, 2, 3}, 2), (std::vector<int>{5, 6}));
}

// Unlinked items first, then the groups by lowest remaining pair, each grown
// over repeated passes (here 1 joins only after 2 has); items may lie below
// zero.
TEST(SetPartition, SinglesThenGroupsGrownToTheirClosure) {
    EXPECT_EQ(partition_sets(4, 1, 5, {3, 1, 2}, {4, 2, 3}).ngroups, (Groups{{5}, {3, 4, 2, 1}}));
    EXPECT_EQ(partition_sets(4, -3, 1, {-2, 0}, {-1, 1}).ngroups, (Groups{{-3}, {-2, -1}, {0, 1}}));
}

// Runs of a line by a plain scan, in the documented order: single positions
// first, then the longer runs by first position.
Groups plain_runs(const std::vector<int>& line, int n0, int n, int ival) {
    Groups singles, longer;
    int i = n0;
    while (i <= n) {
        if (line[i] != ival) {
            ++i;
            continue;
        }
        std::vector<int> run;
        while (i <= n && line[i] == ival) run.push_back(i++);
        (run.size() == 1 ? singles : longer).push_back(run);
    }
    singles.insert(singles.end(), longer.begin(), longer.end());
    return singles;
}

TEST(LineRuns, EveryLineSplitsIntoItsMaximalRuns) {
    std::mt19937 rng(21);
    for (int trial = 0; trial < 400; ++trial) {
        const int len = 1 + static_cast<int>(rng() % 120);
        const double p = 0.2 + 0.7 * (rng() % 100) / 100.0;
        std::vector<int> line(static_cast<std::size_t>(len) + 2, 0);
        for (int i = 1; i <= len; ++i) line[static_cast<std::size_t>(i)] = (rng() % 1000) < p * 1000 ? 1 : 0;
        const int n0 = 1 + static_cast<int>(rng() % 3);
        ASSERT_EQ(line_pix_cluster(1, 1024, n0, len, line.data()).ngroups, plain_runs(line, n0, len, 1));
    }
}

TEST(LineRuns, LimitsStopTheRun) {
    const std::vector<int> alt = {0, 1, 0, 1, 0, 1, 0, 1, 1, 0, 1, 1};
    EXPECT_EQ(stop_line([&] { line_pix_cluster(1, 3, 1, 7, alt.data()); }), " CLUSTER# > NDIM in LINE_PIX_CLUSTER \n");
    std::vector<int> i1, i2;
    EXPECT_EQ(stop_line([&] { line_pix_connect(1, 1, 11, alt.data(), 1, i1, i2); }),
              " NPAIR > MXPAIR in LINE_PIX_CONNECT \n");
    EXPECT_EQ(stop_line([&] { line_pix_cluster(1, 2, 1, 11, alt.data()); }), " NB > NDIM in SINGLE_PIX_LINE NDIM= 2\n");
    EXPECT_EQ(stop_line([&] { line_pix_cluster(1, 4, 1, 11, alt.data()); }), " NBGRP > NDIM in PARTITION_LINE  5 4\n");
}

}  // namespace
}  // namespace veltrane2
