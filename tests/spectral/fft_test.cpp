#include "spectral/fft.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>

#include "core/errors.hpp"
#include "core/run_state.hpp"

namespace veltrane2 {
namespace {

Fconst2 constants() {
    Fconst2 fc;
    parameter_data(fc);
    return fc;
}

RealImage random_image(int m, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(-3.0, 5.0);
    RealImage img(m, m);
    for (int j = 1; j <= m; ++j)
        for (int i = 1; i <= m; ++i) img(i, j) = u(rng);
    return img;
}

TEST(Fft, MatchesTheDirectSumWithPositiveExponent) {
    const Fconst2 fc = constants();
    for (int m : {2, 4, 8, 16}) {
        const RealImage x = random_image(m, 17u + m);
        RealImage re(m, m), im(m, m);
        fft2d(fc, 0, m, x, re, im);
        for (int u = 1; u <= m; ++u) {
            for (int v = 1; v <= m; ++v) {
                std::complex<double> sum = 0.0;
                for (int a = 1; a <= m; ++a)
                    for (int b = 1; b <= m; ++b)
                        sum += x(a, b) * std::polar(1.0, fc.twopi * ((u - 1) * (a - 1) + (v - 1) * (b - 1)) / m);
                ASSERT_NEAR(re(u, v), sum.real(), 1e-9) << m << " " << u << " " << v;
                ASSERT_NEAR(im(u, v), sum.imag(), 1e-9) << m << " " << u << " " << v;
            }
        }
    }
}

TEST(Fft, ConstantImageAndSingleSample) {
    const Fconst2 fc = constants();
    const int m = 8;
    RealImage c(m, m, 2.5), re(m, m), im(m, m), back(m, m);
    fft2d(fc, 0, m, c, re, im);
    for (int u = 1; u <= m; ++u)
        for (int v = 1; v <= m; ++v) {
            EXPECT_NEAR(re(u, v), (u == 1 && v == 1) ? 2.5 * m * m : 0.0, 1e-12);
            EXPECT_NEAR(im(u, v), 0.0, 1e-12);
        }
    inv_fft2d(fc, 0, m, re, im, back);
    for (int i = 1; i <= m; ++i)
        for (int j = 1; j <= m; ++j) EXPECT_NEAR(back(i, j), 2.5, 1e-14);

    RealImage one(m, m);
    one(2, 1) = 1.0;
    fft2d(fc, 0, m, one, re, im);
    for (int u = 1; u <= m; ++u)
        for (int v = 1; v <= m; ++v) {
            EXPECT_NEAR(re(u, v), std::cos(fc.twopi * (u - 1) / m), 1e-14);
            EXPECT_NEAR(im(u, v), std::sin(fc.twopi * (u - 1) / m), 1e-14);
        }
}

TEST(Fft, ForwardThenInverseReturnsTheImage) {
    const Fconst2 fc = constants();
    for (int m : {2, 4, 64, 256}) {
        const RealImage x = random_image(m, 3u + m);
        RealImage re(m, m), im(m, m), back(m, m);
        fft2d(fc, 0, m, x, re, im);
        inv_fft2d(fc, 0, m, re, im, back);
        for (int j = 1; j <= m; ++j)
            for (int i = 1; i <= m; ++i) ASSERT_NEAR(back(i, j), x(i, j), 1e-12) << m;
    }
}

TEST(Fft, PackedColumnsEqualSeparateTransforms) {
    const Fconst2 fc = constants();
    const int m = 16;
    const RealImage x = random_image(m, 99);
    RealImage fr(m, m), fi(m, m);
    fft2d_x(fc, 0, m, x, fr, fi);
    for (int j = 1; j <= m; ++j) {
        std::vector<double> data(2 * m);
        for (int i = 1; i <= m; ++i) data[2 * i - 2] = x(i, j);
        my_four1(fc, data.data(), 2 * m, m, +1);
        for (int i = 1; i <= m; ++i) {
            EXPECT_NEAR(fr(i, j), data[2 * i - 2], 1e-12);
            EXPECT_NEAR(fi(i, j), data[2 * i - 1], 1e-12);
        }
        EXPECT_EQ(fi(1, j), 0.0);          // zero frequency
        EXPECT_EQ(fi(m / 2 + 1, j), 0.0);  // Nyquist: set exactly by the unpacking
    }
}

TEST(Fft, LargestGridRuns) {
    const Fconst2 fc = constants();
    const int m = 1024;
    RealImage x(m, m, 1.0), re(m, m), im(m, m);
    x(3, 7) = 2.0;
    fft2d(fc, 0, m, x, re, im);
    EXPECT_NEAR(re(1, 1), m * m + 1.0, 1e-6);
}

TEST(Fft, TooManyPointsForTheVectorStop) {
    const Fconst2 fc = constants();
    std::vector<double> data(8, 0.0);
    try {
        my_four1(fc, data.data(), 8, 8, +1);
        FAIL();
    } catch (const FatalStop& e) {
        EXPECT_EQ(e.line(), "  2(# of data) > NDIM in MY_four1  16 8\n");
    }
}

TEST(Fft, InverseScalesByThePointCount) {
    const Fconst2 fc = constants();
    std::vector<double> data = {4.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0};
    my_four1(fc, data.data(), 8, 4, -1);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(data[2 * k], 1.0);
        EXPECT_EQ(data[2 * k + 1], 0.0);
    }
}

}  // namespace
}  // namespace veltrane2
