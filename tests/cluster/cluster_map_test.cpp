#include "cluster/cluster_map.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>
#include <sstream>

#include "cluster/interface.hpp"
#include "cluster/pixel_cluster.hpp"
#include "image/image_ops.hpp"
#include "core/errors.hpp"

namespace veltrane2 {
namespace {

struct Clustering {
    RunState st;
    std::ostringstream out;
    Clustering() { st.out = &out; }
};

// 8-connected components of the pixels equal to 1, by a plain flood fill,
// numbered in the order their first pixel is met (storage order).
IntMap flood_fill(const IntMap& mask) {
    const int nx = mask.nx(), ny = mask.ny();
    IntMap lab(nx, ny);
    int next = 0;
    std::vector<std::pair<int, int>> stack;
    for (int j = 1; j <= ny; ++j)
        for (int i = 1; i <= nx; ++i) {
            if (mask(i, j) != 1 || lab(i, j) != 0) continue;
            lab(i, j) = ++next;
            stack.emplace_back(i, j);
            while (!stack.empty()) {
                const auto [a, b] = stack.back();
                stack.pop_back();
                for (int da = -1; da <= 1; ++da)
                    for (int db = -1; db <= 1; ++db) {
                        const int x = a + da, y = b + db;
                        if (x < 1 || x > nx || y < 1 || y > ny || mask(x, y) != 1 || lab(x, y) != 0) continue;
                        lab(x, y) = next;
                        stack.emplace_back(x, y);
                    }
            }
        }
    return lab;
}

// True when the two label maps describe the same partition of the pixels
// (0 exactly where the other is 0).
::testing::AssertionResult same_partition(const IntMap& a, const IntMap& b) {
    std::map<int, int> ab, ba;
    for (int j = 1; j <= a.ny(); ++j)
        for (int i = 1; i <= a.nx(); ++i) {
            const int x = a(i, j), y = b(i, j);
            if ((x == 0) != (y == 0)) return ::testing::AssertionFailure() << "selection differs at " << i << " " << j;
            if (x == 0) continue;
            if (ab.emplace(x, y).first->second != y || ba.emplace(y, x).first->second != x) {
                return ::testing::AssertionFailure() << "labels differ at " << i << " " << j;
            }
        }
    return ::testing::AssertionSuccess();
}

void check_map(const IntMap& mask, const std::string& what) {
    Clustering c;
    const int nx = mask.nx(), ny = mask.ny();
    IntMap labels(nx, ny);
    int nout = -1;
    cluster_map(c.st, 0, nx, ny, mask, 1, labels, nout);
    const IntMap want = flood_fill(mask);
    int components = 0;
    for (int j = 1; j <= ny; ++j)
        for (int i = 1; i <= nx; ++i) components = std::max(components, want(i, j));
    ASSERT_TRUE(same_partition(labels, want)) << what;
    if (components == 0) {
        EXPECT_EQ(nout, 0) << what;
        return;
    }
    int ncl = nout;
    count_cluster(c.st, nx, ny, labels, RealImage(nx, ny, 1.0), ncl);
    ASSERT_TRUE(same_partition(labels, want)) << what;
    // Dense: the labels are exactly 1..components.
    std::vector<int> seen(static_cast<std::size_t>(components) + 1, 0);
    for (int j = 1; j <= ny; ++j)
        for (int i = 1; i <= nx; ++i) {
            const int l = labels(i, j);
            ASSERT_LE(l, components) << what;
            if (l > 0) seen[static_cast<std::size_t>(l)] = 1;
        }
    for (int l = 1; l <= components; ++l) ASSERT_EQ(seen[static_cast<std::size_t>(l)], 1) << what;
    EXPECT_EQ(c.st.cluster_ana1.nclx, components) << what;
}

TEST(ClusterMap, LabelsAreThe8ConnectedComponentsOfRandomMasks) {
    std::mt19937 rng(2024);
    for (int trial = 0; trial < 160; ++trial) {
        const int nx = 8 + static_cast<int>(rng() % 90);
        const int ny = 8 + static_cast<int>(rng() % 130);  // multiples of 32 and not
        const double density = 0.05 + 0.55 * (rng() % 100) / 100.0;
        IntMap mask(nx, ny);
        for (int j = 1; j <= ny; ++j)
            for (int i = 1; i <= nx; ++i) mask(i, j) = (rng() % 1000) < density * 1000 ? 1 : 0;
        check_map(mask, "random " + std::to_string(nx) + " x " + std::to_string(ny));
    }
}

TEST(ClusterMap, ShapesAcrossStripBoundaries) {
    const int n = 80;
    auto draw = [n](std::function<bool(int, int)> on) {
        IntMap m(n, n);
        for (int j = 1; j <= n; ++j)
            for (int i = 1; i <= n; ++i) m(i, j) = on(i, j) ? 1 : 0;
        return m;
    };
    // U: two arms starting in strip 1 that join in strip 2.
    check_map(draw([](int i, int j) {
                  return ((i == 10 || i == 30) && j >= 5 && j <= 45) || (j == 45 && i >= 10 && i <= 30);
              }),
              "U");
    // Inverted U: the top in strip 1, legs reaching into strips 2 and 3.
    check_map(draw([](int i, int j) {
                  return ((i == 10 || i == 30) && j >= 20 && j <= 75) || (j == 20 && i >= 10 && i <= 30);
              }),
              "inverted U");
    // Diagonals touching only at corners, crossing boundaries.
    check_map(draw([](int i, int j) { return i == j || i + j == 70 || (i - j == 20 && j % 2 == 0); }), "diagonals");
    // A comb: many legs in one strip joined by a bar in the next.
    check_map(draw([](int i, int j) { return (i % 3 == 1 && j <= 33) || j == 33; }), "comb");
    // Nested rings and a spiral-like band.
    check_map(draw([](int i, int j) {
                  const int d = std::max(std::abs(i - 40), std::abs(j - 40));
                  return d == 5 || d == 15 || d == 25 || (d == 35 && i != 40);
              }),
              "rings");
    // Everything, and nothing.
    check_map(draw([](int, int) { return true; }), "full");
    check_map(draw([](int, int) { return false; }), "empty");
}

TEST(ClusterMap, LabelOrderAcrossStrips) {
    Clustering c;
    const int n = 70;
    IntMap m(n, n);
    for (int j = 1; j <= 64; ++j) m(5, j) = 1;  // a vertical bar through strips 1 and 2
    m(40, 50) = 1;                              // touches nothing above: fresh label
    m(50, 50) = 1;
    m(20, 66) = 1;  // in strip 3, after the bar ended at row 64: stitched, touches nothing
    IntMap labels(n, n);
    int nout = 0;
    cluster_map(c.st, 0, n, n, m, 1, labels, nout);
    EXPECT_EQ(labels(5, 1), 1);
    EXPECT_EQ(labels(5, 64), 1);   // the bar keeps the label of strip 1
    EXPECT_EQ(labels(40, 50), 2);  // met first in the row scan
    EXPECT_EQ(labels(50, 50), 3);
    EXPECT_EQ(labels(20, 66), 4);
    EXPECT_EQ(nout, 4);

    // A strip after an empty strip is labelled on from nout, unstitched.
    IntMap gap(n, n);
    gap(3, 3) = 1;
    gap(3, 70) = 1;
    cluster_map(c.st, 0, n, n, gap, 1, labels, nout);
    EXPECT_EQ(labels(3, 3), 1);
    EXPECT_EQ(labels(3, 70), 2);
}

TEST(PixelClustering, SmallCases) {
    ClusterPix store;
    cluster_pixels(10, {gd2nb_2d(10, 3, 3)}, store);
    EXPECT_EQ(store.clusters, (std::vector<std::vector<int>>{{23}}));
    cluster_pixels(10, {gd2nb_2d(10, 3, 3), gd2nb_2d(10, 4, 4)}, store);  // corner contact
    EXPECT_EQ(store.ncl(), 1);
    cluster_pixels(10, {gd2nb_2d(10, 3, 3), gd2nb_2d(10, 5, 3)}, store);  // two apart
    EXPECT_EQ(store.ncl(), 2);
    EXPECT_EQ(connected(1, 1, 1, 1), -1);
    EXPECT_GE(connected(1, 1, 2, 2), 0);
    EXPECT_NE(connected(1, 1, 2, 2), 4);
    EXPECT_EQ(connected(1, 1, 3, 1), -1);
    EXPECT_EQ(merge_pixs(10, {1, 2}, {13}), 1);
    EXPECT_EQ(merge_pixs(10, {1}, {14}), -1);
}

TEST(PixelClustering, SegmentsMergeIntoWholeClusters) {
    // A snake of 1200 pixels on a 100-wide grid: three segments of 500.
    const int w = 100;
    std::vector<int> snake;
    for (int j = 1; j <= 12; ++j)
        for (int k = 1; k <= w; ++k) snake.push_back(gd2nb_2d(w, j % 2 ? k : w + 1 - k, j));
    ClusterPix store;
    cluster_pixels(w, snake, store);
    ASSERT_EQ(store.ncl(), 1);
    EXPECT_EQ(store.clusters[0].size(), 1200u);

    // Exactly 500 pixels: one segment. Two old clusters joined by a later
    // segment's group become one, the old one of the first pair first.
    std::vector<int> two;
    for (int k = 1; k <= 250; ++k) two.push_back(gd2nb_2d(1000, k, 1));
    for (int k = 1; k <= 250; ++k) two.push_back(gd2nb_2d(1000, k, 3));
    cluster_pixels(1000, two, store);
    EXPECT_EQ(store.ncl(), 2);
    two.push_back(gd2nb_2d(1000, 600, 2));  // touches neither
    two.push_back(gd2nb_2d(1000, 100, 2));  // joins both
    cluster_pixels(1000, two, store);
    ASSERT_EQ(store.ncl(), 2);
    EXPECT_EQ(store.clusters[0], (std::vector<int>{gd2nb_2d(1000, 600, 2)}));  // new group touching nothing
    EXPECT_EQ(store.clusters[1].size(), 501u);
    EXPECT_EQ(store.clusters[1].front(), gd2nb_2d(1000, 1, 1));
}

TEST(Interface, LabelGroups) {
    Clustering c;
    const int n = 12;
    IntMap image(n, n);
    c.st.interface_rows = {4, 4, 5, 5};
    // Old labels 1 and 2 on row 4; new labels -1, -2, -3 on row 5.
    image(2, 4) = 1;
    image(3, 4) = 1;
    image(6, 4) = 2;
    image(9, 4) = 3;   // touches nothing
    image(2, 5) = -1;  // meets old 1
    image(5, 5) = -2;  // meets old 2
    image(6, 5) = -2;
    image(11, 5) = -3;  // touches nothing
    std::vector<int> band;
    for (int j = 4; j <= 5; ++j)
        for (int i = 1; i <= n; ++i)
            if (image(i, j) != 0) band.push_back(gd2nb_2d(n, i, j));
    cluster_pixels(n, band, c.st.cluster_pix);
    update_interface(c.st, n, n, image);
    const auto& g = c.st.cluster_pix.clusters;
    // Unlinked labels first (new before old), then the linked groups, each
    // starting with its new label's pixels.
    ASSERT_EQ(g.size(), 4u);
    EXPECT_EQ(g[0], (std::vector<int>{gd2nb_2d(n, 11, 5)}));
    EXPECT_EQ(g[1], (std::vector<int>{gd2nb_2d(n, 9, 4)}));
    EXPECT_EQ(g[2], (std::vector<int>{gd2nb_2d(n, 2, 5), gd2nb_2d(n, 2, 4), gd2nb_2d(n, 3, 4)}));
    EXPECT_EQ(g[3], (std::vector<int>{gd2nb_2d(n, 5, 5), gd2nb_2d(n, 6, 5), gd2nb_2d(n, 6, 4)}));

    EXPECT_EQ(vec2_connt({1, 2, 3}, {5, 3}), 1);
    EXPECT_EQ(vec2_connt({1, 2}, {5}), 0);
    EXPECT_EQ(group_sorted({5, 1, 5, 3}, {2, 4, 1, 3}, 10), (std::vector<int>{1, 3, 5}));
    EXPECT_EQ(partition_big(10, 1, 4, {2}, {3}).ngroups, (std::vector<std::vector<int>>{{1}, {4}, {2, 3}}));
}

TEST(ClusterCounting, DenseLabelsAndStatistics) {
    Clustering c;
    IntMap m(6, 6);
    RealImage t(6, 6, 2.0);
    m(1, 1) = 3;
    m(4, 4) = 7;
    m(4, 5) = 7;
    t(4, 5) = 4.0;
    m(6, 1) = 1;
    int ncl = 7;
    count_cluster(c.st, 6, 6, m, t, ncl);
    EXPECT_EQ(m(6, 1), 1);
    EXPECT_EQ(m(1, 1), 2);
    EXPECT_EQ(m(4, 4), 3);
    const ClusterAna1& a = c.st.cluster_ana1;
    EXPECT_EQ(a.nclx, 3);
    EXPECT_EQ(a.nclnx, (std::vector<int>{1, 1, 2}));
    EXPECT_EQ(a.avecl[2], 3.0);
    EXPECT_EQ(a.stdcl[0], 0.0);
    EXPECT_EQ(a.cmcl[1][0], 1.0);  // one-pixel cluster (1, 1): centroid at itself
    EXPECT_EQ(a.cmcl[1][1], 1.0);
    EXPECT_DOUBLE_EQ(a.cmcl[2][0], (4 * 2.0 + 5 * 4.0) / 6.0);
    EXPECT_EQ(c.st.cluster_ana3.mnlev_i[1], 1);
    EXPECT_EQ(c.st.cluster_ana3.mxlev_j[2], 5);
    EXPECT_EQ(ncl, 3);  // the largest spread
    EXPECT_EQ(c.out.str(), " CLUSTER#= 3  mx#cluster= 3 2\n");

    // One cluster over the whole grid: no boundary pixel.
    IntMap all(4, 4, 1);
    int one = 1;
    count_cluster(c.st, 4, 4, all, RealImage(4, 4, 1.0), one);
    EXPECT_EQ(one, 1);
    EXPECT_EQ(c.st.cluster_ana1.ixcl, (std::vector<int>{1}));
    EXPECT_EQ(c.st.cluster_ana3.mnlev_i[0], 99999);
    EXPECT_EQ(c.st.cluster_ana3.mxlev_j[0], -99999);

    // Values summing to zero: no weighted centroid, left at 0.
    IntMap z(3, 1, 1);
    RealImage v(3, 1);
    v(1, 1) = -1.0;
    v(3, 1) = 1.0;
    int zc = 1;
    count_cluster(c.st, 3, 1, z, v, zc);
    EXPECT_EQ(c.st.cluster_ana1.cmcl[0], (std::array<double, 2>{0.0, 0.0}));
}

TEST(ClusterLimits, StopWithTheirMessages) {
    Clustering c;
    IntMap m(2, 2);
    int ncl = 4001;
    try {
        count_cluster(c.st, 2, 2, m, RealImage(2, 2), ncl);
        FAIL();
    } catch (const FatalStop& e) {
        EXPECT_EQ(e.line(), " NCL > NXCLUS in COUNT_CLUSTER  4001 4000\n");
    }
    // A strip with more than 15000 selected pixels.
    IntMap full(600, 32, 1);
    IntMap labels(600, 32);
    int nout = 0;
    try {
        cluster_map(c.st, 0, 600, 32, full, 1, labels, nout);
        FAIL();
    } catch (const FatalStop& e) {
        EXPECT_EQ(e.line().rfind(" collected PIXELS in CLUSTER_MAP > MXEDGEPT  15001 15000  J= 26   J1= 32", 0), 0u)
            << e.line();
    }
    // More than 500 fresh labels at one boundary: 600 separate pixels of the
    // new strip below the band.
    IntMap fresh(1300, 40);
    fresh(1, 32) = 1;
    fresh(1, 33) = 1;  // something meets across the boundary: the band is stitched
    for (int k = 0; k < 600; ++k) fresh(1 + 2 * k, 36) = 1;
    IntMap fresh_labels(1300, 40);
    try {
        cluster_map(c.st, 0, 1300, 40, fresh, 1, fresh_labels, nout);
        FAIL();
    } catch (const FatalStop& e) {
        EXPECT_EQ(e.line(), " FRESH LABELS > NXCLUS1 in UPDATE_NEWCLUSTER  501 500\n");
    }
    // A label group of more than 5000 band pixels (a band three rows deep on
    // each side).
    const int w = 1000;
    IntMap wide(w, 6);
    c.st.interface_rows = {1, 3, 4, 6};
    std::vector<int> all;
    for (int j = 1; j <= 6; ++j)
        for (int i = 1; i <= w; ++i) {
            wide(i, j) = j <= 3 ? 1 : -1;
            all.push_back(gd2nb_2d(w, i, j));
        }
    c.st.cluster_pix.clusters = {all};
    try {
        update_interface(c.st, w, 6, wide);
        FAIL();
    } catch (const FatalStop& e) {
        EXPECT_EQ(e.line(), " NPIX > MXCLUS in UPDATE_INTERFACE  5001 5000\n");
    }
}

}  // namespace
}  // namespace veltrane2
