#include "centermap/center_map.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "image/image_ops.hpp"

namespace veltrane2 {

std::optional<CenterAna1> distr_covar(const Box& b, const RealImage& tempht, const IntMap& bimage, int ival) {
    double c1 = 0.0;
    double c2 = 0.0;
    double w = 0.0;
    double mx = -100000.0;
    double mn = 100000.0;
    auto selected = [ival](int m) { return m == ival; };
    // The selected pixels in the order of the sums, kept for the second
    // pass.
    struct Sample {
        int i, j;
        double h;
    };
    std::vector<Sample> samples;
    for_each_first_major(b, tempht, bimage, selected, [&](int i, int j, double h) {
        samples.push_back({i, j, h});
        mx = std::max(mx, h);
        mn = std::min(mn, h);
        w = w + h;
        c1 = c1 + j * h;
        c2 = c2 + i * h;
    });
    if (w == 0.0) return std::nullopt;
    w = 1.0 / w;
    c1 = c1 * w;
    c2 = c2 * w;

    Mat2 t;
    for (const Sample& p : samples) {
        const double y = p.i - c2;
        const double x = p.j - c1;
        t(1, 1) = t(1, 1) + p.h * (y * y);
        t(2, 2) = t(2, 2) + p.h * (x * x);
        t(1, 2) = t(1, 2) + p.h * x * y;
    }
    t(1, 1) = t(1, 1) * w;
    t(2, 2) = t(2, 2) * w;
    t(1, 2) = t(1, 2) * w;
    t(2, 1) = t(1, 2);

    CenterAna1 ca;
    ca.cent_cm = {c1, c2};
    ca.cent_mx = mx;
    ca.cent_mn = mn;
    double ev[2];
    eigenvalue_mat2d(t, ev);
    ca.cent_sig = {ev[0], ev[1]};
    eigenvector_mat2d(t, ev, ca.cent_axes);
    return ca;
}

namespace {

// True when x rounds (half away from zero) to a pixel index 1..n; false
// also when x is not a number.
bool rounds_into(double x, int n) {
    return x >= 0.5 && x < static_cast<double>(n) + 0.5;
}

}  // namespace

Box range_map(const Box& within, const IntMap& cenmap) {
    Box r{99999, -99999, 99999, -99999};
    for (int j = within.j0; j <= within.j1; ++j) {
        for (int i = within.i0; i <= within.i1; ++i) {
            if (cenmap(i, j) != 1) continue;
            r.i0 = std::min(r.i0, i);
            r.i1 = std::max(r.i1, i);
            r.j0 = std::min(r.j0, j);
            r.j1 = std::max(r.j1, j);
        }
    }
    return r;
}

CentreMap center_map2(double thresh_centmap, const RealImage& tempht, IntMap& bimage, IntMap& cent) {
    const int nx = tempht.nx();
    const int ny = tempht.ny();
    CentreMap centre;
    centre.centerbcut = Box::of(nx, ny);
    CenterAna1& ca = centre.center_ana1;
    auto& icent = centre.icent;
    start_integer_table(cent, 0);

    const std::optional<CenterAna1> bright = distr_covar(Box::of(nx, ny), tempht, bimage, 1);
    if (!bright) return centre;
    ca = *bright;
    // The weights are log amplitudes and may be negative, so the centroid
    // can fall outside the grid (or be no number at all). There is then no
    // centre to grow a map from: the map stays empty, and no centre is kept
    // for the symmetric passes (one outside the grid pairs no pixel either).
    if (!rounds_into(ca.cent_cm[1], nx) || !rounds_into(ca.cent_cm[0], ny)) return centre;
    icent[0] = nint(ca.cent_cm[1]);
    icent[1] = nint(ca.cent_cm[0]);
    const double rad = std::sqrt(ca.cent_sig[0] + ca.cent_sig[1]);
    // A ring beyond nx + ny from a centre inside the grid holds no position
    // of it and ends the growth anyway; a radius that is not a number
    // allows no growth.
    const int irad = std::isnan(rad) ? 0 : nint(std::min(rad, static_cast<double>(nx + ny)));

    // The disc grows from radius 5 to at most irad: every position it can
    // visit, and so every pixel of the centre map, lies in this box.
    const long long reach = std::max(5, irad);
    const Box disc = Box::clamped(icent[0] - reach, icent[0] + reach, icent[1] - reach, icent[1] + reach, Box::of(nx, ny));

    // Counts the disc positions of (rounded) radius up to intv (inside the
    // image) not counted by an earlier visit as bright (nn, taken into the
    // map) or not (nz). The rounded radius grows with |iy| for each ix, so
    // the positions up to a radius are |iy| <= seen[ix] for each ix, and a
    // visit takes only the new ring beyond the last visit's bound.
    const int most = static_cast<int>(reach);
    std::vector<int> seen(static_cast<std::size_t>(2 * most + 1), -1);
    const auto radius = [](int ix, int iy) { return nint(std::sqrt(static_cast<double>(ix * ix + iy * iy))); };
    int nn = 0;
    int nz = 0;
    auto visit = [&](int intv) {
        nn = 0;
        nz = 0;
        for (int ix = -intv; ix <= intv; ++ix) {
            int& bound = seen[static_cast<std::size_t>(ix + most)];
            const int before = bound;
            while (bound < intv && radius(ix, bound + 1) <= intv) ++bound;
            const int i = icent[0] + ix;
            if (i < 1 || i > nx) continue;
            const auto take = [&](int iy) {
                const int j = icent[1] + iy;
                if (j < 1 || j > ny) return;
                if (bimage(i, j) == 1) {
                    cent(i, j) = 1;
                    ++nn;
                } else {
                    ++nz;
                }
            };
            for (int iy = -bound; iy < 0 && iy <= -(before + 1); ++iy) take(iy);
            for (int iy = before + 1; iy <= bound; ++iy) take(iy);
        }
    };

    int intv = 5;
    visit(intv);
    double ratio = static_cast<double>(nn) / static_cast<double>(nz + nn);
    // Grow ring by ring while the new ring is bright enough; a ring with no
    // position inside the image ends the growth.
    while (ratio > thresh_centmap) {
        ++intv;
        if (intv > irad) break;
        visit(intv);
        if (nz + nn == 0) break;
        ratio = static_cast<double>(nn) / static_cast<double>(nz + nn);
    }

    // The statistics, centre and box that later stages read are those of
    // the centre map itself. A centroid outside the grid (weights of both
    // signs) leaves the map empty as one with no centroid does: the first
    // centre stays, and the streak keeps every pixel for the off-centre pass.
    const std::optional<CenterAna1> own = distr_covar(disc, tempht, cent, 1);
    if (own) ca = *own;
    if (!own || !rounds_into(ca.cent_cm[1], nx) || !rounds_into(ca.cent_cm[0], ny)) {
        start_integer_table(cent, 0);
        return centre;
    }
    icent[0] = nint(ca.cent_cm[1]);
    icent[1] = nint(ca.cent_cm[0]);
    centre.centerbcut = range_map(disc, cent);
    disc.for_each([&](int i, int j) {
        if (cent(i, j) == 1) bimage(i, j) = 0;
    });
    return centre;
}

}  // namespace veltrane2
