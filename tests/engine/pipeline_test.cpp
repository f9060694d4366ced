// The engine's entry: shape checks, destripe() in memory, reentrancy.
#include "engine/pipeline.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <sstream>
#include <thread>
#include <tuple>

#include "../test_util.hpp"
#include "io/image_file.hpp"

namespace veltrane2 {
namespace {

TEST(EngineShape, ReportsStopsAndRefusals) {
    struct Case {
        long long nx, ny;
        double span_y;
        int max_side;
        const char* report;  // the line printed before any check fails
        const char* failure;  // "" when the shape is taken; "stop" for the limit stop
    } cases[] = {
        {256, 256, 5.0, 1024, "", ""},
        {8, 4, 5.0, 1024, " NXbig NOT THE SAME AS NYbig or size different 8 4 5 5\n", ""},
        {4, 4, 5.0005, 1024, "", ""},
        {4, 4, 5.002, 1024, " NXbig NOT THE SAME AS NYbig or size different 4 4 5 5.002\n", ""},
        {1024, 1024, 5.0, 1024, "", ""},
        {1025, 10, 5.0, 1024, " NXbig NOT THE SAME AS NYbig or size different 1025 10 5 5\n", "stop"},
        {2048, 2048, 5.0, 1024, "", "stop"},
        {300, 300, 5.0, 1024, "", "an image of 300 x 300 values needs a grid of side 300, but the Fourier transform "
                                  "takes only sides that are powers of two from 2 to 1024"},
        {1, 1, 5.0, 1024, "", "powers of two"},
        {6, 6, 5.0, 1024, "", "powers of two"},
        {0, 4, 5.0, 1024, "", "the image has 0 x 4 values; both sizes must be positive"},
        {4, 0, 5.0, 1024, "", "the image has 4 x 0 values; both sizes must be positive"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.nx) + " x " + std::to_string(c.ny));
        std::ostringstream report;
        Options o;
        o.report = &report;
        o.max_side = c.max_side;
        EngineRun run(Parameters::general(), o);
        try {
            run.take_shape(c.nx, c.ny, 5.0, c.span_y, 1.0);
            EXPECT_STREQ(c.failure, "");
            EXPECT_EQ(run.grid().nx(), std::max(c.nx, c.ny));
        } catch (const FatalStop& e) {
            EXPECT_STREQ(c.failure, "stop");
            EXPECT_EQ(e.line(), " NGDTEMP > MXTEMPGD in READIN_NEW_IMAGE\n");
            EXPECT_TRUE(run.grid().empty());
        } catch (const RunError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::kBadShape);
            EXPECT_NE(std::string(e.what()).find(c.failure), std::string::npos) << e.what();
            EXPECT_TRUE(run.grid().empty());
        }
        EXPECT_EQ(report.str(), c.report);
    }
    // The classic program's non-square image: row j of the values is
    // grid(1..nx, j), the rest of the square 0.
    std::ostringstream quiet;
    Options o;
    o.report = &quiet;
    EngineRun narrow(Parameters::general(), o);
    narrow.take_image(Image{2, 4, 2.0, 4.0, 1.0, {1, 2, 3, 4, 5, 6, 7, 8}});
    const RealImage& g = narrow.grid();
    ASSERT_EQ(g.nx(), 4);
    for (int j = 1; j <= 4; ++j) {
        EXPECT_EQ(g(1, j), 2.0 * j - 1.0) << j;
        EXPECT_EQ(g(2, j), 2.0 * j) << j;
        EXPECT_EQ(g(3, j), 0.0) << j;
        EXPECT_EQ(g(4, j), 0.0) << j;
    }
}

TEST(Destripe, BadImagesAreRefused) {
    struct Case {
        Image image;
        ErrorKind kind;
        const char* message;
    } cases[] = {
        {Image{4, 4, 1, 1, 1, std::vector<double>(15, 0.0)}, ErrorKind::kBadShape, "the image holds 15 values, not 4 x 4"},
        {Image{0, 4, 1, 1, 1, {}}, ErrorKind::kBadShape, "both sizes must be positive"},
        // Sizes that are not positive are told as such, whatever the values.
        {Image{0, 4, 1, 1, 1, {1, 2}}, ErrorKind::kBadShape, "the image has 0 x 4 values; both sizes must be positive"},
        {Image{4097, 1, 1, 1, 1, std::vector<double>(4097, 0.0)}, ErrorKind::kBadShape,
         "4097 x 1 is larger than the largest side 4096"},
        {Image{3, 1, 1, 1, 1, {1, 2, 3}}, ErrorKind::kBadShape, "3 x 1 is smaller than the smallest side 2"},
        {Image{3, 2, 1, 1, 1, {1, 2, 3, 4, NAN, 6}}, ErrorKind::kBadValue, "value 5 of 6 (row 2, column 2) is not finite"},
        {Image{2, 2, 1, 1, 1, {1, 2, NAN, 4}}, ErrorKind::kBadValue, "value 3 of 4 (row 2, column 1) is not finite"},
        {Image{2, 2, 1, 1, 1, {1, 2, 3, -INFINITY}}, ErrorKind::kBadValue, "value 4 of 4 (row 2, column 2) is not finite"},
        {Image{2, 2, 1, 1, 0, {1, 2, 3, 4}}, ErrorKind::kBadValue,
         "the extents 1 x 1 in units of 0 m do not give a positive finite pixel size"},
        {Image{2, 2, -1, 1, 1e-6, {1, 2, 3, 4}}, ErrorKind::kBadValue, "the extents -1 x 1 in units of 1e-06 m"},
        {Image{2, 2, 1, NAN, 1e-6, {1, 2, 3, 4}}, ErrorKind::kBadValue, "the extents 1 x nan in units"},
        {Image{2, 2, 1e300, 1, 1e300, {1, 2, 3, 4}}, ErrorKind::kBadValue, "the extents 1e+300 x 1 in units of 1e+300"},
        {Image{2, 2, 1e-300, 1, 1e-300, {1, 2, 3, 4}}, ErrorKind::kBadValue, "the extents 1e-300 x 1 in units"},
    };
    for (const Case& c : cases) {
        try {
            destripe(c.image, Parameters::general());
            ADD_FAILURE() << c.message;
        } catch (const RunError& e) {
            EXPECT_EQ(e.kind(), c.kind);
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

// Runs on two threads at once give the bytes of runs one after the other,
// and the same as the program writes; a run on one thread, on three and on
// as many as the machine has give the same bytes.
TEST(Destripe, ConcurrentRunsMatchSequentialRunsAndTheProgram) {
    vt::ScratchDir dir;
    vt::fs::copy_file(vt::fs::path(VELTRANE2_EXAMPLES) / "sample.txt", dir / "sample.txt");
    const auto r = vt::run_in(dir.path(), VELTRANE2_BIN, vt::read_file(vt::fs::path(VELTRANE2_EXAMPLES) / "sample.in"));
    ASSERT_EQ(r.status, 0) << r.err;
    const TextImage in = vt::load(dir / "sample.txt");
    const Image image{256, 256, in.header.spanx, in.header.spany, in.header.unit, in.z};

    Parameters grouped = Parameters::general();
    grouped.grouped = true;
    Options one;
    one.threads = 1;
    const Result seq_a = destripe(image, Parameters::general(), one);
    const Result seq_b = destripe(image, grouped, one);
    Result par_a, par_b;
    std::ostringstream report_a;
    std::thread ta([&] {
        Options o;
        o.report = &report_a;
        o.threads = 3;
        par_a = destripe(image, Parameters::general(), o);
    });
    std::thread tb([&] { par_b = destripe(image, grouped); });
    ta.join();
    tb.join();
    for (const auto& [a, b] : {std::pair{&par_a.gain, &seq_a.gain}, {&par_a.noise, &seq_a.noise},
                               {&par_a.cleaned, &seq_a.cleaned}, {&par_b.gain, &seq_b.gain},
                               {&par_b.noise, &seq_b.noise}, {&par_b.cleaned, &seq_b.cleaned}})
        EXPECT_TRUE(a->values == b->values);
    EXPECT_NE(seq_a.cleaned.values, seq_b.cleaned.values);

    // The report is the program's lines between "Opening image:" and "Saving image:".
    const auto open = r.out.find("Opening image: sample.txt\n") + std::string("Opening image: sample.txt\n").size();
    EXPECT_EQ(report_a.str(), r.out.substr(open, r.out.find("Saving image:") - open));
    std::ostringstream quiet;
    ImageFile source;
    source.name = "sample.txt";
    const std::string again = (dir / "again.txt").string();
    write_image_file(quiet, output_file(source, Output::kCleaned, par_a.cleaned, again, FileFormat::kText),
                     par_a.cleaned);
    EXPECT_EQ(vt::read_file(dir / "again.txt"), vt::read_file(dir / "DENOISE_sample.txt"));
}

// Images and sets whose log spectrum has weights of both signs around the
// centre, so that the centre map's centroid can fall outside the grid: each
// run ends normally with a gain from 0 to 1, finite outputs, and noise +
// cleaned = the lifted input. (The sanitizer build checks every access.)
TEST(Destripe, CentresOutsideTheGridEndNormally) {
    const auto one_at = [](int n, int row, int column) {
        Image im{n, n, 1.0, 1.0, 1.0e-6, std::vector<double>(static_cast<std::size_t>(n) * n, 0.0)};
        im.at(column, row) = 1.0;
        return im;
    };
    const Parameters wide{0.55, 0.1, 0.1, 0.5, 0.5, 0.8, 3};
    Parameters low_g = Parameters::general();
    low_g.h_global = 0.1;
    Parameters negative_g = Parameters::general();
    negative_g.h_global = -1.0;
    std::vector<std::pair<Image, Parameters>> cases = {
        {Image{2, 2, 1.0, 1.0, 1.0e-6, {1.699, 0.8737, 1.106, 1.75}}, Parameters::keep_slope()},
        {one_at(64, 31, 37), wide},
        {one_at(64, 30, 36), wide},
        {one_at(8, 7, 6), low_g},
        {one_at(8, 6, 5), low_g},
        {Image{2, 2, 1.0, 1.0, 1.0e-6, {-0.141, -2.07, 0.951, -3.24}}, negative_g},
    };
    // Striped 2 x 2 images with the ready sets.
    unsigned seed = 12345;
    const auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return static_cast<double>((seed >> 8) % 20001u) / 10000.0 - 1.0;
    };
    for (int k = 0; k < 100; ++k) {
        const double a = next(), b = next();
        const Image im{2, 2, 1.0, 1.0, 1.0e-6, {a, a + 0.01 * next(), b, b + 0.01 * next()}};
        for (const Parameters& p : {Parameters::general(), Parameters::keep_slope(), Parameters::conservative()})
            cases.emplace_back(im, p);
    }
    for (bool grouped : {false, true}) {
        for (auto [image, p] : cases) {
            p.grouped = grouped;
            // As the classic program runs what its input reads: h_G = -1 is
            // outside the library's checked range.
            Result r;
            try {
                EngineRun run(p, Options{});
                run.take_image(image);
                r = run.finish();
            } catch (const FatalStop&) {
                continue;  // a limit stop is a documented end
            }
            const double lift = -*std::min_element(image.values.begin(), image.values.end());
            for (std::size_t k = 0; k < image.values.size(); ++k) {
                ASSERT_TRUE(std::isfinite(r.noise.values[k]) && std::isfinite(r.cleaned.values[k]));
                ASSERT_NEAR(r.noise.values[k] + r.cleaned.values[k], image.values[k] + lift, 1e-12);
            }
            for (double g : r.gain.values) ASSERT_TRUE(g >= 0.0 && g <= 1.0) << g;
        }
    }
}

// A 32 x 32 image of rows at their own offsets over a sloped surface, on a
// grid of 1/256 (so that a power-of-two scale keeps every value exact),
// ranging over [1, 2).
Image striped_image() {
    const int n = 32;
    Image im{n, n, 1.0, 1.0, 1.0e-6, std::vector<double>(static_cast<std::size_t>(n) * n, 0.0)};
    unsigned seed = 7;
    for (int j = 0; j < n; ++j) {
        seed = seed * 1103515245u + 12345u;
        const double offset = static_cast<double>((seed >> 16) % 97u) / 128.0;
        for (int i = 0; i < n; ++i) im.at(i, j) = offset + static_cast<double>(3 * i + 2 * j) / 256.0 - 0.5;
    }
    return im;
}

// Which height ranges a run scales: none in metres or nanometres (a scan of
// 1e-10 m is taken as it is), those below 2^-40 or with n^2 M above 2^500
// into [1, 2).
TEST(Destripe, HeightRangesOutsideTheBandAreScaled) {
    const struct {
        double range;
        int n;
        int exponent;
    } cases[] = {
        {0.0, 8, 0},          {1e-10, 256, 0},   {3e-6, 4096, 0},    {7.5, 512, 0},
        {0x1p-40, 8, 0},      {0x1.fp-41, 8, -41}, {1e-300, 2, -997},
        {0x1p494, 8, 0},      {0x1.8p494, 8, 494}, {0x1p476, 4096, 0}, {0x1p477, 4096, 477},
    };
    for (const auto& c : cases) EXPECT_EQ(height_exponent(c.range, c.n), c.exponent) << c.range << " on " << c.n;
}

// The outputs of heights scaled by s are the outputs of the heights, scaled:
// bit for bit when s is a power of two. Otherwise the run sees the heights
// scaled by another factor from 1/2 to 2, and the noise and cleaned images
// agree to far below the heights' range (the gain's decisions at a few
// coefficients of next to no energy may go the other way, as they may for
// any scale of an image inside the range taken as it is). Heights further
// apart than the largest double are refused.
TEST(Destripe, OutputsScaleWithTheHeights) {
    const Image base = striped_image();
    const auto [lo, hi] = std::minmax_element(base.values.begin(), base.values.end());
    ASSERT_TRUE(*hi - *lo >= 1.0 && *hi - *lo < 2.0) << *hi - *lo;
    Options one;
    one.threads = 1;
    const Result at_one = destripe(base, Parameters::general(), one);
    ASSERT_TRUE(std::any_of(at_one.gain.values.begin(), at_one.gain.values.end(), [](double g) { return g < 0.5; }));
    struct Case {
        double scale;
        bool exact;
    } cases[] = {
        {1e-300, false}, {1e-14, false}, {1e150, false}, {1e300, false},
        {0x1p-1000, true}, {0x1p-41, true}, {0x1p494, true}, {0x1p1000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scale);
        Image scaled = base;
        for (double& v : scaled.values) v *= c.scale;
        const Result r = destripe(scaled, Parameters::general(), one);
        if (c.exact) {
            EXPECT_EQ(r.gain.values, at_one.gain.values);
        }
        for (const auto& [out, ref] : {std::pair{&r.noise, &at_one.noise}, {&r.cleaned, &at_one.cleaned}}) {
            ASSERT_EQ(out->values.size(), ref->values.size());
            for (std::size_t k = 0; k < ref->values.size(); ++k) {
                if (c.exact) {
                    ASSERT_EQ(out->values[k], ref->values[k] * c.scale) << k;
                } else {
                    ASSERT_NEAR(out->values[k] / c.scale, ref->values[k], 1e-8) << k;
                }
            }
        }
    }

    // A range the doubles cannot hold is refused (the highest value first
    // here), and so is an output that would not be finite once scaled back.
    Spectrum doubled;
    doubled.height_exponent = 1;
    Image large{2, 1, 1.0, 1.0, 1.0, {1.0, 1e308}};
    const std::pair<std::function<void()>, const char*> refused[] = {
        {[&] { destripe(Image{2, 2, 1.0, 1.0, 1.0, {1e308, -1e308, 0.0, 1.0}}, Parameters::general(), one); },
         "the heights range from -1e+308 to 1e+308, further apart than the largest double 1.7976931348623157e+308"},
        {[&] { scale_back(doubled, large, "cleaned"); },
         "the cleaned image comes out with a value that is not finite (row 1, column 2): the run cannot take these "
         "heights"},
    };
    for (const auto& [call, message] : refused) {
        try {
            call();
            ADD_FAILURE() << message;
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::kBadValue);
            EXPECT_STREQ(e.what(), message);
        }
    }
}

}  // namespace
}  // namespace veltrane2
