// The cluster map: every selected pixel of a mask gets the label of its
// 8-connected cluster, built strip by strip of rows and stitched at the
// strip boundaries; and the counting that makes the labels dense.
#pragma once

#include <ostream>

#include "core/blocks.hpp"
#include "image/grid.hpp"

namespace veltrane2 {

// Labels the pixels of bimage equal to ival in image (0 elsewhere, image of
// bimage's size), in strips of divide.idvid rows, the last one cut short;
// returns the largest label issued (0 when nothing is selected). ngap is
// the half-width in rows of the band at each strip boundary.
int cluster_map(const DivideInt& divide, int ngap, const IntMap& bimage, int ival, IntMap& image);

// Stitches the strip below row jl, whose clusters are in the store and
// carry their negated store numbers in image, to the rows above it.
void merge_2set_cluster_gap(ClusterPix& store, const DivideInt& divide, int ngap, int jl, IntMap& image, int& iclmax);

// Renumbers the labels 1..ncl densely and returns per-cluster statistics of
// tempht; prints the "CLUSTER#=" line. On return ncl is the label of the
// cluster with the largest spread.
ClusterStats count_cluster(std::ostream& out, IntMap& cluster, const RealImage& tempht, int& ncl);

}  // namespace veltrane2
