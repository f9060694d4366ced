// Discrete Fourier transforms of square power-of-two images: forward with
// exponent +2*pi*i and no scaling, inverse with exponent -2*pi*i and a factor
// 1/m in each of its two one-dimensional passes. The two-dimensional
// transforms use up to `threads` threads (0: as many as the machine has
// cores, at most four); every sequence is transformed exactly as on one.
#pragma once

#include <vector>

#include "image/grid.hpp"
#include "core/run_state.hpp"

namespace veltrane2 {

// In-place radix-2 complex transform of nn points stored interleaved in
// data[0..2nn-1] (real, imaginary, real, ...). ndim is the capacity of data
// in doubles; asking for more points than it holds stops the run.
void my_four1(const Fconst2& fc, double* data, int ndim, int nn, int isign);

// Spectra of two real sequences at once (n complex values each, interleaved).
void dtwofft(const Fconst2& fc, int n, const double* data1, const double* data2, double* fft1, double* fft2);

// First pass of the forward transform: along the first index of every
// column, two columns per complex transform.
void fft2d_x(const Fconst2& fc, int threads, int m, const RealImage& marker, RealImage& fft_re, RealImage& fft_im);

// Forward 2-D transform of marker(1..m, 1..m).
void fft2d(const Fconst2& fc, int threads, int m, const RealImage& marker, RealImage& fft_re, RealImage& fft_im);

// First pass of the inverse: along the second index for every first index.
void inv_fft2d_y(const Fconst2& fc, int threads, int m, const RealImage& fft_re, const RealImage& fft_im, RealImage& ffty_r,
                 RealImage& ffty_i);

// Inverse 2-D transform; only the real part is kept.
void inv_fft2d(const Fconst2& fc, int threads, int m, const RealImage& fft_re, const RealImage& fft_im, RealImage& marker);

}  // namespace veltrane2
