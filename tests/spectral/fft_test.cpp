#include "spectral/fft.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <complex>
#include <cstring>
#include <random>
#include <vector>

#include "core/errors.hpp"
#include "core/constants.hpp"
#include "spectral/amplitude.hpp"

namespace veltrane2 {
namespace {

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
    for (int m : {2, 4, 8, 16, 32}) {
        const RealImage x = random_image(m, 17u + m);
        RealImage re(m, m), im(m, m);
        RealImage used = x;
        fft2d(0, used, re, im);
        const int h = m / 2;
        for (int u = 1; u <= m; ++u) {
            for (int v = 1; v <= m; ++v) {
                std::complex<double> sum = 0.0;
                for (int a = 1; a <= m; ++a)
                    for (int b = 1; b <= m; ++b)
                        sum += x(a, b) * std::polar(1.0, kTwoPi * ((u - h) * (a - 1) + (v - h) * (b - 1)) / m);
                ASSERT_NEAR(re(u, v), sum.real(), 1e-9) << m << " " << u << " " << v;
                ASSERT_NEAR(im(u, v), sum.imag(), 1e-9) << m << " " << u << " " << v;
            }
        }
        for (bool complement : {false, true}) {
            const RealImage gain(m, m, complement ? 0.0 : 1.0);
            std::vector<double> back(static_cast<std::size_t>(m) * m);
            inv_fft2d(0, re, im, gain.data(), complement, back.data());
            for (int j = 1; j <= m; ++j)
                for (int i = 1; i <= m; ++i) ASSERT_NEAR(back[(i - 1) + (j - 1) * m], x(i, j), 1e-12) << m;
            // A scratch grid of the right side lends its storage and is left
            // empty; one of another side is not taken.
            for (const int side : {m, m / 2}) {
                RealImage scratch(side, side, 7.0);
                std::vector<double> lent(back.size());
                inv_fft2d(0, re, im, gain.data(), complement, lent.data(), &scratch);
                ASSERT_EQ(std::memcmp(back.data(), lent.data(), back.size() * sizeof(double)), 0) << m;
                EXPECT_EQ(scratch.nx(), side == m ? 0 : side);
            }
            if (!complement) {
                RealImage spent = im;
                std::vector<double> again(back.size());
                inv_fft2d_spending(0, re, spent, gain.data(), again.data());
                ASSERT_EQ(std::memcmp(back.data(), again.data(), back.size() * sizeof(double)), 0) << m;
            }
        }
    }
}

// The logarithmic amplitude: an amplitude too small for a logarithm takes
// the smallest one found, however the columns are shared out.
// The inverse with a shared first pass, and the one that uses the
// spectrum's imaginary parts up, give inv_fft2d's values bit for bit:
// with the gain 1, with the streak's middle row lowered (and a few rows
// beside it), with a lowered value at the edge of the centring, and with
// more than half the rows lowered (then it is inv_fft2d itself); on one
// thread and three, below and above the size the passes share out, and at
// sides whose transforms end with two stages at once and with one.
TEST(Fft, SharedAndSpendingInversesAreTheInverse) {
    struct Case {
        const char* name;
        std::vector<int> rows;  // centred first indices lowered along their whole row
    } cases[] = {
        {"gain 1", {}},
        {"middle row", {0}},
        {"streak and neighbours", {-2, -1, 0, 1, 2}},
        {"edge of the centring", {1000}},
        {"most rows", {-1000}},
    };
    for (const int m : {8, 256, 512}) {
        RealImage re = random_image(m, 21), im = random_image(m, 22);
        // Signed zeros, subnormal and tiny values: the passes that transform
        // sixteen sequences at a time must round them as the transform of
        // one sequence does.
        const double odd[] = {-0.0, 0.0, 4.9e-324, -1e-310, 1e-300, -7.0};
        for (int k = 0; k < 6; ++k) {
            re(1 + (7 * k + 3) % m, 1 + (5 * k + 1) % m) = odd[k];
            im(1 + (3 * k + 5) % m, 1 + (11 * k + 2) % m) = odd[5 - k];
        }
        for (const int threads : {1, 3}) {
            const InverseFirstPass ones = inverse_first_pass(threads, re, im);
            for (const Case& c : cases) {
                SCOPED_TRACE(testing::Message() << c.name << ", m " << m << ", threads " << threads);
                std::vector<double> gain(static_cast<std::size_t>(m) * m, 1.0);
                const auto lower_row = [&](int ci) {
                    for (int j = 0; j < m; ++j)
                        gain[static_cast<std::size_t>(ci - 1) + static_cast<std::size_t>(j) * m] = 0.25 + 0.5 * ((ci + j) % 3);
                };
                for (const int r : c.rows) {
                    if (r == 1000) {
                        gain[static_cast<std::size_t>(m - 1) + static_cast<std::size_t>(m / 2) * m] = 0.5;  // (m, m/2 + 1)
                    } else if (r == -1000) {
                        for (int ci = 1; ci <= m; ci += 1 + (ci % 4 == 0)) lower_row(ci);
                    } else {
                        lower_row(m / 2 + r);
                    }
                }
                std::vector<double> want(static_cast<std::size_t>(m) * m), got(want.size());
                inv_fft2d(threads, re, im, gain.data(), false, want.data());
                inv_fft2d_from(threads, ones, re, im, gain.data(), got.data());
                ASSERT_EQ(std::memcmp(want.data(), got.data(), want.size() * sizeof(double)), 0);
                RealImage spent = im;
                std::fill(got.begin(), got.end(), 0.0);
                inv_fft2d_spending(threads, re, spent, gain.data(), got.data());
                ASSERT_EQ(std::memcmp(want.data(), got.data(), want.size() * sizeof(double)), 0);
                EXPECT_EQ(spent.nx(), 0);
            }
        }
    }
}

// Tiny amplitudes take the smallest logarithm, which is returned as the
// lowest value; the highest is reported too, also of a spectrum of tiny
// amplitudes only.
TEST(Fft, LogAmplitudeOfTinyValuesIsTheSmallestLogarithm) {
    for (int threads : {1, 3}) {
        const int n = 128;
        RealImage re(n, n, 3.0), im(n, n, 4.0), out(n, n);
        re(2, 100) = 0.0, im(2, 100) = 0.0;  // tiny
        re(7, 9) = 0.5, im(7, 9) = 0.0;      // the smallest logarithm
        re(100, 120) = 6.0, im(100, 120) = 8.0;  // the largest
        double highest = 0.0;
        EXPECT_EQ(log_fft_spectral(threads, re, im, out, &highest), std::log(0.5));
        EXPECT_EQ(out(1, 1), std::log(5.0));
        EXPECT_EQ(out(7, 9), std::log(0.5));
        EXPECT_EQ(out(2, 100), std::log(0.5));
        EXPECT_EQ(highest, std::log(10.0));
        const RealImage zero(n, n, 0.0);
        EXPECT_EQ(log_fft_spectral(threads, zero, zero, out, &highest), static_cast<double>(9999.99f));
        EXPECT_EQ(highest, static_cast<double>(9999.99f));
    }
}

// The transforms' 2 pi is the one formed at run time from pi/4, bit for bit.
TEST(Fft, TwoPiIsFormedFromAQuarterPi) {
    volatile double pi4 = 0.7853981633974483;
    const double pi = 4.0 * pi4;
    EXPECT_EQ(std::bit_cast<std::uint64_t>(kTwoPi), std::bit_cast<std::uint64_t>(pi + pi));
    EXPECT_EQ(std::bit_cast<std::uint64_t>(kTwoPi), 0x401921FB54442D18u);
}

TEST(Fft, TooManyPointsForTheVectorStop) {
    std::vector<double> data(8, 0.0);
    try {
        my_four1(data.data(), 8, 8, Direction::kForward);
        FAIL();
    } catch (const FatalStop& e) {
        EXPECT_EQ(e.line(), "  2(# of data) > NDIM in MY_four1  16 8\n");
    }
}

}  // namespace
}  // namespace veltrane2
