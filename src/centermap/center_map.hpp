// The centre map: the central blob of bright pixels around the zero
// frequency of the log spectrum, separated from the streak through it.
#pragma once

#include <array>

#include "core/blocks.hpp"
#include "image/grid.hpp"
#include "image/linalg.hpp"
#include "core/run_state.hpp"

namespace veltrane2 {

// Weighted centroid, covariance eigen-decomposition and extreme weights of
// the pixels whose map value is ival, with weights tempht. Returns false,
// leaving the outputs untouched, when the weights of those pixels sum to
// zero (no pixel selected): there is then no centroid to take.
bool distr_covar(int nx, int ny, const RealImage& tempht, const IntMap& bimage, int ival, std::array<double, 2>& cm,
                 std::array<double, 2>& covsg, Mat2& covaxes, double& noismx, double& noismn);

// Bounding box of the pixels whose map value is 1 (99999 / -99999 when none),
// looked for in i0..i1 x j0..j1 (1..nx x 1..ny for the whole grid).
void range_map(int i0, int i1, int j0, int j1, const IntMap& cenmap, int& imin, int& imax, int& jmin, int& jmax);

// Finds the centre map of the bright pixels in bimage, takes its pixels out
// of bimage and fills st.center_ana1, st.center_center and st.centerbcut.
// Positions of the disc outside the image are skipped. When the bright
// pixels have no centroid, or no bright pixel lies in the first disc, the
// map stays empty and bimage unchanged.
void center_map2(RunState& st, int nx, int ny, const RealImage& tempht, IntMap& bimage, IntMap& cent);

}  // namespace veltrane2
