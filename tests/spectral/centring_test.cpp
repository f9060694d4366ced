#include "spectral/centring.hpp"

#include <gtest/gtest.h>

#include <cmath>

#include "core/run_state.hpp"
#include "spectral/fft.hpp"

namespace veltrane2 {
namespace {

TEST(Centring, IndicesMoveAsTheLayoutSays) {
    const int n = 8;
    RealImage re(n, n), im(n, n), cre(n, n), cim(n, n), back_re(n, n), back_im(n, n);
    for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= n; ++i) {
            re(i, j) = 10 * i + j;
            im(i, j) = -(10 * i + j);
        }
    center0_fft(n, re, im, cre, cim);
    const int to[] = {0, 4, 5, 6, 7, 8, 1, 2, 3};
    for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= n; ++i) {
            EXPECT_EQ(cre(to[i], to[j]), re(i, j));
            EXPECT_EQ(cim(to[i], to[j]), im(i, j));
        }
    off0center_fft(n, cre, cim, back_re, back_im);
    EXPECT_EQ(back_re, re);
    EXPECT_EQ(back_im, im);

    // The smallest grid: zero frequency at 1, Nyquist at 2.
    RealImage r2(2, 2), i2(2, 2), c2(2, 2), d2(2, 2), b2(2, 2), e2(2, 2);
    r2(1, 1) = 1;
    r2(2, 1) = 2;
    r2(1, 2) = 3;
    r2(2, 2) = 4;
    center0_fft(2, r2, i2, c2, d2);
    EXPECT_EQ(c2, r2);
    off0center_fft(2, c2, d2, b2, e2);
    EXPECT_EQ(b2, r2);
}

TEST(Centring, ConstantImageHasOnlyTheCentre) {
    Fconst2 fc;
    parameter_data(fc);
    const int n = 16;
    RealImage img(n, n, 3.0), re(n, n), im(n, n), cre(n, n), cim(n, n), amp(n, n);
    fft2d(fc, 0, n, img, re, im);
    center0_fft(n, re, im, cre, cim);
    fft_spectral_density(n, cre, cim, amp);
    for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= n; ++i) EXPECT_NEAR(amp(i, j), (i == n / 2 && j == n / 2) ? 3.0 * n * n : 0.0, 1e-9);
}

TEST(Centring, LogarithmFloorsTinyAmplitudes) {
    ZeroControl zc;
    RealImage a(2, 2);
    a(1, 1) = 1.0;
    a(2, 1) = std::exp(-3.0);
    a(1, 2) = 0.0;
    a(2, 2) = 1.0e-16;  // not above pvtiny squared
    log_fft_spectral(zc, 2, a);
    EXPECT_EQ(a(1, 1), 0.0);
    EXPECT_EQ(a(2, 1), std::log(std::exp(-3.0)));
    EXPECT_EQ(a(1, 2), a(2, 1));
    EXPECT_EQ(a(2, 2), a(2, 1));

    RealImage z(2, 2, 0.0);
    log_fft_spectral(zc, 2, z);
    EXPECT_EQ(z(1, 1), 9999.990234375);
    EXPECT_EQ(z(2, 2), 9999.990234375);
}

TEST(Centring, AmplitudeIsTheModulus) {
    RealImage re(2, 2, 3.0), im(2, 2, -4.0), amp(2, 2);
    fft_spectral_density(2, re, im, amp);
    EXPECT_EQ(amp(2, 2), 5.0);
}

}  // namespace
}  // namespace veltrane2
