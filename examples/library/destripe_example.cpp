// Uses the veltrane2 library: makes a striped height image in memory,
// removes its stripes with the general parameter set and prints how much
// the row means scatter before and after.
//
//   destripe_example [SIZE]        (a power of two, default 256)
#include <veltrane2/veltrane2.hpp>

#include <cmath>
#include <cstdlib>
#include <iostream>
#include <random>

namespace {

// Spread (standard deviation) of the row means of a - b.
double row_mean_spread(const veltrane2::Image& a, const veltrane2::Image& b) {
    double sum = 0.0, sum2 = 0.0;
    for (int j = 0; j < a.ny; ++j) {
        double m = 0.0;
        for (int i = 0; i < a.nx; ++i) m += a.at(i, j) - b.at(i, j);
        m /= a.nx;
        sum += m;
        sum2 += m * m;
    }
    const double mean = sum / a.ny;
    return std::sqrt(sum2 / a.ny - mean * mean);
}

}  // namespace

int main(int argc, char** argv) {
    const int n = argc > 1 ? std::atoi(argv[1]) : 256;
    std::mt19937 rng(7);
    std::normal_distribution<double> normal(0.0, 1.0);

    // A gentle landscape (1 um across, heights in units of 1 nm), then one
    // random offset per scan line (row).
    veltrane2::Image clean{n, n, 1.0, 1.0, 1.0e-6, std::vector<double>(static_cast<std::size_t>(n) * n)};
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const double x = 6.283185307179586 * i / n, y = 6.283185307179586 * j / n;
            clean.at(i, j) = std::sin(2 * x) * std::cos(3 * y) + 0.5 * std::sin(x + 2 * y) + 0.05 * normal(rng);
        }
    veltrane2::Image striped = clean;
    for (int j = 0; j < n; ++j) {
        const double offset = 0.8 * normal(rng);
        for (int i = 0; i < n; ++i) striped.at(i, j) += offset;
    }

    try {
        const veltrane2::Result r = veltrane2::destripe(striped, veltrane2::Parameters::general());
        std::cout << "spread of the row means of (image - clean): " << row_mean_spread(striped, clean)
                  << " before, " << row_mean_spread(r.cleaned, clean) << " after\n";
    } catch (const veltrane2::FatalStop& e) {
        std::cerr << e.line();
        return 4;
    } catch (const veltrane2::Error& e) {
        std::cerr << "destripe_example: " << e.what() << '\n';
        return e.kind() == veltrane2::ErrorKind::kBadShape ? 3 : 1;
    }
    return 0;
}
