// Homogeneity maps of the log spectrum: how high a pixel is (intensity map)
// and how sharply it stands above its axis neighbours (Laplacian map), both
// scaled to 0..1, and the global selection on their product H. Every map
// has the size of the image it is made from.
#pragma once

#include "homogeneity/derivatives.hpp"
#include "image/extremes.hpp"
#include "image/grid.hpp"
#include "image/image_ops.hpp"

namespace veltrane2 {

// Intensity map of tempht, scaled so that its maximum is 1. A flat input
// has no range to scale: the map is then 0 everywhere. Returns the map's
// value_range(), found as the map is written.
ValueRange intensity_homegen(const RealImage& tempht, RealImage& homo);

// Laplacian map over the pixels whose mask value is 1 (every pixel when
// local is false, which also sets the mask to 1), scaled to 0..1; 0 at the
// other pixels. Responses that are all equal have no range: they map to 0.
// Returns the map's value_range(), found as the map is written.
ValueRange laplace_homegen(const Laplacian& lap, bool local, const RealImage& tempht, IntMap& bimage,
                           RealImage& homo);

// The product H of the two maps of the whole of tempht, each rescaled to
// 0..1 by its range (normalization_image() of the intensity map, times the
// Laplacian map of every pixel rescaled as times_normalized() does), into
// h; `edges` (of tempht's size) holds the Laplacians on the way. The same
// values as intensity_homegen(), normalization_image(), laplace_homegen()
// with local false and times_normalized() in turn, in three sweeps instead
// of eight; up to `threads` threads (0: as many as the machine has cores,
// at most four).
// `extremes`, when given, are the lowest and the highest value of tempht
// (as lowest_and_highest() finds them, but for the sign of a zero), which
// then need no sweep of their own.
void homogeneity_product(const Laplacian& lap, const RealImage& tempht, RealImage& h, RealImage& edges,
                         int threads = 1, const ValueSpan* extremes = nullptr);

// bimage = 1 where fmage > threshold, else 0.
void select_homo_global(const RealImage& fmage, double thresh_homo_glb, IntMap& bimage);

}  // namespace veltrane2
