#include "centermap/center_map.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "centermap/gauss_fit.hpp"
#include "image/image_ops.hpp"

namespace veltrane2 {
namespace {

int count_ones(const IntMap& m) {
    int c = 0;
    for (int j = 1; j <= m.ny(); ++j)
        for (int i = 1; i <= m.nx(); ++i) c += m(i, j) == 1;
    return c;
}

int ring_of(int ix, int iy) {
    return nint(std::sqrt(static_cast<double>(ix * ix + iy * iy)));
}

struct Centre {
    RunState st;
    std::ostringstream out;
    int n;
    RealImage t;
    IntMap b, cen;
    explicit Centre(int n_, double thresh) : n(n_), t(n, n, 1.0), b(n, n), cen(n, n) {
        st.out = &out;
        st.control_para2.thresh_centmap = thresh;
        st.centerbcut.icutc = {1, n};
        st.centerbcut.jcutc = {1, n};
    }
    void run() { center_map2(st, n, n, t, b, cen); }
};

TEST(CentreMap, FirstDiscHolds97Pixels) {
    Centre c(32, 1.0);  // a ratio of 1 is not above 1: no growth
    c.b = IntMap(32, 32, 1);
    c.run();
    EXPECT_EQ(c.st.center_center.icent, (std::array<int, 2>{17, 17}));  // 16.5 rounds away from zero
    EXPECT_EQ(count_ones(c.cen), 97);
    // The centre pixels left the streak mask; the box is the disc's.
    EXPECT_EQ(count_ones(c.b), 32 * 32 - 97);
    EXPECT_EQ(c.st.centerbcut.icutc, (std::array<int, 2>{12, 22}));
    EXPECT_EQ(c.st.centerbcut.jcutc, (std::array<int, 2>{12, 22}));
    EXPECT_EQ(c.out.str(), "");
}

TEST(CentreMap, BrightRingsGrowTheDiscUpToTheLargestRadius) {
    Centre c(32, 0.5);
    c.b = IntMap(32, 32, 1);
    c.run();
    // Bright pixels spread as a uniform 32 x 32 square: radius
    // sqrt(2 x (32^2 - 1) / 12) = 13.06, so the disc stops at 13.
    int disc = 0;
    for (int ix = -13; ix <= 13; ++ix)
        for (int iy = -13; iy <= 13; ++iy) disc += ring_of(ix, iy) <= 13;
    EXPECT_EQ(count_ones(c.cen), disc);
}

// Bright disc of radius 5 with heavy far pixels (for the radius) and
// light ring pixels (which leave the centroid in place).
Centre ring_case(double thresh) {
    Centre c(64, thresh);
    const int ci = 32, cj = 32;
    c.t = RealImage(64, 64, 1.0);
    for (int ix = -7; ix <= 7; ++ix) {
        for (int iy = -7; iy <= 7; ++iy) {
            const int r = ring_of(ix, iy);
            const bool half = ix > 0 || (ix == 0 && iy > 0);
            if (r <= 5 || (r == 6 && half) || r == 7) {
                c.b(ci + ix, cj + iy) = 1;
                if (r > 5) c.t(ci + ix, cj + iy) = 1e-12;
            }
        }
    }
    for (auto [di, dj] : {std::pair{12, 0}, {-12, 0}, {0, 12}, {0, -12}}) {
        c.b(ci + di, cj + dj) = 1;
        c.t(ci + di, cj + dj) = 100.0;
    }
    return c;
}

TEST(CentreMap, ARingExactlyAtTheThresholdEndsTheGrowth) {
    int ring6 = 0, ring7 = 0;
    for (int ix = -8; ix <= 8; ++ix)
        for (int iy = -8; iy <= 8; ++iy) {
            ring6 += ring_of(ix, iy) == 6;
            ring7 += ring_of(ix, iy) == 7;
        }
    ASSERT_EQ(ring6 % 2, 0);

    Centre at = ring_case(0.5);  // ring 6 is half bright: 0.5 is not above 0.5
    at.run();
    EXPECT_EQ(at.st.center_center.icent, (std::array<int, 2>{32, 32}));
    EXPECT_EQ(count_ones(at.cen), 97 + ring6 / 2);

    Centre below = ring_case(0.49);  // ring 6 passes, ring 7 is all bright, ring 8 dark
    below.run();
    EXPECT_EQ(count_ones(below.cen), 97 + ring6 / 2 + ring7);
    EXPECT_EQ(below.b(44, 32), 1);  // the far pixels stay in the streak mask
}

TEST(CentreMap, DiscIsClippedToTheImage) {
    Centre c(16, 0.0);
    for (int j = 1; j <= 3; ++j)
        for (int i = 1; i <= 3; ++i) c.b(i, j) = 1;
    c.run();
    EXPECT_EQ(c.st.center_center.icent, (std::array<int, 2>{2, 2}));
    EXPECT_EQ(count_ones(c.cen), 9);
    EXPECT_EQ(count_ones(c.b), 0);
}

TEST(CentreMap, NoBrightPixelInTheFirstDiscLeavesTheMapEmpty) {
    Centre c(40, 0.5);
    c.b(10, 20) = 1;
    c.b(30, 20) = 1;
    const IntMap before = c.b;
    c.run();
    EXPECT_EQ(count_ones(c.cen), 0);
    EXPECT_EQ(c.b, before);
    // The fit has nothing to work on: the image is unchanged.
    const RealImage t = c.t;
    gaussmodel_cent2(c.st, 40, 40, c.t, c.cen);
    EXPECT_EQ(c.t, t);
}

TEST(CentreMap, CentroidIsSecondIndexFirst) {
    RealImage t(30, 30, 0.0);
    t(10, 20) = 3.0;
    IntMap m(30, 30);
    m(10, 20) = 1;
    std::array<double, 2> cm{}, sig{};
    Mat2 axes;
    double mx = 0, mn = 0;
    ASSERT_TRUE(distr_covar(30, 30, t, m, 1, cm, sig, axes, mx, mn));
    EXPECT_EQ(cm, (std::array<double, 2>{20.0, 10.0}));
    EXPECT_EQ(mx, 3.0);
    EXPECT_EQ(mn, 3.0);
    EXPECT_EQ(sig, (std::array<double, 2>{0.0, 0.0}));

    IntMap none(30, 30);
    EXPECT_FALSE(distr_covar(30, 30, t, none, 1, cm, sig, axes, mx, mn));
    int imin, imax, jmin, jmax;
    range_map(30, 30, none, imin, imax, jmin, jmax);
    EXPECT_EQ(imin, 99999);
    EXPECT_EQ(imax, -99999);
    range_map(30, 30, m, imin, imax, jmin, jmax);
    EXPECT_EQ(imin, 10);
    EXPECT_EQ(jmax, 20);
}

TEST(CentreMap, WeightedCovarianceAlongTheIndices) {
    RealImage t(9, 9, 0.0);
    IntMap m(9, 9);
    // Three pixels along the first index, weights 1, 2, 1.
    t(4, 5) = 1.0;
    t(5, 5) = 2.0;
    t(6, 5) = 1.0;
    m(4, 5) = m(5, 5) = m(6, 5) = 1;
    std::array<double, 2> cm{}, sig{};
    Mat2 axes;
    double mx = 0, mn = 0;
    ASSERT_TRUE(distr_covar(9, 9, t, m, 1, cm, sig, axes, mx, mn));
    EXPECT_EQ(cm, (std::array<double, 2>{5.0, 5.0}));
    EXPECT_EQ(sig[0], 0.0);
    EXPECT_EQ(sig[1], 0.5);                // variance along i: (1 + 1) / 4
    EXPECT_EQ(std::abs(axes(1, 2)), 1.0);  // larger spread along the first index
    EXPECT_EQ(std::abs(axes(2, 1)), 1.0);
}

}  // namespace
}  // namespace veltrane2
