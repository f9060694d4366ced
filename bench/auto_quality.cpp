// How well the automatic choice does against the ready sets.
//
//   auto_quality [--dump FILE.tsv] DIR...    synthetic pairs: every NAME_noisy.txt with its NAME_clean.txt
//   auto_quality --real FILE...              images without a clean original: the figures of each choice
//   auto_quality --time SIZE [REPEATS] [--library-memory]
//                                            auto against one run of the general set on a generated image
//
// For pairs, the RMSE of (cleaned - clean) over that of (input - clean),
// both with their means removed, for auto, each set, and the best candidate
// per scan; the geometric mean over the pairs and the largest. --dump writes
// every candidate's figures and ratio, one line per pair and candidate.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <veltrane2/veltrane2.hpp>

#include "engine/auto_choice.hpp"
#include "io/image_file.hpp"
#include "run/classic.hpp"

using namespace veltrane2;
namespace fs = std::filesystem;

namespace {

Image load(const std::string& path) {
    std::ostringstream quiet;
    return read_image_file(path, quiet, 2).image;
}

// RMSE of (a - clean) with its mean removed, over the clean image's window.
double rms_error(const Image& a, const Image& clean) {
    double s = 0.0, ss = 0.0;
    const double count = static_cast<double>(clean.nx) * clean.ny;
    for (int j = 0; j < clean.ny; ++j)
        for (int i = 0; i < clean.nx; ++i) s += a.values[static_cast<std::size_t>(j) * a.nx + i] - clean.at(i, j);
    const double m = s / count;
    for (int j = 0; j < clean.ny; ++j)
        for (int i = 0; i < clean.nx; ++i) {
            const double d = a.values[static_cast<std::size_t>(j) * a.nx + i] - clean.at(i, j) - m;
            ss += d * d;
        }
    return std::sqrt(ss / count);
}

std::string figures_text(const RunFigures& f) {
    char b[256];
    std::snprintf(b, sizeof b, "%.4g\t%.4g\t%.4g\t%.4g\t%.4g\t%.4g\t%.4g", f.input.stripe_energy, f.cleaned.stripe_energy,
                  f.input.line_step, f.cleaned.line_step, f.change_along_lines, f.lowered_share, f.energy_removed);
    return b;
}

int quality(const std::vector<std::string>& dirs, const std::string& dump_path) {
    std::ofstream dump;
    if (!dump_path.empty()) {
        dump.open(dump_path);
        dump << "pair\tcandidate\tratio\tchosen\tscore\tS_in\tS_out\tL_in\tL_out\tC\tshare\tE\n";
    }
    // The columns: auto, then each candidate, then the best per scan.
    std::vector<std::string> columns{"auto"};
    for (const Candidate& c : auto_candidates()) columns.push_back(c.name);
    columns.push_back("best");
    std::map<std::string, std::vector<double>> ratios;
    std::vector<std::string> pairs;
    for (const std::string& dir : dirs) {
        std::vector<fs::path> noisy;
        for (const auto& e : fs::directory_iterator(dir)) {
            const std::string n = e.path().filename().string();
            if (n.size() > 10 && n.ends_with("_noisy.txt")) noisy.push_back(e.path());
        }
        std::sort(noisy.begin(), noisy.end());
        for (const fs::path& p : noisy) {
            std::string stem = p.filename().string();
            stem.resize(stem.size() - 10);
            const Image input = load(p.string());
            const Image clean = load((p.parent_path() / (stem + "_clean.txt")).string());
            const double base = rms_error(input, clean);
            const AutoResult a = destripe_auto(input);
            const std::string name = fs::path(dir).filename().string() + "/" + stem;
            pairs.push_back(name);
            ratios["auto"].push_back(rms_error(a.result.cleaned, clean) / base);
            double best = 1e300;
            for (std::size_t k = 0; k < a.candidates.size(); ++k) {
                const Candidate& c = a.candidates[k];
                double ratio = 1.0;
                if (!c.stop.empty()) {
                    ratio = std::nan("");  // stopped at a fixed limit
                } else if (!c.leave) {
                    ratio = rms_error(destripe(input, c.parameters).cleaned, clean) / base;
                }
                ratios[c.name].push_back(ratio);
                if (!std::isnan(ratio)) best = std::min(best, ratio);
                if (dump.is_open()) {
                    dump << name << '\t' << c.name << '\t' << ratio << '\t' << (k == a.chosen) << '\t' << c.score
                         << '\t' << figures_text(c.figures) << '\n';
                }
            }
            ratios["best"].push_back(best);
            std::fprintf(stderr, "%-40s auto %.3f (%s)\n", name.c_str(), ratios["auto"].back(),
                         a.candidates[a.chosen].name.c_str());
        }
    }
    std::printf("%-40s", "pair");
    for (const auto& c : columns) std::printf(" %12.12s", c.c_str());
    std::printf("\n");
    for (std::size_t p = 0; p < pairs.size(); ++p) {
        std::printf("%-40s", pairs[p].c_str());
        for (const auto& c : columns) {
            if (std::isnan(ratios[c][p]))
                std::printf(" %12s", "stopped");
            else
                std::printf(" %12.3f", ratios[c][p]);
        }
        std::printf("\n");
    }
    for (const char* what : {"geometric mean", "largest"}) {
        std::printf("%-40s", what);
        for (const auto& c : columns) {
            // Over the scans the column ran on to the end.
            std::vector<double> r;
            for (double x : ratios[c])
                if (!std::isnan(x)) r.push_back(x);
            double v = 0.0;
            if (std::string(what) == "largest") {
                v = *std::max_element(r.begin(), r.end());
            } else {
                for (double x : r) v += std::log(x);
                v = std::exp(v / static_cast<double>(r.size()));
            }
            std::printf(" %12.3f", v);
        }
        std::printf("\n");
    }
    return 0;
}

int real(const std::vector<std::string>& files) {
    std::printf("%-28s %-22s %9s %9s %11s %11s %9s %9s %9s\n", "file", "candidate", "S_in", "S_out", "L_in", "L_out",
                "C", "lowered", "E");
    for (const std::string& f : files) {
        const Image input = load(f);
        const AutoResult a = destripe_auto(input);
        for (std::size_t k = 0; k < a.candidates.size(); ++k) {
            const Candidate& c = a.candidates[k];
            const RunFigures& g = c.figures;
            std::printf("%-28s %-22s %9.4f %9.4f %11.4g %11.4g %9.4f %9.4f %9.4f%s\n",
                        fs::path(f).filename().string().c_str(), c.name.c_str(), g.input.stripe_energy,
                        g.cleaned.stripe_energy, g.input.line_step, g.cleaned.line_step, g.change_along_lines,
                        g.lowered_share, g.energy_removed, k == a.chosen ? "  <- auto" : "");
        }
    }
    return 0;
}

// A striped image of side n: a rough surface, row offsets and a bow.
Image generated(int n) {
    Image im{n, n, 1.0, 1.0, 1e-6, std::vector<double>(static_cast<std::size_t>(n) * n)};
    unsigned s = 12345;
    const auto rnd = [&s] {
        s = s * 1103515245u + 12345u;
        return static_cast<double>((s >> 8) & 0xffff) / 65536.0 - 0.5;
    };
    for (int j = 0; j < n; ++j) {
        const double offset = rnd() + 2.0 * std::pow((j - n / 2.0) / n, 2);
        for (int i = 0; i < n; ++i)
            im.at(i, j) = offset + std::sin(0.11 * i) * std::cos(0.07 * j) + 0.2 * rnd();
    }
    return im;
}

int timing(int n, int repeats, bool as_program) {
    // veltrane2's program keeps freed memory for the next grid instead of
    // handing it back to the system; a library caller gets the C library's
    // defaults, under which auto's many short-lived grids are faulted in
    // afresh.
    if (as_program) prepare_process();
    const Image im = generated(n);
    // Wall-clock and processor time (all threads), each the median; the
    // three are timed in turn within each repeat, after one round that is
    // not counted, so that a drift of the machine touches them alike.
    struct Cost {
        std::vector<double> wall, cpu;
        double at(const std::vector<double>& v) const {
            std::vector<double> s = v;
            std::sort(s.begin(), s.end());
            return s[s.size() / 2];
        }
    };
    Cost one, fig, all;
    const auto timed = [](Cost& cost, auto work) {
        const auto t0 = std::chrono::steady_clock::now();
        const std::clock_t c0 = std::clock();
        work();
        cost.cpu.push_back(static_cast<double>(std::clock() - c0) / CLOCKS_PER_SEC);
        cost.wall.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    };
    for (int r = 0; r <= repeats; ++r) {
        timed(one, [&] { destripe(im, Parameters::general()); });
        timed(fig, [&] { run_figures(im, destripe(im, Parameters::general())); });
        timed(all, [&] { destripe_auto(im); });
        if (r == 0) one = fig = all = Cost{};
    }
    std::printf("%d x %d, medians of %d (%s)     wall s   processor s\n", n, n, repeats,
                as_program ? "memory kept as the program keeps it" : "the C library's memory defaults");
    std::printf("one run (general)      %8.4f  %8.4f\n", one.at(one.wall), one.at(one.cpu));
    std::printf("one run and figures    %8.4f  %8.4f\n", fig.at(fig.wall), fig.at(fig.cpu));
    std::printf("auto                   %8.4f  %8.4f\n", all.at(all.wall), all.at(all.cpu));
    std::printf("auto / one run         %8.2f  %8.2f\n", all.at(all.wall) / one.at(one.wall),
                all.at(all.cpu) / one.at(one.cpu));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 2 && args[0] == "--time") {
        const bool library = args.back() == "--library-memory";
        if (library) args.pop_back();
        return timing(std::stoi(args[1]), args.size() > 2 ? std::stoi(args[2]) : 9, !library);
    }
    if (!args.empty() && args[0] == "--real") return real({args.begin() + 1, args.end()});
    std::string dump;
    if (args.size() >= 2 && args[0] == "--dump") {
        dump = args[1];
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty()) {
        std::fprintf(stderr, "usage: auto_quality [--dump FILE.tsv] DIR... | --real FILE... | --time SIZE [REPEATS] [--library-memory]\n");
        return 2;
    }
    return quality(args, dump);
}
