// The reference noise threshold: statistics of the pixels that the global
// selection left out, and the re-decision of every pixel against them.
#pragma once

#include "core/blocks.hpp"
#include "image/grid.hpp"

namespace veltrane2 {

// Statistics of the pixels of tempht whose mask value is ival.
GaussRefnoise refer_noise(const RealImage& tempht, const IntMap& bimage, int ival);

// A selected pixel at or below noise_thr is dropped; an unselected one
// above it is taken; any other mask value stays.
void thresh_noise(const RealImage& tempht, double noise_thr, IntMap& bimage);

}  // namespace veltrane2
