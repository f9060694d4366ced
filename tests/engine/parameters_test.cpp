// The run parameters' ranges: where each ends, NaN and infinities, and who
// checks them (the library's call, the batch's parameter file, not the
// classic program).
#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "../test_util.hpp"
#include "engine/pipeline.hpp"
#include "run/batch.hpp"

namespace veltrane2 {
namespace {

Parameters with(void (*change)(Parameters&)) {
    Parameters p = Parameters::general();
    change(p);
    return p;
}

TEST(Parameters, RangesEndWhereTheirMeaningEnds) {
    struct Case {
        Parameters p;
        const char* error;  // "" when taken
    } cases[] = {
        {Parameters::general(), ""},
        {Parameters::keep_slope(), ""},
        {Parameters::conservative(), ""},
        {{0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 1}, ""},
        {{1.0, 1.0, 1.0, 1.0, 1e300, 5.0, INT_MAX}, ""},
        {with([](Parameters& p) { p.h_global = -0.001; }),
         "h_G = -0.001 is out of range: a homogeneity threshold, a number from 0 to 1"},
        {with([](Parameters& p) { p.h_global = 1.0000001; }), "h_G = 1.0000001 is out of range"},
        {with([](Parameters& p) { p.h_centre = 1.0000001; }), "h_C = 1.0000001 is out of range"},
        {with([](Parameters& p) { p.h_off = 1.0000001; }), "h_F = 1.0000001 is out of range"},
        {with([](Parameters& p) { p.r_centre = 1.0000001; }), "r_C = 1.0000001 is out of range"},
        {with([](Parameters& p) { p.h_off = NAN; }), "h_F = nan is out of range"},
        {with([](Parameters& p) { p.r_centre = -INFINITY; }),
         "r_C = -inf is out of range: a bright fraction, a number from 0 to 1"},
        {with([](Parameters& p) { p.l_centre = -1.0; }),
         "L_C = -1 is out of range: a line fraction, a number from 0 up"},
        {with([](Parameters& p) { p.l_off = INFINITY; }), "L_F = inf is out of range"},
        {with([](Parameters& p) { p.n_run = 0; }), "N_CP = 0 is out of range: a run length in pixels, from 1 up"},
        {with([](Parameters& p) { p.n_run = INT_MIN; }), "N_CP = -2147483648 is out of range"},
        // the first value out of range is named
        {{-1.0, 2.0, 0.1, 0.5, 0.5, 0.8, 0}, "h_G = -1 "},
    };
    Image image{2, 2, 2.0, 2.0, 1.0, {0.0, 1.0, 2.0, 3.0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.error);
        try {
            check_parameters(c.p);
            EXPECT_STREQ(c.error, "");
        } catch (const RunError& e) {
            EXPECT_EQ(e.kind(), ErrorKind::kBadValue);
            EXPECT_EQ(std::string(e.what()).rfind(c.error, 0), 0u) << e.what();
            EXPECT_STRNE(c.error, "") << e.what();
        }
        // destripe() checks them; the classic program's run (EngineRun) takes
        // any set and still gives finite outputs.
        bool refused = false;
        try {
            destripe(image, c.p);
        } catch (const RunError& e) {
            refused = e.kind() == ErrorKind::kBadValue;
        }
        EXPECT_EQ(refused, *c.error != '\0');
        EngineRun run(c.p, {});
        run.take_image(image);
        const Result r = run.finish();
        for (double v : r.cleaned.values) EXPECT_TRUE(std::isfinite(v));
    }
}

TEST(Parameters, TheBatchRefusesAParameterFileOutOfRange) {
    vt::ScratchDir dir;
    vt::write_file(dir / "p.in", "img.txt\n0.3 0.1 0.1\n1.5\n0.5 0.8 3\n");
    try {
        parse_command_line({"--params", (dir / "p.in").string(), "a.txt"});
        ADD_FAILURE() << "accepted";
    } catch (const UsageError& e) {
        EXPECT_EQ(std::string(e.what()), "bad parameter file: " + (dir / "p.in").string() +
                                             " line 3: r_C = 1.5 is out of range: a bright fraction, a number from 0 to 1");
    }
}

}  // namespace
}  // namespace veltrane2
