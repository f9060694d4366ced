#include "homogeneity/homogeneity.hpp"

#include <gtest/gtest.h>

#include "homogeneity/derivatives.hpp"
#include "homogeneity/noise_ref.hpp"

namespace veltrane2 {
namespace {

Laplacian stencils() {
    Laplacian lap;
    Firstder fd;
    derivative_operator(lap, fd);
    return lap;
}

TEST(Stencils, ValuesAndIdempotence) {
    Laplacian lap;
    Firstder fd;
    derivative_operator(lap, fd);
    EXPECT_EQ(lap.laplacemsk8p(0, 0), 8);
    EXPECT_EQ(lap.laplacemsk8p(1, 1), -1);
    EXPECT_EQ(lap.laplacemsk4p(1, 1), 0);
    // The Sobel and Scharr x masks have opposite signs; y is x transposed.
    EXPECT_EQ(fd.sobelx(-1, 0), -2);
    EXPECT_EQ(fd.sharrx(-1, 0), 10);
    EXPECT_EQ(fd.sobely(0, 1), 2);
    EXPECT_EQ(fd.sobelx.m[0], -1);  // stored with the first offset varying fastest
    Laplacian again = lap;
    Firstder fd2 = fd;
    derivative_operator(again, fd2);
    EXPECT_EQ(again, lap);
    EXPECT_EQ(fd2, fd);
}

TEST(Stencils, LaplacianPointOperator) {
    const Laplacian lap = stencils();
    RealImage c(5, 4, 2.5);
    for (int j = 1; j <= 4; ++j)
        for (int i = 1; i <= 5; ++i) EXPECT_EQ(laplace_discr(lap, i, j, 5, 4, c), 10.0);

    RealImage one(5, 5);
    one(3, 3) = 1.0;
    EXPECT_EQ(laplace_discr(lap, 3, 3, 5, 5, one), 8.0);
    EXPECT_EQ(laplace_discr(lap, 2, 3, 5, 5, one), -1.0);
    EXPECT_EQ(laplace_discr(lap, 3, 4, 5, 5, one), -1.0);
    EXPECT_EQ(laplace_discr(lap, 2, 2, 5, 5, one), 0.0);

    RealImage ramp(3, 3);
    for (int j = 1; j <= 3; ++j)
        for (int i = 1; i <= 3; ++i) ramp(i, j) = i;
    // Corner (1, 1): the missing (0, 1) and (1, 0) take its own value 1.
    EXPECT_EQ(laplace_discr(lap, 1, 1, 3, 3, ramp), 8.0 - (1.0 + 2.0 + 1.0 + 1.0));
}

TEST(Homogeneity, IntensityMapRunsZeroToOne) {
    RealImage t(11, 1);
    for (int i = 1; i <= 11; ++i) t(i, 1) = i - 1;
    RealImage h(11, 1);
    intensity_homegen(11, 1, t, h);
    EXPECT_EQ(h(1, 1), 0.0);
    EXPECT_EQ(h(11, 1), 1.0);
    EXPECT_DOUBLE_EQ(h(6, 1), 0.5);

    RealImage flat(3, 3, 7.0), hf(3, 3, -1.0);
    intensity_homegen(3, 3, flat, hf);
    EXPECT_EQ(hf, RealImage(3, 3, 0.0));
}

TEST(Homogeneity, LaplacianMapOverTheMask) {
    const Laplacian lap = stencils();
    RealImage t(4, 4);
    t(2, 2) = 3.0;
    IntMap none(4, 4);
    RealImage h(4, 4, 5.0);
    laplace_homegen(lap, true, 4, 4, t, none, h);
    EXPECT_EQ(h, RealImage(4, 4, 0.0));

    IntMap all(4, 4);
    laplace_homegen(lap, false, 4, 4, t, all, h);
    EXPECT_EQ(all, IntMap(4, 4, 1));  // not local: every pixel is evaluated
    EXPECT_EQ(h(2, 2), 1.0);          // largest response
    EXPECT_EQ(h(1, 2), 0.0);          // smallest response (-3)
    EXPECT_DOUBLE_EQ(h(4, 4), 3.0 / 27.0);

    IntMap some(4, 4);
    some(1, 1) = 1;
    some(4, 4) = 1;  // both respond 0: no range, both 0
    laplace_homegen(lap, true, 4, 4, t, some, h);
    EXPECT_EQ(h, RealImage(4, 4, 0.0));
}

TEST(Homogeneity, GlobalSelectionIsStrict) {
    RealImage h(3, 1);
    h(1, 1) = 0.3;
    h(2, 1) = 0.30000000000000004;
    h(3, 1) = 0.1;
    IntMap b(3, 1, 7);
    select_homo_global(3, 1, h, 0.3, b);
    EXPECT_EQ(b(1, 1), 0);
    EXPECT_EQ(b(2, 1), 1);
    EXPECT_EQ(b(3, 1), 0);
}

TEST(NoiseReference, HalfwayBetweenMeanAndMaximum) {
    // Reference pixels in first-index-major order: 0, 0, 0, 4.
    RealImage t(3, 2);
    t(3, 1) = 4.0;
    t(2, 2) = 2.5;  // selected, exactly at the threshold: dropped
    t(3, 2) = 9.0;  // selected, above: kept
    IntMap b(3, 2);
    b(2, 2) = 1;
    b(3, 2) = 1;
    GaussRefnoise ref;
    refer_noise(3, 2, t, b, 0, ref);
    EXPECT_EQ(ref.noise_ave, 1.0);
    EXPECT_EQ(ref.noismx, 4.0);
    EXPECT_EQ(ref.noismn, 0.0);
    EXPECT_EQ(ref.noise_thr, 2.5);
    EXPECT_DOUBLE_EQ(ref.noise_sig * ref.noise_sig, 9.0 / 16.0);
    thresh_noise(3, 2, t, ref, b);
    EXPECT_EQ(b(3, 1), 1);  // reference pixel above 2.5 becomes 1
    EXPECT_EQ(b(2, 2), 0);
    EXPECT_EQ(b(3, 2), 1);
    EXPECT_EQ(b(1, 2), 0);
    EXPECT_EQ(b(1, 1), 0);
}

TEST(NoiseReference, NoReferencePixelSelectsEverything) {
    RealImage t(2, 2, -3.0);
    IntMap b(2, 2, 1);
    GaussRefnoise ref;
    refer_noise(2, 2, t, b, 0, ref);
    EXPECT_EQ(ref.noise_ave, 0.0);
    EXPECT_EQ(ref.noismx, -99999.9921875);
    EXPECT_EQ(ref.noise_thr, -49999.99609375);
    b(1, 1) = 0;
    b(2, 2) = -1;  // other mask values stay
    thresh_noise(2, 2, t, ref, b);
    EXPECT_EQ(b(1, 1), 1);
    EXPECT_EQ(b(2, 1), 1);
    EXPECT_EQ(b(2, 2), -1);
}

}  // namespace
}  // namespace veltrane2
