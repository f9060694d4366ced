// Instrument files through Gwyddion: the channels of the five sample files,
// the height rule, damaged files, and the answer's bytes.
#include "io/gwyddion/instrument.hpp"

#include <cmath>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

namespace veltrane2::gwyddion {
namespace {

namespace fs = std::filesystem;

const fs::path kData = VELTRANE2_INSTRUMENT_DATA;

Channel channel(int number, std::string title, std::string z_unit = "m") {
    Channel c;
    c.number = number;
    c.title = std::move(title);
    c.xres = c.yres = 4;
    c.xy_unit = "m";
    c.z_unit = std::move(z_unit);
    return c;
}

TEST(InstrumentChannels, HeightRule) {
    struct Case {
        const char* title;
        const char* z_unit;
        bool height;
    } cases[] = {
        {"Height", "m", true},          {"HeightRetrace", "m", true}, {"Topography", "m", true},
        {"topography [fwd]", "m", true}, {"Z", "m", true},             {"Z sensor", "m", true},
        {"ZSensor", "m", true},          {"Height", "V", false},       {"Height", "", false},
        {"Amplitude", "m", false},       {"Frequenz", "m", false},     {"Size", "m", false},
        {"Phase", "deg", false},
    };
    for (const Case& c : cases) EXPECT_EQ(is_height(channel(0, c.title, c.z_unit)), c.height) << c.title;
}

TEST(InstrumentChannels, PickByRuleNumberAndTitle) {
    const std::vector<Channel> channels{channel(0, "Amplitude"), channel(1, "HeightTrace"), channel(2, "Phase", "deg"),
                                        channel(4, "HeightRetrace")};
    struct Case {
        const char* pick;
        std::vector<std::size_t> positions;
    } cases[] = {
        {"", {1}}, {"all-height", {1, 3}}, {"4", {3}}, {"0", {0}}, {"phase", {2}}, {"HeightRetrace", {3}},
    };
    for (const Case& c : cases) EXPECT_EQ(pick_channels(channels, ChannelPick::parse(c.pick)), c.positions) << c.pick;
    ChannelPick none;
    none.kind = ChannelPick::Kind::kNone;
    EXPECT_TRUE(pick_channels(channels, none).empty());
}

TEST(InstrumentChannels, MissingChannelNamesThoseThereAre) {
    const std::vector<Channel> channels{channel(0, "Amplitude"), channel(1, "Phase", "deg")};
    const std::string there = "; its channels are 0 'Amplitude', 1 'Phase'";
    struct Case {
        const char* pick;
        std::string message;
    } cases[] = {
        {"3", "no channel 3" + there},
        {"Height", "no channel titled 'Height'" + there},
        {"", "no height channel (in metres, titled height, topography or Z)" + there +
                 "; pick one by number or title (--channel)"},
        {"all-height", "no height channel (in metres, titled height, topography or Z)" + there +
                           "; pick one by number or title (--channel)"},
    };
    for (const Case& c : cases) {
        try {
            pick_channels(channels, ChannelPick::parse(c.pick));
            ADD_FAILURE() << c.pick;
        } catch (const ReadError& e) {
            EXPECT_EQ(e.what(), c.message);
        }
    }
}

TEST(InstrumentChannels, AnswerBytesRoundTripAndACutAnswerIsRefused) {
    InstrumentFile f;
    f.channels = {channel(0, "Höhe"), channel(3, "")};
    f.channels[0].xoffset = -1.5e-6;
    f.picked.push_back({f.channels[0], std::vector<double>(16)});
    for (std::size_t k = 0; k < 16; ++k) f.picked[0].values[k] = 1e-9 * static_cast<double>(k) - 3e-9;
    const std::string bytes = encode(f);
    const InstrumentFile g = decode(bytes);
    ASSERT_EQ(g.channels.size(), 2u);
    EXPECT_EQ(g.channels[0].title, "Höhe");
    EXPECT_EQ(g.channels[0].xoffset, -1.5e-6);
    EXPECT_EQ(g.channels[1].number, 3);
    ASSERT_EQ(g.picked.size(), 1u);
    EXPECT_EQ(g.picked[0].values, f.picked[0].values);
    EXPECT_THROW(decode(std::string_view(bytes).substr(0, bytes.size() - 1)), ReadError);
    EXPECT_THROW(decode(bytes + "x"), ReadError);
}

class InstrumentFiles : public ::testing::Test {
protected:
    void SetUp() override {
        if (!backend_built()) GTEST_SKIP() << "built without Gwyddion";
    }
};

// What the sample files hold (their README lists the same).
TEST_F(InstrumentFiles, ChannelsAndDefaultChannelOfEachFile) {
    struct Case {
        const char* file;
        std::vector<std::string> titles;
        int side;
        double extent;  // metres
        double first;
    } cases[] = {
        {"stp-1.stp", {"Topography"}, 256, 6e-7, 7.6777433e-11},
        {"spot_1-1000nm.ibw",
         {"HeightTrace", "HeightRetrace", "AmplitudeTrace", "AmplitudeRetrace", "PhaseTrace", "PhaseRetrace",
          "NapPotentialTrace", "NapPotentialRetrace"},
         256, 2.00784e-5, -3.996947e-07},
        {"mi-1.mi", {"Topography", "Deflection", "Friction", "Friction"}, 256, 2e-5, -4.9869003e-07},
        {"di-1.di", {"Height", "Height", "Phase", "AmplitudeError"}, 512, 5e-7, 6.0599801e-09},
        {"full_multiple_images.txt", {"Height", "Amplitude"}, 512, 2e-6, -3.977771e-07},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        const InstrumentFile f = read_isolated((kData / c.file).string(), ChannelPick{});
        std::vector<std::string> titles;
        for (const Channel& ch : f.channels) titles.push_back(ch.title);
        EXPECT_EQ(titles, c.titles);
        ASSERT_EQ(f.picked.size(), 1u);
        const ChannelValues& v = f.picked[0];
        EXPECT_EQ(v.channel.number, 0);
        EXPECT_EQ(v.channel.xres, c.side);
        EXPECT_EQ(v.channel.yres, c.side);
        EXPECT_NEAR(v.channel.xreal, c.extent, c.extent * 1e-5);
        EXPECT_EQ(v.channel.yreal, v.channel.xreal);
        EXPECT_EQ(v.channel.xy_unit, "m");
        EXPECT_EQ(v.channel.z_unit, "m");
        ASSERT_EQ(v.values.size(), static_cast<std::size_t>(c.side * c.side));
        EXPECT_NEAR(v.values[0], c.first, std::abs(c.first) * 1e-7);
    }
}

TEST_F(InstrumentFiles, TraceAndRetraceAreBothHeights) {
    const InstrumentFile f = read_isolated((kData / "spot_1-1000nm.ibw").string(), ChannelPick::parse("all-height"));
    ASSERT_EQ(f.picked.size(), 2u);
    EXPECT_EQ(channel_name(f.picked[0].channel), "0 'HeightTrace'");
    EXPECT_EQ(channel_name(f.picked[1].channel), "1 'HeightRetrace'");
    EXPECT_NE(f.picked[0].values, f.picked[1].values);
}

// A damaged file is refused with Gwyddion's reason; it is never taken as
// unknown (which would send it back to the text reader).
TEST_F(InstrumentFiles, CopiesCutInsideTheHeaderAreRefused) {
    const fs::path dir = fs::path(::testing::TempDir()) / "instrument_cut";
    fs::create_directories(dir);
    for (const char* name : {"stp-1.stp", "spot_1-1000nm.ibw", "mi-1.mi", "di-1.di", "full_multiple_images.txt"}) {
        SCOPED_TRACE(name);
        std::ifstream in(kData / name, std::ios::binary);
        std::string head(3000, '\0');
        in.read(head.data(), 3000);
        const fs::path cut = dir / name;
        std::ofstream(cut, std::ios::binary) << head;
        try {
            read_isolated(cut.string(), ChannelPick{});
            ADD_FAILURE() << "read";
        } catch (const UnknownFormat& e) {
            ADD_FAILURE() << "taken as unknown: " << e.what();
        } catch (const ReadError& e) {
            EXPECT_GT(std::string(e.what()).size(), 10u);
        }
    }
}

// A header that announces more data than the file holds: the file's own
// sizes, checked before any file module reads it.
TEST(InstrumentHeaders, FilesCutShortOfTheirAnnouncedData) {
    const std::string wsxm = "WSxM file copyright UAM\r\nSxM Image file\r\nImage header size: 200\r\n"
                             "[General Info]\r\n    Number of columns: 4\r\n    Number of rows: 2\r\n";
    const std::string cut = "the file ends before the data its header announces: 2 x 4 values after a header of "
                            "200 bytes need ";
    const std::string pico = "fileType      Image\nversion       PicoView 0x10c04\nxPixels       4\n"
                             "yPixels       2\nbufferLabel   Topography\nbufferLabel   Friction\n";
    const std::string pico32 = pico + "data          BINARY_32\n", pico16 = pico + "data          BINARY\n";
    struct Case {
        std::string head;
        std::uintmax_t size;
        std::string why;  // "" taken
    } cases[] = {
        {wsxm, 216, ""},                                                      // two-byte values by default
        {wsxm, 215, cut + "216 bytes, the file has 215 (cut short?)"},
        {wsxm + "    Image Data Type: double\r\n", 263, cut + "264 bytes, the file has 263 (cut short?)"},
        {wsxm + "    Image Data Type: float\r\n", 232, ""},
        {wsxm + "    Image Data Type: complex\r\n", 10, ""},               // a type not known: not judged
        {"Gwyddion Simple Field 1.0\n" + wsxm.substr(23), 10, ""},          // not a WSxM file
        {wsxm.substr(0, 60), 10, ""},                                         // no sizes
        {"WSxM file copyright UAM\r\nImage header size: 99999999999999999999999\r\nNumber of columns: 4\r\n"
         "Number of rows: 2\r\n", 10, ""},                                  // sizes beyond reason: not judged
        {"WSxM file copyright UAM\r\nImage header size: 100\r\nNumber of columns: 4000000\r\n"
         "Number of rows: 4000000\r\n", 10, ""},
        {pico32, pico32.size() + 64, ""},                                   // two images of 2 x 4 four-byte values
        {pico + "data          BINARY_32\r\n", pico32.size() + 1 + 63,
         "the file ends before the data its header announces: 2 images of 2 x 4 values after a header of " +
             std::to_string(pico32.size() + 1) + " bytes need " + std::to_string(pico32.size() + 65) +
             " bytes, the file has " + std::to_string(pico32.size() + 64) + " (cut short?)"},
        {pico16, pico16.size() + 31, "the file ends before the data its header announces: 2 images of 2 x 4 values"},
        {pico16, pico16.size() + 32, ""},
        {pico + "data          ASCII\n", 10, ""},                              // values as text: not judged
    };
    for (const Case& c : cases) {
        const std::string why = cut_short(c.head, c.size);
        EXPECT_EQ(c.why.empty() ? why : why.substr(0, c.why.size()), c.why) << c.head;
    }
}

// The WSxM reader takes a file cut in half and fills the rest with what
// lies beyond; the header's sizes tell it is cut.
// The PicoView reader takes a file a few values short and fills them in;
// cut in half it refuses it itself.
TEST_F(InstrumentFiles, PicoViewFileShortOfItsLastValuesIsRefused) {
    std::ifstream in(kData / "mi-1.mi", std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(cut_short(all, all.size()), "");
    const fs::path cut = fs::path(::testing::TempDir()) / "short.mi";
    std::ofstream(cut, std::ios::binary) << all.substr(0, all.size() - 100);
    try {
        read_isolated(cut.string(), ChannelPick::parse("3"));
        ADD_FAILURE() << "read";
    } catch (const ReadError& e) {
        EXPECT_STREQ(e.what(), "the file ends before the data its header announces: 4 images of 256 x 256 values "
                               "after a header of 5073 bytes need 1053649 bytes, the file has 1053549 (cut short?)");
    }
}

TEST_F(InstrumentFiles, HalfFileIsRefusedByItsHeadersSizes) {
    std::ifstream in(kData / "stp-1.stp", std::ios::binary);
    const std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(cut_short(all, all.size()), "");
    const fs::path half = fs::path(::testing::TempDir()) / "half.stp";
    std::ofstream(half, std::ios::binary) << all.substr(0, all.size() / 2);
    const std::string why = "the file ends before the data its header announces: 256 x 256 values after a header "
                            "of 4607 bytes need 528895 bytes, the file has 264447 (cut short?)";
    for (const auto& read : {read_here, +[](const std::string& p, const ChannelPick& c) { return read_isolated(p, c); }}) {
        try {
            read(half.string(), ChannelPick{});
            ADD_FAILURE() << "read";
        } catch (const UnknownFormat& e) {
            ADD_FAILURE() << "taken as unknown: " << e.what();
        } catch (const ReadError& e) {
            EXPECT_EQ(e.what(), why);
        }
    }
}

TEST_F(InstrumentFiles, UnknownAndMissingFiles) {
    EXPECT_THROW(read_isolated((kData / "README.md").string(), ChannelPick{}), UnknownFormat);
    try {
        read_isolated((kData / "no-such-file.di").string(), ChannelPick{});
        ADD_FAILURE();
    } catch (const UnknownFormat&) {
        ADD_FAILURE() << "a missing file is not an unknown format";
    } catch (const ReadError& e) {
        EXPECT_NE(std::string(e.what()).find("No such file"), std::string::npos) << e.what();
    }
}

}  // namespace
}  // namespace veltrane2::gwyddion
