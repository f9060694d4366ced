#include "cluster/partition.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <random>

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

TEST(SetPartition, SingletonsThenGroupsByLowestPair) {
    EXPECT_EQ(partition_sets(10, 1, 4, {}, {}).ngroups, (Groups{{1}, {2}, {3}, {4}}));
    EXPECT_EQ(partition_sets(10, 1, 5, {1, 4}, {2, 5}).ngroups, (Groups{{3}, {1, 2}, {4, 5}}));
    // A chain given out of order: 2 and 1 join only in a second pass.
    EXPECT_EQ(partition_sets(10, 1, 4, {3, 1, 2}, {4, 2, 3}).ngroups, (Groups{{3, 4, 2, 1}}));
    // Three linked groups: the middle one is grown, the last pair stands alone.
    EXPECT_EQ(partition_sets(10, 1, 8, {7, 1, 4, 2}, {8, 2, 5, 3}).ngroups, (Groups{{6}, {7, 8}, {1, 2, 3}, {4, 5}}));
}

TEST(SetPartition, OneClusterKeepsTheUntouchedPairsInOrder) {
    std::vector<int> nm = {5, 6};
    const std::vector<int> left = one_cluster({5, 1, 6, 9, 2}, {6, 2, 7, 10, 3}, nm);
    EXPECT_EQ(nm, (std::vector<int>{5, 6, 7}));
    EXPECT_EQ(left, (std::vector<int>{2, 4, 5}));
}

TEST(SetPartition, GroupingByValue) {
    EXPECT_EQ(cluster1d({7, 3, 7, 3, 5}, 10, 10).ngroups, (Groups{{1, 3}, {2, 4}, {5}}));
    EXPECT_EQ(cluster1d({4}, 1, 1).ngroups, (Groups{{1}}));
}

TEST(SetPartition, LimitsStopTheRun) {
    EXPECT_EQ(stop_line([] { singular_grp(1, 1, 5, {1}, {2}); }), " in SINGULAR_GRP NDIM too small  2 1\n");
    EXPECT_EQ(stop_line([] { partition_sets(2, 1, 6, {1, 3, 5}, {2, 4, 6}); }), " in PARTITION_SETS NBGRP too big 3\n");
    EXPECT_EQ(stop_line([] { cluster1d({1, 2, 3}, 2, 5); }), " NG > MDIM in CLUSTER1D  2\n");
    EXPECT_EQ(stop_line([] { cluster1d({1, 1, 1}, 2, 2); }), " NNG(NG) > MN in CLUSTER1D  2 1\n");
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

TEST(LineRuns, HandCheckedLines) {
    const std::vector<int> a = {9, 1, 1, 0, 1};  // positions 1..4 hold 1 1 0 1
    EXPECT_EQ(line_pix_cluster(1, 1024, 1, 4, a.data()).ngroups, (Groups{{4}, {1, 2}}));
    const std::vector<int> none = {0, 0, 0, 0};
    EXPECT_EQ(line_pix_cluster(1, 1024, 1, 3, none.data()).nbgrp(), 0);
    const std::vector<int> all = {0, 1, 1, 1, 1, 1};
    EXPECT_EQ(line_pix_cluster(1, 1024, 2, 4, all.data()).ngroups, (Groups{{2, 3, 4}}));  // bounded by n0..n
    const std::vector<int> two = {0, 1, 1, 0, 1, 1, 1, 0, 1, 1};
    EXPECT_EQ(line_pix_cluster(1, 1024, 1, 9, two.data()).ngroups, (Groups{{1, 2}, {4, 5, 6}, {8, 9}}));
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

TEST(LineRuns, RunsLongerThanTheOldMemberCapacity) {
    std::vector<int> line(1026, 1);
    line[300] = 0;
    const GroupTable t = line_pix_cluster(1, 1024, 1, 1024, line.data());
    ASSERT_EQ(t.nbgrp(), 2);
    EXPECT_EQ(t.ngroups[0].size(), 299u);
    EXPECT_EQ(t.ngroups[1].size(), 724u);
    EXPECT_EQ(t.ngroups[1].back(), 1024);
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
