#include "engine/auto_choice.hpp"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>
#include <limits>
#include <string>
#include <sstream>

#include "core/errors.hpp"
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

// An image with the shape and extents of `like` (whose values are not read)
// and every value v.
Image filled_like(const Image& like, double v) {
    const std::size_t count = static_cast<std::size_t>(like.nx) * static_cast<std::size_t>(like.ny);
    return Image{like.nx, like.ny, like.span_x, like.span_y, like.unit, std::vector<double>(count, v)};
}

// The image left as it is: the gain 1 on the run's square `square`, no
// noise, the input lifted to a zero minimum (the lowest value of the image,
// which the mirrored padding of a run repeats), each with the shape and
// extents `like` (a run's cleaned image) gives.
Result left_as_is(const Image& image, const Image& square, const Image& like, int side) {
    Result r;
    double low = std::numeric_limits<double>::infinity();
    for (double v : image.values) low = std::min(low, v);
    r.gain = filled_like(square, 1.0);
    r.noise = filled_like(like, 0.0);
    r.cleaned = filled_like(like, 0.0);
    for (std::size_t k = 0; k < image.values.size(); ++k) r.cleaned.values[k] = image.values[k] - low;
    r.side = side;
    return r;
}

}  // namespace

namespace {

// A step of the shared analysis: its report lines, and the limit line when
// it stopped at a fixed limit.
struct Step {
    std::ostringstream text;
    std::string stop;
    bool stopped() const { return !stop.empty(); }
};

// Runs step(k, l) for k = 0..count-1 on `lanes` lanes side by side, each
// lane l taking the next k not yet taken (steps of unequal cost share the
// lanes evenly). A step that throws does not stop the others; afterwards
// the exception of the first such k is thrown, as one lane would have.
template <class Work>
void in_lanes(int lanes, std::size_t count, Work step) {
    std::atomic<std::size_t> next{0};
    std::vector<std::exception_ptr> errors(count);
    const auto lane = [&](std::size_t l) {
        for (std::size_t k = next.fetch_add(1); k < count; k = next.fetch_add(1)) {
            try {
                step(k, l);
            } catch (...) {
                errors[k] = std::current_exception();
            }
        }
    };
    if (lanes == 2) {
        side_by_side(2, [&] { lane(0); }, [&] { lane(1); });
    } else {
        lane(0);
    }
    for (const std::exception_ptr& e : errors)
        if (e) std::rethrow_exception(e);
}

// Runs step() and notes a fixed limit it reached in `into`.
template <class Work>
void stop_at_limit(Step& into, Work step) {
    try {
        step();
    } catch (const FatalStop& e) {
        into.stop = e.line();
        into.text << e.line();
    }
}

}  // namespace

AutoResult destripe_auto_each(const Image& image, const Options& options, const EachRun& each) {
    AutoResult a;
    a.candidates = auto_candidates();
    const std::size_t count = a.candidates.size();
    // Two lanes side by side when two threads or more are allowed, each
    // step on half of them.
    const int threads = thread_count(options.threads);
    const int lanes = threads >= 2 ? 2 : 1;
    const int lane_threads = std::max(1, threads / lanes);
    std::ostream nowhere(nullptr);
    const auto settings = [&](const Parameters& p, Step& step, int t) {
        Options o = options;
        o.report = &step.text;
        o.threads = t;
        return run_settings(p, o, nowhere);
    };

    // The spectrum of the image, taken once (with all the threads); what
    // the run prints up to there is the same for every candidate.
    Step loading;
    Options first_options = options;
    first_options.report = &loading.text;
    EngineRun first(a.candidates[0].parameters, first_options);
    const int side = load_image(first, image, first_options);
    const Spectrum spectrum = first.take_spectrum();
    const Image shape = first.output_shape();
    const InputFigures of_input = input_figures(image);
    // The first pass of the inverse transform under the gain 1: a gain
    // lowers the sequences of few first indices, and each run's cleaned
    // image takes the others from here.
    const InverseFirstPass ones = inverse_first_pass(options.threads, spectrum.frc, spectrum.fic);

    // The candidates that run a set, the sets' first candidates and the
    // distinct global thresholds among them, in the candidates' order: a
    // candidate shares everything before the level estimation with the
    // other mode of its set, and the global selection and noise threshold
    // with every set of its h_G.
    std::vector<std::size_t> runs, sets, globals;
    std::vector<std::size_t> set_of(count), global_of(count);
    for (std::size_t k = 0; k < count; ++k) {
        const Candidate& c = a.candidates[k];
        if (c.leave) continue;
        runs.push_back(k);
        const auto same_set = [&](std::size_t s) {
            const Parameters& p = a.candidates[s].parameters;
            const Parameters& q = c.parameters;
            return p.h_global == q.h_global && p.h_centre == q.h_centre && p.h_off == q.h_off &&
                   p.r_centre == q.r_centre && p.l_centre == q.l_centre && p.l_off == q.l_off && p.n_run == q.n_run;
        };
        const auto same_global = [&](std::size_t g) {
            return a.candidates[sets[g]].parameters.h_global == c.parameters.h_global;
        };
        std::size_t s = 0;
        while (s < sets.size() && !same_set(sets[s])) ++s;
        if (s == sets.size()) {
            sets.push_back(k);
            std::size_t g = 0;
            while (g < globals.size() && !same_global(globals[g])) ++g;
            if (g == globals.size()) globals.push_back(s);
            global_of[s] = g;
        }
        set_of[k] = s;
    }

    // 1. The homogeneity product, for all.
    DriverImages shared;
    const MiddleLines middle = MiddleLines::of(spectrum.n);
    {
        Step none;
        const RunState st = settings(a.candidates[0].parameters, none, options.threads);
        shared.smage = RealImage::square_to_fill(spectrum.n);
        shared.extremes = ValueSpan{spectrum.log_floor, spectrum.log_high};
        homogeneity_product(st, spectrum.logamp, shared);
        shared.bimage.release();
    }
    // 2. The global selection and noise threshold of each h_G.
    struct Global {
        Step step;
        IntMap bimage;
        GaussRefnoise noise;
        bool lowers = false;
    };
    std::vector<Global> global(globals.size());
    in_lanes(lanes, globals.size(), [&](std::size_t g, std::size_t) {
        Global& G = global[g];
        const RunState st = settings(a.candidates[sets[globals[g]]].parameters, G.step, lane_threads);
        G.bimage = IntMap::square_to_fill(spectrum.n);  // set whole by the selection
        stop_at_limit(G.step,
                      [&] { G.lowers = streak_selection(st, spectrum.logamp, shared.smage, G.bimage, G.noise); });
    });
    // 3. The centre and off-centre passes of each set.
    struct Set {
        Step step;
        DriverImages im;
        bool levels = false;
    };
    std::vector<Set> set(sets.size());
    in_lanes(lanes, sets.size(), [&](std::size_t s, std::size_t) {
        const Global& G = global[global_of[s]];
        Set& S = set[s];
        if (G.step.stopped() || !G.lowers) return;
        const RunState st = settings(a.candidates[sets[s]].parameters, S.step, lane_threads);
        S.im.fmage = spectrum.logamp;
        S.im.written = MarkMap::square(spectrum.n, 0);
        S.im.smage = shared.smage;
        S.im.bimage = G.bimage;
        S.im.cenmap = IntMap::square_to_fill(spectrum.n);  // set whole by the centre map
        stop_at_limit(S.step, [&] { S.levels = centre_and_off_centre(st, middle, S.im); });
        S.im.smage.release();
        S.im.cenmap.release();
    });
    shared.smage.release();
    // The global steps are kept for their noise thresholds and report lines.
    for (Global& G : global) G.bimage.release();

    // 4. Each candidate's level estimation and outputs. Each lane keeps its
    // best result: the lowest score, the earliest of equal ones.
    struct Lane {
        Result best;
        std::size_t chosen = 0;
        double score = std::numeric_limits<double>::infinity();
        bool have = false;
    };
    std::vector<Lane> lane(static_cast<std::size_t>(lanes));
    std::vector<std::string> reports(count);
    in_lanes(lanes, runs.size(), [&](std::size_t r, std::size_t l) {
        const std::size_t k = runs[r];
        Candidate& c = a.candidates[k];
        const Set& S = set[set_of[k]];
        const Global& G = global[global_of[set_of[k]]];
        Step leaf;
        const RunState st = settings(c.parameters, leaf, lane_threads);
        Result result;
        const Step* stopped = G.step.stopped() ? &G.step : S.step.stopped() ? &S.step : nullptr;
        if (stopped == nullptr) {
            DriverImages im;
            // The analysis ends with the set's passes, or before them
            // with the global selection.
            im.fmage = S.im.fmage.nx() > 0 ? S.im.fmage : spectrum.logamp;
            im.written = S.im.fmage.nx() > 0 ? S.im.written : MarkMap::square(spectrum.n, 0);
            if (S.levels) {
                im.bimage = S.im.bimage;
                stop_at_limit(leaf, [&] { estimate_levels(st, G.noise, im); });
                if (leaf.stopped()) stopped = &leaf;
            }
            for (IntMap* g : {&im.bimage, &im.cenmap, &im.cluster, &im.levmap}) g->release();
            if (stopped == nullptr) {
                form_outputs(st, spectrum, im.fmage, im.written, shape, false, result, {}, nullptr, &ones);
                cut_back(result, image, side);
            }
        }
        reports[k] = loading.text.str() + G.step.text.str() + S.step.text.str() + leaf.text.str();
        if (stopped != nullptr) {
            // A set that reaches a fixed limit on this image is not a
            // candidate.
            c.stop = stopped->stop;
            c.score = std::numeric_limits<double>::infinity();
            return;
        }
        c.figures = figures_against(image, of_input, result);
        c.score = auto_score(c.figures);
        if (each) each(k, result, reports[k]);
        Lane& mine = lane[l];
        if (!mine.have || preferred(c.score, k, mine.score, mine.chosen)) {
            mine = {std::move(result), k, c.score, true};
        }
    });

    bool have = false;
    for (Lane& l : lane) {
        if (!l.have) continue;
        if (!have || preferred(l.score, l.chosen, a.candidates[a.chosen].score, a.chosen)) {
            a.chosen = l.chosen;
            a.result = std::move(l.best);
            have = true;
        }
    }
    // Leaving the image as it is, on the grid the runs gave.
    for (std::size_t k = 0; k < count; ++k) {
        Candidate& c = a.candidates[k];
        if (!c.leave) continue;
        const Image like = image.nx == side && image.ny == side
                               ? shape
                               : Image{image.nx, image.ny, image.span_x, image.span_y, image.unit, {}};
        Result r = left_as_is(image, have ? a.result.gain : shape, have ? a.result.cleaned : like, side);
        c.figures = figures_against(image, of_input, r);
        c.score = 0.0;
        if (!have || preferred(c.score, k, a.candidates[a.chosen].score, a.chosen)) {
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
    if (options.report != nullptr) *options.report << reports[a.chosen];
    return a;
}

AutoResult destripe_auto(const Image& image, const Options& options) {
    return destripe_auto_each(image, options, {});
}

}  // namespace veltrane2
