// The amplitude of the centred spectrum and its logarithm.
#pragma once

#include "image/grid.hpp"
#include "core/run_state.hpp"

namespace veltrane2 {

// fmage = log |F| of every coefficient, on up to `threads` threads;
// amplitudes too small for a logarithm (at most pvtiny squared) take the
// smallest logarithm found. `copy` receives the same values.
void log_amplitude(const ZeroControl& zc, int threads, int n, const RealImage& fr, const RealImage& fi,
                   RealImage& fmage, RealImage& copy);

}  // namespace veltrane2
