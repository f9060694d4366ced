#include "engine/auto_choice.hpp"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <sstream>

#include "engine/pipeline.hpp"
#include "image/parallel.hpp"

namespace veltrane2 {

std::vector<Candidate> auto_candidates() {
    const std::pair<const char*, Parameters> sets[] = {
        {"general", Parameters::general()},
        {"keep-slope", Parameters::keep_slope()},
        {"conservative", Parameters::conservative()},
    };
    std::vector<Candidate> c;
    for (const auto& [name, p] : sets) {
        for (const bool grouped : {false, true}) {
            Candidate k;
            k.name = std::string(name) + (grouped ? " grouped" : "");
            k.parameters = p;
            k.parameters.grouped = grouped;
            c.push_back(k);
        }
    }
    Candidate leave;
    leave.name = "leave";
    leave.leave = true;
    c.push_back(leave);
    return c;
}

double auto_score(const RunFigures& f) {
    // A run scores the logarithm of how much it changed the line-to-line
    // step, plus 5 for each unit of change along the lines (where stripes
    // do not live), plus a margin of 0.5 that it has to win back before it
    // is taken over the image left as it is (which scores 0).
    double step = 0.0;
    if (f.input.line_step > 0.0 && f.cleaned.line_step > 0.0) {
        step = std::log(f.cleaned.line_step / f.input.line_step);
    } else if (f.cleaned.line_step > 0.0) {
        step = std::numeric_limits<double>::infinity();  // steps where there were none
    } else if (f.input.line_step > 0.0) {
        step = -std::numeric_limits<double>::infinity();
    }
    return step + kChangeWeight * f.change_along_lines + kMargin;
}

namespace {

// The image left as it is: the gain 1 on the run's square `gain`, no
// noise, the input lifted to a zero minimum (the lowest value of the image,
// which the mirrored padding of a run repeats), each with the shape and
// extents `like` (a run's cleaned image) gives.
Result left_as_is(const Image& image, const Image& gain, const Image& like, int side) {
    Result r;
    double low = std::numeric_limits<double>::infinity();
    for (double v : image.values) low = std::min(low, v);
    r.gain = gain;
    std::fill(r.gain.values.begin(), r.gain.values.end(), 1.0);
    r.noise = like;
    std::fill(r.noise.values.begin(), r.noise.values.end(), 0.0);
    r.cleaned = like;
    for (std::size_t k = 0; k < image.values.size(); ++k) r.cleaned.values[k] = image.values[k] - low;
    r.side = side;
    return r;
}

}  // namespace

AutoResult destripe_auto(const Image& image, const Options& options) {
    AutoResult a;
    a.candidates = auto_candidates();
    const std::size_t count = a.candidates.size();
    std::vector<std::ostringstream> reports(count);
    // Two lanes of candidates side by side when two threads or more are
    // allowed, each run on half of them.
    const int threads = thread_count(options.threads);
    const int lanes = threads >= 2 ? 2 : 1;
    const auto run_options = [&](std::size_t k) {
        Options o = options;
        o.report = &reports[k];
        o.threads = std::max(1, threads / lanes);
        return o;
    };

    // The spectrum of the image, taken once by the first candidate's run
    // (with all the threads).
    Options first_options = run_options(0);
    first_options.threads = options.threads;
    EngineRun first(a.candidates[0].parameters, first_options);
    const int side = load_image(first, image, first_options);
    const Spectrum spectrum = first.take_spectrum();
    const ImageFigures of_input = image_figures(image);

    // Each lane keeps its best result: the lowest score, the earliest of
    // equal ones.
    struct Lane {
        Result best;
        std::size_t chosen = 0;
        double score = std::numeric_limits<double>::infinity();
        bool have = false;
    };
    std::vector<Lane> lane(static_cast<std::size_t>(lanes));
    const auto work = [&](int l) {
        for (std::size_t k = static_cast<std::size_t>(l); k < count; k += static_cast<std::size_t>(lanes)) {
            Candidate& c = a.candidates[k];
            if (c.leave) continue;
            Result r;
            try {
                std::optional<EngineRun> other;
                if (k > 0) {
                    // The grid is loaded (and let go of) for the run's
                    // shape and report lines alone.
                    const Options ok = run_options(k);
                    other.emplace(c.parameters, ok);
                    load_image(*other, image, ok);
                }
                EngineRun& run = k > 0 ? *other : first;
                run.make_noise(false);
                run.finish(spectrum, r);
                cut_back(r, image, side);
            } catch (const FatalStop& e) {
                // A set that reaches a fixed limit on this image is not a
                // candidate.
                c.stop = e.line();
                reports[k] << e.line();
                c.score = std::numeric_limits<double>::infinity();
                continue;
            }
            c.figures = figures_against(image, of_input, r);
            c.score = auto_score(c.figures);
            Lane& mine = lane[static_cast<std::size_t>(l)];
            if (!mine.have || c.score < mine.score) {
                mine = {std::move(r), k, c.score, true};
            }
        }
    };
    if (lanes == 2) {
        side_by_side(2, [&] { work(0); }, [&] { work(1); });
    } else {
        work(0);
    }

    bool have = false;
    for (Lane& l : lane) {
        if (!l.have) continue;
        if (!have || l.score < a.candidates[a.chosen].score ||
            (l.score == a.candidates[a.chosen].score && l.chosen < a.chosen)) {
            a.chosen = l.chosen;
            a.result = std::move(l.best);
            have = true;
        }
    }
    // Leaving the image as it is, on the grid the runs gave.
    for (std::size_t k = 0; k < count; ++k) {
        Candidate& c = a.candidates[k];
        if (!c.leave) continue;
        Image like = first.output_shape();
        if (image.nx != side || image.ny != side) like = Image{image.nx, image.ny, image.span_x, image.span_y,
                                                              image.unit, std::vector<double>(image.values.size())};
        Result r = left_as_is(image, have ? a.result.gain : first.output_shape(), have ? a.result.cleaned : like, side);
        c.figures = figures_against(image, of_input, r);
        c.score = 0.0;
        if (!have || c.score < a.candidates[a.chosen].score ||
            (c.score == a.candidates[a.chosen].score && k < a.chosen)) {
            a.chosen = k;
            a.result = std::move(r);
            have = true;
        }
    }
    if (!a.candidates[a.chosen].leave) {
        // The noise of the run taken, cut back as its cleaned image was.
        Result noise;
        noise_image(spectrum, a.result.gain, options.threads, noise.cleaned);
        cut_back(noise, image, side);
        a.result.noise = std::move(noise.cleaned);
    }
    if (options.report != nullptr) *options.report << reports[a.chosen].str();
    return a;
}

}  // namespace veltrane2
