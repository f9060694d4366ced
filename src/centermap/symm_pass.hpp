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

// The middle row and column of an n x n grid (index n / 2), which the
// symmetric passes leave alone; `mid` 0 leaves nothing out.
struct MiddleLines {
    int mid = 0;
    static MiddleLines of(int n) { return {n / 2}; }
    bool on(int i, int j) const { return i == mid || j == mid; }
};

// How far the neighbourhoods of the pixel (loci(1), locj(1)) and of its
// mirror (loci(2), locj(2)) are from mirror images of each other: over the
// window of side 2 ns + 1, the sum of |d1 - d2|, where d1 is the difference
// of a selected window pixel inside the box from the pixel (0 for any other
// window pixel) and d2 the same for the mirror with the offsets reversed.
// The terms are added first offset outer, second inner. The sum only grows,
// so it stops as soon as it reaches `limit` (returning what it has then):
// below `limit` it is the whole sum.
double window_mismatch(const Box& box, int ns, const std::array<int, 2>& loci, const std::array<int, 2>& locj,
                       const RealImage& tempht, const IntMap& bimage, double limit);

// Pulls the larger of the two values down to their mean and unselects both;
// a value pulled down is marked in `written`.
void local_pass_1pair(const std::array<int, 2>& loci, const std::array<int, 2>& locj, RealImage& tempht,
                      MarkMap& written, IntMap& table);

// The pass over the selected pixels of the box (value 1, not on the middle
// lines), mirrored through icent. Every pair is decided on the image and
// mask as they were before the pass. A window side 2 ns + 1 above MXSYMM
// stops the run. Every pixel it lowers is marked in `written`.
void real_symm_pass_1pair(int ns, const std::array<int, 2>& icent, const Box& box, const MiddleLines& middle,
                          RealImage& tempht, MarkMap& written, IntMap& bimage);

}  // namespace veltrane2
