#include "engine/shape.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstddef>

#include "core/listout.hpp"

namespace veltrane2 {
namespace {

// Position k (0-based, may lie outside 0..n-1) of a line of n samples
// continued by mirroring across both ends with the end sample repeated:
// ... 1 0 | 0 1 ... n-2 n-1 | n-1 n-2 ...; the continuation has period 2n.
int mirrored(long long k, int n) {
    const long long period = 2LL * n;
    long long m = k % period;
    if (m < 0) m += period;
    return static_cast<int>(m < n ? m : period - 1 - m);
}

// For each position of a padded line of `side` samples, the image sample it
// holds: the image itself, then its far end mirrored, then its near end
// mirrored (reached backwards from the periodic wrap).
std::vector<int> padded_positions(int n, int side) {
    std::vector<int> at(static_cast<std::size_t>(side));
    const int far_half = n + (side - n + 1) / 2;
    for (int k = 0; k < side; ++k) at[static_cast<std::size_t>(k)] = mirrored(k < far_half ? k : k - side, n);
    return at;
}

}  // namespace

void check_count(const Image& image) {
    const long long count = static_cast<long long>(image.nx) * image.ny;
    if (image.nx > 0 && image.ny > 0 && static_cast<long long>(image.values.size()) != count) {
        throw Error(ErrorKind::kBadShape, "the image holds " + std::to_string(image.values.size()) + " values, not " +
                                           std::to_string(image.nx) + " x " + std::to_string(image.ny));
    }
}

void check_finite(const Image& image) {
    const std::size_t count = image.values.size();
    // The first value that is not finite is looked for only when there is one.
    if (all_finite(image.values.data(), count)) return;
    for (std::size_t k = 0; k < count; ++k) {
        if (!std::isfinite(image.values[k])) {
            const std::size_t nx = static_cast<std::size_t>(image.nx);
            throw Error(ErrorKind::kBadValue, "value " + std::to_string(k + 1) + " of " + std::to_string(count) +
                                               " (row " + std::to_string(k / nx + 1) + ", column " +
                                               std::to_string(k % nx + 1) + ") is not finite");
        }
    }
}

bool all_finite(const double* v, std::size_t n) {
    double part[4] = {};
    std::size_t k0 = 0;
    for (; k0 + 4 <= n; k0 += 4)
        for (int l = 0; l < 4; ++l) part[l] += v[k0 + static_cast<std::size_t>(l)] * 0.0;
    double all = part[0] + part[1] + part[2] + part[3];
    for (; k0 < n; ++k0) all += v[k0] * 0.0;
    return all == 0.0;
}

void check_extents(const Image& image) {
    const auto good = [](double v) { return std::isfinite(v) && v > 0.0; };
    if (good(image.span_x) && good(image.span_y) && good(image.unit) && good(image.unit * image.span_x / image.nx) &&
        good(image.unit * image.span_y / image.ny))
        return;
    throw Error(ErrorKind::kBadValue, "the extents " + shown(image.span_x) + " x " + shown(image.span_y) +
                                       " in units of " + shown(image.unit) +
                                       " m do not give a positive finite pixel size");
}

void check_sides(long long nx, long long ny, int largest) {
    const std::string size = std::to_string(nx) + " x " + std::to_string(ny);
    if (nx <= 0 || ny <= 0) {
        throw Error(ErrorKind::kBadShape, "the image has " + size + " values; both sizes must be positive");
    }
    if (nx > largest || ny > largest) {
        throw Error(ErrorKind::kBadShape, size + " is larger than the largest side " + std::to_string(largest));
    }
    if (nx < kSmallestSide || ny < kSmallestSide) {
        throw Error(ErrorKind::kBadShape, size + " is smaller than the smallest side " + std::to_string(kSmallestSide));
    }
}

int padded_side(int nx, int ny) {
    const int big = nx > ny ? nx : ny;
    int side = kSmallestSide;
    while (side < big) side *= 2;
    return side;
}

std::string padding_line(int nx, int ny, int side) {
    return "Padded " + std::to_string(nx) + " x " + std::to_string(ny) + " to " + std::to_string(side) + " x " +
           std::to_string(side) + " by mirroring across the edges\n";
}

void pad_by_mirroring(const std::vector<double>& values, int nx, int ny, RealImage& grid) {
    const int side = grid.nx();
    const std::vector<int> column = padded_positions(nx, side);
    const std::vector<int> row = padded_positions(ny, side);
    double* g = grid.data();
    for (int j = 0; j < side; ++j) {
        const double* from = values.data() + static_cast<std::size_t>(row[static_cast<std::size_t>(j)]) * nx;
        double* to = g + static_cast<std::size_t>(j) * side;
        for (int i = 0; i < side; ++i) to[i] = from[column[static_cast<std::size_t>(i)]];
    }
}

Image crop_to_image(const Image& square, int nx, int ny, double span_x, double span_y) {
    Image out{nx, ny, span_x, span_y, square.unit, {}};
    out.values.resize(static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny));
    for (int j = 0; j < ny; ++j) {
        const double* from = square.values.data() + static_cast<std::size_t>(j) * square.nx;
        std::copy(from, from + nx, out.values.data() + static_cast<std::size_t>(j) * nx);
    }
    return out;
}

void fill_beyond_image(RealImage& grid, int nx, int ny) {
    const int n = grid.nx();
    if (nx == n && ny == n) return;
    double sum = 0.0;
    for (int j = 1; j <= ny; ++j)
        for (int i = 1; i <= nx; ++i) sum += grid(i, j);
    const double count = static_cast<double>(nx) * static_cast<double>(ny);
    double mean = sum / count;
    if (!std::isfinite(mean)) {
        // Heights near the largest double overflow the sum: sum them scaled
        // down by a power of two that no image's count of values can undo.
        sum = 0.0;
        for (int j = 1; j <= ny; ++j)
            for (int i = 1; i <= nx; ++i) sum += std::ldexp(grid(i, j), -32);
        mean = std::ldexp(sum / count, 32);
    }
    for (int j = 1; j <= n; ++j)
        for (int i = (j <= ny ? nx + 1 : 1); i <= n; ++i) grid(i, j) = mean;
}

void scale_by_power_of_two(double* v, std::size_t count, int exponent) {
    if (exponent == 0) return;
    for (std::size_t k = 0; k < count; ++k) v[k] = std::ldexp(v[k], exponent);
}

}  // namespace veltrane2
