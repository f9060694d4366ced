// The engine's entry: shape checks, destripe() in memory, reentrancy.
#include "engine/pipeline.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <thread>

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
            EXPECT_EQ(e.status(), kExitSizeError);
            EXPECT_NE(std::string(e.what()).find(c.failure), std::string::npos) << e.what();
            EXPECT_TRUE(run.grid().empty());
        }
        EXPECT_EQ(report.str(), c.report);
    }
}

TEST(Destripe, BadImagesAreRefused) {
    struct Case {
        Image image;
        ExitStatus status;
        const char* message;
    } cases[] = {
        {Image{4, 4, 1, 1, 1, std::vector<double>(15, 0.0)}, kExitSizeError, "the image holds 15 values, not 4 x 4"},
        {Image{0, 4, 1, 1, 1, {}}, kExitSizeError, "both sizes must be positive"},
        {Image{3, 3, 1, 1, 1, std::vector<double>(9, 0.0)}, kExitSizeError, "powers of two"},
        {Image{2, 2, 1, 1, 1, {1, 2, NAN, 4}}, kExitFileError, "value 3 of 4 (row 2, column 1) is not finite"},
        {Image{2, 2, 1, 1, 1, {1, 2, 3, -INFINITY}}, kExitFileError, "value 4 of 4 (row 2, column 2) is not finite"},
    };
    for (const Case& c : cases) {
        try {
            destripe(c.image, Parameters::general());
            ADD_FAILURE() << c.message;
        } catch (const RunError& e) {
            EXPECT_EQ(e.status(), c.status);
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
        }
    }
}

// Runs on two threads at once give the bytes of runs one after the other,
// and the same as the program writes.
TEST(Destripe, ConcurrentRunsMatchSequentialRunsAndTheProgram) {
    vt::ScratchDir dir;
    vt::fs::copy_file(vt::fs::path(VELTRANE2_EXAMPLES) / "sample.txt", dir / "sample.txt");
    const auto r = vt::run_in(dir.path(), VELTRANE2_BIN, vt::read_file(vt::fs::path(VELTRANE2_EXAMPLES) / "sample.in"));
    ASSERT_EQ(r.status, 0) << r.err;
    const TextImage in = vt::load(dir / "sample.txt");
    const Image image{256, 256, in.header.spanx, in.header.spany, in.header.unit, in.z};

    Parameters grouped = Parameters::general();
    grouped.grouped = true;
    const Result seq_a = destripe(image, Parameters::general());
    const Result seq_b = destripe(image, grouped);
    Result par_a, par_b;
    std::ostringstream report_a;
    std::thread ta([&] {
        Options o;
        o.report = &report_a;
        o.threads = 2;
        par_a = destripe(image, Parameters::general(), o);
    });
    std::thread tb([&] { par_b = destripe(image, grouped); });
    ta.join();
    tb.join();
    for (const auto& [a, b] : {std::pair{&par_a.gain, &seq_a.gain}, {&par_a.noise, &seq_a.noise},
                               {&par_a.cleaned, &seq_a.cleaned}, {&par_b.cleaned, &seq_b.cleaned}})
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

}  // namespace
}  // namespace veltrane2
