// The symmetric pass: a selected pixel whose point-mirror through the centre
// has the same value and a mirror-image neighbourhood is taken out of the
// selection with its mirror, and the larger of the two is pulled down.
#pragma once

#include <array>

#include "image/box.hpp"
#include "image/grid.hpp"

namespace veltrane2 {

// Largest window side of the pass (MXSYMM).
inline constexpr int kMxsymm = 50;

// A window of differences, (ix, iy) 1-based, side up to MXSYMM.
struct SymmWindow {
    std::array<double, kMxsymm * kMxsymm> v{};
    double& operator()(int ix, int iy) { return v[static_cast<std::size_t>((ix - 1) + kMxsymm * (iy - 1))]; }
    double operator()(int ix, int iy) const { return v[static_cast<std::size_t>((ix - 1) + kMxsymm * (iy - 1))]; }
};

// 0 on the middle row and column (index n / 2 of the n x n map), 1 elsewhere.
void get_offline(IntMap& offline);

// Differences from the pixel (loci(1), locj(1)) of its selected window
// pixels inside the box, and the same for the mirror (loci(2), locj(2)) with
// the offsets reversed.
void real_locsymm(const Box& box, int ns, const std::array<int, 2>& loci, const std::array<int, 2>& locj,
                  const RealImage& tempht, const IntMap& bimage, SymmWindow& mat1, SymmWindow& mat2);

// Sum of |a - b| over the first n x n entries.
double rmatch_2mask(int n, const SymmWindow& a, const SymmWindow& b);

// Pulls the larger of the two values down to their mean and unselects both.
void local_pass_1pair(const std::array<int, 2>& loci, const std::array<int, 2>& locj, RealImage& tempht, IntMap& table);

// The pass over the selected pixels of the box (value 1, where offline is
// not 0), mirrored through icent. Every pair is decided on the image and
// mask as they were before the pass. A window side 2 ns + 1 above MXSYMM
// stops the run.
void real_symm_pass_1pair(int ns, const std::array<int, 2>& icent, const Box& box, const IntMap& offline,
                          RealImage& tempht, IntMap& bimage);

}  // namespace veltrane2
