// The Laplacian point operator.
#pragma once

#include "core/blocks.hpp"
#include "image/grid.hpp"

namespace veltrane2 {

// 8 x image(i, j) minus its four axis neighbours; a neighbour outside the
// image takes the value of (i, j) itself.
double laplace_discr(const Laplacian& lap, int i, int j, const RealImage& image);

}  // namespace veltrane2
