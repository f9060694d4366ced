#include "centermap/symm_pass.hpp"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "core/constants.hpp"
#include "core/errors.hpp"
#include "core/listout.hpp"
#include "image/image_ops.hpp"

namespace veltrane2 {

double window_mismatch(const Box& box, int ns, const std::array<int, 2>& loci, const std::array<int, 2>& locj,
                       const RealImage& tempht, const IntMap& bimage, double limit) {
    const int ns0 = 2 * ns + 1;
    const double c1 = tempht(loci[0], locj[0]);
    const double c2 = tempht(loci[1], locj[1]);
    // Each term is formed as it is needed instead of from two windows filled
    // first: a pixel that is not selected or outside the box gives 0.
    const auto difference = [&](int i1, int j1, double c) {
        return box.contains(i1, j1) && bimage(i1, j1) == 1 ? std::abs(tempht(i1, j1) - c) : 0.0;
    };
    double s = 0.0;
    for (int ix = 1; ix <= ns0; ++ix) {
        const int i1 = loci[0] + ix - ns - 1;
        const int i2 = loci[1] + ns + 1 - ix;
        for (int iy = 1; iy <= ns0; ++iy) {
            const double d1 = difference(i1, locj[0] + iy - ns - 1, c1);
            const double d2 = difference(i2, locj[1] + ns + 1 - iy, c2);
            s += std::abs(d1 - d2);
        }
        // The terms are not negative: a sum that has reached the limit stays
        // there (a sum that is not a number stays that).
        if (s >= limit) return s;
    }
    return s;
}

void local_pass_1pair(const std::array<int, 2>& loci, const std::array<int, 2>& locj, RealImage& tempht,
                      IntMap& table) {
    double& first = tempht(loci[0], locj[0]);
    double& second = tempht(loci[1], locj[1]);
    const double val = std::min(first, second);
    const double ave = 0.5 * (first + second);
    if (first > val) first = ave;
    if (second > val) second = ave;
    table(loci[0], locj[0]) = 0;
    table(loci[1], locj[1]) = 0;
}

void real_symm_pass_1pair(int ns, const std::array<int, 2>& icent, const Box& box, const MiddleLines& middle,
                          RealImage& tempht, IntMap& bimage) {
    const int ns0 = 2 * ns + 1;
    if (ns0 > kMxsymm) throw FatalStop(list_line("NS0 > MXSYMM in REAL_SYMM_PASS ", ns0, kMxsymm, " NS=", ns, kMxsymm));
    const int nx = tempht.nx();
    const int ny = tempht.ny();

    // The pixels to examine, in first-index-major order.
    std::vector<std::pair<int, int>> candidates;
    box.for_each([&](int i, int j) {
        if (bimage(i, j) == 1 && !middle.on(i, j)) candidates.emplace_back(i, j);
    });
    std::sort(candidates.begin(), candidates.end());

    // Every pair is decided on the image and the mask as they were before
    // the pass; the pairs taken are then passed in their order.
    // A pair whose two values differ is not taken, whatever its windows: the
    // windows are compared only for pairs of equal values.
    std::vector<std::pair<std::array<int, 2>, std::array<int, 2>>> taken;
    for (const auto& [i, j] : candidates) {
        const std::array<int, 2> loci{i, 2 * icent[0] - i};
        const std::array<int, 2> locj{j, 2 * icent[1] - j};
        if (loci[1] < 1 || loci[1] > nx || locj[1] < 1 || locj[1] > ny) continue;
        if (!(std::abs(tempht(i, j) - tempht(loci[1], locj[1])) < kPvtiny)) continue;
        if (window_mismatch(box, ns, loci, locj, tempht, bimage, kPvtiny) < kPvtiny) taken.emplace_back(loci, locj);
    }
    for (const auto& [loci, locj] : taken) local_pass_1pair(loci, locj, tempht, bimage);
}

}  // namespace veltrane2
