#include "cluster/interface.hpp"

#include <algorithm>
#include <unordered_map>

#include "image/extremes.hpp"
#include "image/image_ops.hpp"
#include "core/errors.hpp"
#include "core/listout.hpp"

namespace veltrane2 {
namespace {

// Largest number of pixels in one label group of the band.
constexpr int kGroupPixels = 5000;

struct Entry {
    int label;  // label (new side: with its sign removed)
    int group;  // band cluster or label group in the store, 0 = none
    int pixel;  // pixel number
};

// The first cluster of the store (in cluster order, then member order) that
// lists each pixel.
std::unordered_map<int, int> first_cluster_of(const ClusterPix& store) {
    std::unordered_map<int, int> first;
    for (int ic = 1; ic <= store.ncl(); ++ic)
        for (int p : store.clusters[static_cast<std::size_t>(ic - 1)]) first.emplace(p, ic);
    return first;
}

// Entries of rows j0..j1 whose label passes `take`, row by row and by
// increasing first index. More than MXEDGEPT stops the run with `message`.
template <class Take>
std::vector<Entry> collect(int nx, int j0, int j1, const IntMap& image, Take take, const char* message,
                           bool with_count) {
    std::vector<Entry> entries;
    for (int j = j0; j <= j1; ++j)
        for (int i = 1; i <= nx; ++i) {
            const int label = image(i, j);
            if (!take(label)) continue;
            if (static_cast<int>(entries.size()) + 1 > kMxedgept) {
                throw FatalStop(with_count ? list_line(message, static_cast<int>(entries.size()) + 1, kMxedgept)
                                           : list_line(message, kMxedgept));
            }
            entries.push_back({label < 0 ? -label : label, 0, gd2nb_2d(nx, i, j)});
        }
    return entries;
}

// A label of one side of the band: its entries and the sorted distinct band
// clusters they lie in.
struct Label {
    std::vector<int> entries;  // indices into the side's entries
    std::vector<int> clusters;
};

std::vector<Label> labels_of(const std::vector<Entry>& side) {
    std::vector<int> keys;
    for (const Entry& e : side) keys.push_back(e.label);
    std::vector<Label> labels;
    if (keys.empty()) return labels;
    for (const auto& g : cluster1d(keys, 500, 5000).ngroups) {
        Label l;
        for (int k : g) l.entries.push_back(k - 1);
        std::vector<int> bc;
        for (int k : l.entries) bc.push_back(side[static_cast<std::size_t>(k)].group);
        if (bc.size() == 1) {
            l.clusters = bc;
        } else {
            std::vector<int> idx(bc.size());
            ihpsort(static_cast<int>(bc.size()), bc.data(), idx.data());
            const int lo = bc[static_cast<std::size_t>(idx.front() - 1)];
            const int hi = bc[static_cast<std::size_t>(idx.back() - 1)];
            l.clusters = lo == hi ? std::vector<int>{lo} : group_sorted(bc, idx, 1000);
        }
        labels.push_back(std::move(l));
    }
    return labels;
}

// Groups the entries by their group number and gives every entry of a group
// of several the smallest label of its group (working; a single entry keeps
// its label). True when some group held different labels.
bool smallest_label_per_group(const std::vector<int>& groups, const std::vector<int>& labels,
                              std::vector<int>& working) {
    working = labels;
    if (groups.empty()) return false;
    bool mixed = false;
    for (const auto& g : cluster1d(groups, 500, 5000).ngroups) {
        if (g.size() == 1) continue;
        std::vector<int> members;
        for (int k : g) members.push_back(labels[static_cast<std::size_t>(k - 1)]);
        std::vector<int> idx(members.size());
        ihpsort(static_cast<int>(members.size()), members.data(), idx.data());
        const int lo = members[static_cast<std::size_t>(idx.front() - 1)];
        const int hi = members[static_cast<std::size_t>(idx.back() - 1)];
        mixed = mixed || lo != hi;
        for (int k : g) working[static_cast<std::size_t>(k - 1)] = lo;
    }
    return mixed;
}

}  // namespace

GroupTable partition_big(int ndim1, int n0, int npts, std::vector<int> indx1, std::vector<int> indx2) {
    GroupTable t;
    for (int item : singular_grp(ndim1, n0, npts, indx1, indx2)) t.ngroups.push_back({item});
    if (t.nbgrp() == npts - n0 + 1) return t;
    grow_groups(t, std::move(indx1), std::move(indx2), [&] {
        if (t.nbgrp() + 1 > ndim1) {
            throw FatalStop(list_line("in PARTITION_BIG NBGRP too big", t.nbgrp() + 1, ndim1));
        }
    });
    return t;
}

std::vector<int> group_sorted(const std::vector<int>& ivec, const std::vector<int>& idx, int mdim) {
    std::vector<int> out;
    for (int k : idx) {
        const int v = ivec[static_cast<std::size_t>(k - 1)];
        if (std::find(out.begin(), out.end(), v) != out.end()) continue;
        if (static_cast<int>(out.size()) + 1 > mdim) throw FatalStop(list_line("NG > MDIM in GROUP_sorted "));
        out.push_back(v);
    }
    return out;
}

int vec2_connt(const std::vector<int>& ivec, const std::vector<int>& jvec) {
    for (int a : ivec)
        for (int b : jvec)
            if (a == b) return 1;
    return 0;
}

void update_interface(const InterfaceRows& rows, ClusterPix& store, const IntMap& image) {
    const int nx = image.nx();
    auto nonzero = [](int label) { return label != 0; };
    std::vector<Entry> old_side =
        collect(nx, rows.jold1, rows.jold, image, nonzero, "N0 > MXEDGEPT in UPDATE_INTERFACE :", false);
    std::vector<Entry> new_side =
        collect(nx, rows.js, rows.js1, image, nonzero, "NN > MXEDGEPT in UPDATE_INTERFACE :", false);
    const auto first = first_cluster_of(store);
    for (auto* side : {&old_side, &new_side})
        for (Entry& e : *side) {
            auto it = first.find(e.pixel);
            e.group = it == first.end() ? 0 : it->second;
        }
    const std::vector<Label> olds = labels_of(old_side);
    const std::vector<Label> news = labels_of(new_side);
    const int nnew = static_cast<int>(news.size());
    const int nold = static_cast<int>(olds.size());

    std::vector<int> indx1, indx2;
    for (int k = 1; k <= nnew; ++k)
        for (int l = 1; l <= nold; ++l)
            if (vec2_connt(news[static_cast<std::size_t>(k - 1)].clusters,
                           olds[static_cast<std::size_t>(l - 1)].clusters)) {
                if (static_cast<int>(indx1.size()) + 1 > kMxpairIf) {
                    throw FatalStop(list_line("NPAIR > MXPAIR in UPDATE_INTERFACE "));
                }
                indx1.push_back(k);
                indx2.push_back(nnew + l);
            }
    const GroupTable groups = partition_big(500, 1, nnew + nold, std::move(indx1), std::move(indx2));

    store.clusters.clear();
    for (const auto& g : groups.ngroups) {
        std::vector<int> pixels;
        for (int vertex : g) {
            const bool is_new = vertex <= nnew;
            const Label& l =
                is_new ? news[static_cast<std::size_t>(vertex - 1)] : olds[static_cast<std::size_t>(vertex - nnew - 1)];
            const auto& side = is_new ? new_side : old_side;
            for (int k : l.entries) {
                // A group's pixel list holds at most 5000 pixels.
                if (static_cast<int>(pixels.size()) + 1 > kGroupPixels) {
                    throw FatalStop(list_line("NPIX > MXCLUS in UPDATE_INTERFACE ", static_cast<int>(pixels.size()) + 1,
                                              kGroupPixels));
                }
                pixels.push_back(side[static_cast<std::size_t>(k)].pixel);
            }
        }
        store.clusters.push_back(std::move(pixels));
    }
}

OldSide update_oldcluster(const InterfaceRows& rows, const ClusterPix& store, IntMap& image, int& nmx) {
    const int nx = image.nx();
    std::vector<Entry> entries = collect(
        nx, rows.jold1, rows.jold, image, [](int label) { return label > 0; },
        "CORRESP. DATA > MXEDGEPT in UPDATE_OLDCLUSTER :", true);
    const auto first = first_cluster_of(store);
    OldSide old;
    for (Entry& e : entries) {
        auto it = first.find(e.pixel);
        e.group = it == first.end() ? 0 : it->second;
        old.idata1.push_back(e.label);
        old.idata2.push_back(e.group);
    }
    if (entries.empty()) return old;

    std::vector<int> working;
    if (!smallest_label_per_group(old.idata2, old.idata1, working)) return old;

    // Every label above the boundary takes the working label of its first
    // entry (all entries of one label lie in one group).
    std::unordered_map<int, int> to;
    for (std::size_t k = 0; k < old.idata1.size(); ++k) to.emplace(old.idata1[k], working[k]);
    for (int j = 1; j <= rows.jold; ++j)
        for (int i = 1; i <= nx; ++i) {
            const int label = image(i, j);
            if (label <= 0) continue;
            nmx = std::max(nmx, label);
            auto it = to.find(label);
            if (it != to.end()) image(i, j) = it->second;
        }
    old.idata1 = working;
    return old;
}

namespace {

// Sets the group of every new-side entry (the label group of the store that
// lists its pixel) and returns the mixed groups: those with pixels on both
// sides, in store order.
std::vector<int> mixed_groups(const InterfaceRows& rows, const ClusterPix& store, int nx, std::vector<Entry>& entries) {
    std::unordered_map<int, int> entry_of;  // pixel number -> first entry
    for (std::size_t k = 0; k < entries.size(); ++k) entry_of.emplace(entries[k].pixel, static_cast<int>(k));
    std::vector<int> flagged;  // groups with a pixel above the new side
    for (int g = 1; g <= store.ncl(); ++g) {
        bool above = false;
        for (int p : store.clusters[static_cast<std::size_t>(g - 1)]) {
            int i, j;
            nb2gd_2d(nx, p, i, j);
            above = above || j < rows.js;
            auto it = entry_of.find(p);
            if (it != entry_of.end()) entries[static_cast<std::size_t>(it->second)].group = g;
        }
        if (above) flagged.push_back(g);
    }
    std::vector<int> groups_of_entries;
    for (const Entry& e : entries) groups_of_entries.push_back(e.group);
    std::vector<int> distinct;
    if (!groups_of_entries.empty()) {
        std::vector<int> idx(groups_of_entries.size());
        ihpsort(static_cast<int>(idx.size()), groups_of_entries.data(), idx.data());
        distinct = group_sorted(groups_of_entries, idx, 500);
    }
    if (static_cast<int>(flagged.size()) > kNxclus1) {
        throw FatalStop(list_line("MIXED CLUSTERS NEX > NXCLUS1 ", kNxclus1));
    }
    std::vector<int> mixed;
    for (int g : flagged)
        if (std::find(distinct.begin(), distinct.end(), g) != distinct.end()) mixed.push_back(g);
    return mixed;
}

// Gives the new-side labels of one group the smallest of them, in the
// entries and in the rows js..js2 of the image (still negated there).
void join_new_labels(int js, int js2, std::vector<Entry>& entries, IntMap& image) {
    std::vector<int> groups, labels, working;
    for (const Entry& e : entries) {
        groups.push_back(e.group);
        labels.push_back(e.label);
    }
    if (!smallest_label_per_group(groups, labels, working)) return;
    std::unordered_map<int, int> to;  // provisional label -> working label of its first entry
    for (std::size_t k = 0; k < entries.size(); ++k) to.emplace(entries[k].label, working[k]);
    const int nx = image.nx();
    for (int j = js; j <= js2; ++j)
        for (int i = 1; i <= nx; ++i) {
            const int label = image(i, j);
            if (label >= 0) continue;
            auto it = to.find(-label);
            if (it != to.end()) image(i, j) = -it->second;
        }
    for (std::size_t k = 0; k < entries.size(); ++k) entries[k].label = working[k];
}

// The (new label, old label) of every mixed group: the label of its first
// entry on each side.
std::vector<std::pair<int, int>> mixed_labels_of(const std::vector<int>& mixed, const OldSide& old,
                                                 const std::vector<Entry>& entries) {
    std::vector<std::pair<int, int>> mixed_labels;
    for (int g : mixed) {
        int old_label = 0;
        for (std::size_t k = 0; k < old.idata2.size(); ++k)
            if (old.idata2[k] == g) {
                old_label = old.idata1[k];
                break;
            }
        int new_label = 0;
        for (const Entry& e : entries)
            if (e.group == g) {
                new_label = e.label;
                break;
            }
        mixed_labels.emplace_back(new_label, old_label);
    }
    return mixed_labels;
}

// The final labels of rows js..js2: a new label of a mixed group takes its
// old label, any other a fresh one after iclmax in the order first met.
void final_new_labels(int js, int js2, const std::vector<std::pair<int, int>>& mixed_labels, IntMap& image,
                      int& iclmax) {
    const int nx = image.nx();
    const int base = iclmax;
    std::vector<int> fresh;
    for (int j = js; j <= js2; ++j)
        for (int i = 1; i <= nx; ++i) {
            const int label = image(i, j);
            if (label >= 0) continue;
            const int l = -label;
            auto it = std::find_if(mixed_labels.begin(), mixed_labels.end(),
                                   [l](const std::pair<int, int>& m) { return m.first == l; });
            if (it != mixed_labels.end()) {
                image(i, j) = it->second;
            } else if (std::find(fresh.begin(), fresh.end(), l) == fresh.end()) {
                if (static_cast<int>(fresh.size()) + 1 > kNxclus1) {
                    throw FatalStop(list_line("FRESH LABELS > NXCLUS1 in UPDATE_NEWCLUSTER ",
                                              static_cast<int>(fresh.size()) + 1, kNxclus1));
                }
                fresh.push_back(l);
            }
        }
    if (fresh.empty()) return;
    for (int j = js; j <= js2; ++j)
        for (int i = 1; i <= nx; ++i) {
            const int label = image(i, j);
            if (label >= 0) continue;
            const auto pos = std::find(fresh.begin(), fresh.end(), -label) - fresh.begin();
            image(i, j) = base + static_cast<int>(pos) + 1;
        }
    iclmax = base + static_cast<int>(fresh.size());
}

}  // namespace

void update_newcluster_new(const InterfaceRows& rows, const ClusterPix& store, const DivideInt& divide, IntMap& image,
                           const OldSide& old, int& iclmax) {
    std::vector<Entry> entries = collect(
        image.nx(), rows.js, rows.js1, image, [](int label) { return label < 0; },
        "CORRESP. DATA > MXEDGEPT in UPDATE_NEWCLUSTER :", true);
    const std::vector<int> mixed = mixed_groups(rows, store, image.nx(), entries);
    const int js2 = std::min(image.ny(), rows.jold + divide.idvid);
    join_new_labels(rows.js, js2, entries, image);
    final_new_labels(rows.js, js2, mixed_labels_of(mixed, old, entries), image, iclmax);
}

}  // namespace veltrane2
