// Index heapsorts and the search for the extremes of a square image.
#pragma once

#include <array>

#include "image/grid.hpp"

namespace veltrane2 {

// indx[0..n-1] receives the 1-based positions of ra[0..n-1] in ascending
// order of their keys. Not stable; two equal keys come out as (1, 2) in
// hpsort and as (2, 1) in ihpsort.
void hpsort(int n, const double* ra, int* indx);
void ihpsort(int n, const int* ra, int* indx);

// Block layout of one line for batch_sorting: nseg full blocks of 8 values
// and ileft values left over (iaddseg = 1 when there are any).
struct Partitionseg {
    int nseg = 0;
    int ileft = 0;
    int iaddseg = 0;
};

// Minimum and maximum of one line subset[1..n] (1-based positions).
void batch_sorting(const Partitionseg& seg, const double* subset, int& loc_min, int& loc_max, double& rmin,
                   double& rmax);

struct Extremes {
    std::array<double, 2> extreme{0.0, 0.0};  // minimum, maximum
    std::array<int, 2> loc_min{0, 0};         // grid position (i, j) of the minimum
    std::array<int, 2> loc_max{0, 0};         // grid position (i, j) of the maximum
};

// Minimum and maximum of the square image and where they are; the earlier
// line keeps the position among equal values.
Extremes location_max_min_image(const RealImage& image);

// The lowest and the highest value of an image in one sweep, columns shared
// out over up to `threads` threads (0: as many as the machine has cores, at
// most four). The lowest is location_max_min_image(image).extreme[0] bit for
// bit; the highest, when it is a zero, is the first highest value in
// storage order.
struct ValueSpan {
    double low = 0.0;
    double high = 0.0;
};
ValueSpan lowest_and_highest(const RealImage& image, int threads = 1);

}  // namespace veltrane2
