// Centring of the spectrum (zero frequency moved to position n/2 along each
// axis, Nyquist to position n), the amplitude and its logarithm.
#pragma once

#include "image/grid.hpp"
#include "core/run_state.hpp"

namespace veltrane2 {

void center0_fft(int n, const RealImage& fftr, const RealImage& ffti, RealImage& fftrc, RealImage& fftic);
void off0center_fft(int n, const RealImage& fftr, const RealImage& ffti, RealImage& fftrf, RealImage& fftif);

// fmage = |F|, the modulus of every coefficient.
void fft_spectral_density(int n, const RealImage& fr, const RealImage& fi, RealImage& fmage);

// Natural logarithm in place; amplitudes too small for a logarithm (at most
// pvtiny squared) take the smallest logarithm found.
void log_fft_spectral(const ZeroControl& zc, int n, RealImage& fmage);

}  // namespace veltrane2
