#include "engine/pipeline.hpp"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <exception>
#include <limits>
#include <string>

#include "centermap/center_map.hpp"
#include "centermap/gauss_fit.hpp"
#include "centermap/region_select.hpp"
#include "centermap/restore.hpp"
#include "centermap/symm_pass.hpp"
#include "cluster/cluster_map.hpp"
#include "core/errors.hpp"
#include "core/listout.hpp"
#include "core/stage_clock.hpp"
#include "engine/shape.hpp"
#include "homogeneity/derivatives.hpp"
#include "homogeneity/homogeneity.hpp"
#include "homogeneity/noise_ref.hpp"
#include "image/extremes.hpp"
#include "image/image_ops.hpp"
#include "image/parallel.hpp"
#include "level/cluster_level.hpp"
#include "level/level_map.hpp"
#include "spectral/amplitude.hpp"
#include "spectral/fft.hpp"
#include "spectral/filter.hpp"

namespace veltrane2 {

namespace {

constexpr int kNss = 10;  // pass parameter of the symmetric pass
constexpr int kNs = 1;    // neighbourhood half-width of restoration and level estimation

// The selections mark their pixels -1 for the symmetric pass, which only
// examines pixels of value 1; afterwards every -1 is a selected pixel.
// Returns integer_value_image() of the map as it leaves it.
int unmark_to_mark(IntMap& map) {
    int* v = map.data();
    int sum = 0;
    for (std::size_t k = 0; k < map.size(); ++k) {
        v[k] = v[k] == -1 ? 1 : v[k];
        sum += v[k];
    }
    return sum;
}

}  // namespace

// Streak detection, the part no parameter changes: intensity and Laplacian
// homogeneity of the log spectrum and their product H (into im.smage).
// im.bimage is made for the global selection.
void homogeneity_product(const RunState& st, const RealImage& logamp, DriverImages& im) {
    const int n = logamp.nx();
    im.bimage = IntMap::square_to_fill(n);  // set whole by the selection
    im.lxy = RealImage::square_to_fill(n);
    homogeneity_product(st.laplacian, logamp, im.smage, im.lxy, st.threads, im.extremes ? &*im.extremes : nullptr);
    im.lxy.release();
}

namespace {

// The global selection on H (into bimage). Prints the mean of H and
// returns the number of selected pixels.
int select_streak(const RunState& st, const RealImage& h, IntMap& bimage) {
    double ave_hmage = 0.0;
    int selected = 0;
    side_by_side(
        st.threads, [&] { ave_hmage = ave_image(h); },
        [&] {
            select_homo_global(h, st.control_para1.thresh_homo_glb, bimage);
            selected = integer_value_image(bimage);
        });
    *st.out << list_line("Average of H(i j)=", ave_hmage);
    return selected;
}

// The reference noise threshold, which re-decides every pixel of the
// streak mask by its level.
GaussRefnoise noise_threshold(const RealImage& fmage, IntMap& bimage) {
    const GaussRefnoise noise = refer_noise(fmage, bimage, 0);
    thresh_noise(fmage, noise.noise_thr, bimage);
    return noise;
}

// The reference noise threshold; meanwhile the centre map is set up.
GaussRefnoise reference_noise(const RunState& st, DriverImages& im) {
    const int n = im.fmage.nx();
    GaussRefnoise noise;
    side_by_side(
        st.threads, [&] { im.cenmap = IntMap::square_to_fill(n); }, [&] { noise = noise_threshold(im.fmage, im.bimage); });
    return noise;
}

// The centre pass over the centre map: the Gaussian fit sets the
// zero-frequency value; the map's selection, symmetric pass and restoration
// lower its pixels.
void centre_pass(const RunState& st, const CentreMap& centre, const MiddleLines& middle, DriverImages& im) {
    const double ave_c = normalization_local(im.smage, im.cenmap);
    *st.out << list_line("Average of H_C=", ave_c);
    gaussmodel_cent2(*st.out, centre, im.fmage, im.written, im.cenmap);
    if (integer_value_image(im.cenmap) == 0) return;
    select_homo_region(st, Pass::kCentre, centre.centerbcut, im.cenmap, im.smage);
    int left = 0;
    if (st.symm) {
        real_symm_pass_1pair(kNss, centre.icent, centre.centerbcut, middle, im.fmage, im.written, im.cenmap);
        left = unmark_to_mark(im.cenmap);
    } else {
        left = integer_value_image(im.cenmap);
    }
    if (left != 0) restore_intensity(*st.out, centre.centerbcut, kNs, im.fmage, im.written, im.cenmap);
}

// The off-centre selection over the streak pixels outside the centre map.
// It reads and rescales H only at the streak pixels, which the centre map
// has just left, and the centre pass reads and rescales H only at the
// centre map's pixels: the two passes share H and run side by side. What
// the off-centre selection has to print and what it throws wait for the
// centre pass.
struct OffCentre {
    bool any = false;          // streak pixels are left outside the centre map
    double ave_f = 0.0;        // mean of H over them
    std::exception_ptr error;  // thrown by the selection
};

void select_off_centre(const RunState& st, const MiddleLines& middle, DriverImages& im, OffCentre& off) {
    if (!off.any) return;
    try {
        off.ave_f = normalization_local(im.smage, im.bimage);
        const Box whole = Box::of(im.bimage);
        if (st.symm) {
            select_homo_region_symm(st, Pass::kOffCentre, whole, middle, im.bimage, im.smage);
        } else {
            select_homo_region(st, Pass::kOffCentre, whole, im.bimage, im.smage);
        }
    } catch (...) {
        off.error = std::current_exception();
    }
}

// The rest of the off-centre pass, after the centre pass: the symmetric
// pass through the centre over the whole grid. Returns whether streak
// pixels are left to lower.
bool off_centre_pass(const RunState& st, const CentreMap& centre, const MiddleLines& middle, const OffCentre& off,
                     DriverImages& im) {
    if (!off.any) return false;
    *st.out << list_line("Average of H_F=", off.ave_f);
    if (off.error) std::rethrow_exception(off.error);
    if (st.symm) {
        real_symm_pass_1pair(kNss, centre.icent, Box::of(im.bimage), middle, im.fmage, im.written, im.bimage);
        return unmark_to_mark(im.bimage) != 0;
    }
    return integer_value_image(im.bimage) != 0;
}

}  // namespace

void estimate_levels(const RunState& st, const GaussRefnoise& noise, DriverImages& im) {
    const int n = im.fmage.nx();
    // Set whole by either level map: storage of the right side already
    // there is taken as it is.
    if (im.levmap.nx() != n || im.levmap.ny() != n) im.levmap = IntMap::square_to_fill(n);
    if (st.group) {
        // The band at each strip boundary is the last row above it and the
        // first row below it, which holds every contact across the boundary.
        const int ngap = 0;
        im.cluster = IntMap::square_to_fill(n);  // set whole by the cluster map
        int ncl = cluster_map(DivideInt{}, ngap, im.bimage, 1, im.cluster);
        if (ncl > 0) {
            const ClusterStats stats = count_cluster(*st.out, im.cluster, im.fmage, ncl);
            const Level1 level = level_map(stats, im.cluster, im.levmap);
            level_map_estimator(*st.out, stats, level, noise.noise_thr, kNs, im.fmage, im.written, im.bimage, im.levmap);
            return;
        }
    }
    const int nl = level_whole_map(im.bimage, im.levmap);
    level_whole_estimator(kNs, im.fmage, im.written, im.bimage, nl, im.levmap);
}

bool streak_selection(const RunState& st, const RealImage& logamp, const RealImage& h, IntMap& bimage,
                      GaussRefnoise& noise) {
    StageClock clock(st.times);
    const int streak = select_streak(st, h, bimage);
    clock.lap("streak");
    if (streak == 0) return false;
    noise = noise_threshold(logamp, bimage);
    clock.lap("refnoise");
    return integer_value_image(bimage) != 0;
}

bool centre_and_off_centre(const RunState& st, const MiddleLines& middle, DriverImages& im) {
    StageClock clock(st.times);
    // The centre map takes the central blob out of the streak mask; the
    // centre pass and the off-centre selection then run side by side.
    const CentreMap centre = center_map2(st.control_para2.thresh_centmap, im.fmage, im.bimage, im.cenmap);
    clock.lap("centmap");
    OffCentre off;
    off.any = integer_value_image(im.bimage) != 0;
    side_by_side(
        st.threads, [&] { centre_pass(st, centre, middle, im); }, [&] { select_off_centre(st, middle, im, off); });
    clock.lap("select");
    const bool left = off_centre_pass(st, centre, middle, off, im);
    clock.lap("offsymm");
    return left;
}

void analyse_spectrum(const RunState& st, DriverImages& im) {
    StageClock clock(st.times);
    homogeneity_product(st, im.fmage, im);
    const int streak = select_streak(st, im.smage, im.bimage);
    clock.lap("streak");
    if (streak == 0) return;
    // The reference noise threshold.
    const GaussRefnoise noise = reference_noise(st, im);
    clock.lap("refnoise");
    if (integer_value_image(im.bimage) == 0) return;
    if (!centre_and_off_centre(st, MiddleLines::of(im.fmage.nx()), im)) return;
    clock.skip();
    // The level estimation reads the lowered log spectrum and the streak
    // mask alone: H and the centre map make room for its maps (the level
    // map takes the centre map's storage).
    im.smage.release();
    im.levmap = std::move(im.cenmap);
    estimate_levels(st, noise, im);
    clock.lap("levels");
}

namespace {

bool is_power_of_two(long long n) {
    return n > 0 && (n & (n - 1)) == 0;
}

}  // namespace

EngineRun::EngineRun(const Parameters& p, const Options& o)
    : st_(run_settings(p, o, quiet_)), max_side_(std::min(o.max_side, kLargestSide)) {}

void EngineRun::take_shape(long long nxbig, long long nybig, double rdimx, double rdimy, double unit) {
    if (nxbig <= 0 || nybig <= 0) {
        throw Error(ErrorKind::kBadShape, "the image has " + std::to_string(nxbig) + " x " + std::to_string(nybig) +
                                           " values; both sizes must be positive");
    }
    if (nxbig != nybig || std::abs(rdimx - rdimy) > 0.001) {
        *st_.out << list_line("NXbig NOT THE SAME AS NYbig or size different", nxbig, nybig, rdimx, rdimy);
    }
    const long long big = nxbig > nybig ? nxbig : nybig;
    if (big > max_side_) throw FatalStop(list_line("NGDTEMP > MXTEMPGD in READIN_NEW_IMAGE"));
    // The Fourier transform is radix 2 and the centred spectrum needs a
    // middle position: the side must be a power of two from 2 up.
    if (big < 2 || !is_power_of_two(big)) {
        throw Error(ErrorKind::kBadShape, "an image of " + std::to_string(nxbig) + " x " + std::to_string(nybig) +
                                           " values needs a grid of side " + std::to_string(big) +
                                           ", but the Fourier transform takes only sides that are powers of two "
                                           "from 2 to " +
                                           std::to_string(max_side_));
    }
    const int n = static_cast<int>(big);
    nx_ = static_cast<int>(nxbig);
    ny_ = static_cast<int>(nybig);
    tempht_ = RealImage::square(n, 0.0);
    ngdtemp_ = n;
    gscale_ = unit;
    tsp_temp_ = gscale_ * rdimx / static_cast<double>(nxbig);
}

Image EngineRun::output_shape() const {
    const int n = ngdtemp_;
    const double tsp_temp1 = tsp_temp_ / gscale_;
    const double rdim = static_cast<double>(n) * tsp_temp1;
    Image img;
    img.nx = n;
    img.ny = n;
    img.span_x = rdim;
    img.span_y = rdim;
    img.unit = gscale_;
    return img;
}

void EngineRun::finish(Result& r, const OutputReady& ready) {
    // A run on its own keeps no second log spectrum while the analysis lowers
    // one: it lowers the spectrum's own, marking every pixel it writes, and
    // the gain is formed against the values of the marked pixels formed
    // again from the transform (the same values).
    Spectrum s = take_spectrum();
    DriverImages im;
    im.fmage = std::move(s.logamp);
    im.written = MarkMap::square(s.n, 0);
    im.extremes = ValueSpan{s.log_floor, s.log_high};
    im.smage = std::move(s.spare);
    analyse(s.n, im);
    form_outputs(st_, s, im.fmage, im.written, output_shape(), make_noise_, r, ready, &s);
}

Spectrum EngineRun::take_spectrum() {
    const RunState& st = st_;
    const int threads = st.threads;
    std::ostream& out = *st.out;
    const int n = ngdtemp_;
    RealImage& tempht = tempht_;
    StageClock clock(st.times);

    // Fill the square beyond a non-square image, then lift the image so that
    // its minimum is 0.
    fill_beyond_image(tempht, nx_, ny_);
    const ValueSpan span = lowest_and_highest(tempht, threads);
    const double low = span.low;
    const double high = span.high;
    const double range = high - low;
    if (!std::isfinite(range)) {
        throw Error(ErrorKind::kBadValue, "the heights range from " + shown(low) + " to " + shown(high) +
                                               ", further apart than the largest double " +
                                               shown(std::numeric_limits<double>::max()));
    }
    const double lift = -low;
    lifting_image(out, tempht, lift, threads);
    clock.lap("lift");

    // The centred spectrum is written whole before it is read.
    Spectrum s;
    s.n = n;
    s.height_exponent = height_exponent(range, n);
    scale_by_power_of_two(tempht.data(), static_cast<std::size_t>(n) * static_cast<std::size_t>(n),
                          -s.height_exponent);
    s.frc = RealImage::square_to_fill(n);
    s.fic = RealImage::square_to_fill(n);
    fft2d(threads, tempht, s.frc, s.fic, &s.spare);
    clock.lap("forward");
    // From here on the centred spectrum holds all that the run needs of the
    // input.
    // The log spectrum is written whole before it is read; it takes the
    // storage of the transform's used-up input, a grid of the same side.
    s.logamp = std::move(tempht);
    s.log_floor = log_fft_spectral(threads, s.frc, s.fic, s.logamp, &s.log_high);
    clock.lap("logamp");
    return s;
}

void EngineRun::analyse(int n, DriverImages& im) {
    StageClock clock(st_.times);
    tempht_.release();
    if (im.smage.nx() != n || im.smage.ny() != n) im.smage = RealImage::square_to_fill(n);
    clock.lap("prepare");
    analyse_spectrum(st_, im);
    // The maps of the analysis are done with: their memory serves the
    // transforms that follow.
    for (RealImage* g : {&im.smage, &im.lxy}) g->release();
    for (IntMap* g : {&im.bimage, &im.cenmap, &im.cluster, &im.levmap}) g->release();
}

void form_outputs(const RunState& st, const Spectrum& s, RealImage& lowered, const MarkMap& written,
                  const Image& shape, bool make_noise, Result& r, const OutputReady& ready, Spectrum* spent,
                  const InverseFirstPass* ones) {
    const int threads = st.threads;
    std::ostream& out = *st.out;
    StageClock clock(st.times);
    const auto made = [&ready](Output which, const Image& image) {
        if (ready) ready(which, image);
    };
    // Each output is an image like `shape` with values of its own (row j is
    // grid(1..n, j): the grid's own storage order); `shape` itself may hold
    // none, so that no grid is set aside for it.
    const auto like_shape = [&shape](double value = 0.0) {
        Image img{shape.nx, shape.ny, shape.span_x, shape.span_y, shape.unit, {}};
        const std::size_t count = static_cast<std::size_t>(shape.nx) * static_cast<std::size_t>(shape.ny);
        // Its fresh memory is faulted in a large page at a time as it is
        // filled.
        img.values.reserve(count);
        detail::advise_large_pages(img.values.data(), count * sizeof(double));
        img.values.assign(count, value);
        return img;
    };
    form_spd_filter(out, LogAmplitude{s.frc, s.fic, s.log_floor}, written, lowered, threads);
    // The gain is 1 where the analysis wrote nothing; elsewhere it is held
    // at 1, each value on its own. Only there can it fail to be finite: the
    // first such value in storage order is the first of the image.
    r.gain = like_shape(1.0);
    {
        const double* g = lowered.data();
        const unsigned char* w = written.data();
        double* v = r.gain.values.data();
        bool finite = true;
        for (std::size_t k = 0; k < lowered.size(); ++k) {
            if (w[k] == 0) continue;
            v[k] = g[k] > 1.0 ? 1.0 : g[k];
            finite = finite && std::isfinite(v[k]);
        }
        if (!finite) refuse_not_finite(r.gain, "gain");
    }
    // The transforms weight the spectrum by the gain's copy; the grid's
    // storage serves the noise's transform.
    RealImage scratch = std::move(lowered);
    const double* gain = r.gain.values.data();
    clock.lap("filter");
    made(Output::kGain, r.gain);
    clock.skip();
    // The noise is what the complement of the gain lets through, the
    // cleaned image what the gain lets through.
    if (make_noise) {
        r.noise = like_shape();
        form_noise_image(threads, gain, s.frc, s.fic, r.noise.values.data(), &scratch, written.data());
        scale_back(s, r.noise, "noise");
        clock.lap("noise");
        made(Output::kNoise, r.noise);
        clock.skip();
    }
    scratch.release();
    r.cleaned = like_shape();
    if (ones != nullptr) {
        inv_fft2d_from(threads, *ones, s.frc, s.fic, gain, r.cleaned.values.data());
    } else if (spent != nullptr) {
        inv_fft2d_spending(threads, s.frc, spent->fic, gain, r.cleaned.values.data());
    } else {
        filter_fft_by_input(threads, gain, s.frc, s.fic, r.cleaned.values.data());
    }
    scale_back(s, r.cleaned, "cleaned");
    clock.lap("cleaned");
    made(Output::kCleaned, r.cleaned);
}

void EngineRun::take_image(const Image& image) {
    check_count(image);
    take_shape(image.nx, image.ny, image.span_x, image.span_y, image.unit);
    check_finite(image);
    // Row j of the image is grid(1..nx, j), in the grid's storage order.
    const std::size_t nx = static_cast<std::size_t>(image.nx);
    for (int j = 1; j <= image.ny; ++j) {
        const double* row = image.values.data() + static_cast<std::size_t>(j - 1) * nx;
        std::copy(row, row + nx, &tempht_(1, j));
    }
}

int load_image(EngineRun& run, const Image& image, const Options& options) {
    check_count(image);
    check_sides(image.nx, image.ny, std::min(options.max_side, kLargestSide));
    check_extents(image);
    const int side = padded_side(image.nx, image.ny);
    if (image.nx == side && image.ny == side) {
        run.take_image(image);
        return side;
    }
    // Any other shape runs on the power-of-two square that holds it, with
    // the image mirrored across its edges.
    check_finite(image);
    if (options.report != nullptr) *options.report << padding_line(image.nx, image.ny, side);
    const double grow_x = static_cast<double>(side) / image.nx;
    const double grow_y = static_cast<double>(side) / image.ny;
    run.take_shape(side, side, image.span_x * grow_x, image.span_y * grow_y, image.unit);
    pad_by_mirroring(image.values, image.nx, image.ny, run.grid());
    return side;
}

void cut_back(Result& r, const Image& image, int side) {
    // The noise and cleaned images of a padded run are cut back to the
    // image's place, shape and extents.
    if (image.nx != side || image.ny != side) {
        if (!r.noise.values.empty()) r.noise = crop_to_image(r.noise, image.nx, image.ny, image.span_x, image.span_y);
        r.cleaned = crop_to_image(r.cleaned, image.nx, image.ny, image.span_x, image.span_y);
    }
    r.side = side;
}

void noise_image(const Spectrum& s, const Image& gain, int threads, Image& noise) {
    noise = gain;
    form_noise_image(threads, gain.values.data(), s.frc, s.fic, noise.values.data());
    scale_back(s, noise, "noise");
}

int height_exponent(double range, int n) {
    const double n2 = static_cast<double>(n) * static_cast<double>(n);
    if (range == 0.0 || (range >= 0x1p-40 && n2 * range <= 0x1p500)) return 0;
    return std::ilogb(range);
}

void scale_back(const Spectrum& s, Image& image, const char* what) {
    scale_by_power_of_two(image.values.data(), image.values.size(), s.height_exponent);
    refuse_not_finite(image, what);
}

void refuse_not_finite(const Image& image, const char* what) {
    // The first value that is not finite is looked for only when there is one.
    if (all_finite(image.values.data(), image.values.size())) return;
    for (std::size_t k = 0; k < image.values.size(); ++k) {
        if (!std::isfinite(image.values[k])) {
            const std::size_t nx = static_cast<std::size_t>(image.nx);
            throw Error(ErrorKind::kBadValue, "the " + std::string(what) + " image comes out with a value that is "
                                               "not finite (row " + std::to_string(k / nx + 1) + ", column " +
                                               std::to_string(k % nx + 1) + "): the run cannot take these heights");
        }
    }
}

namespace {

// A run of `image`; once it is on the run's grid, let_go() may release its
// values (the rest of the run needs only its shape and extents).
template <class LetGo>
Result destripe_image(const Image& image, const Parameters& parameters, const Options& options, LetGo let_go) {
    check_parameters(parameters);
    EngineRun run(parameters, options);
    StageClock clock(options.stage_times);
    const int side = load_image(run, image, options);
    let_go();
    clock.lap("load");
    Result r = run.finish();
    clock.skip();
    cut_back(r, image, side);
    clock.lap("cut");
    return r;
}

}  // namespace

Result destripe(const Image& image, const Parameters& parameters, const Options& options) {
    return destripe_image(image, parameters, options, [] {});
}

Result destripe_consuming(Image& image, const Parameters& parameters, const Options& options) {
    return destripe_image(image, parameters, options, [&image] { std::vector<double>().swap(image.values); });
}

}  // namespace veltrane2
