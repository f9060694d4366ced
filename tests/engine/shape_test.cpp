// Images of any size: the sizes taken, the mirrored padding, the outputs cut
// back to the image, and results that do not depend on the height offset.
#include "engine/shape.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>

#include "engine/pipeline.hpp"
#include "../test_util.hpp"

namespace veltrane2 {
namespace {

// A striped surface of nx x ny: a slow bump, a row offset per row and a
// little texture, around zero.
std::vector<double> striped(int nx, int ny, int seed = 1) {
    std::vector<double> z;
    for (int j = 0; j < ny; ++j) {
        const double row = 0.4 * std::sin(0.7 * j * seed + 1.3) + ((j * 7 + seed) % 5) * 0.15;
        for (int i = 0; i < nx; ++i)
            z.push_back(row + std::sin(0.11 * i) * std::cos(0.07 * j) + 0.05 * std::sin(1.7 * i * j + seed));
    }
    return z;
}

double largest_difference(const std::vector<double>& a, const std::vector<double>& b, double shift = 0.0) {
    EXPECT_EQ(a.size(), b.size());
    double worst = 0.0;
    for (std::size_t k = 0; k < a.size() && k < b.size(); ++k) worst = std::max(worst, std::abs(a[k] - b[k] - shift));
    return worst;
}

// The padding of a 3 x 2 image to 8 x 8, worked by hand: columns
// 0 1 2 | 2 1 0 (the right edge mirrored) 1 0 (the left edge mirrored, which
// the periodic wrap reaches next); rows 0 1 | 1 0 0 1 1 0.
TEST(Shape, PaddingMirrorsTheImageAcrossItsEdges) {
    const std::vector<double> z{1, 2, 3, 10, 20, 30};
    RealImage grid = RealImage::square(8);
    pad_by_mirroring(z, 3, 2, grid);
    const int column[8] = {0, 1, 2, 2, 1, 0, 1, 0};
    const int row[8] = {0, 1, 1, 0, 0, 1, 1, 0};
    for (int j = 0; j < 8; ++j)
        for (int i = 0; i < 8; ++i) EXPECT_EQ(grid(i + 1, j + 1), z[row[j] * 3 + column[i]]) << i << ", " << j;
    // A side that fills the square is kept as it is; two rows padded to four
    // come as 0 1 1 0.
    RealImage wide = RealImage::square(4);
    pad_by_mirroring({1, 2, 3, 4, 5, 6, 7, 8}, 4, 2, wide);
    EXPECT_EQ(std::vector<double>(wide.data(), wide.data() + 16),
              (std::vector<double>{1, 2, 3, 4, 5, 6, 7, 8, 5, 6, 7, 8, 1, 2, 3, 4}));
}

// The classic program fills the square beyond its image with the image's
// mean, also for heights whose plain sum would overflow.
TEST(Shape, FillBeyondTheImageTakesItsMean) {
    const double big = std::ldexp(1.5, 1022);  // big + big + big is beyond the largest double
    for (const double v : {big, 0.25}) {
        RealImage grid(4, 4, -1.0);
        grid(1, 1) = grid(2, 1) = grid(1, 2) = v;
        grid(2, 2) = v == big ? v : 1.25;
        fill_beyond_image(grid, 2, 2);
        const double mean = v == big ? big : 0.5;
        for (int j = 1; j <= 4; ++j)
            for (int i = 1; i <= 4; ++i)
                EXPECT_EQ(grid(i, j), i <= 2 && j <= 2 ? (i == 2 && j == 2 && v != big ? 1.25 : v) : mean) << i << j;
    }
}

TEST(Shape, SidesOutsideTwoToTheLargestAreRefusedWithTheSizeAndTheLimit) {
    struct Case {
        long long nx, ny;
        int largest;
        const char* message;  // "" when taken
    } cases[] = {
        {2, 2, 4096, ""},
        {4096, 3, 4096, ""},
        {4097, 2, 4096, "4097 x 2 is larger than the largest side 4096"},
        {16, 8192, 4096, "16 x 8192 is larger than the largest side 4096"},
        {1025, 1025, 1024, "1025 x 1025 is larger than the largest side 1024"},
        {1, 5, 4096, "1 x 5 is smaller than the smallest side 2"},
        {5, 1, 4096, "5 x 1 is smaller than the smallest side 2"},
        {0, 4, 4096, "the image has 0 x 4 values; both sizes must be positive"},
        {4, -3, 4096, "the image has 4 x -3 values; both sizes must be positive"},
    };
    for (const Case& c : cases) {
        try {
            check_sides(c.nx, c.ny, c.largest);
            EXPECT_STREQ(c.message, "") << c.nx << " x " << c.ny;
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::kBadShape);
            EXPECT_STREQ(e.what(), c.message);
        }
    }
    EXPECT_EQ(padded_side(2, 2), 2);
    EXPECT_EQ(padded_side(3, 2), 4);
    EXPECT_EQ(padded_side(512, 513), 1024);
    EXPECT_EQ(padded_side(4095, 17), 4096);
}

// With nothing selected (h_G = 1) the gain is 1 everywhere, so the cleaned
// image must be the lifted input at exactly the input's place: this pins
// where the crop is taken as well as the shapes and extents.
TEST(Shape, OutputsHaveTheInputsShapeAndExtentsAndTheGainThePaddedSquares) {
    struct Case {
        int nx, ny, side;
    } cases[] = {{2, 2, 2}, {3, 5, 8}, {500, 500, 512}, {512, 256, 512}, {4095, 17, 4096}};
    Parameters nothing = Parameters::general();
    nothing.h_global = 1.0;
    for (const Case& c : cases) {
        if (c.side > vt::max_test_side()) continue;
        SCOPED_TRACE(std::to_string(c.nx) + " x " + std::to_string(c.ny));
        const Image in{c.nx, c.ny, 3.0 * c.nx, 2.0 * c.ny, 1e-9, striped(c.nx, c.ny)};
        std::ostringstream report;
        Options o;
        o.report = &report;
        const Result r = destripe(in, nothing, o);
        EXPECT_EQ(r.side, c.side);
        const bool padded = c.side != c.nx || c.side != c.ny;
        for (const Image* out : {&r.noise, &r.cleaned}) {
            EXPECT_EQ(out->nx, c.nx);
            EXPECT_EQ(out->ny, c.ny);
            EXPECT_EQ(out->span_x, in.span_x);
            // A power-of-two square keeps the extents it always had: its side
            // times the pixel size along a row, on both axes.
            EXPECT_EQ(out->span_y, padded ? in.span_y : in.span_x);
            EXPECT_EQ(out->unit, 1e-9);
        }
        EXPECT_EQ(r.gain.nx, c.side);
        EXPECT_EQ(r.gain.ny, c.side);
        EXPECT_DOUBLE_EQ(r.gain.span_x, 3.0 * c.side);
        EXPECT_DOUBLE_EQ(r.gain.span_y, 3.0 * c.side);
        const double lowest = *std::min_element(in.values.begin(), in.values.end());
        EXPECT_LT(largest_difference(r.cleaned.values, in.values, -lowest), 1e-12);
        EXPECT_EQ(report.str().find("Padded "), padded ? 0u : std::string::npos) << report.str();
        if (padded) {
            EXPECT_EQ(report.str().substr(0, report.str().find('\n') + 1), padding_line(c.nx, c.ny, c.side));
        }
    }
}

// Adding 1 um to every height of a scan in nanometres changes the noise by
// nothing and the cleaned image by nothing either (it is lifted to a zero
// minimum), up to rounding, whatever the shape and the mode.
TEST(Shape, AConstantOffsetChangesNothing) {
    struct Case {
        int nx, ny;
        bool grouped;
    } cases[] = {{64, 64, false}, {64, 64, true}, {64, 40, false}, {64, 40, true}, {100, 37, false}, {37, 100, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.nx) + " x " + std::to_string(c.ny) + (c.grouped ? " grouped" : ""));
        Image in{c.nx, c.ny, 1.0, 1.0, 1e-6, striped(c.nx, c.ny, 3)};
        for (double& v : in.values) v *= 1e-9;
        Parameters p{0.2, 0.1, 0.05, 0.5, 0.5, 0.8, 3, c.grouped};
        const Result a = destripe(in, p);
        for (double& v : in.values) v += 1e-6;
        const Result b = destripe(in, p);
        double noise = 0.0;
        for (double v : a.noise.values) noise = std::max(noise, std::abs(v));
        ASSERT_GT(noise, 1e-11) << "the run removed nothing";
        EXPECT_LT(largest_difference(a.noise.values, b.noise.values), 1e-19);
        EXPECT_LT(largest_difference(a.cleaned.values, b.cleaned.values), 1e-19);
        EXPECT_LT(largest_difference(a.gain.values, b.gain.values), 1e-9);
    }
}

}  // namespace
}  // namespace veltrane2
