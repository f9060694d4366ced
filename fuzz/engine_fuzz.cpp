// The engine through the library's one call, on images and parameter sets
// made from the input bytes: sides 1 to 64 (powers of two and others, square
// or not), values of any scale, every parameter (in range or not), both
// modes. Every run is made on one thread and on three. What a run returns
// must hold: a gain in 0..1, finite noise and cleaned images that add up to
// the input lifted to a minimum of zero, and the same bytes and report on
// any thread count. A run may only fail with the library's documented
// errors, the same way on any thread count. Parameters the library refuses
// are also run as the classic program runs them, unchecked.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include <veltrane2/veltrane2.hpp>

#include "engine/pipeline.hpp"

namespace {

// Reads the input bytes in order; past the end it gives zeros.
class Bytes {
public:
    Bytes(const std::uint8_t* data, std::size_t size) : p_(data), end_(data + size) {}
    std::uint8_t u8() { return p_ < end_ ? *p_++ : 0; }
    double raw_double() {
        std::uint64_t bits = 0;
        for (int k = 0; k < 8; ++k) bits = bits << 8 | u8();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    bool empty() const { return p_ >= end_; }

private:
    const std::uint8_t* p_;
    const std::uint8_t* end_;
};

constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// A side: mostly powers of two up to 64, sometimes anything from 1 to 64.
int side(Bytes& b) {
    const std::uint8_t v = b.u8();
    if (v < 192) return 1 << (v % 7);
    return 1 + v % 64;
}

// A parameter: mostly a value in -0.1 .. 1.5 on a grid of steps of 0.01,
// sometimes a value at an edge.
double parameter(Bytes& b) {
    static const double special[] = {0.0, -0.0, 1.0, -1.0, 2.0, -5.0, 1e300, -1e300, kInf, -kInf, kNaN,
                                     std::numeric_limits<double>::denorm_min(), 1.0 - 1e-16, 1.0 + 1e-15};
    const std::uint8_t v = b.u8();
    if (v < 160) return -0.1 + 0.01 * v;
    return special[v % (sizeof special / sizeof special[0])];
}

int run_length(Bytes& b) {
    static const int special[] = {0, -1, -3, std::numeric_limits<int>::min(), std::numeric_limits<int>::max(), 64, 65};
    const std::uint8_t v = b.u8();
    if (v < 224) return 1 + v % 8;
    return special[v % (sizeof special / sizeof special[0])];
}

// A scale for the values: 1 mostly, otherwise a power of ten from 1e-330 to
// 1e308.
double scale(Bytes& b) {
    const std::uint8_t v = b.u8();
    if (v < 128) return 1.0;
    return std::pow(10.0, -330.0 + static_cast<double>(v - 128) * (638.0 / 127.0));
}

// The values: small numbers from single bytes, raw doubles (NaN and
// infinities included), striped rows, or zeros with a few single points.
std::vector<double> values(Bytes& b, int nx, int ny) {
    const std::size_t count = static_cast<std::size_t>(nx) * static_cast<std::size_t>(ny);
    std::vector<double> z(count, 0.0);
    const std::uint8_t kind = b.u8() % 4;
    const double s = scale(b);
    switch (kind) {
        case 0:
            for (double& v : z) v = s * (static_cast<int>(b.u8()) - 128) / 16.0;
            break;
        case 1:
            for (double& v : z) v = b.raw_double();
            break;
        case 2: {
            // Each row at its own offset over a surface from a small generator.
            std::uint32_t state = static_cast<std::uint32_t>(b.u8()) << 8 | b.u8();
            for (int j = 0; j < ny; ++j) {
                const double offset = (static_cast<int>(b.u8()) - 128) / 8.0;
                for (int i = 0; i < nx; ++i) {
                    state = state * 1664525u + 1013904223u;
                    z[static_cast<std::size_t>(j) * nx + i] = s * (offset + (state >> 24) / 256.0);
                }
            }
            break;
        }
        default: {
            const int points = 1 + b.u8() % 4;
            for (int k = 0; k < points; ++k) {
                const std::size_t at = (static_cast<std::size_t>(b.u8()) << 8 | b.u8()) % count;
                z[at] = s * (static_cast<int>(b.u8()) - 128) / 16.0;
            }
            break;
        }
    }
    return z;
}

std::string exact(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

[[noreturn]] void fail(const std::string& what) {
    std::cerr << "engine_fuzz: " << what << '\n';
    std::abort();
}

// What one run gave: its result, or how it failed.
struct Outcome {
    bool ok = false;
    veltrane2::Result result;
    std::string report;
    std::string error;  // kind, status and message of a failure
};

Outcome run(const veltrane2::Image& image, const veltrane2::Parameters& p, bool checked, int threads) {
    Outcome o;
    std::ostringstream report;
    veltrane2::Options options;
    options.report = &report;
    options.threads = threads;
    options.max_side = 64;
    try {
        if (checked) {
            o.result = veltrane2::destripe(image, p, options);
        } else {
            // As the classic program runs: no parameter check, a smaller
            // image filled out with its mean on a power-of-two square.
            veltrane2::EngineRun engine(p, options);
            engine.take_image(image);
            o.result = engine.finish();
        }
        o.ok = true;
    } catch (const veltrane2::FatalStop& e) {
        if (e.line().empty() || e.line().back() != '\n') fail("a limit stop's line does not end its line");
        o.error = "limit stop: " + e.line();
    } catch (const veltrane2::Error& e) {
        // A run on an image in memory touches no file.
        if (e.kind() != veltrane2::ErrorKind::kBadShape && e.kind() != veltrane2::ErrorKind::kBadValue)
            fail(std::string("an error of another kind: ") + e.what());
        if (std::string(e.what()).empty()) fail("an error without a message");
        o.error = (e.kind() == veltrane2::ErrorKind::kBadShape ? "bad shape: " : "bad value: ") + std::string(e.what());
    }
    // Anything else escapes and ends the fuzzer with its type.
    o.report = report.str();
    return o;
}

bool same_bytes(const veltrane2::Image& a, const veltrane2::Image& b) {
    return a.nx == b.nx && a.ny == b.ny && a.values.size() == b.values.size() &&
           std::memcmp(&a.span_x, &b.span_x, sizeof a.span_x) == 0 &&
           std::memcmp(&a.span_y, &b.span_y, sizeof a.span_y) == 0 &&
           std::memcmp(&a.unit, &b.unit, sizeof a.unit) == 0 &&
           std::memcmp(a.values.data(), b.values.data(), a.values.size() * sizeof(double)) == 0;
}

// The gain lies in 0..1; noise and cleaned are finite and add up to the
// input lifted to a minimum of zero, within the rounding of the transforms:
// the image itself when they have its shape (the library's run cuts them
// back to it), otherwise the image filled out with its mean to their square
// (the classic program's run).
void check_result(const veltrane2::Image& image, const veltrane2::Result& r) {
    for (double g : r.gain.values)
        if (!(g >= 0.0 && g <= 1.0)) fail("gain " + std::to_string(g));
    const bool cut_back = r.noise.nx == image.nx && r.noise.ny == image.ny;
    const int nx = r.noise.nx;
    const int ny = r.noise.ny;
    if (!cut_back && (nx != std::max(image.nx, image.ny) || ny != nx)) fail("the outputs have another shape");
    if (r.cleaned.nx != nx || r.cleaned.ny != ny || r.noise.values.size() != static_cast<std::size_t>(nx) * ny ||
        r.cleaned.values.size() != r.noise.values.size())
        fail("noise and cleaned differ in shape");
    // The fill is the image's mean as the run forms it, rounding and all: a
    // running sum in row order, over heights scaled down by 2^32 when the
    // plain sum overflows. (A mean formed otherwise can differ from it by a
    // few units in the last place, which is all of the lifted fill of an
    // image of equal heights.)
    const double count = static_cast<double>(image.values.size());
    double sum = 0.0;
    for (const double v : image.values) sum += v;
    double mean = sum / count;
    if (!std::isfinite(mean)) {
        sum = 0.0;
        for (const double v : image.values) sum += std::ldexp(v, -32);
        mean = std::ldexp(sum / count, 32);
    }
    std::vector<double> lifted(r.noise.values.size(), mean);
    for (int j = 0; j < image.ny; ++j)
        for (int i = 0; i < image.nx; ++i) lifted[static_cast<std::size_t>(j) * nx + i] = image.at(i, j);
    const double low = *std::min_element(lifted.begin(), lifted.end());
    double top = 0.0;
    for (double& v : lifted) {
        v -= low;
        top = std::max(top, std::abs(v));
    }
    const double tolerance = 1e-9 * top + std::numeric_limits<double>::denorm_min();
    for (std::size_t k = 0; k < lifted.size(); ++k) {
        const double noise = r.noise.values[k];
        const double clean = r.cleaned.values[k];
        if (!std::isfinite(noise) || !std::isfinite(clean)) fail("a value that is not finite at " + std::to_string(k));
        if (!(std::abs(noise + clean - lifted[k]) <= tolerance))
            fail("noise + cleaned differs from the lifted input at " + std::to_string(k) + ": " + exact(noise) +
                 " + " + exact(clean) + " against " + exact(lifted[k]) + " (tolerance " + exact(tolerance) + ")");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Bytes b(data, size);
    veltrane2::Image image;
    image.nx = side(b);
    image.ny = b.u8() < 192 ? image.nx : side(b);
    image.span_x = image.nx;
    image.span_y = image.ny;
    veltrane2::Parameters p;
    p.h_global = parameter(b);
    p.h_centre = parameter(b);
    p.h_off = parameter(b);
    p.r_centre = parameter(b);
    p.l_centre = parameter(b);
    p.l_off = parameter(b);
    p.n_run = run_length(b);
    p.grouped = b.u8() & 1;
    image.values = values(b, image.nx, image.ny);

    bool in_range = true;
    try {
        veltrane2::check_parameters(p);
    } catch (const veltrane2::Error&) {
        in_range = false;
    }
    for (const bool checked : {true, false}) {
        if (!checked && in_range) break;
        const Outcome one = run(image, p, checked, 1);
        const Outcome three = run(image, p, checked, 3);
        if (one.ok != three.ok || one.error != three.error) fail("one thread: " + one.error + "; three: " + three.error);
        if (one.report != three.report) fail("the report differs between one thread and three");
        if (checked && !in_range && one.error.rfind("bad value: ", 0) != 0) fail("parameters out of range were run");
        if (!one.ok && (in_range || !checked) && one.error.rfind("bad value: ", 0) == 0) {
            // Heights are refused only for what they are: values that are
            // not finite, a range that overflows, or (near the largest
            // double) outputs that would not be finite.
            bool finite = true;
            double lo = kInf, hi = -kInf;
            for (const double v : image.values) {
                finite = finite && std::isfinite(v);
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
            const double range = hi - lo;
            const bool fair = !finite || (one.error.find("further apart than the largest double") != std::string::npos
                                              ? !std::isfinite(range)
                                              : one.error.find("comes out with a value that is not finite") !=
                                                        std::string::npos &&
                                                    range > 1e300);
            if (!fair) fail("heights refused: " + one.error);
        }
        if (!one.ok) continue;
        check_result(image, one.result);
        if (!same_bytes(one.result.gain, three.result.gain) || !same_bytes(one.result.noise, three.result.noise) ||
            !same_bytes(one.result.cleaned, three.result.cleaned)) {
            fail("the outputs differ between one thread and three");
        }
    }
    return 0;
}
