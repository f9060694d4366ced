// Pixel clustering: a list of pixel numbers grouped into clusters of
// 8-connected pixels, segment by segment, in the cluster store.
#pragma once

#include <vector>

#include "core/blocks.hpp"
#include "cluster/partition.hpp"

namespace veltrane2 {

// A code 0..8 (never 4) telling the neighbour position when the two pixels
// are 8-neighbours, else -1.
int connected(int i1, int j1, int i2, int j2);

// All linked pairs of rdata(n0..n1) (1-based positions), as positions, ordered
// by first and then second item.
void pixel_connect(int ngrid, const std::vector<int>& rdata, int n0, int n1, std::vector<int>& indx1,
                   std::vector<int>& indx2);

// Groups of the first min(n, 500) pixels, members as pixel numbers.
GroupTable begin_pix_cluster(int ngrid, const std::vector<int>& rdata);

// Merges new groups (members as pixel numbers) into the store.
void merge_pix_cluster(int ng, const GroupTable& groups, ClusterPix& store);

// Fills the store with the 8-connected clusters of the pixels memb (pixel
// numbers with row length ng).
void cluster_pixels(int ng, const std::vector<int>& memb, ClusterPix& store);

}  // namespace veltrane2
