// Restoration of the centre pixels: a marked pixel on a thin line of marked
// pixels is lowered to the mean across the line; any other marked pixel to
// the mean of its marked neighbours when it stands out from them.
#pragma once

#include <ostream>

#include "image/box.hpp"
#include "image/grid.hpp"

namespace veltrane2 {

// (i0, j0) is a pixel of a line running along the second index: its
// neighbours along the line go on (or reach the border), and both across
// it are unmarked or outside.
bool vline_pix(int i0, int j0, const IntMap& bimage);
// The same for a line running along the first index.
bool hline_pix(int i0, int j0, const IntMap& bimage);

// Mean of the unmarked pixels (i0 + k, j0), 1 <= |k| <= ns, inside the grid.
double fix_vline(int ns, int i0, int j0, const RealImage& tempht, const IntMap& bimage);
// Mean of the unmarked pixels (i0, j0 + k), 1 <= |k| <= ns, inside the grid.
double fix_hline(int ns, int i0, int j0, const RealImage& tempht, const IntMap& bimage);

// Neighbourhood test and fix of one pixel: with at least two marked
// neighbours in the window (within the box cut), a value above their mean
// plus spread is lowered to the mean; returns whether the pixel is to be
// unmarked (there were such neighbours). A lowered pixel is marked in
// `written`.
bool gauss_constr(std::ostream& out, const Box& cut, int ns, RealImage& tempht, MarkMap& written, const IntMap& bimage,
                  int i0, int j0, double& ave, double& std_dev);

// The sweep over the marked pixels of the box cut, first index outer; tests
// read the map as it was on entry, values change in place (and are marked in
// `written`).
void restore_intensity(std::ostream& out, const Box& cut, int ns, RealImage& tempht, MarkMap& written, IntMap& cent);

}  // namespace veltrane2
