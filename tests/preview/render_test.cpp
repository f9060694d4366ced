#include "preview/render.hpp"

#include <cairo.h>
#include <gtest/gtest.h>

#include "../test_util.hpp"

namespace veltrane2::preview {
namespace {

Image image(int nx, int ny, std::vector<double> z, double span = 2.0, double unit = 1e-6) {
    return Image{nx, ny, span, span, unit, std::move(z)};
}

// The colour of pixel (x, y) of a decoded PNG.
Rgb pixel(cairo_surface_t* s, int x, int y) {
    const unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    const auto v = *(reinterpret_cast<const uint32_t*>(data + static_cast<std::ptrdiff_t>(y) * stride) + x);
    return {static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v)};
}

TEST(Preview, BarLabelsTakeAnSiPrefixForTheirUnit) {
    EXPECT_EQ(value_label(3.2e-9, 3.2e-9, "m"), "3.2 nm");
    EXPECT_EQ(value_label(-1e-10, 3.2e-9, "m"), "-0.1 nm");
    EXPECT_EQ(value_label(0.25, 2.0, "V"), "0.25 V");
    EXPECT_EQ(value_label(1.5e-6, 1.5e-6, "m"), "1.5 \u00b5m");
    EXPECT_EQ(value_label(0.0, 0.0, "m"), "0 fm");
    EXPECT_EQ(value_label(1.23456e-9, 1e-9, ""), "1.235e-09");
}

TEST(Preview, ColourMapEnds) {
    EXPECT_EQ(colour(ColourMap::kInferno, 0.0), (Rgb{0, 0, 4}));
    EXPECT_EQ(colour(ColourMap::kInferno, 1.0), (Rgb{252, 255, 164}));
    EXPECT_EQ(colour(ColourMap::kInferno, 7.0), (Rgb{252, 255, 164}));
    EXPECT_EQ(colour(ColourMap::kGrey, 0.5), (Rgb{128, 128, 128}));
    EXPECT_EQ(colour(ColourMap::kGrey, -1.0), (Rgb{0, 0, 0}));
    // Dark to bright: the sum of the channels grows along the map.
    int last = -1;
    for (int k = 0; k <= 20; ++k) {
        const Rgb c = colour(ColourMap::kInferno, k / 20.0);
        const int sum = c[0] + c[1] + c[2];
        EXPECT_GT(sum, last);
        last = sum;
    }
}

TEST(Preview, RobustRangeIgnoresASpike) {
    std::vector<double> v;
    for (int k = 0; k < 1000; ++k) v.push_back(k);
    v.push_back(1.0e6);
    EXPECT_EQ(percentile(v, 99.5), 995.0);
    EXPECT_EQ(percentile(v, 0.5), 5.0);
    EXPECT_EQ(percentile(v, 100.0), 1.0e6);
    EXPECT_EQ(percentile({1.0, 3.0}, 50.0), 2.0);

    Options opt;
    std::vector<double> z(64 * 64, 1.0);
    for (int k = 0; k < 64 * 64; ++k) z[k] = k % 64;
    z[100] = 1.0e9;
    const Panel p = make_panel("spiky.txt", image(64, 64, z), "", opt);
    EXPECT_LT(p.hi, 64.0);
    EXPECT_GE(p.lo, 0.0);
}

TEST(Preview, RunSetAndFilterRange) {
    EXPECT_EQ(run_set("a.txt"), (std::vector<std::string>{"a.txt", "DENOISE_a.txt", "NOISE_a.txt", "FIL_a.txt"}));
    EXPECT_TRUE(is_filter_name("runs/FIL_a.txt"));
    EXPECT_FALSE(is_filter_name("FILM_a.txt"));
    const Panel p = make_panel("FIL_a.txt", image(4, 4, std::vector<double>(16, 0.9)), "", Options{});
    EXPECT_EQ(p.lo, 0.0);
    EXPECT_EQ(p.hi, 1.0);
}

TEST(Preview, LargeImagesAreAveragedDownSmallOnesRepeated) {
    std::vector<double> z(1024 * 1024);
    for (int j = 0; j < 1024; ++j)
        for (int i = 0; i < 1024; ++i) z[static_cast<std::size_t>(j) * 1024 + i] = i + 1000.0 * j;
    const Panel big = make_panel("big.txt", image(1024, 1024, z), "", Options{});
    EXPECT_EQ(big.width, 512);
    EXPECT_EQ(big.height, 512);
    EXPECT_EQ(big.pixels[1], (2 + 3 + 1002 + 1003) / 4.0);  // block of columns 2, 3 in rows 0, 1

    const Panel small = make_panel("small.txt", image(2, 2, {0, 1, 2, 3}), "", Options{});
    EXPECT_EQ(small.width, 128);
    EXPECT_EQ(small.scale, 64);
    EXPECT_EQ(small.pixels[63], 0.0);
    EXPECT_EQ(small.pixels[64], 1.0);
    EXPECT_EQ(small.extent, "2 \u00b5m \u00d7 2 \u00b5m");
}

TEST(Preview, PngHasTheLayoutAndKnownColours) {
    vt::ScratchDir dir;
    Options opt;
    opt.map = ColourMap::kGrey;
    // Rows from the top: 0 1 / 2 3.
    std::vector<Panel> panels = {make_panel("a.txt", image(2, 2, {0, 1, 2, 3}), "m", opt),
                                 make_panel("FIL_a.txt", image(2, 2, {0, 1, 0.5, 1}), "", opt)};
    const std::string out = (dir / "p.png").string();
    write_png(panels, opt, out);

    cairo_surface_t* s = cairo_image_surface_create_from_png(out.c_str());
    ASSERT_EQ(cairo_surface_status(s), CAIRO_STATUS_SUCCESS);
    const Layout l = layout(panels);
    EXPECT_EQ(cairo_image_surface_get_width(s), l.width);
    EXPECT_EQ(cairo_image_surface_get_height(s), l.height);
    const auto [x0, y0] = l.origins[0];
    EXPECT_EQ(pixel(s, x0 + 10, y0 + 10), (Rgb{0, 0, 0}));
    EXPECT_EQ(pixel(s, x0 + 100, y0 + 10), (Rgb{85, 85, 85}));
    EXPECT_EQ(pixel(s, x0 + 10, y0 + 100), (Rgb{170, 170, 170}));
    EXPECT_EQ(pixel(s, x0 + 100, y0 + 100), (Rgb{255, 255, 255}));
    const auto [x1, y1] = l.origins[1];
    EXPECT_EQ(pixel(s, x1 + 10, y1 + 100), (Rgb{128, 128, 128}));  // gain 0.5 on the fixed 0..1 range
    cairo_surface_destroy(s);
    EXPECT_LT(vt::fs::file_size(out), 3u * 1024 * 1024);
    EXPECT_EQ(std::distance(vt::fs::directory_iterator(dir.path()), vt::fs::directory_iterator()), 1);
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
