// The grouping mode's level stage: each cluster of the label map peeled into
// rings on its own, and the marked pixels lowered cluster by cluster.
#pragma once

#include <vector>

#include "image/grid.hpp"
#include "core/run_state.hpp"

namespace veltrane2 {

// Per-cluster level map of the dense label map `cluster`; fills st.level_1.
void level_map(RunState& st, int nx, int ny, const IntMap& cluster, IntMap& levmap);

// The inner rings of cluster `is` inside its boundary extent.
void level_map_1clust(int is, int nx, int ny, const IntMap& cluster, IntMap& levmap, int imin, int imax, int jmin,
                      int jmax);

// Tests one pixel against the neighbours whose mask value is ival: lowered
// to their mean (mask 0) when above mean plus spread; mask -1 when it has
// no such neighbour.
void var_constr(int ns, int nx, int ny, RealImage& tempht, IntMap& bimage, int ival, int i0, int j0, double& ave,
                double& std_dev);

// Lowers the marked pixels level by level, cluster by cluster; prints the
// "LEVEL_MAP_ESTIMATOR FIXED PTS=" line.
void level_map_estimator(RunState& st, int ns, int nx, int ny, RealImage& tempht, IntMap& bimage, const IntMap& levmap);

}  // namespace veltrane2
