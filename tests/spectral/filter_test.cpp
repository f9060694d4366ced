#include "spectral/filter.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <sstream>

#include "core/listout.hpp"
#include "spectral/centring.hpp"
#include "spectral/fft.hpp"

namespace veltrane2 {
namespace {

struct Spectrum {
    int n;
    Fconst2 fc;
    RealImage img, frc, fic, logamp;

    explicit Spectrum(int n_) : n(n_), img(n, n), frc(n, n), fic(n, n), logamp(n, n) {
        parameter_data(fc);
        std::mt19937 rng(n);
        std::uniform_real_distribution<double> u(0.0, 4.0);
        for (int j = 1; j <= n; ++j)
            for (int i = 1; i <= n; ++i) img(i, j) = u(rng) + 0.3 * (j % 3);  // stripes along rows
        RealImage re(n, n), im(n, n);
        fft2d(fc, 0, n, img, re, im);
        center0_fft(n, re, im, frc, fic);
        fft_spectral_density(n, frc, fic, logamp);
        ZeroControl zc;
        log_fft_spectral(zc, n, logamp);
    }

    // The image that the gain leaves: filter, un-centre, inverse transform.
    RealImage cleaned(const RealImage& gain) const {
        RealImage r = frc, i = fic, re(n, n), im(n, n), out(n, n);
        filter_fft_by_input(n, n, gain, r, i);
        off0center_fft(n, r, i, re, im);
        inv_fft2d(fc, 0, n, re, im, out);
        return out;
    }
};

// The log floor of an all-zero spectrum (a flat image) lies far beyond the
// range of exp(): the gain still comes out finite.
TEST(Filter, AmplitudesBeyondTheDoubleRange) {
    RealImage before(3, 1, 9999.990234375), after(3, 1, 9999.990234375);
    after(2, 1) = 9999.990234375 - std::log(4.0);
    after(3, 1) = 800.0;
    std::ostringstream out;
    form_spd_filter(out, 3, 1, before, after);
    EXPECT_EQ(after(1, 1), 1.0);
    EXPECT_NEAR(after(2, 1), 0.25, 1e-12);
    EXPECT_EQ(after(3, 1), 0.0);
    EXPECT_EQ(out.str(), "");
}

TEST(Filter, RaisedValuesAreReportedInOrderAndKept) {
    RealImage before(2, 2, 0.0), after(2, 2, 0.0);
    after(2, 1) = 1.0;
    after(1, 2) = 2.0;
    std::ostringstream out;
    form_spd_filter(out, 2, 2, before, after);
    // First index outer: (1, 2) comes before (2, 1); the count numbers them.
    EXPECT_EQ(out.str(), list_line("FORM_SPD_FILTER > 1 ", 1, 2, 0.0, 2.0, 1.0, std::exp(2.0), 1) +
                             list_line("FORM_SPD_FILTER > 1 ", 2, 1, 0.0, 1.0, 1.0, std::exp(1.0), 2));
    EXPECT_EQ(after(1, 2), std::exp(2.0));  // stored unclamped
}

TEST(Filter, LiftingReportsValuesThatEndUpNegative) {
    RealImage a(3, 1);
    a(1, 1) = -2.0;
    a(2, 1) = 1.0;
    a(3, 1) = 3.0;
    std::ostringstream out;
    lifting_image(out, 3, 1, a, 2.0);
    EXPECT_EQ(std::vector<double>(a.data(), a.data() + 3), std::vector<double>({0.0, 3.0, 5.0}));
    EXPECT_EQ(out.str(), "");
    lifting_image(out, 3, 1, a, -1.0);
    EXPECT_EQ(out.str(), " < 0  -1 1 1 0\n");
}

}  // namespace
}  // namespace veltrane2
