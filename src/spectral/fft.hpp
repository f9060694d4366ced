// Discrete Fourier transforms of square power-of-two images: forward with
// exponent +2*pi*i and no scaling, inverse with exponent -2*pi*i and a factor
// 1/m in each of its two one-dimensional passes. The two-dimensional
// transforms use up to `threads` threads (0: as many as the machine has
// cores, at most four); every sequence is transformed exactly as on one.
#pragma once

#include <vector>

#include "image/grid.hpp"

namespace veltrane2 {

// The sign of the exponent: forward +2*pi*i, inverse -2*pi*i (scaled by 1/nn).
enum class Direction { kForward, kInverse };

// In-place radix-2 complex transform of nn points stored interleaved in
// data[0..2nn-1] (real, imaginary, real, ...). ndim is the capacity of data
// in doubles; asking for more points than it holds stops the run.
void my_four1(double* data, int ndim, int nn, Direction dir);

// Spectra of two real sequences at once (n complex values each, interleaved).
void dtwofft(int n, const double* data1, const double* data2, double* fft1, double* fft2);

// First pass of the forward transform: along the first index of every
// column, two columns per complex transform. fft_re may be marker itself.
void fft2d_x(int threads, const RealImage& marker, RealImage& fft_re, RealImage& fft_im);

// The centred spectrum: position (i, j) of the transform's output goes to
// (c(i), c(j)) with c moving the zero frequency to m/2 and the highest
// frequency to m (the centring of center0_fft). The transforms store and
// read the centred positions themselves, so no uncentred spectrum is kept.

// Forward 2-D transform of the m x m image marker into the centred
// spectrum; marker is used up. The grid that held the imaginary parts
// between the passes goes to `spent` when that is given (its values are
// then of no use: storage for a grid to fill).
void fft2d(int threads, RealImage& marker, RealImage& frc, RealImage& fic, RealImage* spent = nullptr);

// Inverse 2-D transform of the centred spectrum (read at the positions
// off0center_fft moves it back from), weighted coefficient by coefficient by
// gain as filter_fft_by_input weights it (or by 1 - gain, as
// form_noise_image does, with `complement`); the real part goes to
// marker[0..m*m-1], first index fastest (m the side of the spectrum); the
// gain is m*m values in that order too.
// A grid of the spectrum's side given as scratch lends its storage to the
// values between the two passes (its own values are lost; it is left empty).
// With `complement`, `ones`, when given, holds a byte per coefficient in the
// gain's order, 0 only where the gain is exactly 1: the coefficients and
// gains where it is 0 are not read at all, and the weighted coefficients
// there are taken as +0 instead of the coefficient times 0 (a zero whose
// sign follows the coefficient's). Every operation of the transform keeps a
// value that is not zero whatever the signs of zeros among its operands, so
// only a result that comes out exactly zero can differ, in its sign.
void inv_fft2d(int threads, const RealImage& frc, const RealImage& fic, const double* gain, bool complement,
               double* marker, RealImage* scratch = nullptr, const unsigned char* ones = nullptr);

// inv_fft2d(threads, frc, fic, gain, false, marker), the same values, using
// fic up (it is released) instead of a grid of its own between the passes.
void inv_fft2d_spending(int threads, const RealImage& frc, RealImage& fic, const double* gain, double* marker);


// The first pass of inv_fft2d() with the gain 1 everywhere, for inverse
// transforms of one spectrum under gains that lower few of its first
// indices (the streak lies along the second index).
struct InverseFirstPass {
    RealImage re;  // (i, j): position j of the transformed sequence of first index i
    RealImage im;
};
InverseFirstPass inverse_first_pass(int threads, const RealImage& frc, const RealImage& fic);

// inv_fft2d(threads, frc, fic, gain, false, marker), the same values, with
// the first pass taken from `ones` (made from frc and fic) wherever the gain
// leaves a sequence as it is.
void inv_fft2d_from(int threads, const InverseFirstPass& ones, const RealImage& frc, const RealImage& fic,
                    const double* gain, double* marker);
}  // namespace veltrane2
