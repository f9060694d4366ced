#include "level/cluster_level.hpp"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "image/extremes.hpp"
#include "image/image_ops.hpp"
#include "level/level_map.hpp"
#include "core/listout.hpp"

namespace veltrane2 {

Level1 level_map(const ClusterStats& stats, const IntMap& cluster, IntMap& levmap) {
    const int nx = cluster.nx();
    const int ny = cluster.ny();
    start_integer_table(levmap, 0);
    for (int j = 1; j <= ny; ++j)
        for (int i = 1; i <= nx; ++i) {
            const int label = cluster(i, j);
            if (label > 0 && !inside2d(label, cluster, i, j)) levmap(i, j) = 1;
        }
    const ClusterAna1& a = stats.cluster_ana1;
    const ClusterAna3& e = stats.cluster_ana3;
    for (int is = 1; is <= a.nclx; ++is) {
        const auto l = static_cast<std::size_t>(is - 1);
        if (a.nclnx[l] > 0) level_map_1clust(is, cluster, levmap, e.extent(l));
    }
    Level1 level;
    std::vector<int>& nlevl = level.nlevl;
    nlevl.assign(static_cast<std::size_t>(a.nclx), 0);
    for (int j = 1; j <= ny; ++j)
        for (int i = 1; i <= nx; ++i) {
            const int label = cluster(i, j);
            if (label > 0 && label <= a.nclx) {
                int& top = nlevl[static_cast<std::size_t>(label - 1)];
                top = std::max(top, levmap(i, j));
            }
        }
    return level;
}

void level_map_1clust(int is, const IntMap& cluster, IntMap& levmap, const Box& extent) {
    const Box whole = Box::of(cluster);
    // A pixel of the cluster inside the extent, without a ring and with all
    // its four-neighbours in the cluster, takes ring nl + 1 when it touches
    // a pixel of the cluster of ring nl. Each ring is found from the
    // neighbours of the one before (touching is mutual) instead of from a
    // sweep over the extent; only the previous ring promotes, so the order
    // does not matter.
    std::vector<std::pair<int, int>> ring;
    const Box around = Box::clamped(static_cast<long long>(extent.i0) - 1, static_cast<long long>(extent.i1) + 1,
                                    static_cast<long long>(extent.j0) - 1, static_cast<long long>(extent.j1) + 1, whole);
    if (extent.empty()) return;
    around.for_each([&](int i, int j) {
        if (levmap(i, j) == 1 && cluster(i, j) == is) ring.emplace_back(i, j);
    });
    std::vector<std::pair<int, int>> next;
    for (int nl = 1; !ring.empty(); ++nl) {
        next.clear();
        for (const auto& [i0, j0] : ring) {
            for_each_neighbour(1, i0, j0, extent, [&](int i, int j) {
                if (cluster(i, j) != is || levmap(i, j) != 0 || !inside2d(is, cluster, i, j)) return;
                levmap(i, j) = nl + 1;
                next.emplace_back(i, j);
            });
        }
        ring.swap(next);
    }
}

void var_constr(int ns, RealImage& tempht, MarkMap& written, IntMap& bimage, int ival, int i0, int j0, double& ave,
                double& std_dev) {
    ave = 0.0;
    std_dev = 0.0;
    int n = 0;
    for_each_neighbour(ns, i0, j0, Box::of(tempht), [&](int i, int j) {
        if (bimage(i, j) != ival) return;
        ++n;
        ave = average_n(n, ave, tempht(i, j));
        std_dev = standd_n2(n, std_dev, ave, tempht(i, j));
    });
    std_dev = std::sqrt(std_dev);
    if (n == 0) {
        bimage(i0, j0) = -1;
    } else if (ave + std_dev < tempht(i0, j0)) {
        write_marked(tempht, written, i0, j0, ave);
        bimage(i0, j0) = 0;
    }
}

void level_map_estimator(std::ostream& out, const ClusterStats& stats, const Level1& level, double noise_thr, int ns,
                         RealImage& tempht, MarkMap& written, IntMap& bimage, const IntMap& levmap) {
    const ClusterAna1& a = stats.cluster_ana1;
    const ClusterAna3& e = stats.cluster_ana3;
    const std::vector<int>& nlevl = level.nlevl;
    int mxlevel = 0;
    if (a.nclx > 0) {
        std::vector<int> idx(static_cast<std::size_t>(a.nclx));
        ihpsort(a.nclx, nlevl.data(), idx.data());
        mxlevel = nlevl[static_cast<std::size_t>(idx.back() - 1)];
    }
    int ntot = 0;
    const int ns1 = ns + 1;
    for (int nl = 1; nl <= mxlevel; ++nl) {
        for (int is = 1; is <= a.nclx; ++is) {
            e.extent(static_cast<std::size_t>(is - 1)).for_each_first_major([&](int i, int j) {
                if (levmap(i, j) != nl || bimage(i, j) != 1) return;
                if (nl >= 2 && tempht(i, j) <= noise_thr) {
                    bimage(i, j) = 0;
                    return;
                }
                double ave = 0.0;
                double sd = 0.0;
                var_constr(ns, tempht, written, bimage, 0, i, j, ave, sd);
                if (bimage(i, j) == 0) {
                    ++ntot;
                } else if (bimage(i, j) == -1) {
                    const double m = avenxn_x(ns1, tempht, bimage, 0, i, j);
                    if (m < tempht(i, j)) write_marked(tempht, written, i, j, m);
                } else {
                    bimage(i, j) = 0;
                }
            });
        }
    }
    out << list_line("LEVEL_MAP_ESTIMATOR FIXED PTS=", ntot);
}

}  // namespace veltrane2
