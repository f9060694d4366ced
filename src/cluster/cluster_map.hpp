// The cluster map: every selected pixel of a mask gets the label of its
// 8-connected cluster, built strip by strip of rows and stitched at the
// strip boundaries; and the counting that makes the labels dense.
#pragma once

#include "image/grid.hpp"
#include "core/run_state.hpp"

namespace veltrane2 {

// Labels the pixels of bimage equal to ival in image (0 elsewhere); nout is
// the largest label issued (0 when nothing is selected). ngap is the
// half-width in rows of the band at each strip boundary.
void cluster_map(RunState& st, int ngap, int nx, int ny, const IntMap& bimage, int ival, IntMap& image, int& nout);

// Stitches the strip below row jl to the rows above it.
void merge_2set_cluster_gap(RunState& st, int ngap, int jl, int nx, int ny, IntMap& image, int& iclmax);

// Renumbers the labels 1..ncl densely and gathers per-cluster statistics of
// tempht into st.cluster_ana1 and st.cluster_ana3; prints the "CLUSTER#="
// line. On return ncl is the label of the cluster with the largest spread.
void count_cluster(RunState& st, int nx, int ny, IntMap& cluster, const RealImage& tempht, int& ncl);

}  // namespace veltrane2
