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

InputFigures input_figures(const Image& input) {
    InputFigures f;
    f.exponent = figures_exponent(input);
    const Image s = f.exponent != 0 ? scaled(input, f.exponent) : Image{};
    const RowView z = view(f.exponent != 0 ? s : input);
    f.figures = {stripe_energy(z), std::ldexp(line_step(z), f.exponent)};
    f.sums = before_sums(z);
    return f;
}

ImageFigures image_figures(const Image& image) {
    return input_figures(image).figures;
}

RunFigures figures_against(const Image& input, const InputFigures& of_input, const Result& result) {
    const int e = of_input.exponent;
    Image scaled_input, scaled_cleaned;
    if (e != 0) {
        scaled_input = scaled(input, e);
        scaled_cleaned = scaled(result.cleaned, e);
    }
    const Image& in = e != 0 ? scaled_input : input;
    const RowView z = view(in);
    const RowView c = window(e != 0 ? scaled_cleaned : result.cleaned, in);
    RunFigures f;
    f.input = of_input.figures;
    f.cleaned = {stripe_energy(c), std::ldexp(line_step(c), e)};
    if (c.nx == z.nx && c.ny == z.ny) {
        const ChangeFigures change = change_figures(z, c, of_input.sums);
        f.change_along_lines = change.change_along_lines;
        f.energy_removed = change.energy_removed;
    } else {
        f.change_along_lines = change_along_lines(z, c);
        f.energy_removed = energy_removed(z, c);
    }
    f.lowered_share = lowered_share(view(result.gain));
    return f;
}

RunFigures run_figures(const Image& input, const Result& result) {
    return figures_against(input, input_figures(input), result);
}

}  // namespace veltrane2
