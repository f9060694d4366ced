#include "centermap/gauss_fit.hpp"

#include <algorithm>
#include <cmath>
#include <type_traits>

#include "core/constants.hpp"
#include "core/listout.hpp"
#include "image/image_ops.hpp"

namespace veltrane2 {
namespace {

constexpr int kMaxIter = 100;

// The step h = -(a + u I)^-1 g of the damped iteration.
void damped_step(const Mat3& a, double u, const double g[3], double h[3]) {
    Mat3 au;
    for (int q = 1; q <= 3; ++q)
        for (int p = 1; p <= 3; ++p) au(p, q) = -(a(p, q) + (p == q ? u : 0.0));
    Mat3 b;
    invt(3, au, b);
    mxv(b.v.data(), g, h, 3, 3);
}

}  // namespace

std::vector<FitSample> fit_samples(const GaussfitT1& gf, const RealImage& tempht, const IntMap& cenmap,
                                   const Box& box) {
    std::vector<FitSample> samples;
    // Terms are numbered by (|dj|, |di|) when their table stays small
    // against the box.
    const long long most_di = std::max(std::abs(static_cast<long long>(box.i0) - gf.iu),
                                       std::abs(static_cast<long long>(box.i1) - gf.iu));
    const long long most_dj = std::max(std::abs(static_cast<long long>(box.j0) - gf.iv),
                                       std::abs(static_cast<long long>(box.j1) - gf.iv));
    const long long terms = (most_di + 1) * (most_dj + 1);
    const long long area = (static_cast<long long>(box.i1) - box.i0 + 1) * (static_cast<long long>(box.j1) - box.j0 + 1);
    const bool numbered = terms <= std::max(4 * area, 1LL << 16);
    box.for_each_first_major([&](int i0, int j0) {
        if (cenmap(i0, j0) <= 0) return;
        const int dj = j0 - gf.iv;
        const int di = i0 - gf.iu;
        const double fact1 = -0.5 * (dj * dj) / gf.sigx;
        const double fact2 = -0.5 * (di * di) / gf.sigy;
        const int term = numbered ? static_cast<int>(std::abs(di) * (most_dj + 1) + std::abs(dj)) : -1;
        samples.push_back({tempht(i0, j0), fact1, fact2, term});
    });
    return samples;
}

namespace {

// The model exp(para[1] fact1 + para[2] fact2) at one pixel.
double model_at(const FitSample& s, const double para[3]) {
    const double fact = para[1] * s.fact1 + para[2] * s.fact2;
    return std::exp(fact);
}

// Residual f0 and its gradient with respect to para at one pixel, whose
// model value is e.
inline void residual_and_gradient(const FitSample& s, double e, const double para[3], double& f0, double gradf[3]) {
    f0 = para[0] * s.val - e;
    gradf[0] = s.val;
    gradf[1] = -e * s.fact1;
    gradf[2] = -e * s.fact2;
}

}  // namespace

void model_values(const std::vector<FitSample>& samples, const double para[3], std::vector<double>& e) {
    e.resize(samples.size());
    for (std::size_t k = 0; k < samples.size(); ++k) e[k] = model_at(samples[k], para);
}

ModelValues::ModelValues(const std::vector<FitSample>& samples) : samples_(samples) {
    int terms = 0;
    for (const FitSample& s : samples) {
        if (s.term < 0) return;  // not numbered: each sample on its own
        terms = std::max(terms, s.term + 1);
    }
    std::vector<char> seen(static_cast<std::size_t>(terms), 0);
    for (std::size_t k = 0; k < samples.size(); ++k) {
        char& first = seen[static_cast<std::size_t>(samples[k].term)];
        if (first == 0) firsts_.push_back(k);
        first = 1;
    }
    of_term_.resize(static_cast<std::size_t>(terms));
}

void ModelValues::at(const double para[3], std::vector<double>& e) {
    if (firsts_.empty()) {
        model_values(samples_, para, e);
        return;
    }
    for (const std::size_t k : firsts_) of_term_[static_cast<std::size_t>(samples_[k].term)] = model_at(samples_[k], para);
    e.resize(samples_.size());
    for (std::size_t k = 0; k < samples_.size(); ++k) e[k] = of_term_[static_cast<std::size_t>(samples_[k].term)];
}

namespace {

using V2 = double __attribute__((vector_size(16)));

// The sums of calc_g_n_cost(), carried side by side in the lanes of
// vectors, each lane an operation of its own: (g0, g1), (g2, cost), and the
// upper triangle of the matrix as (a11, a12), (a13, a22), (a23, a33).
struct FitSums {
    V2 g01 = {0.0, 0.0};
    V2 g2c = {0.0, 0.0};
    V2 a11_12 = {0.0, 0.0};
    V2 a13_22 = {0.0, 0.0};
    V2 a23_33 = {0.0, 0.0};
};

template <bool kMatrix>
FitSums fit_sums(const std::vector<FitSample>& samples, const std::vector<double>& e, const double para[3]) {
    V2 g01 = {0.0, 0.0};
    V2 g2c = {0.0, 0.0};
    V2 a11_12 = {0.0, 0.0};
    V2 a13_22 = {0.0, 0.0};
    V2 a23_33 = {0.0, 0.0};
    for (std::size_t k = 0; k < samples.size(); ++k) {
        double f0;
        double gradf[3];
        residual_and_gradient(samples[k], e[k], para, f0, gradf);
        const V2 x01 = {gradf[0], gradf[1]};
        const V2 x2c = {gradf[2], f0};
        g01 = g01 + x01 * f0;
        g2c = g2c + x2c * f0;
        if constexpr (kMatrix) {
            a11_12 = a11_12 + x01 * gradf[0];
            const V2 p = {gradf[0], gradf[1]};
            const V2 q = {gradf[2], gradf[1]};
            a13_22 = a13_22 + p * q;
            const V2 r = {gradf[1], gradf[2]};
            a23_33 = a23_33 + r * gradf[2];
        }
    }
    return {g01, g2c, a11_12, a13_22, a23_33};
}

}  // namespace

void calc_g_n_cost(const std::vector<FitSample>& samples, const std::vector<double>& e, const double para[3],
                   double g[3], double& cost, Mat3* a) {
    // Each sum is added to in the samples' order, by the same product and
    // sum as on its own. The matrix is symmetric term by term (x y and y x
    // are the same product), so its upper triangle is summed and mirrored.
    const FitSums s = a == nullptr ? fit_sums<false>(samples, e, para) : fit_sums<true>(samples, e, para);
    if (a != nullptr) {
        Mat3& m = *a;
        m(1, 1) = s.a11_12[0];
        m(1, 2) = s.a11_12[1];
        m(2, 1) = s.a11_12[1];
        m(1, 3) = s.a13_22[0];
        m(3, 1) = s.a13_22[0];
        m(2, 2) = s.a13_22[1];
        m(2, 3) = s.a23_33[0];
        m(3, 2) = s.a23_33[0];
        m(3, 3) = s.a23_33[1];
    }
    g[0] = s.g01[0];
    g[1] = s.g01[1];
    g[2] = s.g2c[0];
    cost = s.g2c[1];
}

void updated_para(int ndim, const double* para, const double* h, double* paran) {
    for (int k = 0; k < ndim; ++k) paran[k] = para[k] + h[k];
}

void levenberg_gauss(std::ostream& out, GaussfitT1& gf, const Box& box, RealImage& tempht, int ntot,
                     const IntMap& cenmap, double& std_cost, int& iflag) {
    const double tau = static_cast<double>(0.1f);

    iflag = 0;
    const double rtot = 1.0 / static_cast<double>(ntot - 1);
    const double val0 = tempht(gf.iu, gf.iv);
    double para[3] = {1.0 / val0, 1.0, 1.0};
    double u = 0.0;
    double v = 2.0;
    double gnorm_old = 0.0;
    double cost = 0.0;
    // The data and the model's widths stay as they are until the fit ends:
    // each sum goes over the same samples.
    const std::vector<FitSample> samples = fit_samples(gf, tempht, cenmap, box);
    // The model's values at para, and at the trial parameters para0: a
    // trial that is taken becomes para with its values, one that is not
    // leaves para and its values as they were.
    std::vector<double> model;
    std::vector<double> trial;
    ModelValues values(samples);
    values.at(para, model);
    // The sums at para. An iteration forms them at the trial parameters;
    // a trial that is taken leaves them for the next iteration, one that is
    // not leaves para, and the sums at it, as they were.
    double g_at[3];
    double cost_at = 0.0;
    Mat3 a_at;
    calc_g_n_cost(samples, model, para, g_at, cost_at, &a_at);

    auto finish = [&](int code, bool limit) {
        tempht(gf.iu, gf.iv) = 1.0 / para[0];
        const bool above = tempht(gf.iu, gf.iv) > val0;
        iflag = limit ? (above ? -2 : -1) : (above ? code : 0);
        gf.sigx = gf.sigx / para[1];
        gf.sigy = gf.sigy / para[2];
        std_cost = std::sqrt(cost * rtot);
    };

    for (int it = 1;; ++it) {
        if (it > kMaxIter) {
            finish(0, true);
            out << list_line("IT > MAXITER in GAUSSFIT_CENTRALMAP ", kMaxIter);
            out << list_line("PARA UPDATED:", tempht(gf.iu, gf.iv), gf.sigx, gf.sigy, std_cost);
            return;
        }
        double g[3];
        std::copy(g_at, g_at + 3, g);
        cost = cost_at;
        const Mat3 a = a_at;

        const double gnorm = vnorm(3, g);
        if (gnorm < kPvtiny) return finish(1, false);
        if (it > 1) {
            const double gdiff = std::abs(static_cast<double>(static_cast<float>(gnorm - gnorm_old)));
            if (gdiff < kPvtiny) return finish(2, false);
        }
        gnorm_old = gnorm;

        const double amax = std::max({a(1, 1), a(2, 2), a(3, 3)});
        if (it == 1) {
            u = tau * amax;
            v = 2.0;
        }

        double h[3];
        damped_step(a, u, g, h);

        const double pnorm = vnorm(3, para);
        const double hnorm = vnorm(3, h);
        const double thresh = kPvtiny * (kPvtiny + pnorm);
        if (hnorm < thresh) return finish(2, false);

        double para0[3];
        updated_para(3, para, h, para0);
        double g0[3];
        double cost0 = 0.0;
        Mat3 a0;
        values.at(para0, trial);
        calc_g_n_cost(samples, trial, para0, g0, cost0, &a0);

        double l0lh = 0.0;
        for (int p = 0; p < 3; ++p) l0lh = l0lh + h[p] * (u * h[p] - g0[p]);
        const double rpho = (cost - cost0) / l0lh;

        if (rpho > kPvtiny) {
            std::copy(para0, para0 + 3, para);
            model.swap(trial);
            std::copy(g0, g0 + 3, g_at);
            cost_at = cost0;
            a_at = a0;
            if (vnorm(3, g0) < kPvtiny) {
                out << list_line("EXIT 3");
                return finish(3, false);
            }
            u = u * std::max(0.0, 1.0 - intpower(2.0 * rpho - 1.0, 3));
            v = 2.0;
        } else {
            // Rejected, also when the gain ratio is not a number.
            u = u * v;
            v = 2.0 * v;
        }
    }
}

void gaussmodel_cent2(std::ostream& out, const CentreMap& centre, RealImage& tempht, MarkMap& written,
                      const IntMap& cent) {
    if (integer_value_image(cent) == 0) return;

    const int nx = tempht.nx();
    const int ny = tempht.ny();
    const Box& box = centre.centerbcut;
    const CenterAna1& ca = centre.center_ana1;
    GaussfitT1 gf;
    gf.iu = centre.icent[0];
    gf.iv = centre.icent[1];

    const double cs = ca.cent_axes(1, 1) * ca.cent_axes(1, 1);
    const double ss = ca.cent_axes(1, 2) * ca.cent_axes(1, 2);
    gf.sigx = ca.cent_sig[0] * cs + ca.cent_sig[1] * ss;
    gf.sigy = ca.cent_sig[0] * ca.cent_sig[1] / gf.sigx;

    // The fit reads the centre pixel and the box of the centre map only: the
    // working copy of the image and the fit's mask cover just those, in a
    // frame of their own. The fit depends on positions only through their
    // differences from the centre, so it runs in that frame as it would on
    // the whole grid.
    const Box frame{std::min(box.i0, gf.iu), std::max(box.i1, gf.iu), std::min(box.j0, gf.iv),
                    std::max(box.j1, gf.iv)};
    const int di = frame.i0 - 1;
    const int dj = frame.j0 - 1;
    const Box local{box.i0 - di, box.i1 - di, box.j0 - dj, box.j1 - dj};
    GaussfitT1 lf = gf;
    lf.iu = gf.iu - di;
    lf.iv = gf.iv - dj;
    RealImage fmage = RealImage::to_fill(frame.i1 - di, frame.j1 - dj);
    IntMap bimage = IntMap::to_fill(frame.i1 - di, frame.j1 - dj);
    box.for_each([&](int i, int j) {
        fmage(i - di, j - dj) = tempht(i, j);
        bimage(i - di, j - dj) = 0;
    });
    fmage(lf.iu, lf.iv) = tempht(gf.iu, gf.iv);

    // A centre pixel lower than the mean of its eight neighbours starts from
    // that mean (a neighbour outside the image counts as 0).
    double sum = 0.0;
    for (int i = gf.iu - 1; i <= gf.iu + 1; ++i) {
        for (int j = gf.iv - 1; j <= gf.iv + 1; ++j) {
            if (i == gf.iu && j == gf.iv) continue;
            if (i >= 1 && i <= nx && j >= 1 && j <= ny) sum += tempht(i, j);
        }
    }
    const double ave = sum / 8.0;
    if (ave > tempht(gf.iu, gf.iv)) fmage(lf.iu, lf.iv) = ave;

    double rmin = kNormStart;
    int ntot = 0;
    box.for_each_first_major([&](int i, int j) {
        if (cent(i, j) != 1) return;
        rmin = std::min(rmin, tempht(i, j));
        bimage(i - di, j - dj) = 1;
        ++ntot;
    });
    local.for_each_first_major([&](int i, int j) {
        if (bimage(i, j) == 1) fmage(i, j) = fmage(i, j) - rmin;
    });

    // The fit starts from the inverse of the centre value.
    if (fmage(lf.iu, lf.iv) == 0.0) return;

    double std_cost = 0.0;
    int iflag = 0;
    levenberg_gauss(out, lf, local, fmage, ntot, bimage, std_cost, iflag);
    if (iflag < 0) {
        out << list_line("exceed iteraction centermap! iflag=", iflag);
        return;
    }
    write_marked(tempht, written, gf.iu, gf.iv, fmage(lf.iu, lf.iv) + rmin);
}

}  // namespace veltrane2
