// Instrument files through the batch command line: a folder of the five
// sample files, channels, listings and damaged files among good ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "../test_util.hpp"
#include "io/gsf.hpp"
#include "io/gwyddion/instrument.hpp"
#include "io/image_file.hpp"

namespace veltrane2 {
namespace {

const vt::fs::path kData = VELTRANE2_INSTRUMENT_DATA;
const char* const kFiles[] = {"stp-1.stp", "spot_1-1000nm.ibw", "mi-1.mi", "di-1.di", "full_multiple_images.txt"};
// The title of each file's height channel, in the same order.
const char* const kHeights[] = {"Topography", "HeightTrace", "Topography", "Height", "Height"};

class InstrumentRun : public ::testing::Test {
protected:
    void SetUp() override {
        if (!gwyddion::backend_built()) GTEST_SKIP() << "built without Gwyddion";
        for (const char* f : kFiles) vt::fs::copy_file(kData / f, dir / f);
    }
    vt::RunResult run(const std::string& args) {
        return vt::run_command(dir.path(), "'" + std::string(VELTRANE2_BIN) + "' " + args);
    }
    std::vector<std::string> outputs() const {
        std::vector<std::string> names;
        if (vt::fs::exists(dir / "out"))
            for (const auto& e : vt::fs::directory_iterator(dir / "out")) names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    vt::ScratchDir dir;
};

// Each file's height channel, cleaned: .gsf outputs named after the file
// without its extension, carrying the channel's extents and unit, and
// noise + cleaned giving back the input lifted to zero.
TEST_F(InstrumentRun, FolderOfInstrumentFiles) {
    const auto r = run("--preset general -q -o out stp-1.stp spot_1-1000nm.ibw mi-1.mi di-1.di full_multiple_images.txt");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::vector<std::string> expected;
    for (const char* f : kFiles) {
        const std::string stem = vt::fs::path(f).stem().string();
        for (const char* prefix : {"DENOISE_", "FIL_", "NOISE_"}) expected.push_back(prefix + stem + ".gsf");
    }
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(outputs(), expected);

    for (std::size_t n = 0; n < std::size(kFiles); ++n) {
        const std::string f = kFiles[n];
        SCOPED_TRACE(f);
        std::ostringstream quiet;
        const ImageFile in = read_image_file((dir / f).string(), quiet);
        EXPECT_EQ(in.format, FileFormat::kInstrument);
        const std::string stem = vt::fs::path(f).stem().string();
        const GsfImage noise = read_gsf((dir / "out" / ("NOISE_" + stem + ".gsf")).string());
        const GsfImage cleaned = read_gsf((dir / "out" / ("DENOISE_" + stem + ".gsf")).string());
        const GsfImage gain = read_gsf((dir / "out" / ("FIL_" + stem + ".gsf")).string());
        EXPECT_EQ(std::tuple(noise.xres, noise.yres, noise.xreal, noise.xyunits, noise.zunits),
                  std::tuple(in.gsf.xres, in.gsf.yres, in.gsf.xreal, std::string("m"), std::string("m")));
        EXPECT_EQ(cleaned.title, "DENOISE_" + f + " channel 0 '" + kHeights[n] + "'");
        EXPECT_EQ(gain.zunits, "");
        const double lowest = *std::min_element(in.image.values.begin(), in.image.values.end());
        const double highest = *std::max_element(in.image.values.begin(), in.image.values.end());
        double worst = 0.0;
        for (std::size_t k = 0; k < in.image.values.size(); ++k)
            worst = std::max(worst, std::abs(noise.values[k] + cleaned.values[k] - (in.image.values[k] - lowest)));
        // The .gsf values are 32-bit floats.
        EXPECT_LT(worst, (highest - lowest) * 1e-6);
    }
}

TEST_F(InstrumentRun, ChannelByNumberTitleAllHeightAndAbsent) {
    struct Case {
        const char* args;
        int status;
        std::vector<std::string> outputs;
        std::string title;  // of the cleaned image, "" none
        std::string err;
    } cases[] = {
        {"--channel 1 di-1.di", 0, {"DENOISE_di-1.gsf", "FIL_di-1.gsf", "NOISE_di-1.gsf"},
         "DENOISE_di-1.di channel 1 'Height'", ""},
        {"--channel amplitude --format text full_multiple_images.txt", 0,
         {"DENOISE_full_multiple_images.txt", "FIL_full_multiple_images.txt", "NOISE_full_multiple_images.txt"}, "",
         ""},
        // Each height channel, its number and title in the names; a text or
        // .gsf image among them gives its one image.
        {"--channel all-height spot_1-1000nm.ibw di-1.di", 0,
         {"DENOISE_di-1_0_Height.gsf", "DENOISE_di-1_1_Height.gsf", "DENOISE_spot_1-1000nm_0_HeightTrace.gsf",
          "DENOISE_spot_1-1000nm_1_HeightRetrace.gsf", "FIL_di-1_0_Height.gsf", "FIL_di-1_1_Height.gsf",
          "FIL_spot_1-1000nm_0_HeightTrace.gsf", "FIL_spot_1-1000nm_1_HeightRetrace.gsf", "NOISE_di-1_0_Height.gsf",
          "NOISE_di-1_1_Height.gsf", "NOISE_spot_1-1000nm_0_HeightTrace.gsf",
          "NOISE_spot_1-1000nm_1_HeightRetrace.gsf"},
         "DENOISE_di-1.di channel 0 'Height'", ""},
        {"--channel all-height --preset auto di-1.di", 0, {}, "", ""},
        {"--channel all-height small.gsf", 0, {"DENOISE_small.gsf", "FIL_small.gsf", "NOISE_small.gsf"}, "", ""},
        {"--channel all-height stp-1.stp nothing.ibw", 1,
         {"DENOISE_stp-1_0_Topography.gsf", "FIL_stp-1_0_Topography.gsf", "NOISE_stp-1_0_Topography.gsf"}, "",
         "veltrane2: nothing.ibw: I cannot open the input data file: No such file or directory\n"},
        {"--channel Friction mi-1.mi --channel 7", 1, {}, "",
         "veltrane2: mi-1.mi: no channel 7; its channels are 0 'Topography', 1 'Deflection', 2 'Friction', "
         "3 'Friction'\n"},
        {"--channel Height stp-1.stp", 1, {}, "",
         "veltrane2: stp-1.stp: no channel titled 'Height'; its channels are 0 'Topography'\n"},
    };
    GsfImage small;
    small.xres = small.yres = 8;
    small.xreal = small.yreal = 1e-6;
    for (int k = 0; k < 64; ++k) small.values.push_back(1e-9 * (k % 5));
    write_gsf((dir / "small.gsf").string(), small);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        vt::fs::remove_all(dir / "out");
        const std::string args = c.args;
        const auto r = run((args.find("--preset") == std::string::npos ? "--preset general -q -o out " : "-q -o out ") +
                           args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        if (args.find("auto") != std::string::npos) {
            EXPECT_EQ(outputs().size(), 6u);  // the same two channels' names, each image's choice its own
            continue;
        }
        EXPECT_EQ(outputs(), c.outputs);
        if (!c.title.empty()) {
            EXPECT_EQ(read_gsf((dir / "out" / c.outputs.front()).string()).title, c.title);
        }
    }
}

// An instrument file's outputs are .gsf: --skip-existing finds them, and
// a.ibw beside a.gsf would write the same names.
TEST_F(InstrumentRun, SkipExistingAndClashingNames) {
    ASSERT_EQ(run("--preset general -q -o out spot_1-1000nm.ibw").status, 0);
    ASSERT_EQ(run("--preset general -q -o out --channel all-height di-1.di").status, 0);
    const struct {
        const char* args;
        int status;
        const char* out;  // the summary's start, or "" for a usage error
        const char* err;
    } cases[] = {
        {"--skip-existing spot_1-1000nm.ibw", 0, "veltrane2: 0 of 0 images done, 0 failed, 1 up to date, ", ""},
        {"--skip-existing --channel all-height di-1.di", 0, "veltrane2: 0 of 0 images done, 0 failed, 2 up to date, ",
         ""},
        {"--skip-existing di-1.di", 0, "veltrane2: 1 of 1 images done, 0 failed, ", ""},
        {"spot_1-1000nm.ibw sub/spot_1-1000nm.gsf", 2, "",
         "veltrane2: 'spot_1-1000nm.ibw' and 'sub/spot_1-1000nm.gsf' would write outputs of the same names into out\n"
         "Try 'veltrane2 --help'.\n"},
        {"spot_1-1000nm.ibw sub/spot_1-1000nm.txt", 0, "veltrane2: 2 of 2 images done, 0 failed, ", ""},
    };
    vt::fs::create_directories(dir / "sub");
    GsfImage g;
    g.xres = g.yres = 8;
    g.xreal = g.yreal = 1e-6;
    g.values.assign(64, 0.0);
    g.values[3] = 1e-9;
    write_gsf((dir / "sub" / "spot_1-1000nm.gsf").string(), g);
    vt::write_file(dir / "sub" / "spot_1-1000nm.txt", vt::image_text(8, 8, g.values));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const auto r = run(std::string("--preset general -q -o out ") + c.args);
        EXPECT_EQ(r.status, c.status) << r.err;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(r.out.substr(0, std::string(c.out).size()), c.out);
    }
}

// The --report table's channel column is the channel read, picked by
// default, by number or by title, with a ready set and with auto.
TEST_F(InstrumentRun, ReportNamesTheChannelRead) {
    struct Case {
        const char* args;
        std::vector<std::string> channels;  // of each row
    } cases[] = {
        {"--preset general di-1.di", {"0"}},
        {"--preset general --channel 1 di-1.di", {"1"}},
        {"--preset general --channel amplitude full_multiple_images.txt", {"1"}},
        {"--preset general --channel all-height di-1.di", {"0", "1"}},
        {"--preset auto --channel 2 mi-1.mi", {"2"}},
        {"--preset auto stp-1.stp", {"0"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        vt::fs::remove_all(dir / "out");
        const auto r = run(std::string("-q -o out --report out/table.csv ") + c.args);
        ASSERT_EQ(r.status, 0) << r.err;
        std::istringstream table(vt::read_file(dir / "out" / "table.csv"));
        std::string header;
        std::getline(table, header);
        const std::string file = std::string(c.args).substr(std::string(c.args).rfind(' ') + 1);
        std::vector<std::string> got;
        for (std::string row; std::getline(table, row);) {
            EXPECT_EQ(row.substr(0, file.size() + 1), file + ",");
            got.push_back(row.substr(file.size() + 1, row.find(',', file.size() + 1) - file.size() - 1));
        }
        EXPECT_EQ(got, c.channels);
    }
}

TEST_F(InstrumentRun, ListChannels) {
    vt::write_file(dir / "t.txt", vt::image_text(3, 2, {1, 2, 3, 4, 5, 6}));
    const auto r = run("--list-channels t.txt stp-1.stp di-1.di missing.di");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
              "t.txt: 1 channel\n"
              "  0 't.txt' 3 x 2, 5e-06 x 5e-06 m, unit none\n"
              "stp-1.stp: 1 channel\n"
              "  0 'Topography' 256 x 256, 6e-07 x 6e-07 m, unit m (height, default)\n"
              "di-1.di: 4 channels\n"
              "  0 'Height' 512 x 512, 5e-07 x 5e-07 m, unit m (height, default)\n"
              "  1 'Height' 512 x 512, 5e-07 x 5e-07 m, unit m (height)\n"
              "  2 'Phase' 512 x 512, 5e-07 x 5e-07 m, unit deg\n"
              "  3 'AmplitudeError' 512 x 512, 5e-07 x 5e-07 m, unit V\n");
    EXPECT_EQ(r.err, "veltrane2: missing.di: I cannot open the input data file: No such file or directory\n");
    EXPECT_EQ(run("--list-channels --preset general stp-1.stp").status, 2);
}

// Copies cut inside their header fail with Gwyddion's reason, writing
// nothing; the good files of the same batch complete.
TEST_F(InstrumentRun, CutFilesFailAmongGoodOnes) {
    std::string args = "--preset general -q -o out mi-1.mi";
    for (const char* f : kFiles) {
        const std::string cut = std::string("cut_") + f;
        vt::write_file(dir / cut, vt::read_file(dir / f).substr(0, 3000));
        args += " " + cut;
    }
    // Cut in half: the header's sizes say so.
    const std::string stp = vt::read_file(dir / "stp-1.stp");
    vt::write_file(dir / "half.stp", stp.substr(0, stp.size() / 2));
    const auto half = run("--preset general -q -o half half.stp");
    EXPECT_EQ(half.status, 1);
    EXPECT_EQ(half.err, "veltrane2: half.stp: the file ends before the data its header announces: 256 x 256 values "
                        "after a header of 4607 bytes need 528895 bytes, the file has 264447 (cut short?)\n");
    EXPECT_FALSE(vt::fs::exists(dir / "half" / "FIL_half.gsf"));
    const auto r = run(args + " stp-1.stp");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(outputs(), (std::vector<std::string>{"DENOISE_mi-1.gsf", "DENOISE_stp-1.gsf", "FIL_mi-1.gsf",
                                                   "FIL_stp-1.gsf", "NOISE_mi-1.gsf", "NOISE_stp-1.gsf"}));
    std::istringstream lines(r.err);
    int failures = 0;
    for (std::string line; std::getline(lines, line); ++failures)
        EXPECT_EQ(line.rfind("veltrane2: cut_", 0), 0u) << line;
    EXPECT_EQ(failures, 5) << r.err;
    EXPECT_NE(r.err.find("veltrane2: cut_di-1.di: Gwyddion cannot read it: "), std::string::npos) << r.err;
    EXPECT_NE(r.out.find("2 of 7 images done, 5 failed"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace veltrane2
