// Stitching at a strip boundary of the cluster map: label groups of the
// band, the old labels unified through the new strip, and the final labels
// of the new strip.
#pragma once

#include <vector>

#include "cluster/partition.hpp"
#include "core/blocks.hpp"
#include "image/grid.hpp"

namespace veltrane2 {

// The set partition with separate limits for the group count (ndim1, with
// its message) and for the members of a group.
GroupTable partition_big(int ndim1, int n0, int npts, std::vector<int> indx1, std::vector<int> indx2);

// The distinct values of ivec in the order idx (1-based) visits them; more
// than mdim stops the run.
std::vector<int> group_sorted(const std::vector<int>& ivec, const std::vector<int>& idx, int mdim);

// 1 when some value occurs in both lists, else 0.
int vec2_connt(const std::vector<int>& ivec, const std::vector<int>& jvec);

// Replaces the band clusters in the store by the label groups of the band
// (rows of `rows`): old and new labels whose band pixels meet, with all their
// band pixels.
void update_interface(const InterfaceRows& rows, ClusterPix& store, const IntMap& image);

// Old-side entries of the band, as update_oldcluster returns them.
struct OldSide {
    std::vector<int> idata1;  // label (unified on return)
    std::vector<int> idata2;  // label group in the store
};

// Unifies the old labels that the new strip joins through the band (to the
// smallest of them, over all rows above the boundary); nmx grows to the
// largest label met.
OldSide update_oldcluster(const InterfaceRows& rows, const ClusterPix& store, IntMap& image, int& nmx);

// Gives every pixel of the new strip (rows js up to jold + idvid) its final
// positive label: the old label it meets through the band, or a fresh label
// after iclmax.
void update_newcluster_new(const InterfaceRows& rows, const ClusterPix& store, const DivideInt& divide, IntMap& image,
                           const OldSide& old, int& iclmax);

}  // namespace veltrane2
