#include "cluster/cluster_map.hpp"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <random>
#include <sstream>
#include <tuple>

#include "cluster/interface.hpp"
#include "cluster/pixel_cluster.hpp"
#include "image/image_ops.hpp"
#include "core/errors.hpp"

namespace veltrane2 {
namespace {

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
    std::ostringstream out;
    const int nx = mask.nx(), ny = mask.ny();
    IntMap labels(nx, ny);
    const int nout = cluster_map(DivideInt{}, 0, mask, 1, labels);
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
    const ClusterStats stats = count_cluster(out, labels, RealImage(nx, ny, 1.0), ncl);
    ASSERT_TRUE(same_partition(labels, want)) << what;
    EXPECT_EQ(stats.cluster_ana1.nclx, components) << what;
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

// Pixels join through any of their eight neighbours, within a segment of
// 500 pixels and from a later segment, the first row included.
TEST(PixelClustering, EightNeighboursWithinAndAcrossSegments) {
    const auto px = [](int i, int j) { return gd2nb_2d(1000, i, j); };
    ClusterPix store;
    cluster_pixels(1000, {px(3, 3), px(4, 4)}, store);
    EXPECT_EQ(store.ncl(), 1);
    cluster_pixels(1000, {px(3, 3), px(5, 3)}, store);
    EXPECT_EQ(store.ncl(), 2);
    EXPECT_EQ(connected(3, 3, 3, 3), -1);
    std::vector<int> row2;
    for (int k = 1; k <= 500; ++k) row2.push_back(px(k, 2));
    for (const auto& [i, j, clusters] : {std::tuple{1, 1, 1}, {501, 3, 1}, {501, 1, 1}, {250, 3, 1}, {502, 2, 2}}) {
        std::vector<int> m = row2;
        m.push_back(px(i, j));
        cluster_pixels(1000, m, store);
        EXPECT_EQ(store.ncl(), clusters) << i << " " << j;
    }
}

// The map has (ny + idvid - 1) / idvid strips, the last one cut short: the
// last row is labelled however the rows divide, and a line through every
// strip is one cluster.
TEST(ClusterMap, EveryStripUpToTheLastRowIsLabelled) {
    struct Case {
        int ny, idvid;
    } cases[] = {{33, 32}, {32, 32}, {5, 4}, {9, 4}, {3, 4}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.ny) + " rows in strips of " + std::to_string(c.idvid));
        IntMap mask(6, c.ny);
        mask(2, c.ny) = 1;
        mask(4, c.ny) = 1;
        IntMap labels(6, c.ny);
        EXPECT_EQ(cluster_map(DivideInt{c.idvid}, 0, mask, 1, labels), 2);
        EXPECT_EQ(labels(2, c.ny), 1);
        EXPECT_EQ(labels(4, c.ny), 2);
        for (int j = 1; j <= c.ny; ++j) mask(3, j) = 1;  // joins both
        const int nout = cluster_map(DivideInt{c.idvid}, 0, mask, 1, labels);
        EXPECT_NE(labels(3, 1), 0);
        EXPECT_EQ(labels(2, c.ny), labels(3, 1)) << nout;
        EXPECT_EQ(labels(4, c.ny), labels(3, 1)) << nout;
    }
}

// Each limit still takes exactly its count; one more stops the run.
TEST(ClusterLimits, ExactlyAtTheLimitTheRunGoesOn) {
    struct Case {
        const char* what;
        int nx, ny;
        std::function<void(IntMap&)> fill;
        int labels;        // largest label when the run goes on
        const char* stop;  // else the stop line
    } cases[] = {
        {"15000 pixels in one strip, 500 pairs in each merge", 1000, 32,
         [](IntMap& m) {
             for (int j = 1; j <= 30; ++j)
                 for (int i = 1; i <= 999; i += 2) m(i, j) = 1;
         },
         500, ""},
        {"a cluster of 5000 pixels", 250, 32,
         [](IntMap& m) {
             for (int j = 1; j <= 20; ++j)
                 for (int i = 1; i <= 250; ++i) m(i, j) = 1;
         },
         1, ""},
        {"a cluster of 5001 pixels", 250, 32,
         [](IntMap& m) {
             for (int j = 1; j <= 20; ++j)
                 for (int i = 1; i <= 250; ++i) m(i, j) = 1;
             m(1, 21) = 1;
         },
         0, " 1ICONT > MXCLUS in MERGE_PIX_CLUSTER  5001 5000\n"},
        {"500 fresh labels at one boundary", 1300, 40,
         [](IntMap& m) {
             m(1, 32) = 1;
             m(1, 33) = 1;  // something meets across the boundary: the band is stitched
             for (int k = 0; k < 500; ++k) m(1 + 2 * k, 36) = 1;
         },
         501, ""},
        {"500 label groups with old pixels at one boundary", 1000, 33,
         [](IntMap& m) {
             for (int k = 0; k < 500; ++k) m(1 + 2 * k, 32) = 1;
             m(1, 33) = 1;
         },
         500, ""},
        // Odd columns above the boundary, even ones below: one band cluster
        // links every old label with every new one.
        {"100 old and 100 new labels, 10000 links", 200, 33,
         [](IntMap& m) {
             for (int i = 1; i <= 200; ++i) m(i, 32 + (i + 1) % 2) = 1;
         },
         100, ""},
        {"and one more old and new label apart, 10001 links", 203, 33,
         [](IntMap& m) {
             for (int i = 1; i <= 200; ++i) m(i, 32 + (i + 1) % 2) = 1;
             m(203, 32) = m(203, 33) = 1;
         },
         0, " NPAIR > MXPAIR in UPDATE_INTERFACE \n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        IntMap mask(c.nx, c.ny);
        c.fill(mask);
        IntMap labels(c.nx, c.ny);
        try {
            EXPECT_EQ(cluster_map(DivideInt{}, 0, mask, 1, labels), c.labels);
            EXPECT_STREQ(c.stop, "");
        } catch (const FatalStop& e) {
            EXPECT_EQ(e.line(), c.stop);
        }
    }
    std::ostringstream out;
    IntMap none(2, 2);
    int ncl = 4000;  // labels issued: the counting takes up to NXCLUS
    EXPECT_NO_THROW(count_cluster(out, none, RealImage(2, 2), ncl));
}

// Each cluster's centroid is weighted by its values: (i, j) of its pixels
// summed with weight h and divided by the sum of h, whatever that sum is
// (1 here, 2 for the lone pixel); a cluster whose values sum to zero has
// none and is left at 0.
TEST(CountCluster, CentroidsWeightedByTheValues) {
    IntMap m(8, 8);
    RealImage t(8, 8, 0.0);
    m(2, 3) = m(3, 3) = m(4, 3) = 1;  // weights 0.25, 0, 0.75
    t(2, 3) = 0.25;
    t(4, 3) = 0.75;
    m(7, 7) = 2;
    t(7, 7) = 2.0;
    m(1, 7) = m(2, 7) = 3;  // weights 1, -1
    t(1, 7) = 1.0;
    t(2, 7) = -1.0;
    m(5, 1) = 4;  // a lone value whose mean is itself to the last bit
    t(5, 1) = 0.1;
    std::ostringstream out;
    int ncl = 4;
    const ClusterStats s = count_cluster(out, m, t, ncl);
    using P = std::array<double, 2>;  // along the second index, then the first
    EXPECT_EQ(s.cluster_ana1.cmcl[0], (P{3.0, 3.5}));
    EXPECT_EQ(s.cluster_ana1.cmcl[1], (P{7.0, 7.0}));
    EXPECT_EQ(s.cluster_ana1.cmcl[2], (P{0.0, 0.0}));
    EXPECT_EQ(s.cluster_ana1.nclnx, (std::vector<int>{3, 1, 2, 1}));
    EXPECT_EQ(s.cluster_ana1.avecl[1], 2.0);
    EXPECT_EQ(s.cluster_ana1.avecl[3], 0.1);
}

TEST(ClusterLimits, StopWithTheirMessages) {
    std::ostringstream out;
    IntMap m(2, 2);
    int ncl = 4001;
    try {
        count_cluster(out, m, RealImage(2, 2), ncl);
        FAIL();
    } catch (const FatalStop& e) {
        EXPECT_EQ(e.line(), " NCL > NXCLUS in COUNT_CLUSTER  4001 4000\n");
    }
    // A strip with more than 15000 selected pixels.
    IntMap full(600, 32, 1);
    IntMap labels(600, 32);
    try {
        cluster_map(DivideInt{}, 0, full, 1, labels);
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
        cluster_map(DivideInt{}, 0, fresh, 1, fresh_labels);
        FAIL();
    } catch (const FatalStop& e) {
        EXPECT_EQ(e.line(), " FRESH LABELS > NXCLUS1 in UPDATE_NEWCLUSTER  501 500\n");
    }
    // A label group of more than 5000 band pixels (a band three rows deep on
    // each side).
    const int w = 1000;
    IntMap wide(w, 6);
    const InterfaceRows rows{1, 3, 4, 6};
    std::vector<int> all;
    for (int j = 1; j <= 6; ++j)
        for (int i = 1; i <= w; ++i) {
            wide(i, j) = j <= 3 ? 1 : -1;
            all.push_back(gd2nb_2d(w, i, j));
        }
    ClusterPix store;
    store.clusters = {all};
    try {
        update_interface(rows, store, wide);
        FAIL();
    } catch (const FatalStop& e) {
        EXPECT_EQ(e.line(), " NPIX > MXCLUS in UPDATE_INTERFACE  5001 5000\n");
    }
    // The old side of a band counts its labelled pixels only: 15000 of a
    // band of 30000 (four clusters) are exactly at the limit.
    IntMap band(15000, 4);
    ClusterPix four;
    four.clusters.resize(4);
    for (int j = 1; j <= 2; ++j)
        for (int i = 1; i <= 15000; i += 2) {
            band(i, j) = 1 + (i - 1) / 3750;
            four.clusters[static_cast<std::size_t>((i - 1) / 3750)].push_back(gd2nb_2d(15000, i, j));
        }
    int nmx = 0;
    EXPECT_EQ(update_oldcluster({1, 2, 3, 4}, four, band, nmx).idata1.size(), 15000u);
    // So does the new side: its four clusters take fresh labels after the
    // largest.
    IntMap below(8000, 4);
    ClusterPix news;
    news.clusters.resize(4);
    for (int j = 3; j <= 4; ++j)
        for (int i = 1; i <= 8000; i += 2) {
            below(i, j) = -(1 + (i - 1) / 2000);
            news.clusters[static_cast<std::size_t>((i - 1) / 2000)].push_back(gd2nb_2d(8000, i, j));
        }
    int iclmax = 7;
    update_newcluster_new({1, 2, 3, 4}, news, DivideInt{}, below, OldSide{}, iclmax);
    EXPECT_EQ(iclmax, 11);
    EXPECT_EQ(std::make_tuple(below(1, 3), below(3999, 4), below(7999, 4), below(2, 3)), std::make_tuple(8, 9, 11, 0));
}

// A band pixel that no stored cluster lists is in no label group: its old
// label is not unified with the group's, its new label takes a fresh one.
TEST(Interface, APixelNoClusterListsJoinsNoGroup) {
    IntMap image(4, 2);
    image(1, 1) = 3;
    image(3, 1) = 2;  // listed nowhere
    image(1, 2) = -1;
    image(3, 2) = -2;  // listed nowhere
    ClusterPix store;
    store.clusters = {{gd2nb_2d(4, 1, 1), gd2nb_2d(4, 1, 2)}};
    const InterfaceRows rows{1, 1, 2, 2};
    int nmx = 0, iclmax = 7;
    const OldSide old = update_oldcluster(rows, store, image, nmx);
    EXPECT_EQ(old.idata2, (std::vector<int>{1, 0}));
    update_newcluster_new(rows, store, DivideInt{}, image, old, iclmax);
    EXPECT_EQ(iclmax, 8);
    EXPECT_EQ(std::vector<int>(image.data(), image.data() + 8), (std::vector<int>{3, 0, 2, 0, 3, 0, 8, 0}));
}

}  // namespace
}  // namespace veltrane2
