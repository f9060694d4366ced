// The fixed 3 x 3 difference stencils and the Laplacian point operator.
#pragma once

#include <array>

#include "image/grid.hpp"

namespace veltrane2 {

// A 3 x 3 integer mask indexed by offsets k (first index) and l (second
// index), both -1..1, stored with k varying fastest.
struct Stencil {
    std::array<int, 9> m{};
    int& operator()(int k, int l) { return m[static_cast<std::size_t>((k + 1) + 3 * (l + 1))]; }
    int operator()(int k, int l) const { return m[static_cast<std::size_t>((k + 1) + 3 * (l + 1))]; }
    bool operator==(const Stencil&) const = default;
};

// Laplacian masks: four- and eight-neighbour, both signs.
struct Laplacian {
    Stencil laplacemsk4p, laplacemsk4m, laplacemsk8p, laplacemsk8m;
    bool operator==(const Laplacian&) const = default;
};

// First-derivative masks (Sobel and Scharr).
struct Firstder {
    Stencil sobelx, sobely, sharrx, sharry;
    bool operator==(const Firstder&) const = default;
};

// Fills both stencil blocks.
void derivative_operator(Laplacian& lap, Firstder& fd);

// 8 x image(i, j) minus its four axis neighbours; a neighbour outside the
// nx x ny image takes the value of (i, j) itself.
double laplace_discr(const Laplacian& lap, int i, int j, int nx, int ny, const RealImage& image);

}  // namespace veltrane2
