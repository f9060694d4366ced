// Level maps: the marked region peeled ring by ring from its border inward,
// and the estimator that lowers the marked pixels ring by ring.
#pragma once

#include "image/grid.hpp"

namespace veltrane2 {

// levmap: 1 on the border pixels of the region (bimage > 0 with an in-image
// axis neighbour not equal to 1), k + 1 on the pixels of value 1 that touch
// level k (eight neighbours), 0 elsewhere. Returns the highest level.
int level_whole_map(const IntMap& bimage, IntMap& levmap);

// Mean of image over the (2 ns + 1)^2 window around (i0, j0) (centre
// excluded, inside the image) where table equals ival; 100000.0 when there
// is no such pixel.
double avenxn_x(int ns, const RealImage& image, const IntMap& table, int ival, int i0, int j0);

// Lowers every levelled pixel, level by level and in first-index-major
// order within a level, to the mean of its unmarked or lower-ring
// neighbours when it lies above their mean plus spread (with none, to the
// wider mean of the unmarked neighbours when above it); unmarks it. Every
// lowered pixel is marked in `written`.
void level_whole_estimator(int ns, RealImage& tempht, MarkMap& written, IntMap& bimage, int mlevel,
                           const IntMap& levmap);

}  // namespace veltrane2
