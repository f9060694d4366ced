// The grouping mode's level stage: each cluster of the label map peeled into
// rings on its own, and the marked pixels lowered cluster by cluster.
#pragma once

#include <ostream>
#include <vector>

#include "core/blocks.hpp"
#include "image/box.hpp"
#include "image/grid.hpp"

namespace veltrane2 {

// Per-cluster level map of the dense label map `cluster` (its statistics in
// `stats`); returns the highest level of each cluster.
Level1 level_map(const ClusterStats& stats, const IntMap& cluster, IntMap& levmap);

// The inner rings of cluster `is` inside its boundary extent.
void level_map_1clust(int is, const IntMap& cluster, IntMap& levmap, const Box& extent);

// Tests one pixel against the neighbours whose mask value is ival: lowered
// to their mean (mask 0) when above mean plus spread; mask -1 when it has
// no such neighbour. A lowered pixel is marked in `written`.
void var_constr(int ns, RealImage& tempht, MarkMap& written, IntMap& bimage, int ival, int i0, int j0, double& ave,
                double& std_dev);

// Lowers the marked pixels level by level, cluster by cluster; a pixel of
// level 2 or more at or below noise_thr (the reference noise threshold) is
// only unmarked. Prints the "LEVEL_MAP_ESTIMATOR FIXED PTS=" line. Every
// lowered pixel is marked in `written`.
void level_map_estimator(std::ostream& out, const ClusterStats& stats, const Level1& level, double noise_thr, int ns,
                         RealImage& tempht, MarkMap& written, IntMap& bimage, const IntMap& levmap);

}  // namespace veltrane2
