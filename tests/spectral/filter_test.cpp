#include "spectral/filter.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <vector>
#include <sstream>
#include <stdexcept>

#include "core/listout.hpp"
#include "spectral/fft.hpp"

namespace veltrane2 {
namespace {

// The log floor of an all-zero spectrum (a flat image) lies far beyond the
// range of exp(): the gain still comes out finite.
TEST(Filter, AmplitudesBeyondTheDoubleRange) {
    const RealImage zero(3, 1, 0.0);
    const LogAmplitude before{zero, zero, 9999.990234375};
    RealImage after(3, 1, 9999.990234375);
    after(2, 1) = 9999.990234375 - std::log(4.0);
    after(3, 1) = 800.0;
    MarkMap written(3, 1, 1);
    std::ostringstream out;
    form_spd_filter(out, before, written, after);
    EXPECT_EQ(after(1, 1), 1.0);
    EXPECT_NEAR(after(2, 1), 0.25, 1e-12);
    EXPECT_EQ(after(3, 1), 0.0);
    EXPECT_EQ(out.str(), "");
}

TEST(Filter, LiftingReportsValuesThatEndUpNegative) {
    RealImage a(3, 1, 1.0);
    a(3, 1) = 2.0625;  // ends up small but not negative: lifted, not reported
    std::ostringstream out;
    lifting_image(out, a, -2.0);
    EXPECT_EQ(a(1, 1), -1.0);
    EXPECT_EQ(a(3, 1), 0.0625);
    EXPECT_EQ(out.str(), " < 0  -1 1 1 1\n < 0  -1 2 1 1\n");
    // The first column alone.
    RealImage b(2, 2, 3.0);
    b(1, 2) = 1.0;
    std::ostringstream first;
    lifting_image(first, b, -2.0);
    EXPECT_EQ(first.str(), " < 0  -1 1 2 1\n");
    // Columns shared out over three threads, negatives in two of them far
    // apart: every value is lifted once, the negatives are reported first
    // index outer.
    RealImage c(3, 300, 5.0);
    c(3, 40) = 1.5;
    c(1, 250) = 1.0;
    c(2, 40) = 0.5;
    std::ostringstream wide;
    lifting_image(wide, c, -2.0, 3);
    EXPECT_EQ(wide.str(), " < 0  -1 1 250 1\n < 0  -1.5 2 40 0.5\n < 0  -0.5 3 40 1.5\n");
    EXPECT_EQ(c(1, 1), 3.0);
    EXPECT_EQ(c(3, 300), 3.0);
    EXPECT_EQ(c(1, 40), 3.0);
    EXPECT_EQ(c(2, 251), 3.0);
}

TEST(Filter, RaisedValuesAreReportedInOrderAndKept) {
    // Amplitudes of 1: the log spectrum is 0 throughout.
    const RealImage re(2, 2, 1.0), im(2, 2, 0.0);
    const LogAmplitude before{re, im, 9999.990234375};
    RealImage after(2, 2, 0.0);
    after(2, 1) = 1.0;
    after(1, 2) = 2.0;
    after(2, 2) = 0.05;  // a gain just above 1 is raised too
    MarkMap written(2, 2, 1);
    std::ostringstream out;
    form_spd_filter(out, before, written, after);
    // First index outer: (1, 2) comes before (2, 1); the count numbers them.
    EXPECT_EQ(out.str(), list_line("FORM_SPD_FILTER > 1 ", 1, 2, 0.0, 2.0, 1.0, std::exp(2.0), 1) +
                             list_line("FORM_SPD_FILTER > 1 ", 2, 1, 0.0, 1.0, 1.0, std::exp(1.0), 2) +
                             list_line("FORM_SPD_FILTER > 1 ", 2, 2, 0.0, 0.05, 1.0, std::exp(0.05), 3));
    EXPECT_EQ(after(1, 2), std::exp(2.0));  // stored unclamped
}

// Only the pixels the analysis wrote are formed against the log spectrum:
// every other one has the gain 1 and is left as it is. A debug build checks
// that such a pixel holds the log spectrum's own value.
TEST(Filter, UnwrittenPixelsHaveTheGainOne) {
    const RealImage re(3, 2, 2.0), im(3, 2, 0.0);
    const LogAmplitude before{re, im, 9999.990234375};
    RealImage after(3, 2, std::log(2.0));
    after(2, 2) = std::log(0.5);
    after(3, 1) = std::log(2.0) - 1.0;
    MarkMap written(3, 2);
    written(2, 2) = 1;
    written(3, 1) = 1;
    written(1, 1) = 1;  // written, but to its own value
    std::ostringstream out;
    form_spd_filter(out, before, written, after, 3);
    EXPECT_EQ(after(1, 1), 1.0);
    EXPECT_EQ(after(2, 1), std::log(2.0));
    EXPECT_EQ(after(1, 2), std::log(2.0));
    EXPECT_EQ(after(3, 2), std::log(2.0));
    EXPECT_EQ(after(2, 2), std::exp(std::log(0.5)) / std::exp(std::log(2.0)));
    EXPECT_EQ(after(3, 1), std::exp(std::log(2.0) - 1.0) / std::exp(std::log(2.0)));
    EXPECT_EQ(out.str(), "");
#ifndef NDEBUG
    RealImage changed(3, 2, std::log(2.0));
    changed(2, 1) = 0.0;
    try {
        form_spd_filter(out, before, MarkMap(3, 2), changed);
        FAIL();
    } catch (const std::logic_error& e) {
        EXPECT_STREQ(e.what(), "the analysis changed the log spectrum at an unmarked pixel (2, 1)");
    }
#endif
}

// The noise formed from the marks of the coefficients whose gain is not 1
// has the bytes of the noise formed from every coefficient. The marked form
// takes the coefficients a gain of 1 leaves out as +0, so a zero can come
// out of it with another sign: it then has the noise formed in full. A
// spectrum of negative real parts under a gain of 1 has a noise of zeros,
// one of them negative.
TEST(Filter, NoiseFromTheMarkedCoefficientsHasTheFullNoisesBytes) {
    const int n = 32;
    std::mt19937 rng(11);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    RealImage image(n, n);
    for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= n; ++i) image(i, j) = u(rng) + (j % 2 ? 3.0 : 0.0);
    RealImage frc(n, n), fic(n, n);
    fft2d(1, image, frc, fic);
    const RealImage negative(n, n, -1.0), zero(n, n, 0.0);
    const std::size_t count = frc.size();
    for (const bool lowered : {true, false}) {
        const RealImage& re = lowered ? frc : negative;
        const RealImage& im = lowered ? fic : zero;
        std::vector<double> gain(count, 1.0);
        std::vector<unsigned char> ones(count, 0);
        if (lowered) {
            for (std::size_t k = 0; k < count; k += 7) {
                gain[k] = k % 3 ? 0.25 : 1.0;  // marked, some left at 1
                ones[k] = 1;
            }
        }
        std::vector<double> full(count), marked(count);
        form_noise_image(1, gain.data(), re, im, full.data());
        RealImage scratch(n, n);
        form_noise_image(1, gain.data(), re, im, marked.data(), &scratch, ones.data());
        EXPECT_EQ(std::memcmp(full.data(), marked.data(), count * sizeof(double)), 0) << lowered;
        int negative_zeros = 0;
        for (double v : full) negative_zeros += v == 0.0 && std::signbit(v);
        EXPECT_EQ(negative_zeros, lowered ? 0 : 1);
    }
}

}  // namespace
}  // namespace veltrane2
