#include "homogeneity/homogeneity.hpp"

#include <algorithm>

#include "image/image_ops.hpp"

namespace veltrane2 {

// The extremes below do not depend on the order in which the pixels are
// visited, so the sweeps follow the storage order of the grid.

ValueRange intensity_homegen(const RealImage& tempht, RealImage& homo) {
    const int nx = tempht.nx();
    const int ny = tempht.ny();
    const ValueRange r = value_range(tempht);
    const double emin = r.lo;
    const double emax = r.hi;
    if (emax == emin) {
        start_a_table(homo, 0.0);
        return value_range(homo);
    }
    const double scale = 1.0 / (emax - emin);
    double hmx = -kNormStart;
    for (int j = 1; j <= ny; ++j) {
        for (int i = 1; i <= nx; ++i) {
            homo(i, j) = (tempht(i, j) - emin) * scale;
            hmx = std::max(hmx, homo(i, j));
        }
    }
    const double top = 1.0 / hmx;
    ValueRange out;
    for (int j = 1; j <= ny; ++j) {
        for (int i = 1; i <= nx; ++i) {
            homo(i, j) = homo(i, j) * top;
            out.add(homo(i, j));
        }
    }
    return out;
}

ValueRange laplace_homegen(const Laplacian& lap, bool local, const RealImage& tempht, IntMap& bimage,
                           RealImage& homo) {
    const int nx = tempht.nx();
    const int ny = tempht.ny();
    if (!local) start_integer_table(bimage, 1);
    // The Laplacians are kept in homo until they are rescaled in place.
    RealImage& edge = homo;
    double emax = -kNormStart;
    double emin = kNormStart;
    int count = 0;
    // Inside the image the four neighbours are there: the stencil's weights
    // are taken once, and the sum is formed in laplace_discr's order.
    const Stencil& mask = lap.laplacemsk8p;
    const double w0 = mask(0, 0), w1 = mask(-1, 0), w2 = mask(1, 0), w3 = mask(0, -1), w4 = mask(0, 1);
    for (int j = 1; j <= ny; ++j) {
        const bool inner_column = j > 1 && j < ny;
        for (int i = 1; i <= nx; ++i) {
            if (bimage(i, j) == 1) {
                edge(i, j) = inner_column && i > 1 && i < nx
                                 ? w0 * tempht(i, j) + w1 * tempht(i - 1, j) + w2 * tempht(i + 1, j) +
                                       w3 * tempht(i, j - 1) + w4 * tempht(i, j + 1)
                                 : laplace_discr(lap, i, j, tempht);
                emax = std::max(emax, edge(i, j));
                emin = std::min(emin, edge(i, j));
                ++count;
            }
        }
    }
    const bool flat = count > 0 && emax == emin;
    const double s = flat ? 0.0 : 1.0 / (emax - emin);
    ValueRange out;
    for (int j = 1; j <= ny; ++j) {
        for (int i = 1; i <= nx; ++i) {
            homo(i, j) = bimage(i, j) == 1 ? (flat ? 0.0 : (homo(i, j) - emin) * s) : 0.0;
            out.add(homo(i, j));
        }
    }
    return out;
}

void select_homo_global(const RealImage& fmage, double thresh_homo_glb, IntMap& bimage) {
    const int nx = fmage.nx();
    const int ny = fmage.ny();
    for (int j = 1; j <= ny; ++j)
        for (int i = 1; i <= nx; ++i) bimage(i, j) = fmage(i, j) > thresh_homo_glb ? 1 : 0;
}

}  // namespace veltrane2
