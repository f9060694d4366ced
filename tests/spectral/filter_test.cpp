#include "spectral/filter.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <stdexcept>

#include "core/listout.hpp"

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
// every other one has the gain 1. A debug build checks that such a pixel
// holds the log spectrum's own value.
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
    EXPECT_EQ(after(2, 1), 1.0);
    EXPECT_EQ(after(1, 2), 1.0);
    EXPECT_EQ(after(3, 2), 1.0);
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

}  // namespace
}  // namespace veltrane2
