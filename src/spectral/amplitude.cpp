#include "spectral/amplitude.hpp"

#include <algorithm>
#include <cmath>

#include "image/image_ops.hpp"

namespace veltrane2 {

void fft_spectral_density(int n, const RealImage& fr, const RealImage& fi, RealImage& fmage) {
    for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= n; ++i) fmage(i, j) = std::sqrt(fi(i, j) * fi(i, j) + fr(i, j) * fr(i, j));
}

void log_fft_spectral(const ZeroControl& zc, int n, RealImage& fmage) {
    IntMap table = IntMap::square(n);
    start_integer_table(n, n, table, 0);
    double rmin = static_cast<double>(9999.99f);
    const double pvtiny1 = zc.pvtiny * zc.pvtiny;
    // Each value is handled on its own and the smallest logarithm does not
    // depend on the order of the visit: the sweep follows the storage order.
    for (int j = 1; j <= n; ++j) {
        for (int i = 1; i <= n; ++i) {
            if (fmage(i, j) > pvtiny1) {
                fmage(i, j) = std::log(fmage(i, j));
                rmin = std::min(rmin, fmage(i, j));
            } else {
                table(i, j) = 1;
            }
        }
    }
    for (int j = 1; j <= n; ++j)
        for (int i = 1; i <= n; ++i)
            if (table(i, j) == 1) fmage(i, j) = rmin;
}

}  // namespace veltrane2
