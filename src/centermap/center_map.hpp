// The centre map: the central blob of bright pixels around the zero
// frequency of the log spectrum, separated from the streak through it.
#pragma once

#include <array>
#include <optional>

#include "core/blocks.hpp"
#include "image/box.hpp"
#include "image/grid.hpp"

namespace veltrane2 {

// What the centre map hands on to the centre pass and the symmetric passes.
struct CentreMap {
    CenterAna1 center_ana1;        // statistics of the map (of the bright pixels when the map stayed empty)
    std::array<int, 2> icent{0, 0};  // grid position of the centre (first, second index)
    Box centerbcut;                 // bounding box of the map; the whole grid when the map is empty
};

// Weighted centroid, covariance eigen-decomposition and extreme weights of
// the pixels of the box b whose map value is ival, with weights tempht.
// None when the weights of those pixels sum to zero (no pixel selected):
// there is then no centroid to take.
std::optional<CenterAna1> distr_covar(const Box& b, const RealImage& tempht, const IntMap& bimage, int ival);

// Bounding box of the pixels whose map value is 1 (99999 / -99999 when
// none), looked for in the box `within`.
Box range_map(const Box& within, const IntMap& cenmap);

// Finds the centre map cent of the bright pixels in bimage and takes its
// pixels out of bimage; the map grows ring by ring while the bright
// fraction of the new ring is above thresh_centmap. Positions of the disc
// outside the image are skipped. When the bright pixels have no centroid,
// or no bright pixel lies in the first disc, the map stays empty and bimage
// unchanged.
CentreMap center_map2(double thresh_centmap, const RealImage& tempht, IntMap& bimage, IntMap& cent);

}  // namespace veltrane2
