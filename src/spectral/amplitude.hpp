// The logarithmic spectral density: the amplitude of the centred spectrum
// and its logarithm, in one sweep.
#pragma once

#include "image/grid.hpp"

namespace veltrane2 {

// fmage = log |F| of every coefficient (the amplitude is the square root of
// fr^2 + fi^2 as fft_spectral_density forms it), on up to `threads`
// threads; amplitudes too small for a logarithm (at most kPvtiny squared)
// take the smallest logarithm found. The values do not depend on the
// thread count, so a log spectrum let go of can be formed again.
void log_fft_spectral(int threads, const RealImage& fr, const RealImage& fi, RealImage& fmage);

}  // namespace veltrane2
