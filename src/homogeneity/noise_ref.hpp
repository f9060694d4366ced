// The reference noise threshold: statistics of the pixels that the global
// selection left out, and the re-decision of every pixel against them.
#pragma once

#include "core/blocks.hpp"
#include "image/grid.hpp"

namespace veltrane2 {

// Statistics of the pixels whose mask value is ival.
void refer_noise(int nx, int ny, const RealImage& tempht, const IntMap& bimage, int ival, GaussRefnoise& ref);

// A selected pixel at or below the threshold is dropped; an unselected one
// above it is taken; any other mask value stays.
void thresh_noise(int nx, int ny, const RealImage& tempht, const GaussRefnoise& ref, IntMap& bimage);

}  // namespace veltrane2
