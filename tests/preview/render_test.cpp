#include "preview/render.hpp"

#include <gtest/gtest.h>

#include "../test_util.hpp"

namespace veltrane2::preview {
namespace {

Image image(int nx, int ny, std::vector<double> z, double span = 2.0, double unit = 1e-6) {
    return Image{nx, ny, span, span, unit, std::move(z)};
}

TEST(Preview, BarLabelsTakeAnSiPrefixForTheirUnit) {
    EXPECT_EQ(value_label(3.2e-9, 3.2e-9, "m"), "3.2 nm");
    EXPECT_EQ(value_label(-1e-10, 3.2e-9, "m"), "-0.1 nm");
    EXPECT_EQ(value_label(0.25, 2.0, "V"), "0.25 V");
    EXPECT_EQ(value_label(1.5e-6, 1.5e-6, "m"), "1.5 \u00b5m");
    EXPECT_EQ(value_label(0.0, 0.0, "m"), "0 fm");
    EXPECT_EQ(value_label(1.23456e-9, 1e-9, ""), "1.235e-09");
}

TEST(Preview, ColoursRangesAndNames) {
    EXPECT_EQ(colour(ColourMap::kInferno, 7.0), (Rgb{252, 255, 164}));
    EXPECT_EQ(colour(ColourMap::kGrey, 0.5), (Rgb{128, 128, 128}));
    // The robust range leaves out a spike; a gain image has the fixed range 0..1.
    std::vector<double> v;
    for (int k = 0; k < 1000; ++k) v.push_back(k);
    v.push_back(1.0e6);
    EXPECT_EQ(percentile(v, 99.5), 995.0);
    EXPECT_EQ(percentile({1.0, 3.0}, 50.0), 2.0);
    const Panel p = make_panel("FIL_a.txt", image(4, 4, std::vector<double>(16, 0.9)), "", Options{});
    EXPECT_EQ(p.lo, 0.0);
    EXPECT_EQ(p.hi, 1.0);
    EXPECT_EQ(run_set("a.txt"), (std::vector<std::string>{"a.txt", "DENOISE_a.txt", "NOISE_a.txt", "FIL_a.txt"}));
}

TEST(Preview, ProgramRunsOnARunAndRefusesBadImages) {
    const std::string bin = VELTRANE2_PREVIEW_BIN;
    vt::ScratchDir dir;
    std::vector<double> z(16 * 16);
    for (int k = 0; k < 256; ++k) z[k] = k % 7;
    for (const char* name : {"s.txt", "DENOISE_s.txt", "NOISE_s.txt", "FIL_s.txt"})
        vt::write_file(dir / name, vt::image_text(16, 16, z));
    const auto ok = vt::run_in(dir.path(), bin + "' --run 's.txt", "");
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_EQ(ok.out, "Saving preview: s_preview.png\n");
    EXPECT_TRUE(vt::fs::exists(dir / "s_preview.png"));

    vt::write_file(dir / "bad.txt", "2 2 1 1 1\n1 2 x 4\n");
    struct Case {
        std::string args;
        std::string err;
    };
    for (const Case& c : {Case{"missing.txt' -o 'x.png",
                               "veltrane2-preview: I cannot open the input data file: No such file or directory\n"},
                          Case{"bad.txt' -o 'x.png",
                               "veltrane2-preview: bad.txt: value 3 of 4 (row 2, column 1) is not a number: 'x'\n"},
                          Case{"s.txt' -o 'nofolder/x.png", "veltrane2-preview: cannot write nofolder/x.png"}}) {
        const auto r = vt::run_in(dir.path(), bin + "' '" + c.args, "");
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.substr(0, c.err.size()), c.err);
        EXPECT_FALSE(vt::fs::exists(dir / "x.png"));
    }
    int files = 0;
    for (const auto& e : vt::fs::directory_iterator(dir.path())) files += e.path().extension() != ".txt";
    EXPECT_EQ(files, 1);                                   // only s_preview.png: no temporary left behind
    EXPECT_EQ(vt::run_in(dir.path(), bin, "").status, 2);  // no image: usage
}

}  // namespace
}  // namespace veltrane2::preview
