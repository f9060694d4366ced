#include "centermap/restore.hpp"

#include <cmath>
#include <utility>
#include <vector>

#include "image/image_ops.hpp"
#include "core/listout.hpp"

namespace veltrane2 {
namespace {

bool inside(const IntMap& g, int i, int j) {
    return i >= 1 && i <= g.nx() && j >= 1 && j <= g.ny();
}

// Line test along one direction: (di, dj) steps along the line.
bool line_pix(int i0, int j0, int di, int dj, const IntMap& bimage) {
    auto outside_or = [&](int i, int j, int value) { return !inside(bimage, i, j) || bimage(i, j) == value; };
    const bool goes_on = outside_or(i0 - di, j0 - dj, 1) || outside_or(i0 + di, j0 + dj, 1);
    const int across = outside_or(i0 - dj, j0 - di, 0) + outside_or(i0, j0, 0) + outside_or(i0 + dj, j0 + di, 0);
    return goes_on && across == 2;
}

// Mean of the unmarked pixels at (i0 + k di, j0 + k dj), 1 <= |k| <= ns.
double fix_line(int ns, int i0, int j0, int di, int dj, const RealImage& tempht, const IntMap& bimage) {
    double sum = 0.0;
    int count = 0;
    for (int k = -ns; k <= ns; ++k) {
        if (k == 0) continue;
        const int i = i0 + k * di;
        const int j = j0 + k * dj;
        if (inside(bimage, i, j) && bimage(i, j) == 0) {
            sum += tempht(i, j);
            ++count;
        }
    }
    // A pixel that passed its line test always has an unmarked pixel across
    // the line; without one there is nothing to lower it to.
    return count > 0 ? sum / count : tempht(i0, j0);
}

}  // namespace

bool vline_pix(int i0, int j0, const IntMap& bimage) {
    return line_pix(i0, j0, 0, 1, bimage);
}
bool hline_pix(int i0, int j0, const IntMap& bimage) {
    return line_pix(i0, j0, 1, 0, bimage);
}

double fix_vline(int ns, int i0, int j0, const RealImage& tempht, const IntMap& bimage) {
    return fix_line(ns, i0, j0, 1, 0, tempht, bimage);
}
double fix_hline(int ns, int i0, int j0, const RealImage& tempht, const IntMap& bimage) {
    return fix_line(ns, i0, j0, 0, 1, tempht, bimage);
}

bool gauss_constr(std::ostream& out, const Box& cut, int ns, RealImage& tempht, MarkMap& written, const IntMap& bimage,
                  int i0, int j0, double& ave, double& std_dev) {
    if (cut.i0 > 999999 || cut.i1 > 999999) out << list_line("I column range in GAUSS_CONSTR=", cut.i0, cut.i1);
    if (cut.j0 > 999999 || cut.j1 > 999999) out << list_line("J colume range in GAUSS_CONSTR=", cut.j0, cut.j1);
    ave = 0.0;
    std_dev = 0.0;
    int n = 0;
    for_each_neighbour(ns, i0, j0, cut, [&](int i, int j) {
        if (bimage(i, j) != 1) return;
        ++n;
        ave = average_n(n, ave, tempht(i, j));
        std_dev = standd_n2(n, std_dev, ave, tempht(i, j));
    });
    if (n <= 1) return false;
    std_dev = std::sqrt(std_dev / (n - 1));
    if (tempht(i0, j0) > ave + std_dev) write_marked(tempht, written, i0, j0, ave);
    return true;
}

void restore_intensity(std::ostream& out, const Box& cut, int ns, RealImage& tempht, MarkMap& written, IntMap& cent) {
    // The pixels to unmark are listed during the sweep and unmarked after
    // it, so that every test reads the map as it was on entry.
    std::vector<std::pair<int, int>> unmark;
    cut.for_each_first_major([&](int i, int j) {
        if (cent(i, j) != 1) return;
        if (vline_pix(i, j, cent)) {
            const double val = fix_vline(ns, i, j, tempht, cent);
            if (tempht(i, j) > val) write_marked(tempht, written, i, j, val);
            unmark.emplace_back(i, j);
        } else if (hline_pix(i, j, cent)) {
            const double val = fix_hline(ns, i, j, tempht, cent);
            if (tempht(i, j) > val) write_marked(tempht, written, i, j, val);
            unmark.emplace_back(i, j);
        } else {
            double ave = 0.0;
            double std_dev = 0.0;
            if (gauss_constr(out, cut, ns, tempht, written, cent, i, j, ave, std_dev)) unmark.emplace_back(i, j);
        }
    });
    for (const auto& [i, j] : unmark) cent(i, j) = 0;
}

}  // namespace veltrane2
