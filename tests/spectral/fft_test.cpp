#include "spectral/fft.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>

#include "core/errors.hpp"
#include "core/run_state.hpp"
#include "spectral/amplitude.hpp"

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

// The centred spectrum against the direct sum (zero frequency at m/2, the
// highest at m), and the weighted inverse back to the image: gain 1 gives
// the image, its complement 0 does too.
TEST(Fft, CentredSpectrumAndWeightedInverse) {
    const Fconst2 fc = constants();
    for (int m : {2, 4, 8, 16, 32}) {
        const RealImage x = random_image(m, 17u + m);
        RealImage re(m, m), im(m, m);
        RealImage used = x;
        fft2d(fc, 0, m, used, re, im);
        const int h = m / 2;
        for (int u = 1; u <= m; ++u) {
            for (int v = 1; v <= m; ++v) {
                std::complex<double> sum = 0.0;
                for (int a = 1; a <= m; ++a)
                    for (int b = 1; b <= m; ++b)
                        sum += x(a, b) * std::polar(1.0, fc.twopi * ((u - h) * (a - 1) + (v - h) * (b - 1)) / m);
                ASSERT_NEAR(re(u, v), sum.real(), 1e-9) << m << " " << u << " " << v;
                ASSERT_NEAR(im(u, v), sum.imag(), 1e-9) << m << " " << u << " " << v;
            }
        }
        for (bool complement : {false, true}) {
            const RealImage gain(m, m, complement ? 0.0 : 1.0);
            std::vector<double> back(static_cast<std::size_t>(m) * m);
            inv_fft2d(fc, 0, m, re, im, gain, complement, back.data());
            for (int j = 1; j <= m; ++j)
                for (int i = 1; i <= m; ++i) ASSERT_NEAR(back[(i - 1) + (j - 1) * m], x(i, j), 1e-12) << m;
        }
    }
}

// The logarithmic amplitude: an amplitude too small for a logarithm takes
// the smallest one found, however the columns are shared out.
TEST(Fft, LogAmplitudeOfTinyValuesIsTheSmallestLogarithm) {
    ZeroControl zc;
    for (int threads : {1, 3}) {
        const int n = 128;
        RealImage re(n, n, 3.0), im(n, n, 4.0), out(n, n), copy(n, n);
        re(2, 100) = 0.0, im(2, 100) = 0.0;  // tiny
        re(7, 9) = 0.5, im(7, 9) = 0.0;      // the smallest logarithm
        log_fft_spectral(zc, threads, n, re, im, out, copy);
        EXPECT_EQ(out(1, 1), std::log(5.0));
        EXPECT_EQ(out(7, 9), std::log(0.5));
        EXPECT_EQ(out(2, 100), std::log(0.5));
        EXPECT_TRUE(out == copy);
    }
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

}  // namespace
}  // namespace veltrane2
