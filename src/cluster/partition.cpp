#include "cluster/partition.hpp"

#include <algorithm>
#include <unordered_map>

#include "core/errors.hpp"
#include "core/listout.hpp"

namespace veltrane2 {

std::vector<int> unlinked_items(int n0, int n, const std::vector<int>& indx1, const std::vector<int>& indx2) {
    std::vector<int> items;
    if (n < n0) return items;
    std::vector<char> linked(static_cast<std::size_t>(n - n0 + 1), 0);
    auto mark = [&](int item) {
        if (item >= n0 && item <= n) linked[static_cast<std::size_t>(item - n0)] = 1;
    };
    for (std::size_t k = 0; k < indx1.size(); ++k) {
        mark(indx1[k]);
        mark(indx2[k]);
    }
    for (int item = n0; item <= n; ++item)
        if (!linked[static_cast<std::size_t>(item - n0)]) items.push_back(item);
    return items;
}

std::vector<int> singular_grp(int ndim, int n0, int n, const std::vector<int>& indx1, const std::vector<int>& indx2) {
    std::vector<int> ngr = unlinked_items(n0, n, indx1, indx2);
    if (static_cast<int>(ngr.size()) > ndim) {
        throw FatalStop(list_line("in SINGULAR_GRP NDIM too small ", ndim + 1, ndim));
    }
    return ngr;
}

std::vector<int> one_cluster(const std::vector<int>& in_i, const std::vector<int>& in_j, std::vector<int>& nm) {
    // Membership of the group, by item: only whether an item is a member
    // matters to the passes, not how often it occurs.
    int top = 0;
    for (int v : in_i) top = std::max(top, v);
    for (int v : in_j) top = std::max(top, v);
    for (int v : nm) top = std::max(top, v);
    int bottom = 0;
    for (int v : in_i) bottom = std::min(bottom, v);
    for (int v : in_j) bottom = std::min(bottom, v);
    for (int v : nm) bottom = std::min(bottom, v);
    std::vector<char> member(static_cast<std::size_t>(top - bottom + 1), 0);
    auto in_group = [&](int item) -> char& { return member[static_cast<std::size_t>(item - bottom)]; };
    for (int v : nm) in_group(v) = 1;

    std::vector<int> work(in_i.size());
    for (std::size_t k = 0; k < work.size(); ++k) work[k] = static_cast<int>(k) + 1;
    std::vector<int> new_m;
    for (;;) {
        const std::size_t nj_before = nm.size();
        new_m.clear();
        for (int pair : work) {
            const int a = in_i[static_cast<std::size_t>(pair - 1)];
            const int b = in_j[static_cast<std::size_t>(pair - 1)];
            const bool ici = in_group(a) != 0;
            const bool icj = in_group(b) != 0;
            if (ici && icj) continue;
            if (!ici && icj) {
                nm.push_back(a);
                in_group(a) = 1;
            } else if (ici && !icj) {
                nm.push_back(b);
                in_group(b) = 1;
            } else {
                new_m.push_back(pair);
            }
        }
        if (nm.size() == nj_before && new_m.size() == work.size()) return new_m;
        work = new_m;
    }
}

GroupTable partition_sets(int ndim, int n0, int npts, std::vector<int> indx1, std::vector<int> indx2) {
    GroupTable t;
    for (int item : singular_grp(ndim, n0, npts, indx1, indx2)) t.ngroups.push_back({item});
    if (t.nbgrp() == npts - n0 + 1) return t;
    grow_groups(t, std::move(indx1), std::move(indx2), [&] {
        if (t.nbgrp() + 1 > ndim) throw FatalStop(list_line("in PARTITION_SETS NBGRP too big", t.nbgrp() + 1));
    });
    return t;
}

GroupTable cluster1d(const std::vector<int>& idata, int mdim, int mn) {
    // Every member of a group holds the group's value, so the first group
    // with a member of equal value is the group of that value.
    GroupTable t;
    std::unordered_map<int, int> group_of;
    for (std::size_t k = 0; k < idata.size(); ++k) {
        const int entry = static_cast<int>(k) + 1;
        auto it = group_of.find(idata[k]);
        if (it == group_of.end()) {
            if (t.nbgrp() + 1 > mdim) throw FatalStop(list_line("NG > MDIM in CLUSTER1D ", mdim));
            group_of.emplace(idata[k], t.nbgrp());
            t.ngroups.push_back({entry});
        } else {
            auto& g = t.ngroups[static_cast<std::size_t>(it->second)];
            if (static_cast<int>(g.size()) + 1 > mn) {
                throw FatalStop(list_line("NNG(NG) > MN in CLUSTER1D ", mn, t.nbgrp()));
            }
            g.push_back(entry);
        }
    }
    return t;
}

}  // namespace veltrane2
