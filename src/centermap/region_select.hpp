// Region selection: the pixels of a region map where the homogeneity is
// high, cleaned line by line of short runs where a line is sparse.
#pragma once

#include "core/run_state.hpp"
#include "centermap/symm_pass.hpp"
#include "image/box.hpp"
#include "image/grid.hpp"

namespace veltrane2 {

// Which pass selects: the centre pass (threshold h_C, fraction L_C) or the
// off-centre pass (h_F, L_F).
enum class Pass { kCentre, kOffCentre };

// Inside the box, cent becomes 1 where a region pixel has hmage above the
// pass threshold and survives the row and column cleaning (runs of at most
// N_CP pixels are deleted from a sparse line), 0 elsewhere. Prints trace
// lines when st.trace is set.
void select_homo_region(const RunState& st, Pass pass, const Box& box, IntMap& cent, const RealImage& hmage);

// The selection followed by the symmetric pass: the selection is marked -1,
// the rest of the box 0 (runs of fewer than N_CP pixels are deleted from a
// sparse line); the pixels on the middle lines keep their values.
void select_homo_region_symm(const RunState& st, Pass pass, const Box& box, const MiddleLines& middle, IntMap& cent,
                             const RealImage& hmage);

}  // namespace veltrane2
