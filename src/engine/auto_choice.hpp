// The automatic choice of parameters: the candidates it tries and the
// criterion that scores what each did to the image.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include <veltrane2/veltrane2.hpp>

#include "figures/figures.hpp"

namespace veltrane2 {

// The three ready sets, each without and with the grouping mode, then the
// image left as it is; figures and scores not yet filled.
std::vector<Candidate> auto_candidates();

// The criterion: the lower, the better the run looks (see the README's
// "Choosing parameters automatically") for a run: ln(cleaned line step /
// input line step) + kChangeWeight * change along the lines + kMargin. The
// image left as it is scores 0.
inline constexpr double kChangeWeight = 5.0;
inline constexpr double kMargin = 0.5;
double auto_score(const RunFigures& figures);

// Whether the candidate at position k with this score is taken over the
// best one so far: a lower score, or an equal one earlier in the list.
inline bool preferred(double score, std::size_t k, double best_score, std::size_t best_k) {
    return score < best_score || (score == best_score && k < best_k);
}

// What the figures of every run on one input share: the input's own
// figures, the power of two its heights are taken at, and its sums.
struct InputFigures {
    ImageFigures figures;
    int exponent = 0;
    BeforeSums sums;
};
InputFigures input_figures(const Image& input);

// run_figures() with the input's part already known.
RunFigures figures_against(const Image& input, const InputFigures& of_input, const Result& result);

// destripe_auto(), telling `each` (if any) of every candidate that ran a set:
// its position, its outputs (without the noise) and its report lines.
// The candidates share the spectrum, the homogeneity product, the global
// selection and noise threshold of their h_G and, between a set's two
// modes, everything before the level estimation; each one's outputs and
// report lines are those of destripe() with its set.
using EachRun = std::function<void(std::size_t, const Result&, const std::string&)>;
AutoResult destripe_auto_each(const Image& image, const Options& options, const EachRun& each);

}  // namespace veltrane2
