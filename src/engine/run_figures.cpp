// The library's figures of an image and of a run.
#include <algorithm>

#include <veltrane2/veltrane2.hpp>

#include "engine/auto_choice.hpp"
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

}  // namespace

ImageFigures image_figures(const Image& image) {
    const RowView z = view(image);
    return {stripe_energy(z), line_step(z)};
}

RunFigures figures_against(const Image& input, const ImageFigures& of_input, const Result& result) {
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
