#include "centermap/restore.hpp"

#include <cmath>

#include "image/image_ops.hpp"
#include "core/listout.hpp"

namespace veltrane2 {
namespace {

bool inside(const BndryImage& g, int i, int j) {
    return i >= 1 && i <= g.nxl && j >= 1 && j <= g.nyl;
}

// Line test along one direction: (di, dj) steps along the line.
bool line_pix(const BndryImage& g, int i0, int j0, int di, int dj, const IntMap& bimage) {
    auto outside_or = [&](int i, int j, int value) { return !inside(g, i, j) || bimage(i, j) == value; };
    const bool goes_on = outside_or(i0 - di, j0 - dj, 1) || outside_or(i0 + di, j0 + dj, 1);
    const int across = outside_or(i0 - dj, j0 - di, 0) + outside_or(i0, j0, 0) + outside_or(i0 + dj, j0 + di, 0);
    return goes_on && across == 2;
}

// Mean of the unmarked pixels at (i0 + k di, j0 + k dj), 1 <= |k| <= ns.
double fix_line(const BndryImage& g, int ns, int i0, int j0, int di, int dj, const RealImage& tempht,
                const IntMap& bimage) {
    double sum = 0.0;
    int count = 0;
    for (int k = -ns; k <= ns; ++k) {
        if (k == 0) continue;
        const int i = i0 + k * di;
        const int j = j0 + k * dj;
        if (inside(g, i, j) && bimage(i, j) == 0) {
            sum += tempht(i, j);
            ++count;
        }
    }
    // A pixel that passed its line test always has an unmarked pixel across
    // the line; without one there is nothing to lower it to.
    return count > 0 ? sum / count : tempht(i0, j0);
}

}  // namespace

bool vline_pix(const BndryImage& g, int i0, int j0, const IntMap& bimage) {
    return line_pix(g, i0, j0, 0, 1, bimage);
}
bool hline_pix(const BndryImage& g, int i0, int j0, const IntMap& bimage) {
    return line_pix(g, i0, j0, 1, 0, bimage);
}

double fix_vline(const BndryImage& g, int ns, int i0, int j0, const RealImage& tempht, const IntMap& bimage) {
    return fix_line(g, ns, i0, j0, 1, 0, tempht, bimage);
}
double fix_hline(const BndryImage& g, int ns, int i0, int j0, const RealImage& tempht, const IntMap& bimage) {
    return fix_line(g, ns, i0, j0, 0, 1, tempht, bimage);
}

void gauss_constr(RunState& st, int ns, RealImage& tempht, const IntMap& bimage, IntMap& bi, int i0, int j0,
                  double& ave, double& std_dev) {
    const auto& ic = st.centerbcut.icutc;
    const auto& jc = st.centerbcut.jcutc;
    if (ic[0] > 999999 || ic[1] > 999999) *st.out << list_line("I column range in GAUSS_CONSTR=", ic[0], ic[1]);
    if (jc[0] > 999999 || jc[1] > 999999) *st.out << list_line("J colume range in GAUSS_CONSTR=", jc[0], jc[1]);
    ave = 0.0;
    std_dev = 0.0;
    int n = 0;
    for_each_neighbour(ns, i0, j0, ic[0], ic[1], jc[0], jc[1], [&](int i, int j) {
        if (bimage(i, j) != 1) return;
        ++n;
        ave = average_n(n, ave, tempht(i, j));
        std_dev = standd_n2(n, std_dev, ave, tempht(i, j));
    });
    if (n <= 1) return;
    std_dev = std::sqrt(std_dev / (n - 1));
    if (tempht(i0, j0) > ave + std_dev) tempht(i0, j0) = ave;
    bi(i0, j0) = 0;
}

void restore_intensity(RunState& st, int ns, int nx, int ny, RealImage& tempht, IntMap& cent) {
    BndryImage& g = st.bndry_image;
    g.nxl = nx;
    g.nyl = ny;
    IntMap bi = cent;
    const auto& ic = st.centerbcut.icutc;
    const auto& jc = st.centerbcut.jcutc;
    for (int i = ic[0]; i <= ic[1]; ++i) {
        for (int j = jc[0]; j <= jc[1]; ++j) {
            if (cent(i, j) != 1) continue;
            if (vline_pix(g, i, j, cent)) {
                const double val = fix_vline(g, ns, i, j, tempht, cent);
                if (tempht(i, j) > val) tempht(i, j) = val;
                bi(i, j) = 0;
            } else if (hline_pix(g, i, j, cent)) {
                const double val = fix_hline(g, ns, i, j, tempht, cent);
                if (tempht(i, j) > val) tempht(i, j) = val;
                bi(i, j) = 0;
            } else {
                double ave = 0.0;
                double std_dev = 0.0;
                gauss_constr(st, ns, tempht, cent, bi, i, j, ave, std_dev);
            }
        }
    }
    cent = std::move(bi);
}

}  // namespace veltrane2
