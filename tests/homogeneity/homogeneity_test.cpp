#include "homogeneity/homogeneity.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

#include "homogeneity/derivatives.hpp"
#include "homogeneity/noise_ref.hpp"
#include "core/blocks.hpp"

namespace veltrane2 {
namespace {

// The Laplacian mask, stored with the first offset varying fastest; at the
// border a missing neighbour takes the pixel's own value.
TEST(Stencils, LaplacianMaskAndItsBorder) {
    constexpr Laplacian lap = derivative_operator();
    EXPECT_EQ(lap.laplacemsk8p.m, (std::array<int, 9>{-1, -1, -1, -1, 8, -1, -1, -1, -1}));
    RealImage img(3, 2, 0.0);
    img(1, 1) = 5.0;
    img(2, 1) = 1.0;
    img(1, 2) = 2.0;
    EXPECT_EQ(laplace_discr(lap, 1, 1, img), 8 * 5.0 - 5.0 - 1.0 - 5.0 - 2.0);
    EXPECT_EQ(laplace_discr(lap, 3, 2, img), 0.0);
    EXPECT_EQ(laplace_discr(lap, 2, 2, img), -2.0 - 1.0);  // (1, 2) and (2, 1); no row 3
}

TEST(Homogeneity, GlobalSelectionIsStrictAndAFlatSpectrumHasNoContrast) {
    RealImage t(4, 4, 2.5), flat(4, 4, 9.0);
    intensity_homegen(t, flat);
    EXPECT_EQ(flat, RealImage(4, 4, 0.0));
    RealImage h(3, 1);
    h(1, 1) = 0.3;
    h(2, 1) = 0.30000000000000004;
    h(3, 1) = 0.1;
    IntMap b(3, 1, 7);
    select_homo_global(h, 0.3, b);
    EXPECT_EQ(std::vector<int>(b.data(), b.data() + 3), (std::vector<int>{0, 1, 0}));
}

// The intensities are scaled to [0, 1] and then by the inverse of their
// largest scaled value, so that it is exactly 1: 49 x (1 / 49) rounds below
// 1, and the top, here in the first row, is lifted to 1 like every row.
TEST(Homogeneity, TheTopIntensityIsExactlyOneInEveryRow) {
    ASSERT_LT(49.0 * (1.0 / 49.0), 1.0);
    for (const int top_row : {1, 2, 3}) {
        SCOPED_TRACE(top_row);
        RealImage t(4, 3, 0.0);
        t(3, top_row) = 49.0;
        RealImage h(4, 3);
        intensity_homegen(t, h);
        EXPECT_EQ(h(3, top_row), 1.0);
        EXPECT_EQ(h(1, 1), 0.0);
    }
}

// Both maps report their own range as value_range() finds it, flat or not,
// with the Laplacian map over every pixel or over a mask; the product H
// rescales the Laplacian map as normalization_image() does.
TEST(Homogeneity, MapsReportTheirOwnRange) {
    constexpr Laplacian lap = derivative_operator();
    RealImage t(5, 4, 1.0);
    t(2, 3) = 4.0;
    t(4, 1) = -2.5;
    const RealImage flat(5, 4, 3.0);
    for (const RealImage* in : {static_cast<const RealImage*>(&t), &flat}) {
        for (const bool local : {false, true}) {
            SCOPED_TRACE(testing::Message() << (in == &t) << local);
            RealImage h(5, 4), l(5, 4);
            IntMap b(5, 4, 0);
            b(2, 3) = b(3, 3) = 1;
            const ValueRange hr = intensity_homegen(*in, h);
            const ValueRange lr = laplace_homegen(lap, local, *in, b, l);
            for (const auto& [got, want] : {std::pair{hr, value_range(h)}, std::pair{lr, value_range(l)}}) {
                EXPECT_EQ(got.lo, want.lo);
                EXPECT_EQ(got.hi, want.hi);
                EXPECT_EQ(got.count, want.count);
            }
            RealImage product = h, rescaled = l;
            normalization_image(rescaled);
            for (std::size_t k = 0; k < h.size(); ++k) h.data()[k] = h.data()[k] * rescaled.data()[k];
            times_normalized(product, l, lr);
            EXPECT_EQ(product, h);
        }
    }
}

// The product H in three sweeps is the product of the maps made and rescaled
// in turn, bit for bit: on a spectrum of spread values, on one whose
// smallest value is a zero of either sign (the range's start is then taken
// from the sweeps in turn), flat spectra, spectra whose Laplacians are all
// equal, large Laplacians, values all above the searches' starting
// minimum, and a grid too small to share out, on one and on three threads.
TEST(Homogeneity, ProductInThreeSweepsIsTheProductOfTheMapsInTurn) {
    constexpr Laplacian lap = derivative_operator();
    const int n = 192;  // three parts of 64 columns
    std::mt19937 rng(3);
    std::uniform_real_distribution<double> u(-3.0, 20.0);
    RealImage spread(n, n);
    for (std::size_t k = 0; k < spread.size(); ++k) spread.data()[k] = u(rng);
    RealImage zero_low = spread, negative_zero_low = spread, ramp(n, n), huge = spread;
    for (std::size_t k = 0; k < spread.size(); ++k) zero_low.data()[k] = std::abs(spread.data()[k]);
    zero_low(5, 7) = 0.0;
    negative_zero_low = zero_low;
    negative_zero_low(5, 7) = -0.0;  // met first in storage order
    negative_zero_low(9, 9) = 0.0;
    for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= n; ++i) ramp(i, j) = 2.0 * i + 3.0 * j;  // inner Laplacians all 0
    for (std::size_t k = 0; k < huge.size(); ++k) huge.data()[k] = 3000.0 * (k % 2) + u(rng);
    RealImage above = spread;  // every value above the searches' starting minimum
    for (std::size_t k = 0; k < above.size(); ++k) above.data()[k] = 10000.0 + spread.data()[k];
    const struct {
        const char* name;
        const RealImage* t;
    } cases[] = {{"spread", &spread},     {"zero low", &zero_low}, {"negative zero low", &negative_zero_low},
                 {"ramp", &ramp},         {"huge Laplacians", &huge}, {"above the start", &above}};
    // A small grid of negative values, whose Laplacians are all negative:
    // three threads run it as one part.
    RealImage negative(8, 8);
    for (std::size_t k = 0; k < negative.size(); ++k) negative.data()[k] = -5.0 - 0.1 * u(rng);
    for (const auto& c : cases) {
        for (const RealImage& t : {*c.t, RealImage(n, n, 4.0), negative}) {
            const int side = t.nx();
            RealImage want(side, side), l(side, side);
            IntMap b(side, side);
            normalization_image(want, intensity_homegen(t, want));
            const ValueRange lr = laplace_homegen(lap, false, t, b, l);
            times_normalized(want, l, lr);
            for (const int threads : {1, 3}) {
                SCOPED_TRACE(testing::Message() << c.name << ", " << threads << " threads");
                RealImage h(side, side), edges(side, side);
                homogeneity_product(lap, t, h, edges, threads);
                ASSERT_EQ(std::memcmp(h.data(), want.data(), h.size() * sizeof(double)), 0);
            }
        }
    }
}

// The reference noise: statistics of the unselected pixels, threshold
// halfway between their mean and their largest value; every pixel is then
// decided against it (at the threshold is below it), other mask values stay.
TEST(NoiseReference, ThresholdHalfwayAndTheDecisionAtIt) {
    RealImage t(3, 2);
    IntMap b(3, 2);
    const double values[6] = {1.0, 3.0, 2.0, 2.0, 9.0, 2.5};
    const int mask[6] = {0, 0, 1, 0, 1, -1};
    for (int k = 0; k < 6; ++k) {
        t(1 + k % 3, 1 + k / 3) = values[k];
        b(1 + k % 3, 1 + k / 3) = mask[k];
    }
    const GaussRefnoise ref = refer_noise(t, b, 0);  // 1, 3, 2
    EXPECT_EQ(ref.noise_ave, 2.0);
    EXPECT_EQ(ref.noismx, 3.0);
    EXPECT_EQ(ref.noismn, 1.0);
    EXPECT_EQ(ref.noise_thr, 2.5);
    // The running spread, first index outer (1, 2, then 3): 0, 0.5^2 / 4, then + 1^2 / 9.
    EXPECT_DOUBLE_EQ(ref.noise_sig * ref.noise_sig, 0.0625 + 1.0 / 9.0);
    thresh_noise(t, ref.noise_thr, b);
    EXPECT_EQ(std::vector<int>(b.data(), b.data() + 6), (std::vector<int>{0, 1, 0, 0, 1, -1}));
    t(1, 1) = 2.5;  // unselected at the threshold stays out; selected at it drops
    b(1, 1) = 0;
    t(2, 1) = 2.5;
    thresh_noise(t, 2.5, b);
    EXPECT_EQ(b(1, 1), 0);
    EXPECT_EQ(b(2, 1), 0);
}

}  // namespace
}  // namespace veltrane2
