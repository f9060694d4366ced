#include "run/pipeline.hpp"

#include <future>
#include <iostream>
#include <new>

#include "centermap/center_map.hpp"
#include "centermap/gauss_fit.hpp"
#include "centermap/region_select.hpp"
#include "centermap/restore.hpp"
#include "centermap/symm_pass.hpp"
#include "cluster/cluster_map.hpp"
#include "homogeneity/derivatives.hpp"
#include "homogeneity/homogeneity.hpp"
#include "homogeneity/noise_ref.hpp"
#include "image/extremes.hpp"
#include "image/image_ops.hpp"
#include "io/image_stages.hpp"
#include "level/cluster_level.hpp"
#include "level/level_map.hpp"
#include "run/errors.hpp"
#include "run/listout.hpp"
#include "spectral/centring.hpp"
#include "spectral/fft.hpp"
#include "spectral/filter.hpp"

namespace veltrane2 {

DriverImages::DriverImages(int n)
    : fmage(n, n), smage(n, n), rmage(n, n), fft_re(n, n), fft_im(n, n), frc(n, n), fic(n, n) {}

namespace {

// Writes the output images in the background, one after the other, so that
// formatting one image overlaps the computing of the next. A write starts
// only when the previous one has completed; its "Saving image:" line is
// printed as it starts, so the lines keep their order. A failed write stops
// the run when the next write would start, or at finish().
class OutputWriter {
public:
    explicit OutputWriter(const RunState& st) : st_(st) {}
    OutputWriter(const OutputWriter&) = delete;
    OutputWriter& operator=(const OutputWriter&) = delete;
    // An image being written stays in use until its write has ended.
    ~OutputWriter() {
        if (pending_.valid()) pending_.wait();
    }

    // `image` must stay unchanged until the next start() or finish().
    void start(const std::string& name, const std::string& comment, int n, const RealImage& image) {
        finish();
        *st_.out << "Saving image: " << name << '\n';
        pending_ = std::async(std::launch::async, [this, name, comment, n, &image] {
            std::ostream quiet(nullptr);  // the line is printed already
            write_output_image(st_, quiet, name, comment, n, image);
        });
    }
    void finish() {
        if (pending_.valid()) pending_.get();
    }

private:
    const RunState& st_;
    std::future<void> pending_;
};

// The selections mark their pixels -1 for the symmetric pass, which only
// examines pixels of value 1; afterwards every -1 is a selected pixel.
void unmark_to_mark(int n, IntMap& map) {
    for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= n; ++i)
            if (map(i, j) == -1) map(i, j) = 1;
}

}  // namespace

std::string output_name(const RunState& st, const char* prefix) {
    return prefix + st.direc1.tempfile.substr(0, static_cast<std::size_t>(st.direc1.templen));
}

void analyse_spectrum(RunState& st, const DriverFlags& flags, DriverImages& im) {
    std::ostream& out = *st.out;
    const int nss = 10;  // pass parameter of the symmetric pass
    const int ns = 1;    // neighbourhood half-width of restoration and level estimation
    const int n = st.tempimage.ngdtemp;
    auto whole_window = [&st, n] {
        st.centerbcut.icutc = {1, n};
        st.centerbcut.jcutc = {1, n};
    };
    im.bimage = IntMap::square(n);
    im.lxy = RealImage::square(n);

    // Streak detection: intensity and Laplacian homogeneity of the log
    // spectrum, their product H and the global selection.
    intensity_homegen(n, n, im.fmage, im.smage);
    normalization_image(n, n, im.smage);
    laplace_homegen(st.laplacian, false, n, n, im.fmage, im.bimage, im.lxy);
    normalization_image(n, n, im.lxy);
    image1ximage2(n, n, im.smage, im.lxy);
    im.lxy.release();
    double ave_hmage = ave_image(n, n, im.smage);
    out << list_line("Average of H(i j)=", ave_hmage);
    select_homo_global(n, n, im.smage, st.control_para1.thresh_homo_glb, im.bimage);
    if (integer_value_image(n, n, im.bimage) == 0) return;

    // The reference noise threshold re-decides every pixel by its level.
    refer_noise(n, n, im.fmage, im.bimage, 0, st.gauss_refnoise);
    thresh_noise(n, n, im.fmage, st.gauss_refnoise, im.bimage);
    if (integer_value_image(n, n, im.bimage) == 0) return;

    // Centre pass: the centre map takes the central blob out of the streak
    // mask, and the Gaussian fit sets the zero-frequency value.
    whole_window();
    im.hmage = im.smage;
    im.cenmap = IntMap::square(n);
    center_map2(st, n, n, im.fmage, im.bimage, im.cenmap);
    normalization_local(n, n, im.smage, im.cenmap, ave_hmage);
    out << list_line("Average of H_C=", ave_hmage);
    gaussmodel_cent2(st, n, n, im.fmage, im.cenmap);
    if (integer_value_image(n, n, im.cenmap) != 0) {
        select_homo_region(st, 1, n, n, im.cenmap, im.smage);
        if (flags.symm) {
            real_symm_pass_1pair(st, nss, st.center_center.icent, st.centerbcut.icutc, st.centerbcut.jcutc, n, n,
                                 im.fmage, im.cenmap);
            unmark_to_mark(n, im.cenmap);
        }
        if (integer_value_image(n, n, im.cenmap) != 0) restore_intensity(st, ns, n, n, im.fmage, im.cenmap);
    }

    // Off-centre pass over the streak pixels outside the centre map.
    if (integer_value_image(n, n, im.bimage) == 0) return;
    whole_window();
    normalization_local(n, n, im.hmage, im.bimage, ave_hmage);
    out << list_line("Average of H_F=", ave_hmage);
    if (flags.symm) {
        select_homo_region_symm(st, 0, n, n, im.bimage, im.hmage);
        real_symm_pass_1pair(st, nss, st.center_center.icent, st.centerbcut.icutc, st.centerbcut.jcutc, n, n, im.fmage,
                             im.bimage);
        unmark_to_mark(n, im.bimage);
    } else {
        select_homo_region(st, 0, n, n, im.bimage, im.hmage);
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

void run_pipeline(RunState& st, const DriverFlags& flags) {
    std::ostream& out = *st.out;

    parameter_data(st.fconst2);
    derivative_operator(st.laplacian, st.firstder);

    readin_new_image(st);
    const int n = st.tempimage.ngdtemp;
    RealImage& tempht = st.tempimage.tempht;

    // Lift the image so that its minimum is 0.
    const Extremes ex = location_max_min_image(n, tempht);
    const double lift = -ex.extreme[0];
    lifting_image(out, n, n, tempht, lift);

    DriverImages im(n);
    fft2d(st.fconst2, n, tempht, im.fft_re, im.fft_im);
    center0_fft(n, im.fft_re, im.fft_im, im.frc, im.fic);
    // From here on the centred spectrum holds all that the run needs of the
    // input; the uncentred spectrum is made again for the inverse transform.
    tempht.release();
    im.fft_re.release();
    im.fft_im.release();
    fft_spectral_density(n, im.frc, im.fic, im.fmage);
    log_fft_spectral(st.zero_control, n, im.fmage);

    if (st.writefile.write_spd) writeout_image(st, output_name(st, "SPD3_"), flags.comment, n, im.fmage);

    st.checkpt.itest = 0;
    st.offlines.offline = IntMap::square(n);
    get_offline(n, n, st.offlines.offline);
    rename_an_image(n, n, im.fmage, im.rmage);

    analyse_spectrum(st, flags, im);
    // The maps of the analysis are done with: their memory serves the
    // transforms that follow.
    for (RealImage* g : {&im.hmage, &im.lxy}) g->release();
    for (IntMap* g : {&im.bimage, &im.cenmap, &im.cluster, &im.levmap, &st.offlines.offline}) g->release();

    if (st.writefile.write_dspd) write_output_image(st, output_name(st, "DSPD3_"), flags.comment, n, im.fmage);

    RealImage denoised;  // outlives the writer, which may still be reading it
    OutputWriter writer(st);
    form_spd_filter(out, n, n, im.rmage, im.fmage);
    im.rmage.release();
    if (st.writefile.write_filter) {
        for (int j = 1; j <= n; ++j)
            for (int i = 1; i <= n; ++i)
                if (im.fmage(i, j) > 1.0) im.fmage(i, j) = 1.0;
        writer.start(output_name(st, "FIL_"), flags.comment, n, im.fmage);
    }
    if (st.writefile.write_noise) form_noise_image(st.fconst2, n, n, im.fmage, im.frc, im.fic, im.smage);

    filter_fft_by_input(n, n, im.fmage, im.frc, im.fic);
    im.fft_re = RealImage::square(n);
    im.fft_im = RealImage::square(n);
    off0center_fft(n, im.frc, im.fic, im.fft_re, im.fft_im);
    if (st.writefile.write_noise) writer.start(output_name(st, "NOISE_"), flags.comment, n, im.smage);
    // The cleaned image goes to a grid of its own: the gain may still be
    // being written.
    denoised = RealImage::square(n);
    inv_fft2d(st.fconst2, n, im.fft_re, im.fft_im, denoised);
    writer.start(output_name(st, "DENOISE_"), flags.comment, n, denoised);
    writer.finish();
}

int veltrane2_main(std::istream& in, std::ostream& out, std::ostream& err, std::optional<bool> force_group) {
    RunState st;
    st.out = &out;
    try {
        out << list_line("RUN MANUAL VELTRANE2");
        DriverFlags flags = inpt_veltrane(in, st);
        if (force_group) flags.group = *force_group;
        run_pipeline(st, flags);
        out.flush();
        return kExitOk;
    } catch (const FatalStop& e) {
        out << e.line();
        out.flush();
        err << "STOP " << e.stop_code() << '\n';
        return kExitLimitStop;
    } catch (const RunError& e) {
        out.flush();
        err << "veltrane2: " << e.what() << '\n';
        return e.status();
    } catch (const std::bad_alloc&) {
        out.flush();
        err << "veltrane2: out of memory\n";
        return kExitFileError;
    }
}

}  // namespace veltrane2
