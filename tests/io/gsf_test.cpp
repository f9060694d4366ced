#include "io/gsf.hpp"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <functional>
#include <limits>
#include <tuple>

#include "../test_util.hpp"
#include "core/errors.hpp"

namespace veltrane2 {
namespace {

using namespace std::string_literals;

std::string floats(std::initializer_list<float> v) {
    std::string s;
    for (float f : v) s.append(reinterpret_cast<const char*>(&f), 4);  // the test machine is little-endian
    return s;
}

TEST(Gsf, WrittenBytesAreExact) {
    GsfImage g;
    g.xres = 2;
    g.yres = 1;
    g.xreal = 2e-6;
    g.yreal = 1e-6;
    g.xoffset = 0.5;
    g.xyunits = "m";
    g.title = "FIL_a\nb\0c"s;  // line breaks and NULs in texts become blanks
    g.values = {1.0, -0.1};
    const std::string header =
        "Gwyddion Simple Field 1.0\nXRes = 2\nYRes = 1\nXReal = 2e-06\nYReal = 1e-06\nXOffset = 0.5\n"
        "XYUnits = m\nTitle = FIL_a b c\n";
    ASSERT_EQ(header.size() % 4, 0u);  // four NULs then
    EXPECT_EQ(format_gsf(g), header + "\0\0\0\0"s + floats({1.0f, -0.1f}));
}

TEST(Gsf, RoundTripKeepsValuesToSinglePrecisionAndTheHeader) {
    GsfImage g{3, 2, 5e-6, 3.3e-6, 1.0, -1e-7, "m", "m", "Height", {}, {0.1, 1e-9, -3.0, 1e30, 0.0, 7.25}};
    std::string bytes = format_gsf(g);
    // Keys this program does not use are read and kept aside; blanks around
    // keys and values, CR line ends and empty lines are taken.
    std::string extra = "Vendor = Acme AFM\r\n\n  Scan rate=1 Hz \n";
    extra.insert(extra.size() - 1, (4 - extra.size() % 4) % 4, ' ');  // the data stay aligned
    bytes.insert(bytes.find("XRes"), extra);
    const GsfImage back = parse_gsf(bytes, "x.gsf");
    EXPECT_EQ(std::make_tuple(back.xres, back.yres, back.xreal, back.yreal, back.xoffset, back.yoffset),
              std::make_tuple(3, 2, 5e-6, 3.3e-6, 1.0, -1e-7));
    EXPECT_EQ(back.xyunits + "|" + back.zunits + "|" + back.title, "m|m|Height");
    EXPECT_EQ(back.other, (std::vector<std::pair<std::string, std::string>>{{"Vendor", "Acme AFM"}, {"Scan rate", "1 Hz"}}));
    for (std::size_t k = 0; k < g.values.size(); ++k) EXPECT_EQ(back.values[k], static_cast<float>(g.values[k]));

    // A last header line ended by the NUL bytes, and data holding a newline.
    std::string tight = "Gwyddion Simple Field 1.0\nXRes = 1\nYRes = 1"s;
    tight.append(4 - tight.size() % 4, '\0');
    const GsfImage one = parse_gsf(tight + "\x0a\x00\x80\x3f"s, "t.gsf");
    EXPECT_EQ(std::make_tuple(one.xres, one.yres, one.values.size()), std::make_tuple(1, 1, std::size_t{1}));
    EXPECT_EQ(one.values[0], std::bit_cast<float>(0x3f80000au));
}

// The lateral units a .gsf may name, as powers of ten of a metre; a unit
// that is not a length (or none) counts as metres.
TEST(Gsf, LengthUnitsAsPowersOfTen) {
    const std::pair<const char*, int> cases[] = {
        {"km", 3}, {"m", 0},    {"mm", -3}, {"um", -6},  {"\xc2\xb5m", -6}, {"\xb5m", -6},
        {"nm", -9}, {"A", -10}, {"pm", -12}, {"fm", -15}, {"", 0},           {"V", 0},
        {"deg", 0}, {"NM", 0},
    };
    for (const auto& [unit, exponent] : cases) EXPECT_EQ(length_unit_exponent(unit), exponent) << unit;
}

TEST(Gsf, BadFilesAreRefusedWithTheirReason) {
    const std::string magic = "Gwyddion Simple Field 1.0\n";
    const auto file = [&](const std::string& header, const std::string& data) {
        std::string s = magic + header;
        s.append(4 - s.size() % 4, '\0');
        return s + data;
    };
    const std::string four = floats({1, 2, 3, 4});
    const std::pair<std::string, const char*> cases[] = {
        {"Gwyddion Simple Field 2.0\nXRes = 1\n", "the first line is not"},
        {"", "the first line is not"},
        {magic + "XRes = 2\nYRes = 2\n", "no NUL byte"},
        {file("YRes = 2\n", four), "no XRes"},
        {file("XRes = 2\n", four), "no YRes"},
        {file("XRes = two\nYRes = 2\n", four), "XRes is not a whole number: 'two'"},
        {file("XRes = 2\nYRes = 0\n", four), "YRes = 0 is not a size"},
        {file("XRes = -2\nYRes = 2\n", four), "XRes = -2 is not a size"},
        {file("XRes = 100000\nYRes = 2\n", four), "XRes = 100000 is not a size from 1 to 65536"},
        {file("XRes = 65536\nYRes = 65536\n", four), "the data end after 4 of 4294967296 values"},
        {file("XRes = 2\nYRes = 2\n", floats({1, 2, 3})), "the data end after 3 of 4 values"},
        {file("XRes = 2\nYRes = 2\nXReal = abc\n", four), "XReal is not a finite number: 'abc'"},
        {file("XRes = 2\nYRes = 2\nYReal = -1\n", four), "YReal = -1 is not a positive extent"},
        {file("XRes = 2\nYRes = 2\nXOffset = inf\n", four), "XOffset is not a finite number"},
        {file("XRes = 2\nYRes = 2\njunk line\n", four), "header line 4 is not \"Key = Value\""},
        {file("XRes = 2\nYRes = 2\n", floats({1, NAN, 3, 4})), "value 2 of 4 (row 1, column 2) is not finite"},
        {file("XRes = 2\nYRes = 2\n", floats({1, 2, 3, -INFINITY})), "value 4 of 4 (row 2, column 2) is not finite"},
        {magic + "XRes = 2\nYRes = 2\n\0x\0\0"s + four, "not padded with NUL bytes"},
    };
    for (const auto& [bytes, fragment] : cases) {
        try {
            parse_gsf(bytes, "scan.gsf");
            ADD_FAILURE() << "accepted, expected: " << fragment;
        } catch (const RunError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::kBadValue);
            EXPECT_EQ(std::string(e.what()).rfind("scan.gsf: ", 0), 0u) << e.what();
            EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
        }
    }
}

// What the reader refuses is refused before anything is written, naming
// the file.
TEST(Gsf, WhatCannotBeReadBackIsNotWritten) {
    vt::ScratchDir dir;
    const GsfImage good{2, 2, 1e-6, 1e-6, 0.0, 0.0, "m", "m", "", {}, {1.0, -2.0, 3e38, -3e38}};
    const std::pair<std::function<void(GsfImage&)>, const char*> cases[] = {
        {[](GsfImage& g) { g.values[2] = 4e38; },
         "value 3 of 4 (row 2, column 1) is 4e+38, which a .gsf file's 32-bit floats cannot hold"},
        {[](GsfImage& g) { g.values[1] = -1e39; }, "value 2 of 4 (row 1, column 2) is -1e+39"},
        {[](GsfImage& g) { g.values[3] = NAN; }, "value 4 of 4 (row 2, column 2) is nan"},
        {[](GsfImage& g) { g.values[0] = INFINITY; }, "value 1 of 4 (row 1, column 1) is inf"},
        {[](GsfImage& g) { g.xreal = 0.0; }, "XReal = 0 is not a positive finite extent"},
        {[](GsfImage& g) { g.yreal = -1e-6; }, "YReal = -1e-06 is not a positive finite extent"},
        {[](GsfImage& g) { g.xreal = INFINITY; }, "XReal = inf is not a positive finite extent"},
        {[](GsfImage& g) { g.yreal = NAN; }, "YReal = nan is not a positive finite extent"},
        {[](GsfImage& g) { g.xoffset = NAN; }, "XOffset = nan is not finite"},
        {[](GsfImage& g) { g.yoffset = -INFINITY; }, "YOffset = -inf is not finite"},
        {[](GsfImage& g) { g.xres = 0; }, "XRes = 0 is not a size from 1 to 65536"},
        {[](GsfImage& g) { g.yres = 3; }, "the image holds 4 values, not 2 x 3"},
    };
    for (const auto& [change, message] : cases) {
        GsfImage g = good;
        change(g);
        const std::string name = (dir / "FIL_x.gsf").string();
        try {
            write_gsf(name, g);
            ADD_FAILURE() << "written: " << message;
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::kBadValue);
            EXPECT_EQ(std::string(e.what()).rfind(name + ": " + message, 0), 0u) << e.what();
        }
        EXPECT_TRUE(vt::fs::is_empty(dir.path())) << message;
    }
    // The edges themselves are written and read back.
    write_gsf((dir / "edge.gsf").string(), good);
    EXPECT_EQ(read_gsf((dir / "edge.gsf").string()).values[2], 3e38f);
}

}  // namespace
}  // namespace veltrane2
