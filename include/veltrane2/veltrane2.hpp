// veltrane2: removes scan-line stripe noise from scanning-probe height images.
//
// One call, destripe(), takes a height image held in memory and returns the
// filter gain, the removed noise and the cleaned image:
//
//     veltrane2::Image scan = ...;                 // values row after row
//     veltrane2::Parameters p = veltrane2::Parameters::general();
//     veltrane2::Result r = veltrane2::destripe(scan, p);
//     // r.gain, r.noise, r.cleaned
//
// A call keeps no state between calls and shares none with other calls:
// calls on several threads at once give the same results as one after the
// other.
#pragma once

#include <array>
#include <cstddef>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace veltrane2 {

// The version of the library and its programs. The build, the Python
// package and the Debian package read it from this line.
inline constexpr char kVersion[] = "0.2.0";

// A height image: nx values per row, ny rows, stored row after row (element
// j * nx + i is row j, column i, both from 0), as a text image lists them.
// span_x and span_y are its extents in multiples of the length `unit` (in
// metres): the pixel size along a row is unit * span_x / nx.
struct Image {
    int nx = 0;
    int ny = 0;
    double span_x = 0.0;
    double span_y = 0.0;
    double unit = 1.0;
    std::vector<double> values;

    double& at(int i, int j) { return values[static_cast<std::size_t>(j) * nx + i]; }
    double at(int i, int j) const { return values[static_cast<std::size_t>(j) * nx + i]; }
};

// The seven run parameters (see the README's parameter guide) and the mode
// of the level estimation.
struct Parameters {
    double h_global = 0.0;  // h_G: global homogeneity threshold
    double h_centre = 0.0;  // h_C: centre-pass threshold
    double h_off = 0.0;     // h_F: off-centre threshold
    double r_centre = 0.0;  // r_C: bright fraction that keeps the centre disc growing
    double l_centre = 0.0;  // L_C: centre line fraction
    double l_off = 0.0;     // L_F: off-centre line fraction
    int n_run = 0;          // N_CP: run length of the line tests
    bool grouped = false;   // level estimation cluster by cluster

    // The ready sets of kPresets.
    static constexpr Parameters general() { return {0.3, 0.1, 0.1, 0.5, 0.5, 0.8, 3}; }
    static constexpr Parameters keep_slope() { return {0.45, 1.0, 0.1, 0.15, 0.5, 0.8, 3}; }
    static constexpr Parameters conservative() { return {0.45, 0.2, 0.35, 0.8, 0.5, 0.8, 3}; }
};

// A ready parameter set under the name the command line (--preset), the
// Python module (PRESETS) and examples/params/<name>.in give it.
struct Preset {
    std::string_view name;
    Parameters parameters;
};

// Every ready set, in the order the help lists them.
inline constexpr std::array<Preset, 3> kPresets{{
    {"general", Parameters::general()},
    {"keep-slope", Parameters::keep_slope()},
    {"conservative", Parameters::conservative()},
}};

// The ready set called `name`; null when there is none.
inline const Preset* find_preset(std::string_view name) {
    for (const Preset& p : kPresets)
        if (p.name == name) return &p;
    return nullptr;
}

// The largest image side any run takes, and the classic program's limit.
inline constexpr int kLargestSide = 4096;
inline constexpr int kClassicLargestSide = 1024;

struct Options {
    // Where the run's report lines go (the lines the command-line program
    // prints between "Opening image:" and "Saving image:"); nowhere when null.
    std::ostream* report = nullptr;
    // Threads over which the run may spread each of its Fourier transforms,
    // its sweeps over the image and the pieces of its analysis that can go
    // side by side; 0 lets the run choose (up to four). The results do not
    // depend on it.
    int threads = 0;
    // Images whose larger side exceeds this end with a LimitStop. At most
    // kLargestSide.
    int max_side = kClassicLargestSide;
};

// The three outputs, each n x n on the square grid of side n = max(nx, ny)
// that the run analysed (a non-square input is filled out with zeros), with
// extents n times the input's pixel size along a row, in the input's unit.
struct Result {
    Image gain;     // filter gain in the centred spectrum layout, 0 to 1
    Image noise;    // the removed stripe noise
    Image cleaned;  // the cleaned image; noise + cleaned = input - min(input)
};

// The outputs of a run, in the order they are made.
enum class Output { kGain, kNoise, kCleaned };

// What an output is called and what its values are.
struct OutputInfo {
    Output output;
    std::string_view prefix;  // put in front of the input's file name to name the output's file
    bool height_unit;         // its values are heights in the input's unit (the gain has no unit)
    Image Result::*image;     // where a Result holds it
};

// Every output, in the order they are made.
inline constexpr std::array<OutputInfo, 3> kOutputs{{
    {Output::kGain, "FIL_", false, &Result::gain},
    {Output::kNoise, "NOISE_", true, &Result::noise},
    {Output::kCleaned, "DENOISE_", true, &Result::cleaned},
}};

inline constexpr const OutputInfo& output_info(Output which) {
    return kOutputs[static_cast<std::size_t>(which)];
}

// Exit statuses of the command-line program, carried by the errors below.
enum ExitStatus : int {
    kExitOk = 0,
    kExitFileError = 1,   // an image cannot be opened, read, parsed or written, or holds a value that is not finite
    kExitInputError = 2,  // the parameters cannot be read
    kExitSizeError = 3,   // an image size the Fourier transform cannot take
    kExitLimitStop = 4,   // a fixed limit was reached
};

// A failure with a message for the user and the exit status the
// command-line program gives it.
class RunError : public std::runtime_error {
public:
    RunError(ExitStatus status, const std::string& message) : std::runtime_error(message), status_(status) {}
    ExitStatus status() const { return status_; }

private:
    ExitStatus status_;
};

// A fixed limit of the program was reached (an image larger than max_side,
// or more clusters, pairs or pixels than a stage holds). line() is the report
// line that names the limit and the stage, ending in a newline; the
// command-line program prints it and stops with "STOP 4".
class FatalStop : public std::runtime_error {
public:
    explicit FatalStop(std::string line) : std::runtime_error(line), line_(std::move(line)) {}
    const std::string& line() const { return line_; }
    int stop_code() const { return 4; }

private:
    std::string line_;
};

// Removes the stripes of `image`. Throws RunError with kExitSizeError when a
// side is not positive, the values are not nx * ny, or the grid side is not
// a power of two from 2 up; RunError with kExitFileError for a value that is
// not finite; FatalStop when a limit is reached.
Result destripe(const Image& image, const Parameters& parameters, const Options& options = {});

}  // namespace veltrane2
