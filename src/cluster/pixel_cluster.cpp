#include "cluster/pixel_cluster.hpp"

#include <algorithm>
#include <unordered_map>

#include "image/extremes.hpp"
#include "image/image_ops.hpp"
#include "core/errors.hpp"
#include "core/listout.hpp"

namespace veltrane2 {

int connected(int i1, int j1, int i2, int j2) {
    const int di = i1 - i2;
    const int dj = j1 - j2;
    if (di < -1 || di > 1 || dj < -1 || dj > 1 || (di == 0 && dj == 0)) return -1;
    return (di + 1) * 3 + (dj + 1);
}

void pixel_connect(int ngrid, const std::vector<int>& rdata, int n0, int n1, std::vector<int>& indx1,
                   std::vector<int>& indx2) {
    indx1.clear();
    indx2.clear();
    std::vector<std::pair<int, int>> pos;
    for (int k = n0; k <= n1; ++k) {
        int i, j;
        nb2gd_2d(ngrid, rdata[static_cast<std::size_t>(k - 1)], i, j);
        pos.emplace_back(i, j);
    }
    const int m = n1 - n0 + 1;
    for (int a = 0; a < m - 1; ++a)
        for (int b = a + 1; b < m; ++b)
            if (connected(pos[a].first, pos[a].second, pos[b].first, pos[b].second) >= 0) {
                indx1.push_back(n0 + a);
                indx2.push_back(n0 + b);
            }
}

namespace {

// The groups of the pixels rdata(n0..n1), members as pixel numbers.
GroupTable segment_groups(int ngrid, const std::vector<int>& rdata, int n0, int n1) {
    std::vector<int> indx1, indx2;
    pixel_connect(ngrid, rdata, n0, n1, indx1, indx2);
    GroupTable t = partition_sets(kSegment, n0, n1, std::move(indx1), std::move(indx2));
    for (auto& g : t.ngroups)
        for (int& member : g) member = rdata[static_cast<std::size_t>(member - 1)];
    return t;
}

}  // namespace

GroupTable begin_pix_cluster(int ngrid, const std::vector<int>& rdata) {
    const int m = std::min(static_cast<int>(rdata.size()), kSegment);
    return segment_groups(ngrid, rdata, 1, m);
}

void merge_pix_cluster(int ng, const GroupTable& groups, ClusterPix& store) {
    const std::vector<std::vector<int>> old = store.clusters;
    const int ncl = static_cast<int>(old.size());
    const int nbj = groups.nbgrp();

    // The touching (old, new) pairs, old cluster outer, new group inner: the
    // pairs of an old cluster come from the new groups that any of its
    // pixels has as an 8-neighbour, in increasing group order.
    std::unordered_map<int, int> group_of;  // pixel number -> new group
    for (int jg = 1; jg <= nbj; ++jg)
        for (int p : groups.ngroups[static_cast<std::size_t>(jg - 1)]) group_of.emplace(p, jg);
    std::vector<int> indx1, indx2;
    std::vector<int> touched;
    for (int ig = 1; ig <= ncl; ++ig) {
        touched.clear();
        for (int p : old[static_cast<std::size_t>(ig - 1)]) {
            int i, j;
            nb2gd_2d(ng, p, i, j);
            for (int di = -1; di <= 1; ++di)
                for (int dj = -1; dj <= 1; ++dj) {
                    if (di == 0 && dj == 0) continue;
                    const int ni = i + di;
                    if (ni < 1 || ni > ng || j + dj < 1) continue;
                    auto it = group_of.find(gd2nb_2d(ng, ni, j + dj));
                    if (it != group_of.end()) touched.push_back(it->second);
                }
        }
        std::sort(touched.begin(), touched.end());
        touched.erase(std::unique(touched.begin(), touched.end()), touched.end());
        for (int jg : touched) {
            if (static_cast<int>(indx1.size()) + 1 > kNxclusp) {
                throw FatalStop(
                    list_line("IGPAIR > NXCLUSp in MERGE_PIX_CLUSTER ", static_cast<int>(indx1.size()) + 1, kNxclusp));
            }
            indx1.push_back(ig);
            indx2.push_back(ncl + jg);
        }
    }

    const GroupTable merged = partition_sets(kNxclus, 1, ncl + nbj, std::move(indx1), std::move(indx2));
    if (merged.nbgrp() > kNxclus) {
        throw FatalStop(list_line("NBC > NXCLUS in MERGE_PIX_CLUSTER ", merged.nbgrp(), kNxclus));
    }
    store.clusters.clear();
    for (const auto& g : merged.ngroups) {
        std::vector<int> members;
        for (int vertex : g) {
            const bool is_old = vertex <= ncl;
            const auto& part = is_old ? old[static_cast<std::size_t>(vertex - 1)]
                                      : groups.ngroups[static_cast<std::size_t>(vertex - ncl - 1)];
            const int sum = static_cast<int>(members.size() + part.size());
            if (sum > kMxclus) {
                throw FatalStop(list_line(
                    is_old ? "0ICONT > MXCLUS in MERGE_PIX_CLUSTER " : "1ICONT > MXCLUS in MERGE_PIX_CLUSTER ", sum,
                    kMxclus));
            }
            members.insert(members.end(), part.begin(), part.end());
        }
        store.clusters.push_back(std::move(members));
    }
}

void cluster_pixels(int ng, const std::vector<int>& memb, ClusterPix& store) {
    const int n = static_cast<int>(memb.size());
    const int nseg = (n + kSegment - 1) / kSegment;
    const GroupTable first = begin_pix_cluster(ng, memb);
    if (first.nbgrp() > kNxclus) throw FatalStop(list_line("cluster number > NXCLUS ", first.nbgrp(), kNxclus));
    std::vector<int> sizes;
    for (const auto& g : first.ngroups) sizes.push_back(static_cast<int>(g.size()));
    if (!sizes.empty()) {
        std::vector<int> indx(sizes.size());
        ihpsort(static_cast<int>(sizes.size()), sizes.data(), indx.data());
        const int largest = sizes[static_cast<std::size_t>(indx.back() - 1)];
        if (largest > kMxclus) throw FatalStop(list_line("Member # > MXCLUS:0 ", largest, kMxclus));
    }
    store.clusters = first.ngroups;
    if (n < kSegment) return;
    for (int s = 2; s <= nseg; ++s) {
        const int n0 = kSegment * (s - 1) + 1;
        const int n1 = std::min(kSegment * s, n);
        merge_pix_cluster(ng, segment_groups(ng, memb, n0, n1), store);
    }
}

}  // namespace veltrane2
