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
        {"--channel all-height spot_1-1000nm.ibw", 2, {}, "",
         "veltrane2: --channel all-height is not taken by the batch yet: give each channel's number\n"
         "Try 'veltrane2 --help'.\n"},
        {"--channel Friction mi-1.mi --channel 7", 1, {}, "",
         "veltrane2: mi-1.mi: no channel 7; its channels are 0 'Topography', 1 'Deflection', 2 'Friction', "
         "3 'Friction'\n"},
        {"--channel Height stp-1.stp", 1, {}, "",
         "veltrane2: stp-1.stp: no channel titled 'Height'; its channels are 0 'Topography'\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        vt::fs::remove_all(dir / "out");
        const auto r = run(std::string("--preset general -q -o out ") + c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(outputs(), c.outputs);
        if (!c.title.empty()) {
            EXPECT_EQ(read_gsf((dir / "out" / c.outputs.front()).string()).title, c.title);
        }
    }
}

TEST_F(InstrumentRun, ListChannels) {
    const auto r = run("--list-channels stp-1.stp di-1.di missing.di");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out,
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
