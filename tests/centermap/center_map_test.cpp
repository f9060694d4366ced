#include "centermap/center_map.hpp"

#include <gtest/gtest.h>

#include <algorithm>

#include <cmath>
#include <random>
#include <sstream>
#include <tuple>
#include <vector>

#include "centermap/gauss_fit.hpp"
#include "centermap/restore.hpp"
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
    double thresh;
    int n;
    RealImage t;
    IntMap b, cen;
    CentreMap result;
    explicit Centre(int n_, double thresh_) : thresh(thresh_), n(n_), t(n, n, 1.0), b(n, n), cen(n, n) {}
    void run() { result = center_map2(thresh, t, b, cen); }
};

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
    EXPECT_EQ(at.result.icent, (std::array<int, 2>{32, 32}));
    EXPECT_EQ(count_ones(at.cen), 97 + ring6 / 2);

    Centre below = ring_case(0.49);  // ring 6 passes, ring 7 is all bright, ring 8 dark
    below.run();
    EXPECT_EQ(count_ones(below.cen), 97 + ring6 / 2 + ring7);
    EXPECT_EQ(below.b(44, 32), 1);  // the far pixels stay in the streak mask
}

// A bright 3 x 3 blob in a corner: the disc around its centre reaches past
// two sides of the grid and is held to it; the whole blob, the first and the
// last rows and columns included, becomes the centre map and leaves the
// streak mask, and the map's box is the blob's.
TEST(CentreMap, ADiscPastTheBorderIsHeldToTheGrid) {
    struct Case {
        int i0, j0;  // the blob's first corner
    } cases[] = {{1, 14}, {14, 1}, {1, 1}, {14, 14}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.i0) + " " + std::to_string(c.j0));
        Centre m(16, 0.5);
        IntMap blob(16, 16);
        for (int i = c.i0; i < c.i0 + 3; ++i)
            for (int j = c.j0; j < c.j0 + 3; ++j) blob(i, j) = 1;
        m.b = blob;
        m.b(8, 8) = 1;  // a far streak pixel with no weight stays in the mask
        m.t(8, 8) = 0.0;
        m.run();
        EXPECT_EQ(m.cen, blob);
        EXPECT_EQ(m.result.icent, (std::array<int, 2>{c.i0 + 1, c.j0 + 1}));
        EXPECT_EQ(m.result.centerbcut, (Box{c.i0, c.i0 + 2, c.j0, c.j0 + 2}));
        IntMap left(16, 16);
        left(8, 8) = 1;
        EXPECT_EQ(m.b, left);
    }
}

// Restoration of the centre pixels: a marked line one pixel wide (along
// either index) is lowered to the mean across it and unmarked; a lone marked
// pixel is on no line and has fewer than two marked neighbours: it keeps its
// value and its mark.
TEST(Restore, ThinLinesAreLoweredToTheMeanAcrossThem) {
    for (bool along_second : {true, false}) {
        SCOPED_TRACE(along_second ? "line along the second index" : "line along the first index");
        RealImage t(9, 9, 1.0);
        IntMap cent(9, 9);
        for (int k = 2; k <= 7; ++k) {
            const int i = along_second ? 3 : k;
            const int j = along_second ? k : 3;
            cent(i, j) = 1;
            t(i, j) = 5.0;
            t(along_second ? 4 : i, along_second ? j : 4) = 3.0;  // one side 1, the other 3
        }
        cent(8, 8) = 1;
        t(8, 8) = 4.0;
        std::ostringstream out;
        MarkMap written(9, 9);
        restore_intensity(out, Box::of(9, 9), 1, t, written, cent);
        for (int k = 2; k <= 7; ++k) {
            EXPECT_EQ(along_second ? t(3, k) : t(k, 3), 2.0) << k;
            EXPECT_EQ(along_second ? written(3, k) : written(k, 3), 1) << k;
        }
        EXPECT_EQ(std::count(written.data(), written.data() + written.size(), 1), 6);
        IntMap left(9, 9);
        left(8, 8) = 1;
        EXPECT_EQ(cent, left);
        EXPECT_EQ(t(8, 8), 4.0);
        EXPECT_EQ(out.str(), "");
    }
}

// The fit's step: the updated parameters are the sums, and nothing past
// the parameters is written.
// The model's values formed once per term are those formed sample by
// sample: over a box off the centre and around it (terms numbered by
// distance on both sides), and for samples without terms.
TEST(GaussFit, ModelValuesPerTermAreThoseOfEachSample) {
    RealImage t(30, 30, 2.0);
    IntMap mask(30, 30, 1);
    mask(14, 15) = 0;
    GaussfitT1 gf;
    gf.sigx = 7.25;
    gf.sigy = 3.5;
    gf.iu = 14;
    gf.iv = 16;
    const double para[3] = {0.5, 1.3, 0.7};
    for (const Box& box : {Box{3, 27, 2, 29}, Box{15, 29, 20, 30}}) {
        const std::vector<FitSample> samples = fit_samples(gf, t, mask, box);
        ASSERT_GE(samples.front().term, 0);
        std::vector<FitSample> plain = samples;
        for (FitSample& s : plain) s.term = -1;
        std::vector<double> want, got, got_plain;
        model_values(samples, para, want);
        ModelValues(samples).at(para, got);
        ModelValues(plain).at(para, got_plain);
        EXPECT_EQ(got, want);
        EXPECT_EQ(got_plain, want);
    }
}

TEST(GaussFit, AStepUpdatesExactlyTheParameters) {
    const double para[4] = {1.0, 2.0, 3.0, 4.0};
    const double h[4] = {0.5, -1.0, 0.25, 8.0};
    double out[4] = {-7.0, -7.0, -7.0, -7.0};
    updated_para(3, para, h, out);
    EXPECT_EQ(out[0], 1.5);
    EXPECT_EQ(out[1], 1.0);
    EXPECT_EQ(out[2], 3.25);
    EXPECT_EQ(out[3], -7.0);
}

// Two samples whose exponents cancel at unit parameters (the model is 1):
// residuals 1 and 2, gradients (2, 0, 0) and (3, 1, -1). The sums are
// written into the three entries only.
TEST(GaussFit, GradientCostAndMatrixOfTwoSamples) {
    const std::vector<FitSample> samples = {{2.0, 0.0, 0.0}, {3.0, -1.0, 1.0}};
    const double para[3] = {1.0, 1.0, 1.0};
    double g[4] = {9.0, 9.0, 9.0, 42.0};
    double cost = -1.0;
    Mat3 a;
    std::vector<double> e;
    model_values(samples, para, e);
    calc_g_n_cost(samples, e, para, g, cost, &a);
    EXPECT_EQ(g[0], 8.0);
    EXPECT_EQ(g[1], 2.0);
    EXPECT_EQ(g[2], -2.0);
    EXPECT_EQ(g[3], 42.0);
    EXPECT_EQ(cost, 5.0);
    const double want[3][3] = {{13.0, 3.0, -3.0}, {3.0, 1.0, -1.0}, {-3.0, -1.0, 1.0}};
    for (int p = 1; p <= 3; ++p)
        for (int q = 1; q <= 3; ++q) EXPECT_EQ(a(p, q), want[p - 1][q - 1]) << p << " " << q;
}

// A rough blob on which the first step is taken with a poor gain ratio
// (about 0.1), so the damping is lowered by the rule for such steps rather
// than dropped: the fit's result, recorded to the last bit, depends on it.
// (On smooth blobs the first gain ratio is near 5 and the damping goes to
// zero at once.)
TEST(GaussFit, ARoughBlobFitsToItsRecordedResult) {
    std::mt19937 rng(3408);
    const auto u = [&rng] { return rng() * 0x1p-32; };
    const int n = 7;
    RealImage t(n, n, 0.0);
    IntMap mask(n, n);
    int ntot = 0;
    const double amp = 0.2 + 5 * u(), sx = 0.3 + 5 * u(), sy = 0.3 + 5 * u(), rough = u();
    for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= n; ++i) {
            const int di = i - 4, dj = j - 4;
            t(i, j) = amp * std::exp(-0.5 * dj * dj / sx - 0.5 * di * di / sy) + rough * u();
            if (di * di + dj * dj <= 4) {
                mask(i, j) = 1;
                ++ntot;
            }
        }
    GaussfitT1 gf;
    gf.iu = 4;
    gf.iv = 4;
    gf.sigx = 0.3 + 5 * u();
    gf.sigy = 0.3 + 5 * u();
    double std_cost = 0.0;
    int iflag = 99;
    std::ostringstream out;
    levenberg_gauss(out, gf, Box::of(n, n), t, ntot, mask, std_cost, iflag);
    EXPECT_EQ(iflag, 2);
    EXPECT_EQ(t(4, 4), 0x1.42184a0f2f698p-2);
    EXPECT_EQ(gf.sigx, 0x1.377cdd0459cd9p+2);
    EXPECT_EQ(gf.sigy, 0x1.285b5393dae1cp+2);
    EXPECT_EQ(std_cost, 0x1.6024f54e06fbbp-4);
    EXPECT_EQ(out.str(), "");
}

// A centre pixel below the mean of its eight neighbours starts the fit from
// that mean (16 / 8 here); pixels two steps away do not count. A map of the
// centre alone fits its start value exactly.
TEST(GaussFit, ALowCentreStartsFromTheMeanOfItsEightNeighbours) {
    RealImage t(7, 7, 0.0);
    for (int i = 3; i <= 5; ++i)
        for (int j = 3; j <= 5; ++j) t(i, j) = 2.0;
    t(4, 4) = 1.0;
    t(2, 4) = t(6, 4) = t(4, 2) = t(4, 6) = 8.0;
    IntMap cent(7, 7);
    cent(4, 4) = 1;
    CentreMap centre;
    centre.icent = {4, 4};
    centre.centerbcut = Box::of(7, 7);
    centre.center_ana1.cent_sig = {1.0, 1.0};
    centre.center_ana1.cent_axes(1, 1) = 1.0;
    std::ostringstream out;
    MarkMap written(7, 7);
    gaussmodel_cent2(out, centre, t, written, cent);
    EXPECT_EQ(t(4, 4), 2.0);
    EXPECT_EQ(written(4, 4), 1);
    EXPECT_EQ(std::count(written.data(), written.data() + written.size(), 1), 1);
}

TEST(CentreMap, WeightedCovarianceAlongTheIndices) {
    RealImage t(9, 9, 0.0);
    IntMap m(9, 9);
    // Three pixels along the first index, weights 1, 2, 1.
    t(4, 5) = 1.0;
    t(5, 5) = 2.0;
    t(6, 5) = 1.0;
    m(4, 5) = m(5, 5) = m(6, 5) = 1;
    const std::optional<CenterAna1> ca = distr_covar(Box::of(9, 9), t, m, 1);
    ASSERT_TRUE(ca);
    EXPECT_EQ(ca->cent_cm, (std::array<double, 2>{5.0, 5.0}));
    EXPECT_EQ(ca->cent_sig[0], 0.0);
    EXPECT_EQ(ca->cent_sig[1], 0.5);                // variance along i: (1 + 1) / 4
    EXPECT_EQ(std::abs(ca->cent_axes(1, 2)), 1.0);  // larger spread along the first index
    EXPECT_EQ(std::abs(ca->cent_axes(2, 1)), 1.0);
    EXPECT_EQ(ca->cent_mx, 2.0);
    EXPECT_EQ(ca->cent_mn, 1.0);
    // Selected pixels whose weights sum to zero have no centroid.
    t(4, 5) = t(5, 5) = t(6, 5) = 0.0;
    EXPECT_FALSE(distr_covar(Box::of(9, 9), t, m, 1));
}

// Log amplitudes may be negative: weights of both signs can put the
// centroid outside the grid. The map then stays empty and the streak mask
// keeps its pixels; a first centroid outside keeps no centre at all, one
// found only for the map's own pixels keeps the first.
TEST(CentreMap, ACentroidOutsideTheGridLeavesTheMapEmpty) {
    struct Case {
        const char* name;
        std::vector<std::tuple<int, int, double>> bright;  // i, j, weight
        std::array<int, 2> icent;
    } cases[] = {
        {"first centroid at i = -7", {{2, 2, 1.0}, {3, 2, -0.9}}, {0, 0}},
        {"first centroid beyond nx", {{62, 5, 1.0}, {61, 5, -0.9}}, {0, 0}},
        {"first centroid beyond ny", {{5, 62, 1.0}, {5, 61, -0.9}}, {0, 0}},
        // All three: centroid (30, 30); the disc holds the first two only,
        // whose centroid is at i = -69.
        {"map centroid outside", {{30, 30, 1.0}, {31, 30, -0.99}, {60, 30, 0.033}}, {30, 30}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Centre cm(64, 0.99);
        cm.t = RealImage(64, 64, 0.0);
        for (auto [i, j, w] : c.bright) {
            cm.b(i, j) = 1;
            cm.t(i, j) = w;
        }
        const IntMap before = cm.b;
        cm.run();
        EXPECT_EQ(count_ones(cm.cen), 0);
        EXPECT_EQ(cm.result.icent, c.icent);
        for (int j = 1; j <= 64; ++j)
            for (int i = 1; i <= 64; ++i) ASSERT_EQ(cm.b(i, j), before(i, j)) << i << ", " << j;
    }
}

}  // namespace
}  // namespace veltrane2
