// The pipeline driver: one run from the input image to the three outputs.
#pragma once

#include <iosfwd>
#include <optional>

#include "image/grid.hpp"
#include "run/params.hpp"
#include "run/settings.hpp"

namespace veltrane2 {

// The driver's working images, all on the square grid of the run. The
// spectra and the log spectra exist for the whole run; the maps of the
// analysis are set up by analyse_spectrum when it needs them.
struct DriverImages {
    RealImage fmage;   // log spectrum, lowered by the analysis; then the gain; then the cleaned image
    RealImage hmage;   // copy of the homogeneity product for the off-centre pass
    RealImage smage;   // intensity homogeneity, then the product H; then the noise image
    RealImage rmage;   // the log spectrum before the analysis
    RealImage lxy;     // Laplacian homogeneity
    RealImage fft_re;  // spectrum with the zero frequency at index 1
    RealImage fft_im;
    RealImage frc;  // centred spectrum
    RealImage fic;
    IntMap bimage;   // streak mask
    IntMap cenmap;   // centre map
    IntMap cluster;  // cluster labels (grouping mode)
    IntMap levmap;   // level map

    explicit DriverImages(int n);
};

// Output file name: the prefix in front of the input name as typed, up to
// its first blank.
std::string output_name(const RunState& st, const char* prefix);

// Lowers the streak of the logarithmic spectrum in im.fmage. Every decision
// on whether there is anything left to analyse is taken from the sum of a
// selection mask; an empty selection leaves the rest of the analysis out.
void analyse_spectrum(RunState& st, const DriverFlags& flags, DriverImages& im);

// Everything after the parameters are read: reads the image, transforms,
// analyses, filters and writes FIL_, NOISE_ and DENOISE_.
void run_pipeline(RunState& st, const DriverFlags& flags);

// A whole run: banner, parameters from `in`, the pipeline. Lines go to
// `out`, failures to `err`; returns the exit status. `force_group` replaces
// the grouping flag that the parameter reader fixes.
int veltrane2_main(std::istream& in, std::ostream& out, std::ostream& err,
                   std::optional<bool> force_group = std::nullopt);

}  // namespace veltrane2
