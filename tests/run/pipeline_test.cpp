// Whole runs of the veltrane2 program.
#include <gtest/gtest.h>

#include <filesystem>

#include "io/image_file.hpp"
#include "run/classic.hpp"

#include "../test_util.hpp"

namespace veltrane2 {
namespace {

using vt::fs::path;

const std::string kBin = VELTRANE2_BIN;
using vt::kExamples;

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

// The sample run prints what the README shows and writes three images with
// the input's name, the comment and the input's extent and unit.
TEST(WholeRun, SampleRunAsTheReadmeShowsIt) {
    SampleDir dir;
    const auto r = vt::run_in(dir.path(), kBin, vt::read_file(kExamples / "sample.in"));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out,
              " RUN MANUAL VELTRANE2\n Read in h_G= 0.3\n Read in h_C= 0.1\n Read in h_F= 0.1\n Read in r_C = 0.5\n"
              " Read in L_C= 0.5\n Read in L_F= 0.8\n Read in N_CP= 3\nOpening image: sample.txt\n"
              " Average of H(i j)= 0.11280009187997071\n Average of H_C= 0.15493057118195502\n EXIT 3\n"
              " Average of H_F= 0.24835762379663567\nSaving image: FIL_sample.txt\nSaving image: NOISE_sample.txt\n"
              "Saving image: DENOISE_sample.txt\n");
    const std::string head = "# sample.txt\n# " + std::string(kComment) + "\n256 256 2.000e+00 2.000e+00 1.0e-06 \n";
    for (const char* name : {"FIL_sample.txt", "NOISE_sample.txt", "DENOISE_sample.txt"})
        EXPECT_EQ(vt::read_file(dir / name).substr(0, head.size()), head);
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
        {"in.txt\n0.3 0.1\n", "2 2 1 1 1\n1 2 3 4\n", 2, "standard input ends after line 2, before h_F could be read", ""},
        {"in.txt\n0.3 zero 0.1\n0.5\n0.5 0.8 3\n", "2 2 1 1 1\n1 2 3 4\n", 2, "'zero'", ""},
        {vt::run_input("in.txt"), "2 2 1 1 1\n1 2 3\n", 1, "in.txt: the data end after 3 of 4 values", ""},
        {vt::run_input("in.txt"), "2 2 1 1 1\n1 2 inf 4\n", 1, "value 3 of 4 (row 2, column 1) is not finite", ""},
        {vt::run_input("in.txt"), "# no header\n", 1, "in.txt: no header line", ""},
        {vt::run_input("in.txt"), "0 4 1 1 1\n", 1, "in.txt: the header gives 0 x 4 values; both sizes must be", ""},
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

}  // namespace
}  // namespace veltrane2

namespace veltrane2 {
namespace {

// Every front-end, both modes, square and not: the same scan and the same
// scan raised by 1 um give the same NOISE_ and DENOISE_ (which is lifted to
// a zero minimum), up to the files' digits. The classic program fills out a
// non-square scan, the batch pads it; a fill of zeros would fail here.
TEST(WholeRun, AConstantOffsetChangesNeitherNoiseNorCleanedImage) {
    struct Case {
        const char* program;  // "classic", "grouped" (the classic program in the grouping mode) or batch options
        int nx, ny;
    } cases[] = {
        {"classic", 64, 64}, {"classic", 64, 40}, {"grouped", 48, 64},
        {"--preset general", 64, 40}, {"--preset general --grouped", 50, 30}, {"--preset general", 32, 32},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.program) + " " + std::to_string(c.nx) + " x " + std::to_string(c.ny));
        vt::ScratchDir dir;
        const TextImage g = vt::load(vt::generate(dir.path(), "g.txt", "--size 64 --seed 9 --stripes 2 --bow 1"));
        std::vector<double> z;
        for (int j = 0; j < c.ny; ++j)
            for (int i = 0; i < c.nx; ++i) z.push_back(1e-9 * g.z[static_cast<std::size_t>(j) * 64 + i]);
        std::vector<TextImage> noise, clean;
        for (const double offset : {0.0, 1e-6}) {
            std::vector<double> raised = z;
            for (double& v : raised) v += offset;
            const std::string name = offset == 0.0 ? "a.txt" : "b.txt";
            vt::write_file(dir / name, vt::image_text(c.nx, c.ny, raised, 2.0, 1e-6, 2.0 * c.ny / c.nx));
            const std::string program = c.program;
            const auto r = program == "classic"   ? vt::run_in(dir.path(), kBin, vt::run_input(name))
                           : program == "grouped" ? vt::run_in(dir.path(), VELTRANE2_GROUPED_BIN, vt::run_input(name))
                                                  : vt::run_command(dir.path(), kBin + " -q " + program + " " + name);
            ASSERT_EQ(r.status, 0) << r.err;
            noise.push_back(vt::load(dir / ("NOISE_" + name)));
            clean.push_back(vt::load(dir / ("DENOISE_" + name)));
        }
        double removed = 0.0;
        for (double v : noise[0].z) removed = std::max(removed, std::abs(v));
        ASSERT_GT(removed, 1e-11) << "the run removed nothing";
        ASSERT_EQ(noise[1].z.size(), noise[0].z.size());
        for (std::size_t k = 0; k < noise[0].z.size(); ++k) {
            ASSERT_NEAR(noise[1].z[k], noise[0].z[k], 1e-6 * removed) << k;
            ASSERT_NEAR(clean[1].z[k], clean[0].z[k], 1e-6 * removed) << k;
        }
    }
}

}  // namespace
}  // namespace veltrane2
