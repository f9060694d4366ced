// The automatic choice: its criterion, what it chooses on a clean and on a
// striped image, and that candidates sharing one spectrum give what
// separate runs give.
#include "engine/auto_choice.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <sstream>
#include <tuple>

namespace veltrane2 {
namespace {

// A 128 x 128 surface of smooth bumps, plus row offsets of the given size.
Image surface(double offsets, unsigned seed = 3) {
    const int n = 128;
    Image im{n, n, 2.0, 2.0, 1e-6, std::vector<double>(static_cast<std::size_t>(n) * n)};
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<std::array<double, 3>> bumps(40);
    for (auto& b : bumps) b = {u(rng) * n, u(rng) * n, 3.0 + 6.0 * u(rng)};
    for (int j = 0; j < n; ++j) {
        const double o = offsets * (u(rng) - 0.5);
        for (int i = 0; i < n; ++i) {
            double z = o;
            for (const auto& b : bumps) {
                const double dx = i - b[0], dy = j - b[1];
                z += std::exp(-(dx * dx + dy * dy) / (2 * b[2] * b[2]));
            }
            im.at(i, j) = z;
        }
    }
    return im;
}

TEST(AutoChoice, ScoreOfARun) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double step_in, step_out, change, score;
    } cases[] = {
        {2.0, 2.0, 0.0, 0.5},                        // nothing gained: the margin alone
        {2.0, 1.0, 0.0, std::log(0.5) + 0.5},        // halving the steps is not enough
        {1.0, 0.1, 0.1, std::log(0.1) + 0.5 + 0.5},  // a tenth of the steps, a little change: taken
        {1.0, 0.01, 0.9, std::log(0.01) + 4.5 + 0.5},
        {0.0, 0.0, 0.0, 0.5},
        {0.0, 1e-9, 0.0, inf},  // steps where there were none
        {1.0, 0.0, 0.0, -inf},
        {1.0, 0.5, inf, inf},
    };
    for (const Case& c : cases) {
        RunFigures f;
        f.input.line_step = c.step_in;
        f.cleaned.line_step = c.step_out;
        f.change_along_lines = c.change;
        EXPECT_DOUBLE_EQ(auto_score(f), c.score) << c.step_in << " " << c.step_out << " " << c.change;
    }
}

// The lowest score is taken; of equal scores, the earliest candidate, in
// whatever order the lanes met them.
TEST(AutoChoice, TheEarliestOfEqualScoresIsTaken) {
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double score;
        std::size_t k;
        double best_score;
        std::size_t best_k;
        bool taken;
    } cases[] = {
        {0.5, 4, 0.6, 2, true},  {0.6, 4, 0.5, 2, false}, {0.5, 4, 0.5, 2, false},
        {0.5, 1, 0.5, 2, true},  {0.5, 2, 0.5, 2, false}, {inf, 0, inf, 3, true},
        {-inf, 6, 0.0, 0, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(preferred(c.score, c.k, c.best_score, c.best_k), c.taken)
            << c.score << " at " << c.k << " against " << c.best_score << " at " << c.best_k;
}

TEST(AutoChoice, LeavesAScanWithoutStripesAndCleansOneWithStrongRowOffsets) {
    struct Case {
        double offsets;
        bool leave;
    } cases[] = {{0.0, true}, {3.0, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.offsets);
        const Image im = surface(c.offsets);
        const AutoResult a = destripe_auto(im);
        ASSERT_EQ(a.candidates.size(), 7u);
        const Candidate& chosen = a.candidates[a.chosen];
        EXPECT_EQ(chosen.leave, c.leave) << chosen.name;
        for (const Candidate& k : a.candidates) EXPECT_LE(chosen.score, k.score) << k.name;
        if (c.leave) {
            // The input lifted to a zero minimum, the gain 1, no noise.
            double low = im.values[0];
            for (double v : im.values) low = std::min(low, v);
            for (std::size_t k = 0; k < im.values.size(); ++k) {
                ASSERT_EQ(a.result.cleaned.values[k], im.values[k] - low);
                ASSERT_EQ(a.result.noise.values[k], 0.0);
                ASSERT_EQ(a.result.gain.values[k], 1.0);
            }
        } else {
            EXPECT_LT(chosen.figures.cleaned.line_step, 0.1 * chosen.figures.input.line_step);
            EXPECT_LT(chosen.figures.cleaned.stripe_energy, chosen.figures.input.stripe_energy);
        }
    }
}

// Heights scaled by a power of two far outside the doubles' middle range
// give the same choice, scores and figures (the line steps scaled), bit for
// bit: the run and the figures both take such heights scaled back.
TEST(AutoChoice, HeightsScaledByAPowerOfTwoChooseAlike) {
    Image base = surface(3.0);
    const auto [lo, hi] = std::minmax_element(base.values.begin(), base.values.end());
    const int range_exponent = std::ilogb(*hi - *lo);
    for (double& v : base.values) v = std::ldexp(v, -range_exponent);  // a range in [1, 2)
    const AutoResult at_one = destripe_auto(base);
    for (const int e : {-900, 900}) {
        SCOPED_TRACE(e);
        Image im = base;
        for (double& v : im.values) v = std::ldexp(v, e);
        const AutoResult a = destripe_auto(im);
        EXPECT_EQ(a.chosen, at_one.chosen);
        for (std::size_t k = 0; k < a.candidates.size(); ++k) {
            const RunFigures& f = a.candidates[k].figures;
            const RunFigures& g = at_one.candidates[k].figures;
            EXPECT_EQ(a.candidates[k].score, at_one.candidates[k].score) << a.candidates[k].name;
            EXPECT_EQ(std::tuple(f.input.stripe_energy, f.cleaned.stripe_energy, f.change_along_lines,
                                 f.energy_removed, f.input.line_step, f.cleaned.line_step),
                      std::tuple(g.input.stripe_energy, g.cleaned.stripe_energy, g.change_along_lines,
                                 g.energy_removed, std::ldexp(g.input.line_step, e),
                                 std::ldexp(g.cleaned.line_step, e)))
                << a.candidates[k].name;
        }
    }
}

// Every candidate's outputs, report lines and figures are those of a
// separate run with its set, byte for byte, on one thread and three, on a
// square and on a padded image; the chosen noise too.
TEST(AutoChoice, SharedStepsGiveWhatSeparateRunsGive) {
    const Image square = surface(3.0, 8);
    Image padded = surface(1.0, 5);  // 128 x 100: padded to 128 x 128
    padded.ny = 100;
    padded.span_y = padded.span_x * 100 / 128;
    padded.values.resize(128 * 100);
    for (const Image* im : {&square, static_cast<const Image*>(&padded)}) {
        for (const int threads : {1, 3}) {
            SCOPED_TRACE(testing::Message() << im->nx << " x " << im->ny << ", threads " << threads);
            std::ostringstream report;
            Options o;
            o.threads = threads;
            o.report = &report;
            std::vector<bool> told(7, false);
            const auto each = [&](std::size_t k, const Result& r, const std::string& lines) {
                std::ostringstream alone_report;
                Options q;
                q.report = &alone_report;
                const Result alone = destripe(*im, auto_candidates()[k].parameters, q);
                EXPECT_EQ(r.gain.values, alone.gain.values) << k;
                EXPECT_EQ(r.cleaned.values, alone.cleaned.values) << k;
                EXPECT_EQ(r.cleaned.nx, alone.cleaned.nx) << k;
                EXPECT_EQ(r.cleaned.span_y, alone.cleaned.span_y) << k;
                EXPECT_EQ(r.side, alone.side) << k;
                EXPECT_EQ(lines, alone_report.str()) << k;
                told[k] = true;
            };
            const AutoResult a = destripe_auto_each(*im, o, each);
            ASSERT_EQ(a.candidates.size(), 7u);
            for (std::size_t k = 0; k < a.candidates.size(); ++k) {
                const Candidate& c = a.candidates[k];
                SCOPED_TRACE(c.name);
                EXPECT_EQ(told[k], !c.leave && c.stop.empty());
                if (c.leave || !c.stop.empty()) continue;
                std::ostringstream alone_report;
                Options q;
                q.report = &alone_report;
                const Result alone = destripe(*im, c.parameters, q);
                const RunFigures f = run_figures(*im, alone);
                EXPECT_EQ(c.figures.cleaned.line_step, f.cleaned.line_step);
                EXPECT_EQ(c.figures.cleaned.stripe_energy, f.cleaned.stripe_energy);
                EXPECT_EQ(c.figures.change_along_lines, f.change_along_lines);
                EXPECT_EQ(c.figures.lowered_share, f.lowered_share);
                EXPECT_EQ(c.figures.energy_removed, f.energy_removed);
                if (k == a.chosen) {
                    EXPECT_EQ(a.result.gain.values, alone.gain.values);
                    EXPECT_EQ(a.result.noise.values, alone.noise.values);
                    EXPECT_EQ(a.result.cleaned.values, alone.cleaned.values);
                    EXPECT_EQ(a.result.cleaned.span_x, alone.cleaned.span_x);
                    EXPECT_EQ(report.str(), alone_report.str());
                }
            }
        }
    }
}

}  // namespace
}  // namespace veltrane2
