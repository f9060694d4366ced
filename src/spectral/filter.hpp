// The Fourier-domain filter: gain from the uncorrected and corrected
// logarithmic spectra, the noise image, and the filtering of the spectrum.
#pragma once

#include <ostream>

#include "image/grid.hpp"
#include "spectral/amplitude.hpp"

namespace veltrane2 {

// Adds offset to every value, on up to `threads` threads (0: as many
// as the machine has cores, at most four); prints "< 0" for a value that
// ends up negative.
void lifting_image(std::ostream& out, RealImage& image, double offset, int threads = 1);

// image (corrected log spectrum) becomes exp(image) / exp(original) at the
// pixels marked in `written`; every gain above 1 is reported on a
// "FORM_SPD_FILTER > 1 " line and kept as it is. Only the marked pixels may
// differ from the original log spectrum: every other one has the gain 1,
// and is left as it is (a debug build checks that it holds the original
// value). Up to `threads` threads (0: as many as the machine has cores, at
// most four).
void form_spd_filter(std::ostream& out, const LogAmplitude& original, const MarkMap& written, RealImage& image,
                     int threads = 1);

// The noise image: the real part of the inverse transform of (1 - gain)
// times the centred spectrum, into noise[0..n*n-1] (n the side of the
// spectrum). A scratch grid of side n lends its storage to the transform.
// `ones`, when given, is 0 wherever the gain is exactly 1 (a byte per
// coefficient in the gain's order): the spectrum is then read only where it
// is not, and the transform formed again in full only when a noise value
// comes out exactly zero, the one value whose sign that can change.
void form_noise_image(int threads, const double* hin, const RealImage& frc, const RealImage& fic, double* noise,
                      RealImage* scratch = nullptr, const unsigned char* ones = nullptr);

// The cleaned image: the real part of the inverse transform of the centred
// spectrum multiplied by the gain, into image[0..n*n-1].
void filter_fft_by_input(int threads, const double* hin, const RealImage& frc, const RealImage& fic, double* image);

}  // namespace veltrane2
