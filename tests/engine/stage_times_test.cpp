// The stage timing hook: which stages a run reports, in which order, and
// that a run with the hook gives the bytes of a run without it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <veltrane2/veltrane2.hpp>

#include "../test_util.hpp"

namespace veltrane2 {
namespace {

class Recorder : public StageTimes {
public:
    void stage(std::string_view name, double seconds) override {
        names.emplace_back(name);
        all_finite = all_finite && seconds >= 0.0 && seconds < 1e6;
    }
    std::vector<std::string> names;
    bool all_finite = true;
};

Image crop(const Image& in, int nx, int ny) {
    Image out{nx, ny, in.span_x * nx / in.nx, in.span_y * ny / in.ny, in.unit, {}};
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) out.values.push_back(in.at(i, j));
    return out;
}

TEST(StageTimes, EveryStageOnceInRunOrderAndTheSameBytes) {
    const TextImage in = vt::load(vt::fs::path(VELTRANE2_EXAMPLES) / "sample.txt");
    const Image sample{256, 256, in.header.spanx, in.header.spany, in.header.unit, in.z};
    const std::vector<std::string> whole = {"load",    "lift",     "forward", "logamp", "prepare",
                                            "streak",  "refnoise", "centmap", "select", "offsymm",
                                            "levels",  "filter",   "noise",   "cleaned", "cut"};
    Parameters grouped = Parameters::general();
    grouped.grouped = true;
    struct Case {
        const char* name;
        Image image;
        Parameters parameters;
        int threads;
    } cases[] = {
        {"default, one thread", sample, Parameters::general(), 1},
        {"grouped, one thread", sample, grouped, 1},
        {"default, three threads", sample, Parameters::general(), 3},
        {"padded 200 x 256", crop(sample, 200, 256), Parameters::general(), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Options plain;
        plain.threads = c.threads;
        const Result want = destripe(c.image, c.parameters, plain);
        Recorder rec;
        Options timed = plain;
        timed.stage_times = &rec;
        const Result got = destripe(c.image, c.parameters, timed);
        EXPECT_EQ(rec.names, whole);
        EXPECT_TRUE(rec.all_finite);
        EXPECT_TRUE(got.gain.values == want.gain.values);
        EXPECT_TRUE(got.noise.values == want.noise.values);
        EXPECT_TRUE(got.cleaned.values == want.cleaned.values);
    }
}

}  // namespace
}  // namespace veltrane2
