#include "level/level_map.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "image/image_ops.hpp"

namespace veltrane2 {

int level_whole_map(const IntMap& bimage, IntMap& levmap) {
    const int nx = bimage.nx();
    const int ny = bimage.ny();
    const Box whole = Box::of(nx, ny);
    start_integer_table(levmap, 0);
    // Ring 1 is the border of the streak. A pixel of value 1 takes ring
    // nl + 1 when it has none yet and touches a pixel of ring nl: the rings
    // are a search outwards from the border, each ring found from the
    // neighbours of the one before instead of from a sweep over every pixel
    // still without a ring. (Touching is mutual, and a pixel that takes a
    // ring is not of the ring being searched from, so the order of the
    // search does not matter.)
    std::vector<std::pair<int, int>> ring;
    for (int j = 1; j <= ny; ++j) {
        for (int i = 1; i <= nx; ++i) {
            if (bimage(i, j) > 0 && !inside2d(1, bimage, i, j)) {
                levmap(i, j) = 1;
                ring.emplace_back(i, j);
            }
        }
    }
    int nl = 1;
    std::vector<std::pair<int, int>> next;
    for (;;) {
        next.clear();
        for (const auto& [i, j] : ring) {
            for_each_neighbour(1, i, j, whole, [&](int i1, int j1) {
                if (levmap(i1, j1) == 0 && bimage(i1, j1) == 1) {
                    levmap(i1, j1) = nl + 1;
                    next.emplace_back(i1, j1);
                }
            });
        }
        if (next.empty()) return nl;
        ring.swap(next);
        ++nl;
    }
}

double avenxn_x(int ns, const RealImage& image, const IntMap& table, int ival, int i0, int j0) {
    double sum = 0.0;
    int nc = 0;
    for_each_neighbour(ns, i0, j0, Box::of(image), [&](int i, int j) {
        if (table(i, j) == ival) {
            sum += image(i, j);
            ++nc;
        }
    });
    return nc > 0 ? sum / nc : 100000.0;
}

void level_whole_estimator(int ns, RealImage& tempht, MarkMap& written, IntMap& bimage, int mlevel,
                           const IntMap& levmap) {
    const int nx = tempht.nx();
    const int ny = tempht.ny();
    const Box whole = Box::of(nx, ny);
    // The pixels of every level in the order in which they are processed:
    // first index outer, second inner.
    std::vector<std::vector<std::pair<int, int>>> rings(static_cast<std::size_t>(mlevel) + 1);
    for (int j = 1; j <= ny; ++j) {
        for (int i = 1; i <= nx; ++i) {
            const int lv = levmap(i, j);
            if (lv >= 1 && lv <= mlevel) rings[static_cast<std::size_t>(lv)].emplace_back(i, j);
        }
    }
    for (auto& ring : rings) to_first_index_major(ring);
    for (int nl = 1; nl <= mlevel; ++nl) {
        for (const auto& [i, j] : rings[static_cast<std::size_t>(nl)]) {
            int n = 0;
            double ave = 0.0;
            double sd = 0.0;
            // Unmarked neighbours and those of a lower, re-estimated ring.
            for_each_neighbour(ns, i, j, whole, [&](int i0, int j0) {
                if (bimage(i0, j0) != 0 || levmap(i0, j0) > nl - 1) return;
                const double x = tempht(i0, j0);
                ++n;
                ave = average_n(n, ave, x);
                sd = standd_n2(n, sd, ave, x);
            });
            sd = std::sqrt(sd);
            const double diff = ave + sd;
            if (n > 0) {
                if (tempht(i, j) > diff) write_marked(tempht, written, i, j, ave);
            } else {
                const double e = avenxn_x(ns + 1, tempht, bimage, 0, i, j);
                if (tempht(i, j) > e) write_marked(tempht, written, i, j, e);
            }
            bimage(i, j) = 0;
        }
    }
}

}  // namespace veltrane2
