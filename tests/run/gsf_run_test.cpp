// Whole runs of the program on .gsf files.
#include <gtest/gtest.h>

#include <cmath>

#include "../test_util.hpp"
#include "engine/pipeline.hpp"
#include "io/gsf.hpp"
#include "io/image_file.hpp"

namespace veltrane2 {
namespace {

// A generated image with its values rounded to single precision, as a .gsf
// holds them.
GsfImage generated(int size, int rows) {
    vt::ScratchDir dir;
    const TextImage t = vt::load(vt::generate(dir.path(), "g.txt", "--seed 5 --bow 1 --size " + std::to_string(size) +
                                                                        " --rows " + std::to_string(rows)));
    GsfImage g;
    g.xres = static_cast<int>(t.header.nx);
    g.yres = static_cast<int>(t.header.ny);
    g.xreal = 2e-6;
    g.yreal = 2e-6 * rows / size;
    g.xoffset = 1e-6;
    g.xyunits = "m";
    g.zunits = "m";
    g.title = "Topography";
    for (double v : t.z) g.values.push_back(static_cast<float>(v));
    return g;
}

TEST(GsfRun, OutputsAreGsfWithTheInputsMetadataAndTheTextRunsValues) {
    for (const int rows : {64, 48}) {
        SCOPED_TRACE(rows);
        vt::ScratchDir dir;
        const GsfImage in = generated(64, rows);
        write_gsf((dir / "scan.gsf").string(), in);
        // The same values and extents as a text image (in micrometres).
        std::vector<double> z(in.values.begin(), in.values.end());
        vt::write_file(dir / "scan.txt", vt::image_text(64, rows, z, 2.0, 1e-6, 2.0 * rows / 64));

        const auto g = vt::run_in(dir.path(), VELTRANE2_BIN, vt::run_input("scan.gsf"));
        ASSERT_EQ(g.status, 0) << g.err;
        const auto t = vt::run_in(dir.path(), VELTRANE2_BIN, vt::run_input("scan.txt"));
        ASSERT_EQ(t.status, 0) << t.err;
        // The report lines differ only in the names.
        std::string renamed = g.out;
        for (std::size_t p; (p = renamed.find("scan.gsf")) != std::string::npos;) renamed.replace(p, 8, "scan.txt");
        EXPECT_EQ(renamed, t.out);

        // The classic program's square grid in memory: the .gsf outputs are
        // those values in single precision.
        EngineRun run(Parameters::general(), Options{});
        run.take_image(Image{64, rows, 2.0, 2.0 * rows / 64, 1e-6, z});
        const Result r = run.finish();
        const std::pair<const char*, const Image*> outputs[] = {
            {"FIL_", &r.gain}, {"NOISE_", &r.noise}, {"DENOISE_", &r.cleaned}};
        for (const auto& [prefix, expected] : outputs) {
            const GsfImage out = read_gsf((dir / (std::string(prefix) + "scan.gsf")).string());
            EXPECT_EQ(out.xres, 64);
            EXPECT_EQ(out.yres, 64);
            EXPECT_EQ(out.xreal, 2e-6);
            EXPECT_EQ(out.yreal, 2e-6);
            EXPECT_EQ(out.xoffset, 1e-6);
            EXPECT_EQ(out.xyunits, "m");
            EXPECT_EQ(out.zunits, std::string(prefix) == "FIL_" ? "" : "m");
            const bool filled_gain = std::string(prefix) == "FIL_" && rows != 64;
            EXPECT_EQ(out.title, std::string(prefix) + "Topography" +
                                     (filled_gain ? " (gain on the spectrum of the 64 x 64 padded square)" : ""));
            const TextImage text = vt::load(dir / (std::string(prefix) + "scan.txt"));
            for (std::size_t k = 0; k < out.values.size(); ++k) {
                ASSERT_EQ(out.values[k], static_cast<float>(expected->values[k])) << prefix << k;
                ASSERT_NEAR(out.values[k], text.z[k], 6e-7 * (std::abs(text.z[k]) + 1e-3)) << prefix << k;
            }
        }
    }
}

TEST(GsfRun, BadOrUnwritableFilesEndTheRunWithNothingWritten) {
    vt::ScratchDir dir;
    vt::write_file(dir / "bad.gsf", std::string("Gwyddion Simple Field 1.0\nXRes = 4\nYRes = 4\n\0\0\0\0", 48) + "abc");
    auto r = vt::run_in(dir.path(), VELTRANE2_BIN, vt::run_input("bad.gsf"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "veltrane2: bad.gsf: the data end after 0 of 16 values\n");
    EXPECT_FALSE(vt::fs::exists(dir / "FIL_bad.gsf"));

    write_gsf((dir / "ok.gsf").string(), generated(16, 16));
    vt::fs::create_directory(dir / "NOISE_ok.gsf");  // the second output cannot replace a folder
    r = vt::run_in(dir.path(), VELTRANE2_BIN, vt::run_input("ok.gsf"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("veltrane2: I cannot write the output data file NOISE_ok.gsf: ", 0), 0u) << r.err;
    std::vector<std::string> left;
    for (const auto& e : vt::fs::directory_iterator(dir.path())) left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"FIL_ok.gsf", "NOISE_ok.gsf", "bad.gsf", "ok.gsf"}));
}

// Gwyddion's own reader opens every kind of .gsf the program writes.
TEST(GsfRun, GwyddionOpensTheOutputs) {
    if (std::system("command -v gwyddion-thumbnailer > /dev/null") != 0) GTEST_SKIP() << "gwyddion is not installed";
    vt::ScratchDir dir;
    write_gsf((dir / "scan.gsf").string(), generated(32, 32));
    ASSERT_EQ(vt::run_in(dir.path(), VELTRANE2_BIN, vt::run_input("scan.gsf")).status, 0);
    // An output of a text input.
    ImageFile text_source;
    text_source.name = "scan.txt";
    std::ostringstream quiet;
    const Image image{4, 4, 2.0, 2.0, 1e-6, std::vector<double>(16, 0.5)};
    write_image_file(quiet,
                     output_file(text_source, Output::kCleaned, image, (dir / "from_text.gsf").string(), FileFormat::kGsf),
                     image);
    for (const char* name : {"FIL_scan.gsf", "NOISE_scan.gsf", "DENOISE_scan.gsf", "from_text.gsf"}) {
        const std::string cmd = "gwyddion-thumbnailer gnome2 64 '" + (dir / name).string() + "' '" +
                                (dir / "thumb.png").string() + "' 2>&1";
        EXPECT_EQ(std::system(cmd.c_str()), 0) << name;
    }
}

}  // namespace
}  // namespace veltrane2
