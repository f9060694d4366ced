// Region selection: the pixels of a region map where the homogeneity is
// high, cleaned line by line of short runs where a line is sparse.
#pragma once

#include <array>

#include "image/grid.hpp"
#include "core/run_state.hpp"

namespace veltrane2 {

// Centre pass (icenter = 1) or plain off-centre pass: inside the box
// icut x jcut, cent becomes 1 where a region pixel has hmage above the
// pass threshold and survives the row and column cleaning (runs of at most
// N_CP pixels are deleted from a sparse line), 0 elsewhere.
void select_homo_region(const RunState& st, int icenter, const std::array<int, 2>& icut,
                        const std::array<int, 2>& jcut, int nx, int ny, IntMap& cent, const RealImage& hmage);

// Off-centre pass followed by the symmetric pass: the selection is marked
// -1, the rest of the box 0 (runs of fewer than N_CP pixels are deleted from
// a sparse line); the middle row and column keep their values.
void select_homo_region_symm(const RunState& st, int icenter, const std::array<int, 2>& icut,
                             const std::array<int, 2>& jcut, int nx, int ny, IntMap& cent, const RealImage& hmage);

}  // namespace veltrane2
