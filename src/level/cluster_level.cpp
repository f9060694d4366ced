#include "level/cluster_level.hpp"

#include <algorithm>
#include <cmath>

#include "image/extremes.hpp"
#include "image/image_ops.hpp"
#include "level/level_map.hpp"
#include "core/listout.hpp"

namespace veltrane2 {

void level_map(RunState& st, int nx, int ny, const IntMap& cluster, IntMap& levmap) {
    start_integer_table(nx, ny, levmap, 0);
    for (int j = 1; j <= ny; ++j)
        for (int i = 1; i <= nx; ++i) {
            const int label = cluster(i, j);
            if (label > 0 && !inside2d(label, nx, ny, cluster, i, j)) levmap(i, j) = 1;
        }
    const ClusterAna1& a = st.cluster_ana1;
    const ClusterAna3& e = st.cluster_ana3;
    for (int is = 1; is <= a.nclx; ++is) {
        const auto l = static_cast<std::size_t>(is - 1);
        if (a.nclnx[l] > 0)
            level_map_1clust(is, nx, ny, cluster, levmap, e.mnlev_i[l], e.mxlev_i[l], e.mnlev_j[l], e.mxlev_j[l]);
    }
    std::vector<int>& nlevl = st.level_1.nlevl;
    nlevl.assign(static_cast<std::size_t>(a.nclx), 0);
    for (int j = 1; j <= ny; ++j)
        for (int i = 1; i <= nx; ++i) {
            const int label = cluster(i, j);
            if (label > 0 && label <= a.nclx) {
                int& top = nlevl[static_cast<std::size_t>(label - 1)];
                top = std::max(top, levmap(i, j));
            }
        }
}

void level_map_1clust(int is, int nx, int ny, const IntMap& cluster, IntMap& levmap, int imin, int imax, int jmin,
                      int jmax) {
    // A pixel's ring depends only on the rings before it, so each sweep may
    // set its new ring as it goes: only the previous ring promotes.
    for (int nl = 1;; ++nl) {
        const int nl1 = nl + 1;
        int ntot = 0;
        for (int i = imin; i <= imax; ++i) {
            for (int j = jmin; j <= jmax; ++j) {
                if (cluster(i, j) != is || levmap(i, j) != 0 || !inside2d(is, nx, ny, cluster, i, j)) continue;
                bool hit = false;
                for_each_neighbour(1, i, j, 1, nx, 1, ny, [&](int i1, int j1) {
                    hit = hit || (levmap(i1, j1) == nl && cluster(i1, j1) == is);
                });
                if (hit) {
                    levmap(i, j) = nl1;
                    ++ntot;
                }
            }
        }
        if (ntot == 0) return;
    }
}

void var_constr(int ns, int nx, int ny, RealImage& tempht, IntMap& bimage, int ival, int i0, int j0, double& ave,
                double& std_dev) {
    ave = 0.0;
    std_dev = 0.0;
    int n = 0;
    for_each_neighbour(ns, i0, j0, 1, nx, 1, ny, [&](int i, int j) {
        if (bimage(i, j) != ival) return;
        ++n;
        ave = average_n(n, ave, tempht(i, j));
        std_dev = standd_n2(n, std_dev, ave, tempht(i, j));
    });
    std_dev = std::sqrt(std_dev);
    if (n == 0) {
        bimage(i0, j0) = -1;
    } else if (ave + std_dev < tempht(i0, j0)) {
        tempht(i0, j0) = ave;
        bimage(i0, j0) = 0;
    }
}

void level_map_estimator(RunState& st, int ns, int nx, int ny, RealImage& tempht, IntMap& bimage,
                         const IntMap& levmap) {
    const ClusterAna1& a = st.cluster_ana1;
    const ClusterAna3& e = st.cluster_ana3;
    const std::vector<int>& nlevl = st.level_1.nlevl;
    int mxlevel = 0;
    if (a.nclx > 0) {
        std::vector<int> idx(static_cast<std::size_t>(a.nclx));
        ihpsort(a.nclx, nlevl.data(), idx.data());
        mxlevel = nlevl[static_cast<std::size_t>(idx.back() - 1)];
    }
    const double noise_thr = st.gauss_refnoise.noise_thr;
    int ntot = 0;
    const int ns1 = ns + 1;
    for (int nl = 1; nl <= mxlevel; ++nl) {
        for (int is = 1; is <= a.nclx; ++is) {
            const auto c = static_cast<std::size_t>(is - 1);
            for (int i = e.mnlev_i[c]; i <= e.mxlev_i[c]; ++i) {
                for (int j = e.mnlev_j[c]; j <= e.mxlev_j[c]; ++j) {
                    if (levmap(i, j) != nl || bimage(i, j) != 1) continue;
                    if (nl >= 2 && tempht(i, j) <= noise_thr) {
                        bimage(i, j) = 0;
                        continue;
                    }
                    double ave = 0.0;
                    double sd = 0.0;
                    var_constr(ns, nx, ny, tempht, bimage, 0, i, j, ave, sd);
                    if (bimage(i, j) == 0) {
                        ++ntot;
                    } else if (bimage(i, j) == -1) {
                        const double m = avenxn_x(ns1, nx, ny, tempht, bimage, 0, i, j);
                        if (m < tempht(i, j)) tempht(i, j) = m;
                    } else {
                        bimage(i, j) = 0;
                    }
                }
            }
        }
    }
    *st.out << list_line("LEVEL_MAP_ESTIMATOR FIXED PTS=", ntot);
}

}  // namespace veltrane2
