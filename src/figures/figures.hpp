// No-reference figures of a height image and of what a run did to it: how
// much of the image's energy sits in its row means (the stripe energy), how
// far neighbouring scan lines sit apart (the line-to-line step), how much a
// cleaning changed the image along its lines, and how much of the spectrum
// the filter lowered. None needs a reference surface; the README defines
// each with its formula.
#pragma once

#include <cstddef>

namespace veltrane2 {

// A window of nx values per row and ny rows, row j starting at
// v[j * stride] (rows and columns from 0; a scan line is a row).
struct RowView {
    const double* v = nullptr;
    int nx = 0;
    int ny = 0;
    std::ptrdiff_t stride = 0;

    const double* row(int j) const { return v + static_cast<std::ptrdiff_t>(j) * stride; }
};

// Share of the spectral energy (zero frequency excluded) of the
// plane-levelled image that lies on the axis of frequencies constant along
// a row; by Parseval's theorem nx * sum_j m_j^2 / sum_ij r_ij^2, with r the
// image less its least-squares plane and m_j the mean of row j of r. 0 for
// an image that is a plane.
double stripe_energy(const RowView& z);

// Median over the ny - 1 pairs of neighbouring rows of |median over i of
// z(i, j + 1) - z(i, j)| (the median of an even count is the mean of its
// two middle values); 0 for a single row.
double line_step(const RowView& z);

// sqrt(sum_ij (d_ij - dbar_j)^2 / sum_ij (z_ij - zbar_j)^2) with d = after -
// before, z = before, and a bar the mean of row j: the change's variation
// along the lines relative to the lines' own. When the lines of `before`
// are flat, 0 if the change is flat along them too (to rounding), else
// infinity.
double change_along_lines(const RowView& before, const RowView& after);

// Share of the gain's coefficients below 1: how much of the spectrum the
// filter lowered.
double lowered_share(const RowView& gain);

// sum_ij (d_ij - dbar)^2 / sum_ij (z_ij - zbar)^2 with z = before, d =
// before - after and a bar the mean over the window: the share of the
// image's energy (its mean excluded) that the cleaning took away, which by
// Parseval's theorem is the share of the spectrum's energy (zero frequency
// excluded) that the filter removed. 0 for a constant image.
double energy_removed(const RowView& before, const RowView& after);

// The sums of `before` alone that change_along_lines() and energy_removed()
// take, for figures of many cleanings of one image.
struct BeforeSums {
    double own = 0.0;     // sum_ij (z_ij - zbar_j)^2
    double sum = 0.0;     // sum_ij z_ij
    double spread = 0.0;  // sum_ij (z_ij - zbar)^2
    double size = 0.0;    // sum_ij z_ij^2
};
BeforeSums before_sums(const RowView& before);

// change_along_lines() and energy_removed() of `after` against `before`, in
// one sweep, from before's sums; `after` holds at least before's window.
struct ChangeFigures {
    double change_along_lines = 0.0;
    double energy_removed = 0.0;
};
ChangeFigures change_figures(const RowView& before, const RowView& after, const BeforeSums& sums);

}  // namespace veltrane2
