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

// Told how long each stage of a run took, as the run goes (for profiling and
// benchmarks): a short name of the stage and its wall-clock seconds, on the
// thread that called the run. Pieces that run side by side on several threads
// are timed together as one stage.
class StageTimes {
public:
    virtual ~StageTimes() = default;
    virtual void stage(std::string_view name, double seconds) = 0;
};

struct Options {
    // Where the run's report lines go (the lines the command-line program
    // prints between "Opening image:" and "Saving image:"); nowhere when null.
    std::ostream* report = nullptr;
    // Threads over which the run may spread each of its Fourier transforms,
    // its sweeps over the image and the pieces of its analysis that can go
    // side by side; 0 lets the run choose (up to four). The results do not
    // depend on it.
    int threads = 0;
    // The largest image side destripe() takes (Error of kind kBadShape
    // above it). At most kLargestSide.
    int max_side = kLargestSide;
    // Told the time of each stage; nothing is timed when null.
    StageTimes* stage_times = nullptr;
};

// The three outputs. The run analyses a square grid whose side is a power
// of two: the image itself when it is such a square, otherwise the image
// padded out to the smallest such square by mirroring it across its edges
// (the image in the top-left corner).
//   - noise and cleaned have the image's shape and extents: the padded
//     results cut back at the image's position.
//   - gain is a spectral map, so it stays on the padded square: side x side
//     frequencies in the centred spectrum layout, with extents side times the
//     image's pixel size along a row.
// (Earlier versions filled a non-square image out with zeros and returned
// all three outputs max(nx, ny) square, which made the result depend on the
// heights' offset.)
struct Result {
    Image gain;     // filter gain on the padded square's spectrum, 0 to 1
    Image noise;    // the removed stripe noise
    Image cleaned;  // the cleaned image; noise + cleaned = input - min(input)
    int side = 0;   // the side of the square the run analysed (the padded side)
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

// What kind of failure ended a run early.
enum class ErrorKind {
    kBadShape,  // sizes a run cannot take: not positive, not nx * ny values, or a grid side it cannot transform
    kBadValue,  // a value that cannot be used: not finite, or the text of an image or of the parameters malformed
    kIo,        // a file that cannot be opened, read or written; error_number() says why
    kLimit,     // a fixed limit was reached; line() names it
};

// A failure: its kind and a message for the user. (The command-line
// program's exit status for each kind: its README.)
class Error : public std::runtime_error {
public:
    Error(ErrorKind kind, const std::string& message) : std::runtime_error(message), kind_(kind) {}
    // An I/O failure on the file `path`, with the system's error number.
    Error(const std::string& message, int error_number, std::string path)
        : std::runtime_error(message), kind_(ErrorKind::kIo), error_number_(error_number), path_(std::move(path)) {}

    ErrorKind kind() const { return kind_; }
    // The errno of an I/O failure; 0 for the other kinds.
    int error_number() const { return error_number_; }
    // The file an I/O failure is about; empty for the other kinds.
    const std::string& path() const { return path_; }
    // The report line of a limit, ending in a newline; empty for the other kinds.
    const std::string& line() const { return line_; }

protected:
    Error(std::string line, const std::string& message)
        : std::runtime_error(message), kind_(ErrorKind::kLimit), line_(std::move(line)) {}

private:
    ErrorKind kind_;
    int error_number_ = 0;
    std::string path_;
    std::string line_;
};

// A fixed limit of the program was reached (an image larger than max_side,
// or more clusters, pairs or pixels than a stage holds): kind() is kLimit,
// line() the report line that names the limit and the stage, and what() that
// line without its surrounding blanks. The command-line program prints the
// line and stops with "STOP 4".
class FatalStop : public Error {
public:
    explicit FatalStop(std::string line) : Error(line, trimmed(line)) {}
    int stop_code() const { return 4; }

private:
    static std::string trimmed(const std::string& line) {
        const auto first = line.find_first_not_of(" \n");
        if (first == std::string::npos) return {};
        return line.substr(first, line.find_last_not_of(" \n") + 1 - first);
    }
};

// The name Error had before it said its kind, for code written against it.
// (It is now the base of FatalStop: catch FatalStop first to tell a limit
// apart, or ask kind().)
using RunError = Error;

// How striped an image is, without a reference (the README's "Figures"
// defines each).
struct ImageFigures {
    // Share of the plane-levelled image's spectral energy (zero frequency
    // excluded) at the frequencies that are constant along a row, 0 to 1.
    double stripe_energy = 0.0;
    // Median over neighbouring rows of |median along the row of z(i, j + 1)
    // - z(i, j)|, in the image's height units.
    double line_step = 0.0;
};

// What a run did to an image.
struct RunFigures {
    ImageFigures input;    // of the input
    ImageFigures cleaned;  // of the cleaned image, on the input's nx x ny
    // The change's variation along the scan lines relative to the input's
    // own (0: changed only between lines).
    double change_along_lines = 0.0;
    // Share of the spectrum's coefficients the filter lowered (gain < 1),
    // and share of the spectrum's energy (zero frequency excluded) it took
    // away.
    double lowered_share = 0.0;
    double energy_removed = 0.0;
};

ImageFigures image_figures(const Image& image);
RunFigures run_figures(const Image& input, const Result& result);

// Refuses parameters outside the range their meaning gives them, with an
// Error of kind kBadValue naming the first such value: h_G, h_C and h_F are
// thresholds on homogeneities that run from 0 to 1, and r_C a threshold on
// a ring's bright fraction: each from 0 to 1 (at 1 nothing passes); L_C and
// L_F are compared with a line's selected fraction: from 0 up (any value
// above 1 takes every line); N_CP is a run length in pixels: from 1 up. NaN
// and infinities are refused.
void check_parameters(const Parameters& parameters);

// Removes the stripes of `image`, of any size from 2 x 2 up to max_side on
// each side. Adding a constant to every height changes the noise by nothing
// and the cleaned image by nothing either (it is lifted to a zero minimum),
// up to rounding. Throws Error of kind kBadValue for
// parameters check_parameters() refuses; of kind kBadShape when a side is not
// positive, is below 2 or above options.max_side, or the values are not
// nx * ny; of kind kBadValue for a value that is not finite, extents and a
// unit that do not give a positive finite pixel size, or heights whose range
// (max - min) overflows; FatalStop when a fixed limit of a stage is reached.
// Heights of any finite range are taken: the outputs of heights scaled by a
// power of two are the outputs scaled by it (the README's "Scan sizes").
Result destripe(const Image& image, const Parameters& parameters, const Options& options = {});

// One candidate of the automatic choice: a ready set in one level
// estimation mode, or the image left as it is.
struct Candidate {
    std::string name;       // "general", "general grouped", ..., "leave"
    bool leave = false;     // the image left as it is (gain 1, no noise)
    Parameters parameters;  // the set (for "leave", none is run)
    RunFigures figures;
    double score = 0.0;     // the criterion's value: the lowest is chosen
    std::string stop;       // the limit line when the set reached a fixed limit (then not a candidate)
};

struct AutoResult {
    Result result;                      // the outputs of the chosen candidate
    std::size_t chosen = 0;             // its position in candidates
    std::vector<Candidate> candidates;  // in the order they were tried
};

// Runs every candidate on `image` (the forward transform and the log
// spectrum once for all) and keeps the one the criterion of the README's
// "Choosing parameters automatically" scores lowest. options.report
// receives the chosen candidate's report lines. Throws as destripe().
AutoResult destripe_auto(const Image& image, const Options& options = {});

}  // namespace veltrane2
