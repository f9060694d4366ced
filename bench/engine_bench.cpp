// The engine's own speed against the cost of its transforms, in one process
// on one thread: destripe() on a fixed set of 1024 x 1024 scans, in the
// default and the grouped mode, and FFTW's three 2-D complex transforms of
// the same size (one forward, two inverse: what a run needs) with measured
// plans, as the reference.
//
//   engine_bench [--scans DIR] [--instrument DIR] [--iterations N] [--only SUBSTRING] [benchmark flags]
//
// --scans (or VELTRANE2_BENCH_SCANS): a folder of synthetic scans, every
// *_noisy.txt in it; when it holds none, they are made there first with
// make_synthetic.py --seed 26 --size 1024 (VELTRANE2_SYNTHETIC names the
// generator). --instrument: the folder of the five real instrument files
// (the source tree's tests/data/instrument by default); each is mirrored out
// to 1024 x 1024. They need the Gwyddion backend and are skipped without it.
//
// Times are CPU times of the one thread (the machine may be shared). Prints
// Google Benchmark's lines, then a table per mode: per scan the median
// time of each stage (the engine's StageTimes), the total and the ratio
// total / (three FFTW transforms); then the medians over the scans.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include <benchmark/benchmark.h>
#include <fftw3.h>

#include <veltrane2/veltrane2.hpp>

#include "io/image_file.hpp"

using namespace veltrane2;
namespace fs = std::filesystem;

namespace {

constexpr int kSide = 1024;

// The stages in the order a run reports them.
const std::vector<std::string> kStages = {"load",   "lift",    "forward", "logamp",  "prepare", "streak",
                                          "refnoise", "centmap", "select",  "offsymm", "levels",  "filter",
                                          "noise",  "cleaned", "cut"};

// Sums of stages shown beside them: the engine's three transforms, the
// analysis of the log spectrum, and the passes around them.
bool is_transform(const std::string& s) {
    return s == "forward" || s == "noise" || s == "cleaned";
}
bool is_analysis(const std::string& s) {
    return s == "streak" || s == "refnoise" || s == "centmap" || s == "select" || s == "offsymm" || s == "levels";
}

struct Scan {
    std::string name;
    Image image;
};

// The CPU time of the calling thread: on a machine whose cores are shared,
// the run's own work, without the time others take from it. (The run reports
// wall-clock seconds; on one thread the stage ends are the same.)
double cpu_now() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

// Each stage's CPU time: from the previous stage's end (or the run's start).
class Times : public StageTimes {
public:
    explicit Times(double start) : previous_(start) {}
    void stage(std::string_view name, double) override {
        const double now = cpu_now();
        last[std::string(name)] += now - previous_;
        previous_ = now;
    }
    std::map<std::string, double> last;

private:
    double previous_;
};

struct Measured {
    std::string scan;
    std::map<std::string, std::vector<double>> stage;  // seconds per iteration
    std::vector<double> total;
    std::string stop;  // the error that ended the run, if one did
    std::uint64_t digest = 0;  // of the outputs' bytes, to compare builds
};

// FNV-1a over the bytes of the three outputs.
std::uint64_t digest_of(const Result& r) {
    std::uint64_t h = 1469598103934665603ULL;
    for (const Image* img : {&r.gain, &r.noise, &r.cleaned}) {
        const auto* p = reinterpret_cast<const unsigned char*>(img->values.data());
        for (std::size_t k = 0; k < img->values.size() * sizeof(double); ++k) h = (h ^ p[k]) * 1099511628211ULL;
    }
    return h;
}

double median(std::vector<double> v) {
    if (v.empty()) return 0.0;
    std::sort(v.begin(), v.end());
    const std::size_t m = v.size() / 2;
    return v.size() % 2 == 1 ? v[m] : 0.5 * (v[m - 1] + v[m]);
}

// The image mirrored across its edges, again and again, out to side x side
// (an image larger than that is cut).
Image mirrored_to(const Image& in, int side) {
    const auto from = [](int k, int n) {
        const int m = k % (2 * n);
        return m < n ? m : 2 * n - 1 - m;
    };
    Image out;
    out.nx = side;
    out.ny = side;
    out.span_x = in.span_x * side / in.nx;
    out.span_y = in.span_y * side / in.ny;
    out.unit = in.unit;
    out.values.resize(static_cast<std::size_t>(side) * side);
    for (int j = 0; j < side; ++j)
        for (int i = 0; i < side; ++i) out.at(i, j) = in.at(from(i, in.nx), from(j, in.ny));
    return out;
}

std::string generator() {
    if (const char* g = std::getenv("VELTRANE2_SYNTHETIC")) return g;
    const fs::path beside = fs::path(VELTRANE2_SOURCE_DIR).parent_path() / "shared" / "tools" / "make_synthetic.py";
    return fs::exists(beside) ? beside.string() : "/work/shared/tools/make_synthetic.py";
}

std::vector<fs::path> noisy_files(const fs::path& dir) {
    std::vector<fs::path> files;
    if (!fs::is_directory(dir)) return files;
    for (const auto& e : fs::directory_iterator(dir)) {
        const std::string f = e.path().filename().string();
        if (f.size() > 10 && f.ends_with("_noisy.txt")) files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<Scan> load_scans(const fs::path& scans, const fs::path& instrument) {
    std::vector<Scan> out;
    if (noisy_files(scans).empty()) {
        fs::create_directories(scans);
        const std::string cmd = "/usr/bin/python3 '" + generator() + "' --seed 26 --size " + std::to_string(kSide) +
                                " --outdir '" + scans.string() + "' > /dev/null";
        std::cerr << "engine_bench: making the synthetic scans: " << cmd << "\n";
        if (std::system(cmd.c_str()) != 0) std::cerr << "engine_bench: the generator failed\n";
    }
    std::ostringstream quiet;
    for (const fs::path& f : noisy_files(scans)) {
        Image img = read_image_file(f.string(), quiet, 1).image;
        std::string name = f.filename().string();
        name = name.substr(0, name.size() - std::string("_noisy.txt").size());
        if (img.nx != kSide || img.ny != kSide) img = mirrored_to(img, kSide);
        out.push_back({name, std::move(img)});
    }
    if (fs::is_directory(instrument)) {
        std::vector<fs::path> files;
        for (const auto& e : fs::directory_iterator(instrument))
            if (e.path().extension() != ".md") files.push_back(e.path());
        std::sort(files.begin(), files.end());
        for (const fs::path& f : files) {
            try {
                Image img = read_image_file(f.string(), quiet, 1).image;
                out.push_back({"real:" + f.filename().string(), mirrored_to(img, kSide)});
            } catch (const Error& e) {
                std::cerr << "engine_bench: skipping " << f.filename().string() << ": " << e.what() << "\n";
            }
        }
    }
    return out;
}

// FFTW's three transforms of side n on complex buffers: one forward, two
// inverse, with plans measured once.
class FftwReference {
public:
    explicit FftwReference(const Image& image) : n_(image.nx) {
        const std::size_t count = static_cast<std::size_t>(n_) * n_;
        a_ = fftw_alloc_complex(count);
        b_ = fftw_alloc_complex(count);
        c_ = fftw_alloc_complex(count);
        forward_ = fftw_plan_dft_2d(n_, n_, a_, b_, FFTW_FORWARD, FFTW_MEASURE);
        inverse_ = fftw_plan_dft_2d(n_, n_, b_, c_, FFTW_BACKWARD, FFTW_MEASURE);
        for (std::size_t k = 0; k < count; ++k) {
            a_[k][0] = image.values[k];
            a_[k][1] = 0.0;
        }
    }
    ~FftwReference() {
        fftw_destroy_plan(forward_);
        fftw_destroy_plan(inverse_);
        fftw_free(a_);
        fftw_free(b_);
        fftw_free(c_);
    }
    FftwReference(const FftwReference&) = delete;
    FftwReference& operator=(const FftwReference&) = delete;
    void run() {
        fftw_execute(forward_);
        fftw_execute(inverse_);
        fftw_execute(inverse_);
        benchmark::DoNotOptimize(c_[0][0]);
    }

private:
    int n_;
    fftw_complex* a_;
    fftw_complex* b_;
    fftw_complex* c_;
    fftw_plan forward_;
    fftw_plan inverse_;
};

std::string cell(double seconds) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%8.1f", seconds * 1e3);
    return buf;
}

void print_table(const std::string& mode, const std::vector<Measured>& runs, double fftw) {
    std::printf("\n%s mode: CPU milliseconds per stage (median of the iterations), ratio = total / FFTW's %.1f ms\n",
                mode.c_str(), fftw * 1e3);
    std::printf("%-26s", "scan");
    for (const std::string& s : kStages) std::printf("%8.8s", s.c_str());
    std::printf("%8s%8s%8s%8s%8s\n", "transf", "analys", "other", "total", "ratio");
    std::map<std::string, std::vector<double>> column;
    const auto row = [&](const std::string& name, const std::map<std::string, double>& v) {
        std::printf("%-26.26s", name.c_str());
        for (const std::string& s : kStages) std::printf("%s", cell(v.at(s)).c_str());
        for (const char* g : {"transf", "analys", "other", "total"}) std::printf("%s", cell(v.at(g)).c_str());
        std::printf("%8.2f\n", v.at("ratio"));
    };
    for (const Measured& m : runs) {
        std::map<std::string, double> v;
        double tr = 0.0, an = 0.0, all = 0.0;
        for (const std::string& s : kStages) {
            v[s] = m.stage.count(s) ? median(m.stage.at(s)) : 0.0;
            all += v[s];
            if (is_transform(s)) tr += v[s];
            if (is_analysis(s)) an += v[s];
        }
        v["transf"] = tr;
        v["analys"] = an;
        v["total"] = median(m.total);
        v["other"] = v["total"] - tr - an;
        v["ratio"] = v["total"] / fftw;
        for (const auto& [k, x] : v) column[k].push_back(x);
        row(m.scan, v);
    }
    std::map<std::string, double> med;
    for (const auto& [k, x] : column) med[k] = median(x);
    row("median over the scans", med);
}

}  // namespace

int main(int argc, char** argv) {
    fs::path scans = std::getenv("VELTRANE2_BENCH_SCANS") ? std::getenv("VELTRANE2_BENCH_SCANS")
                                                           : (fs::temp_directory_path() / "veltrane2-bench-1024");
    fs::path instrument = fs::path(VELTRANE2_SOURCE_DIR) / "tests" / "data" / "instrument";
    int iterations = 3;
    std::string only;
    std::vector<char*> rest{argv[0]};
    for (int k = 1; k < argc; ++k) {
        const std::string a = argv[k];
        if (a == "--scans" && k + 1 < argc) {
            scans = argv[++k];
        } else if (a == "--instrument" && k + 1 < argc) {
            instrument = argv[++k];
        } else if (a == "--iterations" && k + 1 < argc) {
            iterations = std::max(1, std::atoi(argv[++k]));
        } else if (a == "--only" && k + 1 < argc) {
            only = argv[++k];
        } else {
            rest.push_back(argv[k]);
        }
    }
    int bargc = static_cast<int>(rest.size());
    benchmark::Initialize(&bargc, rest.data());

    std::vector<Scan> set = load_scans(scans, instrument);
    if (!only.empty())
        std::erase_if(set, [&](const Scan& s) { return s.name.find(only) == std::string::npos; });
    if (set.empty()) {
        std::cerr << "engine_bench: no scans in " << scans << "\n";
        return 1;
    }

    std::vector<double> fftw_times;
    FftwReference fftw(set.front().image);
    benchmark::RegisterBenchmark("fftw_three_transforms/1024", [&](benchmark::State& state) {
        for (auto _ : state) {
            const double t0 = cpu_now();
            fftw.run();
            fftw_times.push_back(cpu_now() - t0);
        }
    })->Unit(benchmark::kMillisecond);

    struct Mode {
        std::string name;
        Parameters parameters;
        std::vector<Measured> runs;
    };
    std::vector<Mode> modes = {{"default", Parameters::general(), {}}, {"grouped", Parameters::general(), {}}};
    modes[1].parameters.grouped = true;
    for (Mode& mode : modes) mode.runs.reserve(set.size());
    for (Mode& mode : modes) {
        for (const Scan& scan : set) {
            mode.runs.push_back({scan.name, {}, {}, {}});
            Measured* m = &mode.runs.back();
            const Parameters p = mode.parameters;
            benchmark::RegisterBenchmark(("destripe/" + mode.name + "/" + scan.name).c_str(),
                                         [m, p, &scan, &fftw, &fftw_times](benchmark::State& state) {
                                             Options o;
                                             o.threads = 1;
                                             for (auto _ : state) {
                                                 const double t0 = cpu_now();
                                                 Times t(t0);
                                                 o.stage_times = &t;
                                                 try {
                                                     Result r = destripe(scan.image, p, o);
                                                     benchmark::DoNotOptimize(r.cleaned.values.data());
                                                     if (m->digest == 0) m->digest = digest_of(r);
                                                 } catch (const Error& e) {
                                                     m->stop = e.what();
                                                     state.SkipWithError(e.what());
                                                     break;
                                                 }
                                                 m->total.push_back(cpu_now() - t0);
                                                 // The reference beside every run, so that both see
                                                 // the same load of the machine.
                                                 state.PauseTiming();
                                                 const double f0 = cpu_now();
                                                 fftw.run();
                                                 fftw_times.push_back(cpu_now() - f0);
                                                 state.ResumeTiming();
                                                 for (const auto& [k, x] : t.last) m->stage[k].push_back(x);
                                             }
                                         })
                ->Unit(benchmark::kMillisecond)
                ->Iterations(iterations);
        }
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    const double reference = median(fftw_times);
    if (reference <= 0.0) return 0;  // filtered out
    std::printf("\nFFTW's three transforms of %d x %d (measured plans): %.1f CPU ms (median of %zu, taken beside "
                "the runs)\n", kSide, kSide,
                reference * 1e3, fftw_times.size());
    for (const Mode& mode : modes) {
        std::vector<Measured> ran;
        for (const Measured& m : mode.runs)
            if (m.stop.empty() && !m.total.empty()) ran.push_back(m);
        if (!ran.empty()) print_table(mode.name, ran, reference);
        std::printf("%s mode: digests of the outputs\n", mode.name.c_str());
        for (const Measured& m : ran) std::printf("  %-26s %016llx\n", m.scan.c_str(), static_cast<unsigned long long>(m.digest));
        for (const Measured& m : mode.runs)
            if (!m.stop.empty()) std::printf("%-26s stopped: %s\n", m.scan.c_str(), m.stop.c_str());
    }
    return 0;
}
