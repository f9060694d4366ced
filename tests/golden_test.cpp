// Golden runs: generated images and parameter sets run through the program,
// with hashes of what it printed and of every file it wrote, recorded once;
// every completed run's outputs are also checked against each other. To
// print the table anew (only after a deliberate change of output):
//   VELTRANE2_GOLDEN_RECORD=1 build/release/tests/veltrane2_tests --gtest_filter='Golden.*'
// A slow build (the sanitizers' test preset) sets VELTRANE2_TEST_MAX_SIDE to
// leave out the rows of larger images; the release build runs every row.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "test_util.hpp"

namespace {

using veltrane2::TextImage;

struct GoldenCase {
    const char* image;   // make_striped_image options
    const char* params;  // three parameter lines, '|' between them, or "@name" for examples/params/name.in
    bool grouped;        // level estimation by clusters
    const char* stdout_hash;
    const char* files_hash;  // status, standard error and the three outputs
};

// clang-format off
const GoldenCase kCases[] = {
{"--size 2 --seed 1", "@general", false, "d36a69af5d28b0ba", "3f32aeb0cc2aed51"},
    {"--size 4 --seed 2 --stripes 3", "@general", false, "78c45638640a127a", "14b5464de8135890"},
    {"--size 16 --seed 3 --surface particles", "@general", true, "077c64c192deebe5", "860e97c89d548018"},
    {"--size 32 --seed 4 --bow 2", "0.1 0.05 0.05|0.3|1.5 0.9 5", false, "64e57d34ab3b6a64", "cec758ed18ccb7be"},
    {"--size 64 --seed 9", "@general", false, "51c228e6ae6e75be", "4f955ee4b3f9f24a"},
    {"--size 64 --seed 9", "@keep-slope", false, "d8692a10237bf2ed", "8be6a80551902f75"},
    {"--size 64 --seed 9", "@conservative", false, "54c76c6ce53d2693", "25e58e532d383f45"},
    {"--size 64 --seed 9", "0.05 0.02 0.02|0.2|1.5 0.9 5", true, "9555b720427979de", "bee608f148a9cc76"},
    {"--size 64 --seed 9 --cols 48", "@general", false, "7d65d68fdd54d9a6", "0de9f0034d45a5bc"},
    {"--size 64 --seed 9 --rows 40", "0.2 0.1 0.05|0.5|0.5 0.8 1", false, "c7dd8c2aa4e95a71", "9b4b14c376888f78"},
    {"--size 128 --seed 3 --surface particles --bow 1", "@general", false, "248a3ce21c1357f2", "213fc951059cc84d"},
    {"--size 128 --seed 3 --surface particles --bow 1", "@general", true, "7d605bc62eeaf51e", "2c3ade71f91bb1e0"},
    {"--size 128 --seed 3 --surface particles --bow 1", "0.05 0.02 0.02|0.2|1.5 0.9 5", false, "fbedce62281f185e", "ae60c69f8f92e84d"},
    {"--size 128 --seed 3 --surface particles --bow 1", "0.1 0.05 0.05|0.3|1.5 0.9 5", true, "53b27c4abccd82e0", "83d93a34665e3a6a"},
    {"--size 128 --seed 3 --surface particles --bow 1", "1.0 1.0 1.0|0.5|0.5 0.8 3", false, "8a9dff4ebb2340d7", "5a09efe392e1cb50"},
    {"--size 128 --seed 8 --tilt 3 --cols 100 --rows 128", "0.3 0.8 0.1|0.5|0.5 0.8 3", false, "9b5cac7952fd8625", "651a79ee94e854d3"},
    {"--size 256 --seed 5 --surface particles --stripes 2", "@keep-slope", false, "55d34d8b60f9a20a", "5d1b00d70523bc7f"},
    {"--size 256 --seed 5 --surface particles --stripes 2", "0.2 0.1 0.05|0.5|0.5 0.8 3", true, "13e142bd825a8ea2", "a53f55c709778d52"},
    {"--size 256 --seed 5 --surface particles --stripes 2", "0.05 0.02 0.02|0.2|1.5 0.9 5", true, "005ac92c515f3ea0", "30df975850998a13"},
    {"--size 512 --seed 21 --surface particles --stripes 1 --bow 2", "@general", false, "b0daddc5e5f72fcd", "b0b9f804c547cc99"},
    {"--size 512 --seed 12 --stripes 2 --tilt 3", "0.3 0.1 0.1|0.5|0.5 0.8 1", true, "f7f90bac1c04b2f0", "864240cb80c1b787"},
    {"--size 96 --seed 4", "@general", false, "7195d95b9e8d1075", "41e4b3b77826bcf0"},
    {"--size 2048 --seed 4 --cols 1100 --rows 2", "@general", false, "4030f371a9a9610d", "30df975850998a13"},
    {"--size 8 --seed 3 --stripes 5", "0.0 0.0 0.0|0.0|0.0 0.0 0", false, "84833772826ce231", "00d2aa4e19821152"},
    {"--size 8 --seed 3 --stripes 5", "0.0 0.0 0.0|0.0|0.0 0.0 0", true, "84833772826ce231", "00d2aa4e19821152"},
    {"--size 8 --seed 2", "0.0 0.0 0.0|-1|2.0 2.0 5", true, "23314c759a170494", "8632e0fd1f57608f"},
    {"--size 16 --seed 4 --surface particles", "-5 -5 -5|0.99|5 5 -3", false, "1cd77aa45304987a", "6bc1dc522a8827a4"},
    {"--size 16 --seed 4 --surface particles", "0.1 0.02 0.05|0.1|0.9 0.9 1", true, "85d519ea079d2382", "3efc58b37d696706"},
    {"--size 32 --seed 6 --cols 20", "0.2 0.05 0.05|0.3|1.5 0.5 2", true, "655e41daacccc103", "ccda985782b1475c"},
};
// clang-format on

// FNV-1a, continued from h, in 16 hex digits by hex().
std::uint64_t fnv1a(const std::string& s, std::uint64_t h = 1469598103934665603ULL) {
    for (unsigned char c : s) h = (h ^ c) * 1099511628211ULL;
    return h;
}
std::string hex(std::uint64_t v) {
    char buf[17];
    return std::string(buf, static_cast<std::size_t>(std::snprintf(buf, sizeof buf, "%016llx", (unsigned long long)v)));
}

std::string parameter_lines(const std::string& params) {
    if (params[0] == '@') {
        const std::string t = vt::read_file(vt::fs::path(VELTRANE2_EXAMPLES) / "params" / (params.substr(1) + ".in"));
        return t.substr(t.find('\n') + 1);
    }
    std::string s = params + "|";
    std::replace(s.begin(), s.end(), '|', '\n');
    return s;
}

// The gain lies in 0..1, and noise + cleaned is the input (filled out to the
// square grid with its mean) lifted to a minimum of zero, to the seven digits
// of the files.
void expect_outputs_add_up(const vt::ScratchDir& dir) {
    const TextImage in = vt::load(dir / "img.txt");
    const TextImage fil = vt::load(dir / "FIL_img.txt");
    const TextImage noise = vt::load(dir / "NOISE_img.txt");
    const TextImage clean = vt::load(dir / "DENOISE_img.txt");
    const long long n = fil.header.nx;
    double sum = 0.0;
    for (double v : in.z) sum += v;
    std::vector<double> grid(static_cast<std::size_t>(n * n), sum / static_cast<double>(in.z.size()));
    for (long long j = 0; j < in.header.ny; ++j)
        for (long long i = 0; i < in.header.nx; ++i)
            grid[static_cast<std::size_t>(j * n + i)] = in.z[static_cast<std::size_t>(j * in.header.nx + i)];
    const double lift = -*std::min_element(grid.begin(), grid.end());
    for (std::size_t k = 0; k < grid.size(); ++k) {
        ASSERT_TRUE(fil.z[k] >= 0.0 && fil.z[k] <= 1.0) << k;
        ASSERT_NEAR(noise.z[k] + clean.z[k], grid[k] + lift, 1e-5 * (1.0 + std::abs(grid[k] + lift))) << k;
    }
}

TEST(Golden, OutputsAndReportLinesAreUnchanged) {
    const bool record = std::getenv("VELTRANE2_GOLDEN_RECORD") != nullptr;
    for (const GoldenCase& c : kCases) {
        if (std::atoi(std::strstr(c.image, "--size ") + 7) > vt::max_test_side()) continue;
        SCOPED_TRACE(std::string(c.image) + " / " + c.params + (c.grouped ? " / grouped" : ""));
        vt::ScratchDir dir;
        vt::generate(dir.path(), "img.txt", c.image);
        const auto r = vt::run_in(dir.path(), c.grouped ? VELTRANE2_GROUPED_BIN : VELTRANE2_BIN,
                                  "img.txt\n" + parameter_lines(c.params));
        std::uint64_t files = fnv1a(std::to_string(r.status) + '\n' + r.err);
        for (const char* prefix : {"FIL_", "NOISE_", "DENOISE_"}) {
            const auto p = dir / (std::string(prefix) + "img.txt");
            files = fnv1a(vt::fs::exists(p) ? "\1" + vt::read_file(p) : std::string("\0", 1), files);
        }
        if (r.status == 0) expect_outputs_add_up(dir);
        const std::string out_hash = hex(fnv1a(r.out));
        const std::string files_hash = hex(files);
        if (record) {
            std::printf("    {\"%s\", \"%s\", %s, \"%s\", \"%s\"},\n", c.image, c.params,
                        c.grouped ? "true" : "false", out_hash.c_str(), files_hash.c_str());
            continue;
        }
        EXPECT_EQ(out_hash, c.stdout_hash) << r.out;
        EXPECT_EQ(files_hash, c.files_hash) << "status " << r.status << ": " << r.err;
    }
}

}  // namespace
