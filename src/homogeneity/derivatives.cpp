#include "homogeneity/derivatives.hpp"

namespace veltrane2 {

void derivative_operator(Laplacian& lap, Firstder& fd) {
    const int w[3] = {1, 2, 1};   // Sobel weights at l = -1, 0, 1
    const int s[3] = {3, 10, 3};  // Scharr weights
    for (int l = -1; l <= 1; ++l) {
        for (int k = -1; k <= 1; ++k) {
            const bool centre = k == 0 && l == 0;
            const bool axis = (k == 0) != (l == 0);
            lap.laplacemsk4p(k, l) = centre ? 4 : axis ? -1 : 0;
            lap.laplacemsk4m(k, l) = centre ? -4 : axis ? 1 : 0;
            lap.laplacemsk8p(k, l) = centre ? 8 : -1;
            lap.laplacemsk8m(k, l) = centre ? -8 : 1;
            fd.sobelx(k, l) = k * w[l + 1];
            fd.sharrx(k, l) = -k * s[l + 1];
        }
    }
    for (int l = -1; l <= 1; ++l) {
        for (int k = -1; k <= 1; ++k) {
            fd.sobely(k, l) = fd.sobelx(l, k);
            fd.sharry(k, l) = fd.sharrx(l, k);
        }
    }
}

double laplace_discr(const Laplacian& lap, int i, int j, int nx, int ny, const RealImage& image) {
    const Stencil mask = lap.laplacemsk8p;
    const double c = image(i, j);
    const double u1 = i > 1 ? image(i - 1, j) : c;
    const double u2 = i < nx ? image(i + 1, j) : c;
    const double u3 = j > 1 ? image(i, j - 1) : c;
    const double u4 = j < ny ? image(i, j + 1) : c;
    return mask(0, 0) * c + mask(-1, 0) * u1 + mask(1, 0) * u2 + mask(0, -1) * u3 + mask(0, 1) * u4;
}

}  // namespace veltrane2
