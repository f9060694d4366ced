#include "homogeneity/derivatives.hpp"

namespace veltrane2 {

double laplace_discr(const Laplacian& lap, int i, int j, const RealImage& image) {
    const Stencil mask = lap.laplacemsk8p;
    const double c = image(i, j);
    const double u1 = i > 1 ? image(i - 1, j) : c;
    const double u2 = i < image.nx() ? image(i + 1, j) : c;
    const double u3 = j > 1 ? image(i, j - 1) : c;
    const double u4 = j < image.ny() ? image(i, j + 1) : c;
    return mask(0, 0) * c + mask(-1, 0) * u1 + mask(1, 0) * u2 + mask(0, -1) * u3 + mask(0, 1) * u4;
}

}  // namespace veltrane2
