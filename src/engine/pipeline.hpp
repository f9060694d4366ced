// The engine: one run from a height image to the filter gain, the noise
// image and the cleaned image.
#pragma once

#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include <veltrane2/veltrane2.hpp>

#include "centermap/symm_pass.hpp"
#include "core/run_state.hpp"
#include "image/extremes.hpp"
#include "image/grid.hpp"
#include "spectral/fft.hpp"

namespace veltrane2 {

// The driver's working images, all on the square grid of the run, made as
// they are needed.
struct DriverImages {
    RealImage fmage;   // log spectrum, lowered by the analysis; then the gain
    MarkMap written;   // the pixels of fmage the analysis has written
    std::optional<ValueSpan> extremes;  // fmage's lowest and highest value before the analysis, when known
    RealImage smage;   // intensity homogeneity, then the product H
    RealImage lxy;     // Laplacian homogeneity
    IntMap bimage;   // streak mask
    IntMap cenmap;   // centre map
    IntMap cluster;  // cluster labels (grouping mode)
    IntMap levmap;   // level map
};

// What a run takes from its image before the parameters matter: the
// centred spectrum of the lifted image and its log amplitude, from which
// the analysis starts and against which the gain is formed. Runs of one
// image with different parameters can share one.
struct Spectrum {
    int n = 0;
    RealImage frc;     // centred spectrum, real and imaginary parts
    RealImage fic;
    RealImage logamp;  // log amplitude of every coefficient
    double log_floor = 0.0;  // the log amplitude of coefficients too small for a logarithm: the lowest
    double log_high = 0.0;   // the highest log amplitude
    RealImage spare;   // a grid of side n the transform is done with: storage to fill
    // The lifted heights were multiplied by 2^-height_exponent before the
    // transform (0: taken as they are); the noise and cleaned images made
    // from this spectrum are multiplied back by 2^height_exponent.
    int height_exponent = 0;
};

// The power of two by which a run divides lifted heights ranging over
// 0..range on a grid of side n: 0 (the heights are taken as they are) while
// 2^-40 <= range and n^2 range <= 2^500 or the range is 0, otherwise the
// exponent e for which range / 2^e lies in [1, 2). Outside those bounds the
// spectrum's squared amplitudes overflow or its amplitude floor stops being
// small against the heights; dividing by a power of two is exact, so the run
// then gives the outputs of the scaled heights, scaled back. The lower bound
// (about 1e-12) lies below the range of any scan in metres, which runs on
// its heights as they are, as it always has.
int height_exponent(double range, int n);

// Lowers the streak of the logarithmic spectrum in im.fmage. Every decision
// on whether there is anything left to analyse is taken from the sum of a
// selection mask; an empty selection leaves the rest of the analysis out.
// Work that does not depend on other work runs side by side on up to
// st.threads threads; the report lines and exceptions come in the order of
// a run on one thread.
void analyse_spectrum(const RunState& st, DriverImages& im);

// analyse_spectrum() in the steps that runs of one image with different
// parameters can share, each on what the one before left in im:
// 1. no parameter: the homogeneity product H of the log spectrum (into
//    im.smage, which must have its size; im.extremes, when set, spare a
//    sweep);
void homogeneity_product(const RunState& st, const RealImage& logamp, DriverImages& im);
// 2. h_G: the global selection on H (im.smage) and the reference noise
//    threshold of the log spectrum into bimage (the grid's size); false
//    when nothing is left to lower;
bool streak_selection(const RunState& st, const RealImage& logamp, const RealImage& h, IntMap& bimage,
                      GaussRefnoise& noise);
// 3. the other thresholds: the centre and off-centre passes, which lower
//    im.fmage, given H in im.smage, the streak mask in
//    im.bimage and im.cenmap all 0; false when no streak pixels are left
//    for the levels;
bool centre_and_off_centre(const RunState& st, const MiddleLines& middle, DriverImages& im);
// 4. the grouping mode: the level estimation.
void estimate_levels(const RunState& st, const GaussRefnoise& noise, DriverImages& im);

// Told of each output as soon as it is final, with the image in the Result
// being filled; it runs on the engine's thread, which waits for it.
using OutputReady = std::function<void(Output, const Image&)>;

// One run on one image, in two steps, so that a reader can have the image's
// sizes checked (and their report line printed) before it reads the values:
// take_shape(), then the values into grid(), then finish().
class EngineRun {
public:
    EngineRun(const Parameters& parameters, const Options& options);

    // Reports a non-square image, stops (FatalStop) when its larger side
    // exceeds options.max_side and refuses (Error, kBadShape) a side the
    // transform cannot take or one that is not positive. Sets up the grid;
    // finish() fills the part beyond the image (fill_beyond_image).
    void take_shape(long long nx, long long ny, double span_x, double span_y, double unit);

    // The grid of side n = max(nx, ny): image value (i, j) (column i, row j,
    // from 1) goes to grid()(i, j), so that on a grid of side nx the file's
    // order is the grid's storage order.
    RealImage& grid() { return tempht_; }
    int nx() const { return nx_; }

    // take_shape() for the image's sizes, then its values into the grid
    // (Error for values that are not nx * ny or not finite).
    void take_image(const Image& image);

    // The rest of the run into r, telling `ready` (if any) of each output as
    // it is made; the grid is used up.
    void finish(Result& r, const OutputReady& ready = {});
    // The lifted grid's spectrum (the grid is used up), the first half of
    // finish(): runs that share one scan's spectrum start from it.
    Spectrum take_spectrum();
    // Whether finish() makes the noise image (on by default); without it,
    // r.noise stays empty and noise_image() can make it later.
    void make_noise(bool on) { make_noise_ = on; }
    Result finish() {
        Result r;
        finish(r);
        return r;
    }

    // The run's settings.
    const RunState& settings() const { return st_; }

    // The size and extents of an output image on the run's grid (its values
    // left empty).
    Image output_shape() const;

private:
    // The analysis of the log spectrum in im.fmage, from the maps it makes
    // to their release (im.smage may bring storage of side n to fill).
    void analyse(int n, DriverImages& im);

    std::ostream quiet_{nullptr};
    RunState st_;
    int max_side_ = kClassicLargestSide;
    int nx_ = 0;
    int ny_ = 0;
    int ngdtemp_ = 0;        // side of the run's square grid
    RealImage tempht_;       // the input on that grid
    double gscale_ = 0.0;    // length unit of the image
    double tsp_temp_ = 0.0;  // pixel size in that unit
    bool make_noise_ = true;
};

// The gain, the noise (when make_noise) and the cleaned image of a run from
// its spectrum and the log spectrum its analysis lowered, with the pixels
// it wrote marked in `written` (the lowered grid is used up: it takes the
// gain at those pixels, and its storage serves the noise's transform once
// r.gain holds the gain), each an image like `shape`, telling `ready` (if
// any) of each as it is made. `spent`, when given, is `spectrum` itself, which the caller owns
// and needs no more: the cleaned image's transform uses its imaginary parts
// up instead of a grid of its own. With `ones` (the spectrum's
// inverse_first_pass()), the cleaned image's transform takes its first pass
// from there where the gain is 1.
void form_outputs(const RunState& st, const Spectrum& spectrum, RealImage& lowered, const MarkMap& written,
                  const Image& shape, bool make_noise, Result& r, const OutputReady& ready = {},
                  Spectrum* spent = nullptr, const InverseFirstPass* ones = nullptr);

// Checks `image` as destripe() does and puts it on the grid of `run`, an
// image of another shape than a power-of-two square mirrored out to the
// square that holds it (with its report line); returns the square's side.
int load_image(EngineRun& run, const Image& image, const Options& options);

// destripe() on an image whose values it lets go of (leaving them empty)
// once the run holds them, so that a large image is not kept beside the
// run's grids. The same result as destripe(image, ...).
Result destripe_consuming(Image& image, const Parameters& parameters, const Options& options);

// Cuts the noise and cleaned images of a run of `image` on the square of
// `side` back to the image's place, shape and extents, and notes the side.
void cut_back(Result& r, const Image& image, int side);

// The noise image of a run from its spectrum and its gain (r.gain), the
// values a run that makes it writes, with the gain's size and extents.
void noise_image(const Spectrum& spectrum, const Image& gain, int threads, Image& noise);

// Multiplies the heights of `image` (made from `spectrum`) back by the
// power of two the run divided them by and refuses (Error, kBadValue) an
// image holding a value that is not finite; `what` names the image.
void scale_back(const Spectrum& spectrum, Image& image, const char* what);
// The refusal alone.
void refuse_not_finite(const Image& image, const char* what);

}  // namespace veltrane2
