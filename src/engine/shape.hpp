// Images of any size on the run's square grid. The transforms take only a
// square whose side is a power of two; an image of another shape is padded
// out to one, and its noise and cleaned images are cut back to its shape.
// The classic program keeps its square grid of the larger side and fills
// the part beyond the image instead.
//
// Neither the padding nor the filling depends on where zero lies: adding a
// constant to every height adds it to every value of the square as well.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include <veltrane2/veltrane2.hpp>

#include "image/grid.hpp"

namespace veltrane2 {

// The smallest image side taken.
inline constexpr int kSmallestSide = 2;

// Refuses (Error, kBadShape) values that are not nx * ny, when both
// sides are positive.
void check_count(const Image& image);

// Refuses (Error, kBadValue) extents or a unit that are not positive and
// finite, or that give a pixel size (unit * span / side) that is not.
void check_extents(const Image& image);

// Refuses (Error, kBadValue) a value that is not finite, naming the
// first one by its row and column.
void check_finite(const Image& image);

// Whether every one of the n values at v is finite: a value times 0 is 0
// unless the value is not finite, and sums of those products, side by side,
// are 0 exactly when every value is.
bool all_finite(const double* v, std::size_t n);

// Refuses (Error, kBadShape) an image whose sides are not both
// positive or not both from kSmallestSide up to `largest`; the message names
// the size and the limit.
void check_sides(long long nx, long long ny, int largest);

// The side of the square an image of nx x ny runs on: the smallest power of
// two that holds both sides.
int padded_side(int nx, int ny);

// The report line of a padded image: from what size to what.
std::string padding_line(int nx, int ny, int side);

// Puts the image (values row after row) into the top-left corner of the
// square grid and fills the rest of it by mirroring the image across its
// edges (an edge value repeated): the first half of the padding after the
// last column mirrors the image's right edge, the second half its left edge
// (which the transform sees next, around the periodic square); rows the same.
// So the square is continuous across the image's four edges and their
// periodic wrap, and its only jumps lie in the middle of the padding.
void pad_by_mirroring(const std::vector<double>& values, int nx, int ny, RealImage& grid);

// The part of a square output at the image's position, with the image's
// shape and extents.
Image crop_to_image(const Image& square, int nx, int ny, double span_x, double span_y);

// The classic program's grid of side n = max(nx, ny) holds the image in its
// top-left nx x ny corner; the rest is set to the mean of the image's values
// (of all the constant fills that move with the heights' offset, the one
// whose image comes out cleanest; bench/padding.py --fills).
void fill_beyond_image(RealImage& grid, int nx, int ny);

// Multiplies each of the count values by 2^exponent (exact unless a value
// overflows or underflows).
void scale_by_power_of_two(double* v, std::size_t count, int exponent);

}  // namespace veltrane2
