#include "spectral/amplitude.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/constants.hpp"
#include "image/parallel.hpp"

namespace veltrane2 {

double log_fft_spectral(int threads, const RealImage& fr, const RealImage& fi, RealImage& fmage) {
    const int n = fr.nx();
    // Each value is handled on its own and the smallest logarithm does not
    // depend on the order of the visit: columns are shared out, and each
    // part keeps its smallest logarithm and its amplitudes too small.
    const int parts = thread_count(threads);
    std::vector<double> part_min(static_cast<std::size_t>(parts), static_cast<double>(9999.99f));
    std::vector<std::vector<double*>> tiny(static_cast<std::size_t>(parts));
    for_parts(threads, n, 64, [&](int part, int j0, int j1) {
        double rmin = part_min[static_cast<std::size_t>(part)];
        for (int j = j0 + 1; j <= j1; ++j) {
            for (int i = 1; i <= n; ++i) {
                const double a = amplitude(fr(i, j), fi(i, j));
                if (has_logarithm(a)) {
                    fmage(i, j) = std::log(a);
                    rmin = std::min(rmin, fmage(i, j));
                } else {
                    tiny[static_cast<std::size_t>(part)].push_back(&fmage(i, j));
                }
            }
        }
        part_min[static_cast<std::size_t>(part)] = rmin;
    });
    double rmin = static_cast<double>(9999.99f);
    for (double m : part_min) rmin = std::min(rmin, m);
    for (const auto& list : tiny)
        for (double* p : list) *p = rmin;
    return rmin;
}

}  // namespace veltrane2
