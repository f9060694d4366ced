// The library's figures of an image and of a run.
#include <algorithm>
#include <cmath>

#include <veltrane2/veltrane2.hpp>

#include "engine/auto_choice.hpp"
#include "engine/shape.hpp"
#include "figures/figures.hpp"

namespace veltrane2 {
namespace {

RowView view(const Image& image) {
    return {image.values.data(), image.nx, image.ny, image.nx};
}

// The window of `image` the size of `like` (an output holds at least the
// input's rows and columns).
RowView window(const Image& image, const Image& like) {
    return {image.values.data(), std::min(image.nx, like.nx), std::min(image.ny, like.ny), image.nx};
}

// The figures square the heights: heights beyond 2^400 (or all below
// 2^-400) are taken scaled by the power of two that brings the largest to
// [1, 2), which is exact and leaves every figure but the line step (scaled
// back) as it is. Returns that power (0: as they are).
int figures_exponent(const Image& image) {
    double top = 0.0;
    for (const double v : image.values) top = std::max(top, std::abs(v));
    if (top == 0.0 || !std::isfinite(top) || (top >= 0x1p-400 && top <= 0x1p400)) return 0;
    return std::ilogb(top);
}

Image scaled(const Image& image, int exponent) {
    Image s = image;
    scale_by_power_of_two(s.values.data(), s.values.size(), -exponent);
    return s;
}

}  // namespace

ImageFigures image_figures(const Image& image) {
    const int e = figures_exponent(image);
    if (e != 0) {
        ImageFigures f = image_figures(scaled(image, e));
        f.line_step = std::ldexp(f.line_step, e);
        return f;
    }
    const RowView z = view(image);
    return {stripe_energy(z), line_step(z)};
}

RunFigures figures_against(const Image& input, const ImageFigures& of_input, const Result& result) {
    const int e = figures_exponent(input);
    if (e != 0) {
        Result r;
        r.gain = result.gain;
        r.cleaned = scaled(result.cleaned, e);
        RunFigures f = figures_against(scaled(input, e), of_input, r);
        f.cleaned.line_step = std::ldexp(f.cleaned.line_step, e);
        return f;
    }
    RunFigures f;
    const RowView z = view(input);
    const RowView c = window(result.cleaned, input);
    f.input = of_input;
    f.cleaned = {stripe_energy(c), line_step(c)};
    f.change_along_lines = change_along_lines(z, c);
    f.lowered_share = lowered_share(view(result.gain));
    f.energy_removed = energy_removed(z, c);
    return f;
}

RunFigures run_figures(const Image& input, const Result& result) {
    return figures_against(input, image_figures(input), result);
}

}  // namespace veltrane2
