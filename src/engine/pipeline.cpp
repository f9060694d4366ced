#include "engine/pipeline.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>

#include "centermap/center_map.hpp"
#include "centermap/gauss_fit.hpp"
#include "centermap/region_select.hpp"
#include "centermap/restore.hpp"
#include "centermap/symm_pass.hpp"
#include "cluster/cluster_map.hpp"
#include "core/errors.hpp"
#include "core/listout.hpp"
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

// The centred spectrum is written whole before it is read.
DriverImages::DriverImages(int n) : frc(RealImage::square_to_fill(n)), fic(RealImage::square_to_fill(n)) {}

namespace {

// The selections mark their pixels -1 for the symmetric pass, which only
// examines pixels of value 1; afterwards every -1 is a selected pixel.
void unmark_to_mark(int n, IntMap& map) {
    for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= n; ++i)
            if (map(i, j) == -1) map(i, j) = 1;
}

}  // namespace

void analyse_spectrum(RunState& st, const DriverFlags& flags, DriverImages& im, int threads) {
    std::ostream& out = *st.out;
    const int nss = 10;  // pass parameter of the symmetric pass
    const int ns = 1;    // neighbourhood half-width of restoration and level estimation
    const int n = st.tempimage.ngdtemp;
    auto whole_window = [&st, n] {
        st.centerbcut.icutc = {1, n};
        st.centerbcut.jcutc = {1, n};
    };
    im.bimage = IntMap::square_to_fill(n);  // set whole by the Laplacian homogeneity
    im.lxy = RealImage::square_to_fill(n);

    // Streak detection: intensity and Laplacian homogeneity of the log
    // spectrum, their product H and the global selection.
    side_by_side(
        threads,
        [&] {
            intensity_homegen(n, n, im.fmage, im.smage);
            normalization_image(n, n, im.smage);
            st.offlines.offline = IntMap::square_to_fill(n);  // set whole
            get_offline(n, n, st.offlines.offline);
        },
        [&] {
            laplace_homegen(st.laplacian, false, n, n, im.fmage, im.bimage, im.lxy);
            normalization_image(n, n, im.lxy);
        });
    image1ximage2(n, n, im.smage, im.lxy);
    im.lxy.release();
    double ave_hmage = 0.0;
    int selected = 0;
    side_by_side(
        threads, [&] { ave_hmage = ave_image(n, n, im.smage); },
        [&] {
            select_homo_global(n, n, im.smage, st.control_para1.thresh_homo_glb, im.bimage);
            selected = integer_value_image(n, n, im.bimage);
        });
    out << list_line("Average of H(i j)=", ave_hmage);
    if (selected == 0) return;

    // The reference noise threshold re-decides every pixel by its level;
    // meanwhile the product H is kept for the off-centre pass.
    side_by_side(
        threads,
        [&] {
            im.hmage = RealImage::square_to_fill(n);
            rename_an_image(n, n, im.smage, im.hmage);
            im.cenmap = IntMap::square(n);
        },
        [&] {
            refer_noise(n, n, im.fmage, im.bimage, 0, st.gauss_refnoise);
            thresh_noise(n, n, im.fmage, st.gauss_refnoise, im.bimage);
        });
    if (integer_value_image(n, n, im.bimage) == 0) return;

    // Centre pass: the centre map takes the central blob out of the streak
    // mask, and the Gaussian fit sets the zero-frequency value.
    whole_window();
    center_map2(st, n, n, im.fmage, im.bimage, im.cenmap);

    // The off-centre pass goes over the streak pixels outside the centre
    // map. Its selection reads the streak mask and the copy of H alone,
    // which the centre pass does not touch: it runs beside the centre pass
    // over the whole window, and what it prints and throws comes after.
    const bool off_centre = integer_value_image(n, n, im.bimage) != 0;
    const std::array<int, 2> whole{1, n};
    double ave_f = 0.0;
    std::exception_ptr off_centre_error;
    const auto select_off_centre = [&] {
        if (!off_centre) return;
        try {
            normalization_local(n, n, im.hmage, im.bimage, ave_f);
            if (flags.symm) {
                select_homo_region_symm(st, 0, whole, whole, n, n, im.bimage, im.hmage);
            } else {
                select_homo_region(st, 0, whole, whole, n, n, im.bimage, im.hmage);
            }
        } catch (...) {
            off_centre_error = std::current_exception();
        }
    };
    const auto centre_pass = [&] {
        normalization_local(n, n, im.smage, im.cenmap, ave_hmage);
        out << list_line("Average of H_C=", ave_hmage);
        gaussmodel_cent2(st, n, n, im.fmage, im.cenmap);
        if (integer_value_image(n, n, im.cenmap) != 0) {
            select_homo_region(st, 1, st.centerbcut.icutc, st.centerbcut.jcutc, n, n, im.cenmap, im.smage);
            if (flags.symm) {
                real_symm_pass_1pair(st, nss, st.center_center.icent, st.centerbcut.icutc, st.centerbcut.jcutc, n, n,
                                     im.fmage, im.cenmap);
                unmark_to_mark(n, im.cenmap);
            }
            if (integer_value_image(n, n, im.cenmap) != 0) restore_intensity(st, ns, n, n, im.fmage, im.cenmap);
        }
    };
    // (The selection prints nothing: a run's trace switch is off.)
    side_by_side(threads, centre_pass, select_off_centre);

    if (!off_centre) return;
    whole_window();
    out << list_line("Average of H_F=", ave_f);
    if (off_centre_error) std::rethrow_exception(off_centre_error);
    if (flags.symm) {
        real_symm_pass_1pair(st, nss, st.center_center.icent, st.centerbcut.icutc, st.centerbcut.jcutc, n, n, im.fmage,
                             im.bimage);
        unmark_to_mark(n, im.bimage);
    }
    if (integer_value_image(n, n, im.bimage) == 0) return;

    // Level estimation: the streak is lowered ring by ring from its border,
    // in the grouping mode cluster by cluster.
    im.levmap = IntMap::square(n);
    if (flags.group) {
        // The band at each strip boundary is the last row above it and the
        // first row below it, which holds every contact across the boundary.
        const int ngap = 0;
        im.cluster = IntMap::square(n);
        int ncl = 0;
        cluster_map(st, ngap, n, n, im.bimage, 1, im.cluster, ncl);
        if (ncl > 0) {
            count_cluster(st, n, n, im.cluster, im.fmage, ncl);
            level_map(st, n, n, im.cluster, im.levmap);
            level_map_estimator(st, ns, n, n, im.fmage, im.bimage, im.levmap);
            return;
        }
    }
    int nl = 0;
    level_whole_map(n, n, im.bimage, im.levmap, nl);
    level_whole_estimator(ns, n, n, im.fmage, im.bimage, nl, im.levmap);
}

namespace {

bool is_power_of_two(long long n) {
    return n > 0 && (n & (n - 1)) == 0;
}

}  // namespace

EngineRun::EngineRun(const Parameters& p, const Options& o)
    : threads_(o.threads), max_side_(std::min(o.max_side, kLargestSide)) {
    st_.out = o.report != nullptr ? o.report : &quiet_;
    st_.control_para1 = {p.h_global, p.h_centre, p.h_off};
    st_.control_para2 = {p.r_centre};
    st_.control_para3.vfrac_seg = p.l_centre;
    st_.control_para3.frac_seg = p.l_off;
    st_.control_para3.icnnt_cent = p.n_run;
    st_.control_para3.icnnt_off = p.n_run;
    st_.writefile.write_filter = true;
    st_.writefile.write_noise = true;
    st_.threads = o.threads;
    flags_.group = p.grouped;
    flags_.symm = true;
    parameter_data(st_.fconst2);
    derivative_operator(st_.laplacian, st_.firstder);
}

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
    st_.tempimage.tempht = RealImage::square(n, 0.0);
    st_.tempimage.ngdtemp = n;
    st_.imagescale.gscale = unit;
    Spaceinv& s = st_.spaceinv;
    s.tsp_temp = st_.imagescale.gscale * rdimx / static_cast<double>(nxbig);
    s.dx = 1.0 / s.tsp_temp;
    s.dx2 = 0.5 * s.dx;
    s.dxsq = s.dx * s.dx;
    s.dxsq4 = s.dx2 * s.dx2;
}

Image EngineRun::output_shape() const {
    const int n = st_.tempimage.ngdtemp;
    const double tsp_temp1 = st_.spaceinv.tsp_temp / st_.imagescale.gscale;
    const double rdim = static_cast<double>(n) * tsp_temp1;
    Image img;
    img.nx = n;
    img.ny = n;
    img.span_x = rdim;
    img.span_y = rdim;
    img.unit = st_.imagescale.gscale;
    // Row j of the image is grid(1..n, j): the grid's own storage order.
    img.values.resize(static_cast<std::size_t>(n) * static_cast<std::size_t>(n));
    return img;
}

void EngineRun::finish(Result& r, const OutputReady& ready) {
    RunState& st = st_;
    std::ostream& out = *st.out;
    const int n = st.tempimage.ngdtemp;
    RealImage& tempht = st.tempimage.tempht;

    // Lift the image so that its minimum is 0.
    const double lift = -lowest_value(n, tempht, threads_);
    lifting_image(out, n, n, tempht, lift, threads_);

    DriverImages im(n);
    fft2d(st.fconst2, threads_, n, tempht, im.frc, im.fic);
    // From here on the centred spectrum holds all that the run needs of the
    // input.
    tempht.release();
    // The log spectrum, its copy and the intensity homogeneity are written
    // whole before they are read; they take the memory the transform let go.
    im.fmage = RealImage::square_to_fill(n);
    im.rmage = RealImage::square_to_fill(n);
    im.smage = RealImage::square_to_fill(n);
    log_fft_spectral(st.zero_control, threads_, n, im.frc, im.fic, im.fmage, im.rmage);

    st.checkpt.itest = 0;

    analyse_spectrum(st, flags_, im, threads_);
    // The maps of the analysis are done with: their memory serves the
    // transforms that follow.
    for (RealImage* g : {&im.smage, &im.hmage, &im.lxy}) g->release();
    for (IntMap* g : {&im.bimage, &im.cenmap, &im.cluster, &im.levmap, &st.offlines.offline}) g->release();

    const auto made = [&ready](Output which, const Image& image) {
        if (ready) ready(which, image);
    };
    form_spd_filter(out, n, n, im.rmage, im.fmage, threads_);
    im.rmage.release();
    r.gain = output_shape();
    // The gain is held at 1 (each value on its own, columns shared out) and
    // copied out as it is.
    const bool hold = st.writefile.write_filter;
    for_parts(threads_, n, 64, [&](int, int j0, int j1) {
        double* g = im.fmage.data();
        for (std::size_t k = static_cast<std::size_t>(j0) * n; k < static_cast<std::size_t>(j1) * n; ++k) {
            if (hold && g[k] > 1.0) g[k] = 1.0;
            r.gain.values[k] = g[k];
        }
    });
    made(Output::kGain, r.gain);
    // The noise is what the complement of the gain lets through, the
    // cleaned image what the gain lets through.
    if (st.writefile.write_noise) {
        r.noise = output_shape();
        form_noise_image(st.fconst2, threads_, n, im.fmage, im.frc, im.fic, r.noise.values.data());
        made(Output::kNoise, r.noise);
    }
    r.cleaned = output_shape();
    filter_fft_by_input(st.fconst2, threads_, n, im.fmage, im.frc, im.fic, r.cleaned.values.data());
    made(Output::kCleaned, r.cleaned);
}

Result destripe(const Image& image, const Parameters& parameters, const Options& options) {
    const long long count = static_cast<long long>(image.nx) * image.ny;
    if (image.nx > 0 && image.ny > 0 && static_cast<long long>(image.values.size()) != count) {
        throw Error(ErrorKind::kBadShape, "the image holds " + std::to_string(image.values.size()) + " values, not " +
                                           std::to_string(image.nx) + " x " + std::to_string(image.ny));
    }
    EngineRun run(parameters, options);
    run.take_shape(image.nx, image.ny, image.span_x, image.span_y, image.unit);
    RealImage& grid = run.grid();
    std::size_t k = 0;
    for (int j = 1; j <= image.ny; ++j) {
        for (int i = 1; i <= image.nx; ++i, ++k) {
            const double v = image.values[k];
            if (!std::isfinite(v)) {
                throw Error(ErrorKind::kBadValue, "value " + std::to_string(k + 1) + " of " + std::to_string(count) +
                                                   " (row " + std::to_string(j) + ", column " + std::to_string(i) +
                                                   ") is not finite");
            }
            grid(i, j) = v;
        }
    }
    return run.finish();
}

}  // namespace veltrane2
