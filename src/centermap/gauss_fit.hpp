// Fit of a two-dimensional Gaussian to the central blob of the log
// spectrum; its peak replaces the value of the centre pixel.
#pragma once

#include <ostream>
#include <vector>

#include "centermap/center_map.hpp"
#include "image/box.hpp"
#include "image/grid.hpp"
#include "image/linalg.hpp"

namespace veltrane2 {

// Widths and centre of the Gaussian centre model.
struct GaussfitT1 {
    double sigx = 0.0;  // paired with the offset along the second index
    double sigy = 0.0;  // paired with the offset along the first index
    int iu = 0;         // model centre, first index
    int iv = 0;         // model centre, second index
};

// One pixel of the fit: its data value and the two exponents of the model
// at unit parameters, -0.5 dj^2 / sigx and -0.5 di^2 / sigy, for its offsets
// (di, dj) from the model centre.
struct FitSample {
    double val;
    double fact1;
    double fact2;
    // Pixels at the same distances |dj| and |di| from the model centre have
    // the same two exponents: the index of that pair among the fit's, or -1.
    int term = -1;
};

// The pixels of the box whose mask value is positive, first index outer
// (the order of the fit's sums).
std::vector<FitSample> fit_samples(const GaussfitT1& gf, const RealImage& tempht, const IntMap& cenmap,
                                   const Box& box);

// The model's value exp(para[1] fact1 + para[2] fact2) at each sample.
void model_values(const std::vector<FitSample>& samples, const double para[3], std::vector<double>& e);
// The same values, each exponential formed once for all the samples of a
// term (the same arguments, so the same values).
class ModelValues {
public:
    explicit ModelValues(const std::vector<FitSample>& samples);
    void at(const double para[3], std::vector<double>& e);

private:
    const std::vector<FitSample>& samples_;
    std::vector<std::size_t> firsts_;  // the first sample of each term
    std::vector<double> of_term_;
};

// Gradient g = sum of gradf x f0 and cost = sum of f0 squared over the
// samples in their order, f0 the residual para[0] val - e and gradf its
// gradient with respect to para, e the model's values; with a, also the
// matrix sum of gradf x gradf transposed.
void calc_g_n_cost(const std::vector<FitSample>& samples, const std::vector<double>& e, const double para[3],
                   double g[3], double& cost, Mat3* a = nullptr);

// paran = para + h.
void updated_para(int ndim, const double* para, const double* h, double* paran);

// The damped least-squares iteration on the data tempht over the mask
// cenmap (ntot pixels) inside the box. Writes the fitted peak into
// tempht(iu, iv) and scales the widths in gf; returns the status in iflag.
void levenberg_gauss(std::ostream& out, GaussfitT1& gf, const Box& box, RealImage& tempht, int ntot,
                     const IntMap& cenmap, double& std_cost, int& iflag);

// Fits the model to the centre map cent of tempht (its statistics, centre
// and box in `centre`) and, when the fit ends normally, sets tempht at the
// centre pixel to the fitted peak. An empty centre map, or a centre value of
// 0 once the map's minimum is taken off, leaves nothing to fit: tempht is
// then unchanged. The centre pixel is marked in `written` when it is set.
void gaussmodel_cent2(std::ostream& out, const CentreMap& centre, RealImage& tempht, MarkMap& written,
                      const IntMap& cent);

}  // namespace veltrane2
