#include "centermap/center_map.hpp"

#include <algorithm>
#include <cmath>

#include "image/image_ops.hpp"

namespace veltrane2 {

namespace {

// A box of the grid, first and second index ranges.
struct Box {
    int i0, i1, j0, j1;
};

// distr_covar over the pixels of the box: the same sums as over the grid
// when every selected pixel lies in the box.
bool distr_covar_in(const Box& b, const RealImage& tempht, const IntMap& bimage, int ival, std::array<double, 2>& cm,
                    std::array<double, 2>& covsg, Mat2& covaxes, double& noismx, double& noismn) {
    double c1 = 0.0;
    double c2 = 0.0;
    double w = 0.0;
    double mx = -100000.0;
    double mn = 100000.0;
    auto selected = [&bimage, ival](int i, int j) { return bimage(i, j) == ival; };
    for_each_first_major(b.i0, b.i1, b.j0, b.j1, tempht, selected, [&](int i, int j, double h) {
        mx = std::max(mx, h);
        mn = std::min(mn, h);
        w = w + h;
        c1 = c1 + j * h;
        c2 = c2 + i * h;
    });
    if (w == 0.0) return false;
    w = 1.0 / w;
    c1 = c1 * w;
    c2 = c2 * w;

    Mat2 t;
    for_each_first_major(b.i0, b.i1, b.j0, b.j1, tempht, selected, [&](int i, int j, double h) {
        const double y = i - c2;
        const double x = j - c1;
        t(1, 1) = t(1, 1) + h * (y * y);
        t(2, 2) = t(2, 2) + h * (x * x);
        t(1, 2) = t(1, 2) + h * x * y;
    });
    t(1, 1) = t(1, 1) * w;
    t(2, 2) = t(2, 2) * w;
    t(1, 2) = t(1, 2) * w;
    t(2, 1) = t(1, 2);

    cm = {c1, c2};
    noismx = mx;
    noismn = mn;
    double ev[2];
    eigenvalue_mat2d(t, ev);
    covsg = {ev[0], ev[1]};
    eigenvector_mat2d(t, ev, covaxes);
    return true;
}

// True when x rounds (half away from zero) to a pixel index 1..n; false
// also when x is not a number.
bool rounds_into(double x, int n) {
    return x >= 0.5 && x < static_cast<double>(n) + 0.5;
}

}  // namespace

bool distr_covar(int nx, int ny, const RealImage& tempht, const IntMap& bimage, int ival, std::array<double, 2>& cm,
                 std::array<double, 2>& covsg, Mat2& covaxes, double& noismx, double& noismn) {
    return distr_covar_in({1, nx, 1, ny}, tempht, bimage, ival, cm, covsg, covaxes, noismx, noismn);
}

void range_map(int i0, int i1, int j0, int j1, const IntMap& cenmap, int& imin, int& imax, int& jmin, int& jmax) {
    imin = 99999;
    jmin = 99999;
    imax = -99999;
    jmax = -99999;
    for (int j = j0; j <= j1; ++j) {
        for (int i = i0; i <= i1; ++i) {
            if (cenmap(i, j) != 1) continue;
            imin = std::min(imin, i);
            imax = std::max(imax, i);
            jmin = std::min(jmin, j);
            jmax = std::max(jmax, j);
        }
    }
}

void center_map2(RunState& st, int nx, int ny, const RealImage& tempht, IntMap& bimage, IntMap& cent) {
    CenterAna1& ca = st.center_ana1;
    auto& icent = st.center_center.icent;
    start_integer_table(nx, ny, cent, 0);

    if (!distr_covar(nx, ny, tempht, bimage, 1, ca.cent_cm, ca.cent_sig, ca.cent_axes, ca.cent_mx, ca.cent_mn)) {
        return;
    }
    // The weights are log amplitudes and may be negative, so the centroid
    // can fall outside the grid (or be no number at all). There is then no
    // centre to grow a map from: the map stays empty, and no centre is kept
    // for the symmetric passes (one outside the grid pairs no pixel either).
    if (!rounds_into(ca.cent_cm[1], nx) || !rounds_into(ca.cent_cm[0], ny)) {
        icent = {0, 0};
        return;
    }
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
    const auto clamp = [](long long v, int hi) { return static_cast<int>(std::clamp<long long>(v, 1, hi)); };
    const Box disc{clamp(icent[0] - reach, nx), clamp(icent[0] + reach, nx), clamp(icent[1] - reach, ny),
                   clamp(icent[1] + reach, ny)};
    IntMap table = IntMap::to_fill(nx, ny);  // read in the box only
    for (int j = disc.j0; j <= disc.j1; ++j)
        for (int i = disc.i0; i <= disc.i1; ++i) table(i, j) = 0;

    // Counts the not yet visited disc positions of radius up to intv (inside
    // the image) as bright (nn, taken into the map) or not (nz).
    int nn = 0;
    int nz = 0;
    auto visit = [&](int intv) {
        nn = 0;
        nz = 0;
        for (int ix = -intv; ix <= intv; ++ix) {
            const int i = icent[0] + ix;
            if (i < 1 || i > nx) continue;
            for (int iy = -intv; iy <= intv; ++iy) {
                const int j = icent[1] + iy;
                if (j < 1 || j > ny) continue;
                const int ir = nint(std::sqrt(static_cast<double>(ix * ix + iy * iy)));
                if (ir > intv || table(i, j) != 0) continue;
                table(i, j) = -1;
                if (bimage(i, j) == 1) {
                    cent(i, j) = 1;
                    ++nn;
                } else {
                    ++nz;
                }
            }
        }
    };

    int intv = 5;
    visit(intv);
    double ratio = static_cast<double>(nn) / static_cast<double>(nz + nn);
    // Grow ring by ring while the new ring is bright enough; a ring with no
    // position inside the image ends the growth.
    while (ratio > st.control_para2.thresh_centmap) {
        ++intv;
        if (intv > irad) break;
        visit(intv);
        if (nz + nn == 0) break;
        ratio = static_cast<double>(nn) / static_cast<double>(nz + nn);
    }

    // The statistics, centre and box that later stages read are those of
    // the centre map itself.
    // A centroid outside the grid (weights of both signs) leaves the map
    // empty as one with no centroid does: the first centre stays, and the
    // streak keeps every pixel for the off-centre pass.
    if (!distr_covar_in(disc, tempht, cent, 1, ca.cent_cm, ca.cent_sig, ca.cent_axes, ca.cent_mx, ca.cent_mn) ||
        !rounds_into(ca.cent_cm[1], nx) || !rounds_into(ca.cent_cm[0], ny)) {
        start_integer_table(nx, ny, cent, 0);
        return;
    }
    icent[0] = nint(ca.cent_cm[1]);
    icent[1] = nint(ca.cent_cm[0]);
    range_map(disc.i0, disc.i1, disc.j0, disc.j1, cent, st.centerbcut.icutc[0], st.centerbcut.icutc[1],
              st.centerbcut.jcutc[0], st.centerbcut.jcutc[1]);
    for (int j = disc.j0; j <= disc.j1; ++j)
        for (int i = disc.i0; i <= disc.i1; ++i)
            if (cent(i, j) == 1) bimage(i, j) = 0;
}

}  // namespace veltrane2
