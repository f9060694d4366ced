#include "spectral/filter.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/listout.hpp"
#include "image/parallel.hpp"
#include "spectral/fft.hpp"

namespace veltrane2 {

void lifting_image(std::ostream& out, RealImage& image, double offset, int threads) {
    const int nx = image.nx();
    const int ny = image.ny();
    // Column by column (columns shared out), each checked and then, while it
    // is still in the cache, lifted: a column that holds a value that would
    // end up negative, and the columns after it in its part, are left as
    // they are.
    std::vector<char> lifted(static_cast<std::size_t>(std::max(ny, 0)), 0);
    std::atomic<bool> any_negative{false};
    for_parts(threads, ny, 64, [&](int, int j0, int j1) {
        for (int j = j0 + 1; j <= j1; ++j) {
            double* column = &image(1, j);
            bool found = false;
            for (int i = 0; i < nx; ++i) found = found || offset + column[i] < 0.0;
            if (found) {
                any_negative = true;
                return;
            }
            for (int i = 0; i < nx; ++i) column[i] = offset + column[i];
            lifted[static_cast<std::size_t>(j - 1)] = 1;
        }
    });
    if (!any_negative) return;
    // Some value ends up negative: lift the rest and report them in
    // first-index-major order (the columns already lifted hold none).
    for (int i = 1; i <= nx; ++i) {
        for (int j = 1; j <= ny; ++j) {
            if (lifted[static_cast<std::size_t>(j - 1)] != 0) continue;
            const double val = image(i, j);
            image(i, j) = offset + val;
            if (image(i, j) < 0.0) out << list_line("< 0 ", image(i, j), i, j, val);
        }
    }
}

void form_spd_filter(std::ostream& out, const LogAmplitude& original, const MarkMap& written, RealImage& image,
                     int threads) {
    const int nx = image.nx();
    const int ny = image.ny();
    // Each gain is formed on its own, columns shared out over the threads;
    // the gains above one are reported afterwards in first-index-major
    // order, numbered in that order.
    struct Raised {
        int i, j;
        double uncorrected, corrected, val1, val2;
    };
    std::vector<std::vector<Raised>> part_raised(static_cast<std::size_t>(thread_count(threads)));
    for_parts(threads, ny, 64, [&](int part, int j0, int j1) {
        std::vector<Raised>& raised = part_raised[static_cast<std::size_t>(part)];
        for (int j = j0 + 1; j <= j1; ++j) {
            const unsigned char* mark = &written(1, j);
            double* g = &image(1, j);
            for (int i = 1; i <= nx; ++i) {
                // A value the analysis left as it was has the gain exp(x) /
                // exp(x), exactly 1 (so also by the fallback below): it is
                // left as it is.
                if (mark[i - 1] == 0) {
#ifndef NDEBUG
                    if (!(g[i - 1] == original.at(i, j)))
                        throw std::logic_error("the analysis changed the log spectrum at an unmarked pixel (" +
                                               std::to_string(i) + ", " + std::to_string(j) + ")");
#endif
                    continue;
                }
                const double x = original.at(i, j);
                if (g[i - 1] == x) {
                    g[i - 1] = 1.0;
                    continue;
                }
                const double val1 = std::exp(x);
                const double val2 = std::exp(g[i - 1]);
                double val = val2 / val1;
                if (!std::isfinite(val) || val1 == 0.0) {
                    // An amplitude beyond the range of a double (the log floor of
                    // an all-zero spectrum is 9999.99) would make the gain 0/0 or
                    // inf/inf: the ratio is taken from the logarithms instead.
                    val = std::exp(g[i - 1] - x);
                }
                if (val > 1.0) raised.push_back({i, j, x, g[i - 1], val1, val2});
                g[i - 1] = val;
            }
        }
    });
    std::vector<Raised> raised;
    for (const auto& list : part_raised) raised.insert(raised.end(), list.begin(), list.end());
    std::sort(raised.begin(), raised.end(),
              [](const Raised& a, const Raised& b) { return a.i != b.i ? a.i < b.i : a.j < b.j; });
    int ng = 0;
    for (const Raised& r : raised) {
        ++ng;
        out << list_line("FORM_SPD_FILTER > 1 ", r.i, r.j, r.uncorrected, r.corrected, r.val1, r.val2, ng);
    }
}

void form_noise_image(int threads, const double* hin, const RealImage& frc, const RealImage& fic, double* noise,
                      RealImage* scratch, const unsigned char* ones) {
    if (ones != nullptr) {
        inv_fft2d(threads, frc, fic, hin, true, noise, scratch, ones);
        const std::size_t count = frc.size();
        bool zero = false;
        for (std::size_t k = 0; k < count; ++k) zero = zero || noise[k] == 0.0;
        if (!zero) return;
    }
    inv_fft2d(threads, frc, fic, hin, true, noise, scratch);
}

void filter_fft_by_input(int threads, const double* hin, const RealImage& frc, const RealImage& fic, double* image) {
    inv_fft2d(threads, frc, fic, hin, false, image);
}

}  // namespace veltrane2
