#include "io/text_image.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <tuple>

#include "../test_util.hpp"
#include "core/errors.hpp"

namespace veltrane2 {
namespace {

std::string printf_e(double v, int width, int precision) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%*.*e", width, precision, v);
    return buf;
}

std::string ours_e(double v, int width, int precision) {
    char buf[64];
    char* end = format_e(buf, v, width, precision);
    return std::string(buf, end);
}

// The fast formatting must give the bytes of printf's "%12.6e", "%9.3e" and
// "%5.1e" for every value.
TEST(TextFormat, ExponentFormMatchesPrintf) {
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> values = {0.0, -0.0, 1.0, -1.0, 9.9999995, 9.99999949999, 0.5, 12345675.0, 12345685.0,
                                  1.25, 0.125, 2.5e-7, 1e-300, 1e300, 5e-324, std::numeric_limits<double>::min(),
                                  std::numeric_limits<double>::max(), inf, -inf, nan, -nan, 9.5, 99.95, 0.00015};
    std::mt19937_64 rng(12345);
    for (int k = 0; k < 200000; ++k) {
        const std::uint64_t bits = rng();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        values.push_back(v);
    }
    std::uniform_real_distribution<double> u(-1000.0, 1000.0);
    for (int k = 0; k < 100000; ++k) values.push_back(u(rng));
    for (int k = 0; k < 20000; ++k) {
        // Decimal values with 8 significant digits ending in 5: ties or near-ties.
        const long long m = static_cast<long long>(rng() % 90000000ULL) + 10000000LL;
        values.push_back(static_cast<double>(m / 10 * 10 + 5) * std::pow(10.0, static_cast<int>(rng() % 40) - 20));
    }
    for (double v : values) {
        ASSERT_EQ(ours_e(v, 12, 6), printf_e(v, 12, 6)) << v;
        ASSERT_EQ(ours_e(v, 9, 3), printf_e(v, 9, 3)) << v;
        ASSERT_EQ(ours_e(v, 5, 1), printf_e(v, 5, 1)) << v;
    }
}

TEST(TextFormat, HeaderLineMatchesPrintf) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "%d %d %9.3e %9.3e %5.1e \n", 1024, 7, 5.0, 12345.678, 1e-9);
    EXPECT_EQ(format_header(1024, 7, 5.0, 12345.678, 1e-9), buf);
    EXPECT_EQ(format_header(2, 2, 5.0, 5.0, 1.0), "2 2 5.000e+00 5.000e+00 1.0e+00 \n");
}

// A written image replaces the file of its name whole, with the exact layout
// and a plain file's permissions, and leaves nothing else behind.
TEST(TextFormat, WrittenFileHasTheExactLayout) {
    vt::ScratchDir dir;
    std::ostringstream out;
    // Repeated values (the two zeros are not the same value) across a row end.
    const double z[] = {1.0, 2.0, 2.0, 1234567.89, 0.0, -0.0, -0.0, -0.0};
    const auto path = (dir / "OUT_img.txt").string();
    vt::write_file(path, "old contents\n");
    saveimage(out, "img.txt", path, "a comment", 2, 4, 5.0, 5.0, z, 1.0);
    EXPECT_EQ(out.str(), "Saving image: " + path + "\n");
    EXPECT_EQ(vt::read_file(path),
              "# img.txt\n# a comment\n2 4 5.000e+00 5.000e+00 1.0e+00 \n"
              "1.000000e+00 2.000000e+00 \n2.000000e+00 1.234568e+06 \n"
              "0.000000e+00 -0.000000e+00 \n-0.000000e+00 -0.000000e+00 \n");
    EXPECT_NE(vt::fs::status(path).permissions() & vt::fs::perms::others_read, vt::fs::perms::none);
    EXPECT_EQ(std::distance(vt::fs::directory_iterator(dir.path()), vt::fs::directory_iterator()), 1);
}

// What a file holds before its header, how its values are laid out, and the
// number forms read: the values and the warnings printed.
TEST(TextFormat, ReadingTable) {
    std::string ones;
    for (int k = 0; k < 256 * 256; ++k) ones += "1 ";
    const struct {
        std::string text;
        std::vector<double> first;  // the first values read
        std::string warnings;
    } cases[] = {
        {"! a\n# b\n\n256 256 5.0 5.0 1.0e-06 sixth\n" + ones, {1, 1}, ""},
        {"   \nnot a header\n2 2 5.0\n2 2 5 5 1\n1 2 3 4\n", {1, 2, 3, 4},
         "WARNING: There are -1 fields in the header, instead of 5\n"
         "WARNING: There are 0 fields in the header, instead of 5\n"
         "WARNING: There are 3 fields in the header, instead of 5\n"},
        {"4 2 1 1 1\n1 2 3 4\n5 6\n7\n\n8\n", {1, 2, 3, 4, 5, 6, 7, 8}, ""},
        {"4 1 1 1 1\n+1.5 1e-400 -2E+3 0x1.8p1\n", {1.5, 0.0, -2000.0, 3.0}, ""},
        {"2 2 1 1 1\r\n1\f2\v\r\n3\t4\r\n", {1, 2, 3, 4}, ""},  // line ends of two bytes, every blank
        {std::string("\0 led\n", 6) + "1 1 1 1 1\n5\n", {5.0}, ""},  // a line led by NUL is passed over
    };
    for (const auto& c : cases) {
        vt::ScratchDir dir;
        vt::write_file(dir / "in.txt", c.text);
        std::ostringstream out;
        const TextImage img = loadimage((dir / "in.txt").string(), out, 1 << 20);
        EXPECT_EQ(out.str(), "Opening image: " + (dir / "in.txt").string() + "\n" + c.warnings);
        EXPECT_EQ(std::vector<double>(img.z.begin(), img.z.begin() + static_cast<long>(c.first.size())), c.first);
    }
}

// The limit on the values read is inclusive, for each side and for their
// product.
TEST(TextFormat, AsManyValuesAsTheLimitAreRead) {
    const std::pair<const char*, bool> cases[] = {
        {"4 1 1 1 1\n1 2 3 4\n", true},
        {"1 4 1 1 1\n1\n2\n3\n4\n", true},
        {"5 1 1 1 1\n1 2 3 4 5\n", false},
        {"2 3 1 1 1\n1 2\n3 4\n5 6\n", false},
    };
    for (const auto& [text, taken] : cases) {
        vt::ScratchDir dir;
        vt::write_file(dir / "in.txt", text);
        std::ostringstream out;
        try {
            EXPECT_EQ(loadimage((dir / "in.txt").string(), out, 4).z.size(), 4u) << text;
            EXPECT_TRUE(taken) << text;
        } catch (const RunError& e) {
            EXPECT_FALSE(taken) << text;
            EXPECT_NE(std::string(e.what()).find("more than the 4 that can be read"), std::string::npos) << e.what();
        }
    }
}

TEST(TextFormat, MalformedOrMissingFilesAreRefusedWithTheReason) {
    const std::pair<const char*, const char*> cases[] = {
        {"# only comments\n\n", "bad.txt: no header line"},
        {"0 4 1 1 1\n", "both sizes must be positive"},
        {"4 -1 1 1 1\n", "both sizes must be positive"},
        {"2 2 1 1 1\n1 2 3\n", "the data end after 3 of 4 values"},
        {"2 2 1 1 1\n1 2 x3 4\n", "value 3 of 4 (row 2, column 1) is not a number: 'x3'"},
        {"2 2 1 1 1\n1 2 3 4e\n", "value 4 of 4"},
        {"2 2 1 1 1\n1 nan 3 4\n", "value 2 of 4 (row 1, column 2) is not finite"},
        {"2 2 1 1 1\n1 2 -inf 4\n", "value 3 of 4"},
        {"2 2 1 1 1\n1 2 1e999 4\n", "value 3 of 4"},
        {"2000 2000 1 1 1\n", "more than the 1048576"},
        // Sizes whose product a 64-bit count cannot hold.
        {"4611686018427387904 4 1 1 1\n", "gives 4611686018427387904 x 4 values, more than the 1048576"},
        {"4 4611686018427387904 1 1 1\n", "gives 4 x 4611686018427387904 values, more than the 1048576"},
    };
    vt::ScratchDir dir;
    for (const auto& [text, fragment] : cases) {
        vt::write_file(dir / "bad.txt", text);
        std::ostringstream out;
        try {
            loadimage((dir / "bad.txt").string(), out, 1 << 20);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const RunError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::kBadValue);
            EXPECT_NE(std::string(e.what()).find(fragment), std::string::npos) << e.what();
        }
    }
    // A file that cannot be opened is an I/O failure with its errno and path.
    std::ostringstream out;
    const double z[] = {1.0};
    const std::string missing_folder = (dir / "no-such-folder" / "x.txt").string();
    const std::pair<std::function<void()>, std::tuple<std::string, std::string>> io_cases[] = {
        {[&] { loadimage("/nonexistent/in.txt", out, 16); },
         {"I cannot open the input data file: No such file or directory", "/nonexistent/in.txt"}},
        {[&] { saveimage(out, "a", missing_folder, "c", 1, 1, 1, 1, z, 1); },
         {"I cannot open the output data file: No such file or directory", missing_folder}},
    };
    for (const auto& [call, expected] : io_cases) {
        try {
            call();
            ADD_FAILURE() << std::get<0>(expected);
        } catch (const Error& e) {
            EXPECT_EQ(std::tuple(e.kind(), e.error_number(), std::string(e.what()), e.path()),
                      std::tuple_cat(std::tuple(ErrorKind::kIo, ENOENT), expected));
        }
    }
}

// Data too short for the header's sizes by their length alone are refused
// before any storage is set aside for the values, with the message reading
// them gives; data that may be long enough are left to the reading.
TEST(TextFormat, DataTooShortForTheHeaderAreRefusedBeforeTheirStorage) {
    const std::pair<std::string, const char*> cases[] = {
        {"4096 4096 1 1 1e-6\n1 2 3\n", "x.txt: the data end after 3 of 16777216 values"},
        {"3 3 1 1 1\n1 2 3 4", "x.txt: the data end after 4 of 9 values"},
        {"3 3 1 1 1\n1 2 x 4", "x.txt: value 3 of 9 (row 1, column 3) is not a number: 'x'"},
        {"3 3 1 1 1\n1 2 3 nan 5 6 ", "x.txt: value 4 of 9 (row 2, column 1) is not finite: 'nan'"},
        {"2 2 1 1 1\n1 2 3 4", ""},    // seven characters may hold four values
        {"2 2 1 1 1\n1 2 3  ", ""},    // the reading finds these short
        {"2 2 1 1 1\n1 2 3 ", "x.txt: the data end after 3 of 4 values"},  // six cannot
        {"2 2 1 1 1\n\n\n\n\n\n\n\n", ""},
    };
    std::ostringstream quiet;
    for (const auto& [text, message] : cases) {
        const TextImageReader reader("x.txt", text, quiet);
        std::string early, reading;
        try {
            reader.refuse_short_data();
        } catch (const Error& e) {
            EXPECT_EQ(e.kind(), ErrorKind::kBadValue);
            early = e.what();
        }
        EXPECT_EQ(early, message) << text;
        if (early.empty() || reader.header().nx * reader.header().ny > 100) continue;
        std::vector<double> z(static_cast<std::size_t>(reader.header().nx * reader.header().ny));
        try {
            reader.read_values(z.data());
        } catch (const Error& e) {
            reading = e.what();
        }
        EXPECT_EQ(reading, early) << text;
    }
}

// A write that fails half way (here: the file size limit, as a full disk
// would) is reported, and the file of that name keeps its old contents.
TEST(TextFormat, FailedWriteLeavesTheOldFileAndNoTemporary) {
    vt::ScratchDir dir;
    const auto path = dir / "FIL_x.txt";
    vt::write_file(path, "old contents\n");
    std::vector<double> z(256 * 256, 1.0);
    std::ostringstream out;

    struct sigaction ignore {
    }, old_action{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGXFSZ, &ignore, &old_action);
    rlimit old_limit{};
    getrlimit(RLIMIT_FSIZE, &old_limit);
    rlimit small = old_limit;
    small.rlim_cur = 4096;
    setrlimit(RLIMIT_FSIZE, &small);
    int threw = 0;
    for (int threads : {1, 3}) {  // a failed write stops every part
        try {
            saveimage(out, "x.txt", path.string(), "c", 256, 256, 1, 1, z.data(), 1, threads);
        } catch (const RunError& e) {
            ++threw;
            EXPECT_NE(std::string(e.what()).find("I cannot write the output data file"), std::string::npos);
            EXPECT_EQ(std::tuple(e.kind(), e.error_number(), e.path()), std::tuple(ErrorKind::kIo, EFBIG, path.string()));
        }
    }
    setrlimit(RLIMIT_FSIZE, &old_limit);
    sigaction(SIGXFSZ, &old_action, nullptr);

    EXPECT_EQ(threw, 2);
    EXPECT_EQ(vt::read_file(path), "old contents\n");
    EXPECT_EQ(std::distance(vt::fs::directory_iterator(dir.path()), vt::fs::directory_iterator()), 1);
}

// With standard input closed the temporary is opened as descriptor 0, which
// is a success whatever errno holds from before (here what a clash of
// temporary names leaves): it is written and renamed, and no other is made.
TEST(TextFormat, TemporaryOnDescriptorZeroIsTheOneWritten) {
    vt::ScratchDir dir;
    const int saved = ::dup(0);
    ::close(0);
    errno = EEXIST;
    std::ostringstream out;
    const double z[] = {2.5};
    saveimage(out, "x.txt", (dir / "o.txt").string(), "c", 1, 1, 1, 1, z, 1);
    ::dup2(saved, 0);
    ::close(saved);
    EXPECT_TRUE(vt::read_file(dir / "o.txt").ends_with(" \n2.500000e+00 \n"));
    EXPECT_EQ(std::distance(vt::fs::directory_iterator(dir.path()), vt::fs::directory_iterator()), 1);
}


// Large files are parsed and written in stretches side by side: the values,
// the bytes and the first bad value in file order are those of one thread.
TEST(TextFormat, ParallelReadingAndWritingMatchOneThread) {
    const int n = 512;
    std::vector<double> z(static_cast<std::size_t>(n) * n);
    for (std::size_t k = 0; k < z.size(); ++k) z[k] = std::sin(0.001 * k) * 1e3 + static_cast<double>(k % 7);
    vt::ScratchDir dir;
    std::ostringstream quiet;
    saveimage(quiet, "a", (dir / "one.txt").string(), "c", n, n, 2.0, 2.0, z.data(), 1e-6, 1);
    saveimage(quiet, "a", (dir / "three.txt").string(), "c", n, n, 2.0, 2.0, z.data(), 1e-6, 3);
    const std::string text = vt::read_file(dir / "one.txt");
    EXPECT_TRUE(text == vt::read_file(dir / "three.txt"));
    const std::string big = text + text;  // large enough to be read in stretches
    vt::write_file(dir / "big.txt", big);
    EXPECT_TRUE(read_whole_file((dir / "big.txt").string(), 3) == big);
    const auto read = [&](const std::string& t, int threads) {
        std::vector<double> v(z.size());
        try {
            TextImageReader("x.txt", t, quiet).read_values(v.data(), threads);
        } catch (const RunError& e) {
            return std::make_pair(std::vector<double>{}, std::string(e.what()));
        }
        return std::make_pair(v, std::string());
    };
    // Bad values after the first stretch boundary and inside two stretches,
    // data that end early, junk after the last value.
    const auto bad = [&](std::initializer_list<std::size_t> at) {
        std::string t = text;
        for (std::size_t p : at) t[t.find(' ', p) + 1] = 'x';
        return t;
    };
    // A last value of one character after a blank, whichever of the last
    // few bytes the last stretch boundary falls on: the last stretch ends at
    // the end of the data.
    const std::string upto_last = text.substr(0, text.rfind(' ', text.size() - 3) + 1);
    for (const std::string& c : {text, text + " junk", text.substr(0, text.size() - 40), bad({text.size() / 3}),
                                 bad({text.size() / 6, text.size() * 2 / 3}), upto_last + "7", upto_last + " 7",
                                 upto_last + "  7"}) {
        const auto one = read(c, 1);
        const auto many = read(c, 3);
        EXPECT_EQ(one.second, many.second);
        EXPECT_TRUE(one.first == many.first);
    }
    EXPECT_NEAR(read(text, 3).first.back(), z.back(), 1e-3);
}

}  // namespace
}  // namespace veltrane2
