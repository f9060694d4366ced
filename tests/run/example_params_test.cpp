// Every ready parameter file of examples/params runs on the bundled sample
// and does what the user's guide says of it.
#include <gtest/gtest.h>

#include <cmath>
#include <set>

#include "../test_util.hpp"

namespace veltrane2 {
namespace {

const vt::fs::path kExamples = VELTRANE2_EXAMPLES;

struct Outcome {
    int lowered = 0;          // frequencies whose gain is below 1
    int near_centre = 0;      // of those, within 6 of the zero frequency
    int off_middle = 0;       // of those, off the middle row and column
    double spread_in = 0.0;   // row-mean spread of the input
    double spread_out = 0.0;  // and of the cleaned image (both against the mean row)
    std::string out;
};

double row_mean_spread(const std::vector<double>& z, int n) {
    double sum = 0.0, sum2 = 0.0;
    for (int j = 0; j < n; ++j) {
        double m = 0.0;
        for (int i = 0; i < n; ++i) m += z[static_cast<std::size_t>(j) * n + i];
        m /= n;
        sum += m;
        sum2 += m * m;
    }
    return std::sqrt(sum2 / n - (sum / n) * (sum / n));
}

Outcome run_file(const vt::fs::path& file) {
    vt::ScratchDir dir;
    vt::fs::copy_file(kExamples / "sample.txt", dir / "sample.txt");
    // The first line names the image: replace it.
    const std::string text = vt::read_file(file);
    EXPECT_EQ(text.substr(0, text.find('\n')), "image.txt");
    const auto r = vt::run_in(dir.path(), VELTRANE2_BIN, "sample.txt" + text.substr(text.find('\n')));
    EXPECT_EQ(r.status, 0) << file << r.err;
    Outcome o;
    o.out = r.out;
    const TextImage fil = vt::load(dir / "FIL_sample.txt");
    const int n = static_cast<int>(fil.header.nx);
    const int c = n / 2;
    for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= n; ++i) {
            if (!(fil.z[static_cast<std::size_t>(j - 1) * n + (i - 1)] < 1.0)) continue;
            ++o.lowered;
            o.near_centre += std::abs(i - c) <= 6 && std::abs(j - c) <= 6;
            o.off_middle += i != c && j != c;
        }
    o.spread_in = row_mean_spread(vt::load(dir / "sample.txt").z, n);
    o.spread_out = row_mean_spread(vt::load(dir / "DENOISE_sample.txt").z, n);
    return o;
}

TEST(ParameterFiles, EachBehavesAsDocumented) {
    std::set<std::string> seen;
    for (const auto& e : vt::fs::directory_iterator(kExamples / "params")) {
        const std::string name = e.path().filename().string();
        seen.insert(name);
        const Outcome o = run_file(e.path());
        EXPECT_NE(o.out.find(" Average of H_F="), std::string::npos) << name;
        EXPECT_GT(o.lowered, 0) << name;
        EXPECT_LT(o.spread_out, o.spread_in) << name;
        if (name == "general.in") {
            // Centre pass on: the middle lines are lowered near the zero
            // frequency too, and neighbouring rows join the streak.
            EXPECT_GT(o.near_centre, 0);
            EXPECT_GT(o.off_middle, 0);
        } else if (name == "keep-slope.in") {
            // Centre pass off: nothing changes near the zero frequency.
            EXPECT_EQ(o.near_centre, 0);
        } else if (name == "conservative.in") {
            // Only the middle row and column are touched.
            EXPECT_EQ(o.off_middle, 0);
            EXPECT_GT(o.near_centre, 0);
        } else {
            ADD_FAILURE() << "no documented behaviour for " << name;
        }
    }
    EXPECT_EQ(seen, (std::set<std::string>{"general.in", "keep-slope.in", "conservative.in"}));
}

}  // namespace
}  // namespace veltrane2
