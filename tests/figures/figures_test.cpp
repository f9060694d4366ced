// The no-reference figures on small images whose values are worked out by
// hand, and the stripe energy against the spectrum it stands for.
#include "figures/figures.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <limits>
#include <random>
#include <vector>

namespace veltrane2 {
namespace {

// An nx x ny image z(i, j) stored with `stride` values per row (the rest
// of each row holds junk that no figure may read).
struct Made {
    std::vector<double> v;
    RowView view;
};
Made make(int nx, int ny, const std::function<double(int, int)>& z, int stride = 0) {
    if (stride == 0) stride = nx;
    Made m;
    m.v.assign(static_cast<std::size_t>(stride) * ny, 1e6);
    for (int j = 0; j < ny; ++j)
        for (int i = 0; i < nx; ++i) m.v[static_cast<std::size_t>(j) * stride + i] = z(i, j);
    m.view = {m.v.data(), nx, ny, stride};
    return m;
}

TEST(Figures, OfHandCheckedImages) {
    const double pi = std::acos(-1.0);
    const double offsets[] = {0.0, 2.0, 1.0, 1.5, -1.0};
    struct Case {
        const char* name;
        int nx, ny, stride;
        std::function<double(int, int)> z;
        double stripe_energy, line_step;
    } cases[] = {
        // All variation is between the lines; steps 2, 1, 0.5, 2.5.
        {"row offsets", 4, 5, 0, [&](int, int j) { return offsets[j]; }, 1.0, 1.5},
        {"row offsets in a wider grid", 4, 5, 7, [&](int, int j) { return offsets[j]; }, 1.0, 1.5},
        // A plane is levelled away; every line sits 2 above the one before.
        {"plane", 6, 4, 0, [](int i, int j) { return 3.0 + 0.5 * i + 2.0 * j; }, 0.0, 2.0},
        // Periodic along the lines: nothing between them.
        {"pattern along the lines", 8, 6, 0, [&](int i, int) { return std::cos(2 * pi * i / 4); }, 0.0, 0.0},
        // Periodic across the lines: all of it on the axis; neighbouring
        // lines of cos(pi j / 2) differ by 1.
        {"pattern across the lines", 8, 8, 0, [&](int, int j) { return std::cos(pi * j / 2); }, 1.0, 1.0},
        {"constant", 4, 4, 0, [](int, int) { return 7.25; }, 0.0, 0.0},
        {"single row", 5, 1, 0, [](int i, int) { return i * i; }, 0.0, 0.0},
        // Lines 0 and 1 differ by 1 in three of four columns and 5 in the
        // fourth: the median along the line is 1 (the mean of 1 and 1).
        {"one outlier along a line", 4, 2, 0, [](int i, int j) { return j * (i == 3 ? 5.0 : 1.0); }, 0.0, 1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Made m = make(c.nx, c.ny, c.z, c.stride);
        EXPECT_NEAR(stripe_energy(m.view), c.stripe_energy, 1e-12);
        EXPECT_NEAR(line_step(m.view), c.line_step, 1e-12);
    }
}

// Images of row offsets alone: all of their energy is between the lines, and
// a share that rounding puts a little above 1 is 1 (about half of such
// images round above it).
// The line step of two rows is |the median of their differences|, against
// a sort: odd and even counts, below and above the length from which the
// median is sought in buckets, with many equal values, with one value far
// from the rest (nearly every value in one bucket), and with the two middle
// values in different buckets.
TEST(Figures, LineStepOfTwoRowsIsTheMedianDifference) {
    std::mt19937 rng(77);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    struct Case {
        const char* what;
        std::function<double(int, int)> d;  // difference at i of n
    } cases[] = {
        {"spread", [&](int, int) { return u(rng); }},
        {"few values", [&](int, int) { return std::round(4.0 * u(rng)); }},
        {"one far value", [&](int i, int) { return i == 3 ? 1e9 : u(rng); }},
        {"middle apart", [&](int i, int n) { return i < n / 2 ? -1.0 - u(rng) * 1e-3 : 5.0 + u(rng) * 1e-3; }},
    };
    for (const Case& c : cases) {
        for (const int n : {1, 2, 3, 255, 256, 257, 600, 1001}) {
            SCOPED_TRACE(testing::Message() << c.what << ", " << n << " values");
            std::vector<double> d(static_cast<std::size_t>(n));
            for (int i = 0; i < n; ++i) d[static_cast<std::size_t>(i)] = c.d(i, n);
            const Made m = make(n, 2, [&](int i, int j) { return j == 0 ? 0.0 : d[static_cast<std::size_t>(i)]; });
            std::vector<double> sorted = d;
            std::sort(sorted.begin(), sorted.end());
            const std::size_t h = sorted.size() / 2;
            const double want = n % 2 == 1 ? sorted[h] : 0.5 * (sorted[h - 1] + sorted[h]);
            EXPECT_EQ(line_step(m.view), std::abs(want));
        }
    }
}

TEST(Figures, StripeEnergyOfRowOffsetsIsOne) {
    std::mt19937 random(1);
    std::uniform_real_distribution<double> offset(-1.0, 1.0);
    for (int t = 0; t < 50; ++t) {
        // (Three rows at least: the levelling plane takes up two.)
        const int nx = 2 + static_cast<int>(random() % 30), ny = 3 + static_cast<int>(random() % 30);
        std::vector<double> rows(static_cast<std::size_t>(ny));
        for (double& r : rows) r = offset(random);
        const Made m = make(nx, ny, [&](int, int j) { return rows[static_cast<std::size_t>(j)]; }, 0);
        EXPECT_LE(stripe_energy(m.view), 1.0) << nx << " x " << ny;
        EXPECT_NEAR(stripe_energy(m.view), 1.0, 1e-12);
    }
}

// The stripe energy is a share: heights scaled by a power of two, far down
// or far up, give the same value to the last bit (what counts as rounding
// is relative to the heights, not absolute).
TEST(Figures, StripeEnergyDoesNotDependOnTheHeightsScale) {
    std::mt19937 rng(9);
    std::normal_distribution<double> noise(0.0, 1.0);
    std::vector<double> z(12 * 9);
    for (std::size_t k = 0; k < z.size(); ++k) z[k] = noise(rng) + (k / 12 % 2 == 0 ? 0.5 : -0.5);
    const Made at_one = make(12, 9, [&](int i, int j) { return z[static_cast<std::size_t>(j) * 12 + i]; });
    const double e = stripe_energy(at_one.view);
    ASSERT_GT(e, 0.1);
    for (const int p : {-70, -500, 70, 500}) {
        const Made scaled = make(12, 9, [&](int i, int j) { return std::ldexp(z[static_cast<std::size_t>(j) * 12 + i], p); });
        EXPECT_EQ(stripe_energy(scaled.view), e) << p;
    }
}

// The stripe energy is the share of |F|^2 (zero frequency excluded) on the
// column kx = 0 of the plane-levelled image's discrete Fourier transform.
TEST(Figures, StripeEnergyIsTheSpectralShareOfTheZeroFrequencyAlongTheRows) {
    std::mt19937 rng(5);
    std::normal_distribution<double> noise(0.0, 1.0);
    for (const auto& [nx, ny] : {std::pair{8, 6}, std::pair{5, 9}, std::pair{16, 16}}) {
        std::vector<double> off(static_cast<std::size_t>(ny));
        for (double& o : off) o = noise(rng);
        const Made m = make(nx, ny, [&](int i, int j) { return 0.3 * i - 0.7 * j + off[j] + noise(rng); });
        // The least-squares plane, fitted directly.
        double s[3][4] = {};
        for (int j = 0; j < ny; ++j)
            for (int i = 0; i < nx; ++i) {
                const double b[3] = {1.0, double(i), double(j)};
                for (int r = 0; r < 3; ++r) {
                    for (int q = 0; q < 3; ++q) s[r][q] += b[r] * b[q];
                    s[r][3] += b[r] * m.view.row(j)[i];
                }
            }
        for (int r = 0; r < 3; ++r)
            for (int q = 0; q < 3; ++q)
                if (q != r) {
                    const double f = s[q][r] / s[r][r];
                    for (int k = 0; k < 4; ++k) s[q][k] -= f * s[r][k];
                }
        const double a = s[0][3] / s[0][0], bx = s[1][3] / s[1][1], by = s[2][3] / s[2][2];
        double axis = 0.0, total = 0.0;
        for (int ky = 0; ky < ny; ++ky)
            for (int kx = 0; kx < nx; ++kx) {
                std::complex<double> f = 0.0;
                for (int j = 0; j < ny; ++j)
                    for (int i = 0; i < nx; ++i)
                        f += (m.view.row(j)[i] - a - bx * i - by * j) *
                             std::polar(1.0, -2 * std::acos(-1.0) * (double(kx * i) / nx + double(ky * j) / ny));
                if (kx == 0 && ky == 0) continue;
                total += std::norm(f);
                if (kx == 0) axis += std::norm(f);
            }
        EXPECT_NEAR(stripe_energy(m.view), axis / total, 1e-10) << nx << " x " << ny;
    }
}

TEST(Figures, ChangeAlongLinesAndEnergyRemoved) {
    const double inf = std::numeric_limits<double>::infinity();
    const auto lined = [](int i, int j) { return double((i * 7 + j * 3) % 5) + j; };
    struct Case {
        const char* name;
        std::function<double(int, int)> before, after;
        double change, energy;
    } cases[] = {
        {"unchanged", lined, lined, 0.0, 0.0},
        {"lifted", lined, [&](int i, int j) { return lined(i, j) + 4.0; }, 0.0, 0.0},
        // Changes between the lines only: nothing along them.
        {"lines moved", lined, [&](int i, int j) { return lined(i, j) - j; }, 0.0, -1.0},
        // Everything along the lines removed: the change is the lines' own.
        {"lines flattened", lined, [](int, int j) { return double(j); }, 1.0, -1.0},
        // Twice each line's variation: the change equals it once.
        {"contrast doubled", lined, [&](int i, int j) { return 2.0 * lined(i, j) - j; }, 1.0, -1.0},
        {"flattened to a constant", lined, [](int, int) { return 3.0; }, 1.0, 1.0},
        {"flat lines kept flat", [](int, int j) { return double(j); }, [](int, int j) { return 2.0 * j; }, 0.0, -1.0},
        {"flat lines changed along", [](int, int j) { return double(j); }, [](int i, int) { return double(i); }, inf,
         -1.0},
        {"constant", [](int, int) { return 1.0; }, [](int, int) { return 1.0; }, 0.0, 0.0},
        // Only the first line varies along itself, and is flattened: all of
        // the change and all of the lines' own variation are in that line.
        {"first line flattened", [](int i, int j) { return j == 0 ? double(i) : double(j); },
         [](int, int j) { return double(j); }, 1.0, -1.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Made b = make(6, 5, c.before);
        const Made a = make(6, 5, c.after, 8);
        if (std::isinf(c.change)) {
            EXPECT_EQ(change_along_lines(b.view, a.view), c.change);
        } else {
            EXPECT_NEAR(change_along_lines(b.view, a.view), c.change, 1e-12);
        }
        if (c.energy >= 0.0) {
            EXPECT_NEAR(energy_removed(b.view, a.view), c.energy, 1e-12);
        }
    }
    // Removing the lines' offsets j (mean 2) from z = lined: the share of
    // the energy is that of j - 2 in z - zbar.
    const Made b = make(6, 5, lined);
    const Made a = make(6, 5, [&](int i, int j) { return lined(i, j) - j; });
    double zbar = 0.0, ez = 0.0;
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 6; ++i) zbar += lined(i, j) / 30.0;
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 6; ++i) ez += (lined(i, j) - zbar) * (lined(i, j) - zbar);
    EXPECT_NEAR(energy_removed(b.view, a.view), 6.0 * (4 + 1 + 0 + 1 + 4) / ez, 1e-12);
}

TEST(Figures, LoweredShareCountsGainsBelowOne) {
    const Made g = make(4, 2, [](int i, int j) { return (i + j) % 3 == 0 ? 0.25 : (i == 1 ? 0.999999 : 1.0); }, 5);
    // Below 1: (0,0), (3,0), (2,1) at 0.25, (1,0) and (1,1) at 0.999999.
    EXPECT_DOUBLE_EQ(lowered_share(g.view), 5.0 / 8.0);
    EXPECT_DOUBLE_EQ(lowered_share(make(3, 3, [](int, int) { return 1.0; }).view), 0.0);
}

}  // namespace
}  // namespace veltrane2
