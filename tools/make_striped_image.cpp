// Makes a synthetic height image with scan-line stripes, reproducibly from a
// seed, and optionally the same image without the stripes for comparison.
//
//   make_striped_image [--size N] [--seed S] [--surface smooth|particles]
//                      [--stripes A] [--bow B] [--tilt T] [--cols C] [--rows R]
//                      [--clean CLEAN.txt] OUT.txt
//
// The surface is a smooth landscape with a few hills and pits ("smooth") or
// bright particles on a flat substrate ("particles"). Every row of the file
// (one scan line) then gets its own offset: a random level of spread A with
// occasional jumps, a slow bow of height B across the rows and a ramp of T
// along the slow-scan axis. --cols and --rows keep only the first C columns
// and R rows of the N x N image (a non-square image).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "io/text_image.hpp"
#include "core/errors.hpp"

namespace {

// A small, fully specified generator so that the images are the same on
// every machine and with every standard library.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : s_(seed ^ 0x9e3779b97f4a7c15ULL) {}
    std::uint64_t next() {  // splitmix64
        std::uint64_t z = (s_ += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    double uniform() { return static_cast<double>(next() >> 11) * 0x1.0p-53; }
    double normal() {
        const double u1 = 1.0 - uniform();
        const double u2 = uniform();
        return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
    }

private:
    std::uint64_t s_;
};

[[noreturn]] void usage() {
    std::cerr << "usage: make_striped_image [--size N] [--seed S] [--surface smooth|particles] "
                 "[--stripes A] [--bow B] [--tilt T] [--cols C] [--rows R] [--clean CLEAN.txt] OUT.txt\n";
    std::exit(2);
}

}  // namespace

int main(int argc, char** argv) {
    int n = 256;
    std::uint64_t seed = 1;
    std::string surface = "smooth";
    double stripes = 1.0;
    double bow = 0.0;
    double tilt = 0.0;
    int cols = 0;
    int rows = 0;
    std::string clean_name;
    std::string out_name;
    for (int a = 1; a < argc; ++a) {
        const std::string arg = argv[a];
        auto value = [&]() -> std::string {
            if (a + 1 >= argc) usage();
            return argv[++a];
        };
        if (arg == "--size")
            n = std::atoi(value().c_str());
        else if (arg == "--seed")
            seed = std::strtoull(value().c_str(), nullptr, 10);
        else if (arg == "--surface")
            surface = value();
        else if (arg == "--stripes")
            stripes = std::atof(value().c_str());
        else if (arg == "--bow")
            bow = std::atof(value().c_str());
        else if (arg == "--tilt")
            tilt = std::atof(value().c_str());
        else if (arg == "--cols")
            cols = std::atoi(value().c_str());
        else if (arg == "--rows")
            rows = std::atoi(value().c_str());
        else if (arg == "--clean")
            clean_name = value();
        else if (!arg.empty() && arg[0] == '-')
            usage();
        else if (out_name.empty())
            out_name = arg;
        else
            usage();
    }
    if (cols == 0) cols = n;
    if (rows == 0) rows = n;
    if (out_name.empty() || n < 2 || (surface != "smooth" && surface != "particles") || cols < 1 || cols > n ||
        rows < 1 || rows > n)
        usage();

    Rng rng(seed);
    const auto idx = [n](int i, int j) { return static_cast<std::size_t>(j) * n + i; };  // row j, column i
    std::vector<double> clean(static_cast<std::size_t>(n) * n, 0.0);

    if (surface == "smooth") {
        // A gentle landscape: a few long waves, hills and pits, fine roughness.
        struct Wave {
            double kx, ky, phase, amp;
        };
        std::vector<Wave> waves;
        for (int w = 0; w < 4; ++w)
            waves.push_back({rng.uniform() * 3.0, rng.uniform() * 3.0, rng.uniform() * 6.283185307179586,
                             0.3 + 0.4 * rng.uniform()});
        struct Bump {
            double x, y, r, h;
        };
        std::vector<Bump> bumps;
        for (int b = 0; b < 12; ++b)
            bumps.push_back({rng.uniform() * n, rng.uniform() * n, n * (0.02 + 0.05 * rng.uniform()),
                             (rng.uniform() < 0.7 ? 1.0 : -1.0) * (1.0 + 2.0 * rng.uniform())});
        for (int j = 0; j < n; ++j) {
            for (int i = 0; i < n; ++i) {
                const double x = static_cast<double>(i) / n;
                const double y = static_cast<double>(j) / n;
                double h = 0.0;
                for (const Wave& w : waves) h += w.amp * std::sin(6.283185307179586 * (w.kx * x + w.ky * y) + w.phase);
                for (const Bump& b : bumps) {
                    const double d2 = (i - b.x) * (i - b.x) + (j - b.y) * (j - b.y);
                    h += b.h * std::exp(-d2 / (2.0 * b.r * b.r));
                }
                clean[idx(i, j)] = h + 0.05 * rng.normal();
            }
        }
    } else {
        // Bright particles on a flat substrate.
        for (auto& v : clean) v = 0.08 * rng.normal();
        const int count = n * n / 1200 + 3;
        for (int p = 0; p < count; ++p) {
            const double cx = rng.uniform() * n;
            const double cy = rng.uniform() * n;
            const double r = 1.5 + 3.0 * rng.uniform();
            const double h = 2.0 + 6.0 * rng.uniform();
            const int lo_i = std::max(0, static_cast<int>(cx - 4 * r));
            const int hi_i = std::min(n - 1, static_cast<int>(cx + 4 * r));
            const int lo_j = std::max(0, static_cast<int>(cy - 4 * r));
            const int hi_j = std::min(n - 1, static_cast<int>(cy + 4 * r));
            for (int j = lo_j; j <= hi_j; ++j)
                for (int i = lo_i; i <= hi_i; ++i) {
                    const double d2 = (i - cx) * (i - cx) + (j - cy) * (j - cy);
                    clean[idx(i, j)] += h * std::exp(-d2 / (2.0 * r * r));
                }
        }
    }

    // One offset per scan line (file row): a wandering level with jumps,
    // a slow bow and a ramp across the rows.
    std::vector<double> striped(clean);
    double level = 0.0;
    for (int j = 0; j < n; ++j) {
        level = 0.5 * level + stripes * rng.normal();
        if (rng.uniform() < 0.03) level += stripes * 3.0 * (rng.uniform() < 0.5 ? -1.0 : 1.0);
        const double t = static_cast<double>(j) / (n - 1) - 0.5;
        const double offset = level + bow * (4.0 * t * t) + tilt * t;
        for (int i = 0; i < n; ++i) striped[idx(i, j)] += offset;
    }

    // The kept window, row after row; its extent keeps the pixel size.
    const auto window = [&](const std::vector<double>& z) {
        std::vector<double> w;
        w.reserve(static_cast<std::size_t>(cols) * rows);
        for (int j = 0; j < rows; ++j)
            for (int i = 0; i < cols; ++i) w.push_back(z[idx(i, j)]);
        return w;
    };
    const double span = 2.0 / n;
    const std::string comment = "synthetic striped height image, seed " + std::to_string(seed);
    try {
        std::ostream null_out(nullptr);
        const auto base = [](const std::string& p) { return std::filesystem::path(p).filename().string(); };
        veltrane2::saveimage(null_out, base(out_name), out_name, comment, cols, rows, span * cols, span * rows,
                             window(striped).data(), 1.0e-6);
        if (!clean_name.empty())
            veltrane2::saveimage(null_out, base(clean_name), clean_name, "clean " + comment, cols, rows, span * cols,
                                 span * rows, window(clean).data(), 1.0e-6);
    } catch (const veltrane2::RunError& e) {
        std::cerr << "make_striped_image: " << e.what() << '\n';
        return 1;
    }
    return 0;
}
