#include "preview/render.hpp"

#include <gtest/gtest.h>

#include "../test_util.hpp"

namespace veltrane2::preview {
namespace {

TEST(Preview, BarLabelsTakeAnSiPrefixForTheirUnit) {
    EXPECT_EQ(value_label(3.2e-9, 3.2e-9, "m"), "3.2 nm");
    EXPECT_EQ(value_label(-1e-10, 3.2e-9, "m"), "-0.1 nm");
    EXPECT_EQ(value_label(0.25, 2.0, "V"), "0.25 V");
    EXPECT_EQ(value_label(1.5e-6, 1.5e-6, "m"), "1.5 \u00b5m");
    EXPECT_EQ(value_label(0.0, 0.0, "m"), "0 fm");
    EXPECT_EQ(value_label(1.23456e-9, 1e-9, ""), "1.235e-09");
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
