// Results that the centre-map stages hand on to each other.
#pragma once

#include <array>

#include "image/linalg.hpp"

namespace veltrane2 {

// Weighted statistics of the centre map.
struct CenterAna1 {
    std::array<double, 2> cent_cm{0.0, 0.0};   // centroid: (1) along the second index, (2) along the first
    std::array<double, 2> cent_sig{0.0, 0.0};  // covariance eigenvalues, smaller first
    Mat2 cent_axes;                            // unit eigenvectors as columns (component 1 along i)
    double cent_mx = 0.0;                      // largest value over the map
    double cent_mn = 0.0;                      // smallest value over the map
};

// Widths and centre of the Gaussian centre model.
struct GaussfitT1 {
    double sigx = 0.0;  // paired with the offset along the second index
    double sigy = 0.0;  // paired with the offset along the first index
    int iu = 0;         // model centre, first index
    int iv = 0;         // model centre, second index
};

// Box over which the Gaussian fit sums.
struct MapBound {
    int imin = 0;
    int imax = 0;
    int jmin = 0;
    int jmax = 0;
};

// Box of the symmetric pass.
struct SymmBound {
    int imin = 0;
    int imax = 0;
    int jmin = 0;
    int jmax = 0;
};

// Used grid size for the line tests of the restoration.
struct BndryImage {
    int nxl = 0;
    int nyl = 0;
};

}  // namespace veltrane2
