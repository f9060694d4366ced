// The Fourier-domain filter: gain from the uncorrected and corrected
// logarithmic spectra, the noise image, and the filtering of the spectrum.
#pragma once

#include <ostream>

#include "image/grid.hpp"
#include "core/run_state.hpp"

namespace veltrane2 {

// Adds offset to every used value, on up to `threads` threads (0: as many
// as the machine has cores, at most four); prints "< 0" for a value that
// ends up negative.
void lifting_image(std::ostream& out, int nx, int ny, RealImage& image, double offset, int threads = 1);

// image (corrected log spectrum) becomes exp(image) / exp(tempht); every gain
// above 1 is reported on a "FORM_SPD_FILTER > 1 " line and kept as it is.
// Up to `threads` threads (0: as many as the machine has cores, at most four).
void form_spd_filter(std::ostream& out, int nx, int ny, const RealImage& tempht, RealImage& image, int threads = 1);

}  // namespace veltrane2
