// The fixed 3 x 3 difference stencils and the Laplacian point operator.
#pragma once

#include "core/blocks.hpp"
#include "image/grid.hpp"

namespace veltrane2 {

// Fills both stencil blocks.
void derivative_operator(Laplacian& lap, Firstder& fd);

// 8 x image(i, j) minus its four axis neighbours; a neighbour outside the
// nx x ny image takes the value of (i, j) itself.
double laplace_discr(const Laplacian& lap, int i, int j, int nx, int ny, const RealImage& image);

}  // namespace veltrane2
