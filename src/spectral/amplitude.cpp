#include "spectral/amplitude.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "core/constants.hpp"
#include "image/parallel.hpp"

namespace veltrane2 {

double log_fft_spectral(int threads, const RealImage& fr, const RealImage& fi, RealImage& fmage, double* highest) {
    const int n = fr.nx();
    // Each value is handled on its own and the smallest logarithm does not
    // depend on the order of the visit: columns are shared out, and each
    // part keeps its smallest logarithm and its amplitudes too small.
    const int parts = thread_count(threads);
    std::vector<double> part_min(static_cast<std::size_t>(parts), static_cast<double>(9999.99f));
    std::vector<double> part_max(static_cast<std::size_t>(parts), -static_cast<double>(9999.99f));
    std::vector<std::vector<double*>> tiny(static_cast<std::size_t>(parts));
    for_parts(threads, n, 64, [&](int part, int j0, int j1) {
        double rmin = part_min[static_cast<std::size_t>(part)];
        double rmax = part_max[static_cast<std::size_t>(part)];
        for (int j = j0 + 1; j <= j1; ++j) {
            // The amplitudes of a column first, in a loop of their own (each
            // value on its own, so several at once), then their logarithms.
            const double* re = &fr(1, j);
            const double* im = &fi(1, j);
            double* out = &fmage(1, j);
            for (int i = 0; i < n; ++i) out[i] = amplitude(re[i], im[i]);
            for (int i = 0; i < n; ++i) {
                const double a = out[i];
                if (has_logarithm(a)) {
                    out[i] = std::log(a);
                    rmin = std::min(rmin, out[i]);
                    rmax = std::max(rmax, out[i]);
                } else {
                    tiny[static_cast<std::size_t>(part)].push_back(&out[i]);
                }
            }
        }
        part_min[static_cast<std::size_t>(part)] = rmin;
        part_max[static_cast<std::size_t>(part)] = rmax;
    });
    double rmin = static_cast<double>(9999.99f);
    for (double m : part_min) rmin = std::min(rmin, m);
    bool any_tiny = false;
    for (const auto& list : tiny) {
        for (double* p : list) *p = rmin;
        any_tiny = any_tiny || !list.empty();
    }
    if (highest != nullptr) {
        double rmax = any_tiny ? rmin : -static_cast<double>(9999.99f);
        for (double m : part_max) rmax = std::max(rmax, m);
        *highest = rmax;
    }
    return rmin;
}

}  // namespace veltrane2
