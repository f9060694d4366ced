// The Fourier-domain filter: gain from the uncorrected and corrected
// logarithmic spectra, the noise image, and the filtering of the spectrum.
#pragma once

#include <ostream>

#include "image/grid.hpp"
#include "core/run_state.hpp"

namespace veltrane2 {

// Adds offset to every used value; prints "< 0" for a value that ends up
// negative.
void lifting_image(std::ostream& out, int nx, int ny, RealImage& image, double offset);

// image (corrected log spectrum) becomes exp(image) / exp(tempht); every gain
// above 1 is reported on a "FORM_SPD_FILTER > 1 " line and kept as it is.
void form_spd_filter(std::ostream& out, int nx, int ny, const RealImage& tempht, RealImage& image);

// fmage = real part of the inverse transform of (1 - gain) x spectrum, on up
// to `threads` threads (0: the transform chooses).
void form_noise_image(const Fconst2& fc, int threads, int nx, int ny, const RealImage& hin, const RealImage& frc,
                      const RealImage& fic, RealImage& fmage);

// Multiplies the centred spectrum by the gain in place.
void filter_fft_by_input(int nx, int ny, const RealImage& hin, RealImage& frc, RealImage& fic);

}  // namespace veltrane2
