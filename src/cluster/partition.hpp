// Set partition: connected groups of linked items, and grouping of entries
// by equal value.
#pragma once

#include <vector>

namespace veltrane2 {

// A table of groups: ngroups[g] lists the members of group g + 1 in order.
struct GroupTable {
    std::vector<std::vector<int>> ngroups;
    int nbgrp() const { return static_cast<int>(ngroups.size()); }
};

// The items n0..n that occur in no pair, in increasing order.
std::vector<int> unlinked_items(int n0, int n, const std::vector<int>& indx1, const std::vector<int>& indx2);

// The items n0..n that occur in no pair, in increasing order. More than
// ndim of them stops the run.
std::vector<int> singular_grp(int ndim, int n0, int n, const std::vector<int>& indx1, const std::vector<int>& indx2);

// Grows the group nm (seed first) over the pairs in_i/in_j: a pair that
// touches the group adds its other item; passes repeat until nothing
// changes. Returns the numbers (1-based, in the order of the lists) of the
// pairs that touch no member.
std::vector<int> one_cluster(const std::vector<int>& in_i, const std::vector<int>& in_j, std::vector<int>& nm);

// Appends to t the groups that the pairs link, in the order of their lowest
// remaining pair: each is seeded with that pair and grown by one_cluster;
// a last single pair is a group by itself. check_room() runs before every
// new group (it stops the run when the table is full).
template <class CheckRoom>
void grow_groups(GroupTable& t, std::vector<int> indx1, std::vector<int> indx2, CheckRoom check_room) {
    while (!indx1.empty()) {
        check_room();
        std::vector<int> nm = {indx1[0], indx2[0]};
        const std::vector<int> new_m = one_cluster(indx1, indx2, nm);
        t.ngroups.push_back(std::move(nm));
        if (new_m.empty()) return;
        if (new_m.size() == 1) {
            check_room();
            const auto k = static_cast<std::size_t>(new_m[0] - 1);
            t.ngroups.push_back({indx1[k], indx2[k]});
            return;
        }
        std::vector<int> r1, r2;
        r1.reserve(new_m.size());
        r2.reserve(new_m.size());
        for (int k : new_m) {
            r1.push_back(indx1[static_cast<std::size_t>(k - 1)]);
            r2.push_back(indx2[static_cast<std::size_t>(k - 1)]);
        }
        indx1 = std::move(r1);
        indx2 = std::move(r2);
    }
}

// The connected groups of the items n0..npts under the pairs: first the
// unlinked items in increasing order, then the groups in the order of their
// lowest remaining pair. More than ndim groups stops the run.
GroupTable partition_sets(int ndim, int n0, int npts, std::vector<int> indx1, std::vector<int> indx2);

// Groups the entries 1..n of idata by equal value, groups in order of first
// appearance, entries in increasing order. More than mdim groups, or more
// than mn members in one, stops the run.
GroupTable cluster1d(const std::vector<int>& idata, int mdim, int mn);

}  // namespace veltrane2
