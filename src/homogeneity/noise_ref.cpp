#include "homogeneity/noise_ref.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "image/image_ops.hpp"

namespace veltrane2 {

GaussRefnoise refer_noise(const RealImage& tempht, const IntMap& bimage, int ival) {
    GaussRefnoise ref;
    ref.noise_ave = 0.0;
    ref.noise_sig = 0.0;
    ref.noismx = -static_cast<double>(99999.99f);
    ref.noismn = static_cast<double>(99999.99f);
    int ntot = 0;
    // The running mean depends on the order of the samples: first index
    // outer. The running sums form one chain of dependent operations per
    // sample.
    double mx = ref.noismx, mn = ref.noismn, ave = ref.noise_ave, sig = ref.noise_sig;
    const std::size_t ny = static_cast<std::size_t>(std::max(tempht.ny(), 0));
    for_each_first_index_row(tempht, &bimage, [&](int, const double* v, const int* b) {
        for (std::size_t j = 0; j < ny; ++j) {
            if (b[j] != ival) continue;
            const double x = v[j];
            mx = std::max(mx, x);
            mn = std::min(mn, x);
            ++ntot;
            ave = average_n(ntot, ave, x);
            sig = standd_n2(ntot, sig, ave, x);
        }
    });
    ref.noismx = mx;
    ref.noismn = mn;
    ref.noise_ave = ave;
    ref.noise_sig = sig;
    ref.noise_sig = std::sqrt(ref.noise_sig);
    ref.noise_thr = ref.noise_ave + (ref.noismx - ref.noise_ave) * 0.5;
    return ref;
}

void thresh_noise(const RealImage& tempht, double noise_thr, IntMap& bimage) {
    const double t = noise_thr;
    // Each pixel on its own (a value that is not a number keeps its mark).
    const double* x = tempht.data();
    int* b = bimage.data();
    for (std::size_t k = 0; k < tempht.size(); ++k) {
        const int was = b[k];
        b[k] = x[k] <= t && was == 1 ? 0 : x[k] > t && was == 0 ? 1 : was;
    }
}

}  // namespace veltrane2
