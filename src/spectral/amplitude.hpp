// The amplitude of the centred spectrum and its logarithm.
#pragma once

#include "image/grid.hpp"
#include "core/run_state.hpp"

namespace veltrane2 {


// fmage = |F|, the modulus of every coefficient.
void fft_spectral_density(int n, const RealImage& fr, const RealImage& fi, RealImage& fmage);

// Natural logarithm in place; amplitudes too small for a logarithm (at most
// pvtiny squared) take the smallest logarithm found.
void log_fft_spectral(const ZeroControl& zc, int n, RealImage& fmage);

}  // namespace veltrane2
