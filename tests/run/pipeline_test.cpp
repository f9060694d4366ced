// Whole runs of the veltrane2 program.
#include "run/classic.hpp"
#include "io/image_file.hpp"
#include "run/params.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <iostream>
#include <random>

#include "../test_util.hpp"

namespace veltrane2 {
namespace {

using vt::fs::path;

const std::string kBin = VELTRANE2_BIN;
const path kExamples = VELTRANE2_EXAMPLES;

// A scratch folder holding a copy of the bundled sample.
struct SampleDir : vt::ScratchDir {
    SampleDir() { vt::fs::copy_file(kExamples / "sample.txt", *this / "sample.txt"); }
};

std::vector<std::string> folder(const path& dir) {
    std::vector<std::string> names;
    for (const auto& e : vt::fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The image lifted to a minimum of zero, as the run sees it.
std::vector<double> lifted(const TextImage& img) {
    const double mn = *std::min_element(img.z.begin(), img.z.end());
    std::vector<double> v = img.z;
    for (double& x : v) x -= mn;
    return v;
}

TEST(WholeRun, SampleWritesThreeImagesThatAddUpToTheLiftedInput) {
    SampleDir dir;
    const auto r = vt::run_in(dir.path(), kBin, vt::read_file(kExamples / "sample.in"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const auto out = vt::lines(r.out);
    ASSERT_GE(out.size(), 12u);
    EXPECT_EQ(out[0], " RUN MANUAL VELTRANE2");
    EXPECT_EQ(out[1].rfind(" Read in h_G= ", 0), 0u);
    EXPECT_EQ(out[4].rfind(" Read in r_C = ", 0), 0u);
    EXPECT_EQ(out[7].rfind(" Read in N_CP= ", 0), 0u);
    EXPECT_EQ(out[8], "Opening image: sample.txt");
    // The streak is found and both passes run: the three averages in order.
    const auto h = r.out.find("\n Average of H(i j)= ");
    const auto hc = r.out.find("\n Average of H_C= ");
    const auto hf = r.out.find("\n Average of H_F= ");
    EXPECT_NE(h, std::string::npos);
    EXPECT_LT(h, hc);
    EXPECT_LT(hc, hf);
    EXPECT_LT(hf, r.out.find("Saving image: FIL_sample.txt"));
    EXPECT_EQ(out[out.size() - 3], "Saving image: FIL_sample.txt");
    EXPECT_EQ(out[out.size() - 2], "Saving image: NOISE_sample.txt");
    EXPECT_EQ(out[out.size() - 1], "Saving image: DENOISE_sample.txt");
    EXPECT_EQ(folder(dir.path()),
              (std::vector<std::string>{"DENOISE_sample.txt", "FIL_sample.txt", "NOISE_sample.txt", "sample.txt"}));

    const TextImage in = vt::load(dir / "sample.txt");
    const TextImage fil = vt::load(dir / "FIL_sample.txt");
    const TextImage noise = vt::load(dir / "NOISE_sample.txt");
    const TextImage clean = vt::load(dir / "DENOISE_sample.txt");
    for (const char* name : {"FIL_sample.txt", "NOISE_sample.txt", "DENOISE_sample.txt"}) {
        const auto l = vt::lines(vt::read_file(dir / name));
        EXPECT_EQ(l[0], "# sample.txt");
        EXPECT_EQ(l[1], "# " + std::string(kComment));
        EXPECT_EQ(l[2], "256 256 2.000e+00 2.000e+00 1.0e-06 ");
    }
    const std::vector<double> base = lifted(in);
    for (std::size_t k = 0; k < base.size(); ++k) {
        ASSERT_GE(fil.z[k], 0.0);
        ASSERT_LE(fil.z[k], 1.0);
        // Each file holds seven significant digits.
        ASSERT_NEAR(noise.z[k] + clean.z[k], base[k], 1e-5 * (1.0 + std::abs(base[k])));
    }
}

// Spread over the file rows of the row means of (image - clean).
double row_spread(const std::vector<double>& img, const std::vector<double>& clean, int n) {
    double sum = 0.0, sum2 = 0.0;
    for (int j = 0; j < n; ++j) {
        double m = 0.0;
        for (int i = 0; i < n; ++i)
            m += img[static_cast<std::size_t>(j) * n + i] - clean[static_cast<std::size_t>(j) * n + i];
        m /= n;
        sum += m;
        sum2 += m * m;
    }
    const double mean = sum / n;
    return std::sqrt(sum2 / n - mean * mean);
}

// Spread over the file rows of the row means of an image.
double row_mean_spread_of(const std::vector<double>& img, int n) {
    return row_spread(img, std::vector<double>(img.size(), 0.0), n);
}

struct Generated {
    std::string generator_args;
    std::string params;  // three lines of parameters
    int n;
};

// Whole runs on generated striped images: the outputs add up, the gain is
// lowered only on and beside the middle lines (the streak), the level
// estimation lowered the streak away from the centre, and the stripes are
// much weaker in the cleaned image than in the input.
TEST(WholeRun, GeneratedImagesLoseTheirStripes) {
    const std::vector<Generated> cases = {
        {"--size 256 --seed 7 --bow 0.5", vt::read_file(kExamples / "sample.in").substr(11), 256},
        {"--size 128 --seed 3 --surface particles --bow 1.0", "0.4 0.2 0.2\n0.5\n0.5 0.5 3\n", 128},
        {"--size 512 --seed 5 --stripes 2 --tilt 3", "0.4 0.1 0.2\n0.5\n1.5 0.5 2\n", 512},
    };
    for (const Generated& g : cases) {
        vt::ScratchDir dir;
        const std::string gen = std::string("cd '") + dir.path().string() + "' && '" + VELTRANE2_GENERATOR + "' " +
                                g.generator_args + " --clean clean.txt img.txt";
        ASSERT_EQ(std::system(gen.c_str()), 0);
        const auto r = vt::run_in(dir.path(), kBin, "img.txt\n" + g.params);
        ASSERT_EQ(r.status, 0) << g.generator_args << r.err;
        EXPECT_NE(r.out.find(" Average of H_F="), std::string::npos) << g.generator_args;

        const TextImage in = vt::load(dir / "img.txt");
        const TextImage clean = vt::load(dir / "clean.txt");
        const TextImage fil = vt::load(dir / "FIL_img.txt");
        const TextImage noise = vt::load(dir / "NOISE_img.txt");
        const TextImage out = vt::load(dir / "DENOISE_img.txt");
        const std::vector<double> base = lifted(in);
        const int n = g.n;
        const int mid = n / 2;
        int lowered_far = 0;
        int lowered = 0;
        int near_lines = 0;
        for (int j = 1; j <= n; ++j) {
            for (int i = 1; i <= n; ++i) {
                const std::size_t k = static_cast<std::size_t>(j - 1) * n + (i - 1);
                ASSERT_NEAR(noise.z[k] + out.z[k], base[k], 1e-5 * (1.0 + std::abs(base[k])));
                ASSERT_GE(fil.z[k], 0.0);
                ASSERT_LE(fil.z[k], 1.0);
                if (fil.z[k] < 1.0) {
                    ++lowered;
                    near_lines += std::abs(i - mid) <= 2 || std::abs(j - mid) <= 2;
                    if (i == mid && std::abs(j - mid) > n / 8) ++lowered_far;
                }
            }
        }
        EXPECT_GT(lowered_far, n / 4) << g.generator_args;
        EXPECT_GT(near_lines, 0.9 * lowered) << g.generator_args << ": " << near_lines << " of " << lowered;
        std::cout << g.generator_args << ": gain lowered at " << lowered << " frequencies, " << near_lines
                  << " on or beside the middle lines; row-mean spread " << row_spread(in.z, clean.z, n) << " -> "
                  << row_spread(out.z, clean.z, n) << "\n";
        const double before = row_spread(in.z, clean.z, n);
        const double after = row_spread(out.z, clean.z, n);
        EXPECT_LT(after, 0.35 * before) << g.generator_args << ": " << before << " -> " << after;
    }
}

// The grouping mode, run end to end by the test program that switches it on.
TEST(WholeRun, GroupedRunsEstimateClusterByCluster) {
    for (const std::string& gen : {std::string(""), std::string("--size 128 --seed 3 --surface particles --bow 1.0")}) {
        vt::ScratchDir dir;
        std::string input = vt::read_file(kExamples / "sample.in");
        if (gen.empty()) {
            vt::fs::copy_file(kExamples / "sample.txt", dir / "sample.txt");
        } else {
            const std::string cmd =
                "cd '" + dir.path().string() + "' && '" + VELTRANE2_GENERATOR + "' " + gen + " sample.txt";
            ASSERT_EQ(std::system(cmd.c_str()), 0);
            input = "sample.txt\n0.4 0.2 0.2\n0.5\n0.5 0.5 3\n";
        }
        const auto r = vt::run_in(dir.path(), VELTRANE2_GROUPED_BIN, input);
        ASSERT_EQ(r.status, 0) << r.err;
        const auto hf = r.out.find(" Average of H_F=");
        const auto count = r.out.find("\n CLUSTER#= ");
        const auto fixed = r.out.find("\n LEVEL_MAP_ESTIMATOR FIXED PTS= ");
        ASSERT_NE(count, std::string::npos) << r.out;
        EXPECT_LT(hf, count);
        EXPECT_LT(count, fixed);
        EXPECT_LT(fixed, r.out.find("Saving image: FIL_sample.txt"));

        const TextImage in = vt::load(dir / "sample.txt");
        const TextImage fil = vt::load(dir / "FIL_sample.txt");
        const TextImage noise = vt::load(dir / "NOISE_sample.txt");
        const TextImage clean = vt::load(dir / "DENOISE_sample.txt");
        const std::vector<double> base = lifted(in);
        int lowered = 0;
        for (std::size_t k = 0; k < base.size(); ++k) {
            ASSERT_NEAR(noise.z[k] + clean.z[k], base[k], 1e-5 * (1.0 + std::abs(base[k])));
            ASSERT_LE(fil.z[k], 1.0);
            lowered += fil.z[k] < 1.0;
        }
        EXPECT_GT(lowered, 0);
        const int n = static_cast<int>(in.header.nx);
        EXPECT_LT(row_mean_spread_of(clean.z, n), row_mean_spread_of(base, n));
    }
}

TEST(WholeRun, NothingSelectedKeepsTheImage) {
    SampleDir dir;
    const auto r = vt::run_in(dir.path(), kBin, vt::run_input("sample.txt", "1.0 1.0 1.0", "0.5", "0.5 0.8 3"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.find("Average of H_C="), std::string::npos);
    EXPECT_EQ(r.out.find("Average of H_F="), std::string::npos);
    EXPECT_EQ(r.out.find("FORM_SPD_FILTER"), std::string::npos);
    const TextImage in = vt::load(dir / "sample.txt");
    const TextImage fil = vt::load(dir / "FIL_sample.txt");
    const TextImage noise = vt::load(dir / "NOISE_sample.txt");
    const TextImage clean = vt::load(dir / "DENOISE_sample.txt");
    const std::vector<double> base = lifted(in);
    for (std::size_t k = 0; k < base.size(); ++k) {
        ASSERT_EQ(fil.z[k], 1.0);
        ASSERT_LT(std::abs(noise.z[k]), 1e-9);
        ASSERT_NEAR(clean.z[k], base[k], 1e-6 * (1.0 + base[k]));
    }
    EXPECT_EQ(*std::min_element(clean.z.begin(), clean.z.end()) < 1e-9, true);
}

TEST(WholeRun, DebugAndReleaseBuildsWriteIdenticalBytes) {
    const std::string debug = VELTRANE2_DEBUG_BIN;
    const std::string release = VELTRANE2_RELEASE_BIN;
    if (!vt::fs::exists(debug) || !vt::fs::exists(release)) {
        GTEST_SKIP() << "needs both the debug and the release build";
    }
    // The bundled sample, and a larger scan-like image with the parameters
    // that also run the centre pass's run deletion.
    for (const std::string& gen :
         {std::string(""), std::string("--size 512 --seed 21 --surface particles --bow 2.0")}) {
        SampleDir a;
        SampleDir b;
        std::string input = vt::read_file(kExamples / "sample.in");
        if (!gen.empty()) {
            for (const SampleDir* d : {&a, &b}) {
                const std::string cmd =
                    "cd '" + d->path().string() + "' && '" + VELTRANE2_GENERATOR + "' " + gen + " sample.txt";
                ASSERT_EQ(std::system(cmd.c_str()), 0);
            }
            input = "sample.txt\n0.4 0.1 0.2\n0.5\n1.5 0.5 2\n";
        }
        const auto ra = vt::run_in(a.path(), debug, input);
        const auto rb = vt::run_in(b.path(), release, input);
        ASSERT_EQ(ra.status, 0);
        ASSERT_EQ(rb.status, 0);
        EXPECT_EQ(ra.out, rb.out);
        for (const char* name : {"FIL_sample.txt", "NOISE_sample.txt", "DENOISE_sample.txt"}) {
            EXPECT_TRUE(vt::read_file(a / name) == vt::read_file(b / name)) << gen << ": " << name << " differs";
        }
    }
}

TEST(WholeRun, SmallestGridsRun) {
    for (int n : {2, 4}) {
        vt::ScratchDir dir;
        std::vector<double> z;
        for (int k = 0; k < n * n; ++k) z.push_back(std::sin(k) + (k / n) * 0.5);
        vt::write_file(dir / "s.txt", vt::image_text(n, n, z));
        const auto r = vt::run_in(dir.path(), kBin, vt::run_input("s.txt"));
        EXPECT_EQ(r.status, 0) << n << r.err;
        EXPECT_TRUE(vt::fs::exists(dir / "DENOISE_s.txt"));
    }
}

// Small grids, flat and striped images, and parameters at and beyond the
// ends of their ranges: every run completes, or stops on a limit with its
// message, and what it writes adds up.
TEST(WholeRun, ExtremeParametersAndSmallGrids) {
    const std::vector<std::string> params = {"0.0 0.0 0.0\n0.0\n0.0 0.0 0\n",  "0.0 0.0 0.0\n-1\n2.0 2.0 5\n",
                                             "0.3 0.1 0.1\n0.5\n0.5 0.8 3\n",  "0.4 0.1 0.2\n0.5\n1.5 0.5 2\n",
                                             "1.0 1.0 1.0\n0.5\n0.5 0.8 3\n",  "-5 -5 -5\n0.99\n5 5 -3\n",
                                             "0.1 0.02 0.05\n0.1\n0.9 0.9 1\n"};
    std::mt19937 rng(77);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int n : {2, 4, 8, 16, 64}) {
        for (int kind = 0; kind < 3; ++kind) {
            std::vector<double> z(static_cast<std::size_t>(n) * n);
            for (int j = 0; j < n; ++j) {
                const double offset = u(rng) * 3.0;
                for (int i = 0; i < n; ++i)
                    z[static_cast<std::size_t>(j) * n + i] = kind == 0   ? 2.5
                                                             : kind == 1 ? u(rng) + offset
                                                                         : (i == j ? 9.0 : offset);
            }
            for (const std::string& p : params)
                for (const std::string& bin : {kBin, std::string(VELTRANE2_GROUPED_BIN)}) {
                    vt::ScratchDir dir;
                    vt::write_file(dir / "e.txt", vt::image_text(n, n, z));
                    const auto r = vt::run_in(dir.path(), bin, "e.txt\n" + p);
                    ASSERT_TRUE(r.status == 0 || r.status == 4) << n << " " << kind << " " << p << r.err;
                    if (r.status == 4) {
                        EXPECT_EQ(r.err, "STOP 4\n");
                        continue;
                    }
                    const TextImage fil = vt::load(dir / "FIL_e.txt");
                    const TextImage noise = vt::load(dir / "NOISE_e.txt");
                    const TextImage clean = vt::load(dir / "DENOISE_e.txt");
                    TextImage in;
                    in.z = z;
                    const std::vector<double> base = lifted(in);
                    for (std::size_t k = 0; k < base.size(); ++k) {
                        ASSERT_TRUE(std::isfinite(fil.z[k]) && fil.z[k] >= 0.0 && fil.z[k] <= 1.0) << n << " " << p;
                        ASSERT_NEAR(noise.z[k] + clean.z[k], base[k], 1e-5 * (1.0 + std::abs(base[k])))
                            << n << " " << p;
                    }
                }
        }
    }
}

TEST(WholeRun, NonSquareImageIsPaddedAndWarned) {
    vt::ScratchDir dir;
    std::vector<double> z(16 * 8, 1.0);
    z[5] = 3.0;
    vt::write_file(dir / "r.txt", vt::image_text(16, 8, z, 4.0, 1e-9));
    const auto r = vt::run_in(dir.path(), kBin, vt::run_input("r.txt"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\n NXbig NOT THE SAME AS NYbig or size different 16 8 4 4\n"), std::string::npos);
    const TextImage out = vt::load(dir / "DENOISE_r.txt");
    EXPECT_EQ(out.header.nx, 16);
    EXPECT_EQ(out.header.ny, 16);
    EXPECT_EQ(out.header.spanx, 4.0);
}

struct Failure {
    std::string input;
    std::string file_text;  // written as "in.txt" unless empty
    int status;
    std::string err_fragment;
    std::string out_fragment;
};

TEST(WholeRun, FailuresExitNonZeroAndWriteNothing) {
    const std::vector<Failure> cases = {
        {vt::run_input("missing.txt"), "", 1,
         "veltrane2: I cannot open the input data file: No such file or directory\n", "Opening image: missing.txt"},
        {"in.txt\n0.3 0.1\n", "2 2 1 1 1\n1 2 3 4\n", 2, "standard input ended before h_G h_C h_F", ""},
        {"in.txt\n0.3 zero 0.1\n0.5\n0.5 0.8 3\n", "2 2 1 1 1\n1 2 3 4\n", 2, "'zero'", ""},
        {vt::run_input("in.txt"), "2 2 1 1 1\n1 2 3\n", 1, "in.txt: the data end after 3 of 4 values", ""},
        {vt::run_input("in.txt"), "2 2 1 1 1\n1 2 inf 4\n", 1, "value 3 of 4 (row 2, column 1) is not finite", ""},
        {vt::run_input("in.txt"), "# no header\n", 1, "in.txt: no header line", ""},
        {vt::run_input("in.txt"), "12 12 1 1 1\n", 3, "needs a grid of side 12", ""},
        {vt::run_input("in.txt"), "1025 10 1 1 1\n", 4, "STOP 4\n", " NGDTEMP > MXTEMPGD in READIN_NEW_IMAGE\n"},
    };
    for (const Failure& c : cases) {
        vt::ScratchDir dir;
        if (!c.file_text.empty()) vt::write_file(dir / "in.txt", c.file_text);
        const auto before = folder(dir.path());
        const auto r = vt::run_in(dir.path(), kBin, c.input);
        EXPECT_EQ(r.status, c.status) << c.input << r.err;
        EXPECT_NE(r.err.find(c.err_fragment), std::string::npos) << r.err;
        EXPECT_NE(r.out.find(c.out_fragment), std::string::npos) << r.out;
        EXPECT_EQ(folder(dir.path()), before) << "a failed run left files behind";
    }
}

TEST(WholeRun, ATypedFolderGoesBehindThePrefix) {
    // The prefix goes in front of the whole typed name, so "sub/x.txt" is
    // written to "FIL_sub/x.txt": with no such folder the run fails to open it.
    vt::ScratchDir dir;
    vt::fs::create_directory(dir / "sub");
    vt::write_file(dir / "sub" / "x.txt", "2 2 1 1 1\n1 2 3 4\n");
    const auto r = vt::run_in(dir.path(), kBin, vt::run_input("sub/x.txt"));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "veltrane2: I cannot open the output data file: No such file or directory\n");

    vt::fs::create_directory(dir / "FIL_sub");
    vt::fs::create_directory(dir / "NOISE_sub");
    vt::fs::create_directory(dir / "DENOISE_sub");
    const auto ok = vt::run_in(dir.path(), kBin, vt::run_input("sub/x.txt"));
    EXPECT_EQ(ok.status, 0) << ok.err;
    EXPECT_TRUE(vt::fs::exists(dir / "DENOISE_sub" / "x.txt"));
}

TEST(WholeRun, InProcessRunReportsTheSameWay) {
    std::istringstream in("/nonexistent/x.txt\n1 1 1\n1\n1 1 1\n");
    std::ostringstream out, err;
    EXPECT_EQ(veltrane2_main(in, out, err), 1);
    EXPECT_EQ(err.str(), "veltrane2: I cannot open the input data file: No such file or directory\n");
}

}  // namespace
}  // namespace veltrane2
