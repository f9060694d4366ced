#include "preview/render.hpp"

#include <gtest/gtest.h>

#include "../test_util.hpp"
#include "io/gsf.hpp"

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

// Rows at 0, 4, 2, 6 (and a diagonal of ones) cleaned to one level: the
// means less their mean, and the figures of that run under the plot.
TEST(Preview, RowPlotOfARun) {
    Image input{4, 4, 1.0, 1.0, 1e-6, {}}, cleaned = input, gain = input;
    for (int j = 0; j < 4; ++j)
        for (int i = 0; i < 4; ++i) {
            input.values.push_back(std::vector<double>{0.0, 4.0, 2.0, 6.0}[j] + (i == j ? 1.0 : 0.0));
            cleaned.values.push_back(5.0 + (i == j ? 1.0 : 0.0));
            gain.values.push_back(i == 2 ? 0.5 : 1.0);
        }
    const RowPlot p = row_plot(input, cleaned, gain, "m");
    EXPECT_EQ(p.input, (std::vector<double>{-3.0, 1.0, -1.0, 3.0}));
    EXPECT_EQ(p.cleaned, (std::vector<double>{0.0, 0.0, 0.0, 0.0}));
    ASSERT_EQ(p.lines.size(), 2u);
    // S = 4 x 7.2 / (4 x 7.2 + 3) once the plane is levelled; the steps
    // between the rows are 4, 2 and 4.
    EXPECT_EQ(p.lines[0], "stripe energy 0.9057 \u2192 0.0000    line-to-line step 4 m \u2192 0 m");
    EXPECT_NE(p.lines[1].find("change along the lines 0.0000    lowered 25.00 % of the spectrum"), std::string::npos)
        << p.lines[1];
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
                               "veltrane2-preview: missing.txt: I cannot open the input data file: No such file or "
                               "directory\n"},
                          Case{"--run' 'bad.txt",
                               "veltrane2-preview: bad.txt: value 3 of 4 (row 2, column 1) is not a number: 'x'\n"},
                          Case{"--run' 'DENOISE_s.txt", "veltrane2-preview: DENOISE_DENOISE_s.txt: I cannot open "},
                          Case{"bad.txt' -o 'x.png",
                               "veltrane2-preview: bad.txt: value 3 of 4 (row 2, column 1) is not a number: 'x'\n"},
                          Case{"s.txt' -o 'nofolder/x.png", "veltrane2-preview: cannot write nofolder/x.png"}}) {
        const auto r = vt::run_in(dir.path(), bin + "' '" + c.args, "");
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err.substr(0, c.err.size()), c.err);
        EXPECT_FALSE(vt::fs::exists(dir / "x.png"));
    }
    // The outputs of a run in a folder, found as the batch writes them:
    // beside the input, in -o DIR (or --out-dir DIR), or in the other
    // format's names.
    vt::fs::create_directories(dir / "dayA" / "out");
    vt::write_file(dir / "dayA" / "a.txt", vt::image_text(16, 16, z));
    vt::write_file(dir / "dayA" / "c.txt", vt::image_text(16, 16, z));
    for (const char* name : {"DENOISE_a.txt", "NOISE_a.txt", "FIL_a.txt"}) {
        vt::write_file(dir / "dayA" / name, vt::image_text(16, 16, z));
        vt::write_file(dir / "dayA" / "out" / name, vt::image_text(16, 16, z));
    }
    for (const char* name : {"DENOISE_c.gsf", "NOISE_c.gsf", "FIL_c.gsf"}) {
        GsfImage g;
        g.xres = g.yres = 16;
        g.xreal = g.yreal = 1e-6;
        g.values = z;
        write_gsf((dir / "dayA" / name).string(), g);
    }
    for (const auto& [args, png] : {std::pair{"--run dayA/a.txt", "dayA/a_preview.png"},
                                    std::pair{"--run dayA/c.txt", "dayA/c_preview.png"},
                                    std::pair{"--run dayA/a.txt -o dayA/out", "dayA/a_preview.png"},
                                    std::pair{"--run dayA/a.txt --out-dir dayA/out -o o.png", "o.png"}}) {
        vt::fs::remove(dir / png);
        const auto r = vt::run_in(dir.path(), bin + "' " + args + " '--grey", "");
        EXPECT_EQ(r.status, 0) << args << r.err;
        EXPECT_EQ(r.out, "Saving preview: " + std::string(png) + "\n");
        EXPECT_TRUE(vt::fs::exists(dir / png)) << args;
    }
    vt::fs::remove(dir / "dayA" / "out" / "NOISE_a.txt");
    const auto missing = vt::run_in(dir.path(), bin + "' --run dayA/a.txt -o dayA/out '--grey", "");
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "veltrane2-preview: dayA/out/NOISE_a.txt: I cannot open the input data file: No such file or "
                           "directory\n");
    vt::fs::remove_all(dir / "dayA");
    vt::fs::remove(dir / "o.png");

    // The run's preview has the row-mean plot under the panels: it is taller
    // than the same four panels alone.
    const auto png_height = [&](const std::string& name) {
        const std::string b = vt::read_file(dir / name);  // IHDR: width and height, big-endian, from byte 16
        return (static_cast<unsigned char>(b[20]) << 24) | (static_cast<unsigned char>(b[21]) << 16) |
               (static_cast<unsigned char>(b[22]) << 8) | static_cast<unsigned char>(b[23]);
    };
    const auto plain = vt::run_in(dir.path(), bin + "' s.txt DENOISE_s.txt NOISE_s.txt FIL_s.txt -o 'plain.png", "");
    ASSERT_EQ(plain.status, 0) << plain.err;
    EXPECT_GT(png_height("s_preview.png"), png_height("plain.png") + 200);
    int files = 0;
    for (const auto& e : vt::fs::directory_iterator(dir.path())) files += e.path().extension() != ".txt";
    EXPECT_EQ(files, 2);                                   // the two PNGs: no temporary left behind
    EXPECT_EQ(vt::run_in(dir.path(), bin, "").status, 2);  // no image: usage
}

}  // namespace
}  // namespace veltrane2::preview
