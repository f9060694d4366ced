// Rendering of images to a PNG preview: panels side by side, each with its
// file name as a title, a colour bar with the value range (in the image's
// unit with an SI prefix where the file names one), and the physical extent.
#pragma once

#include <array>
#include <string>
#include <utility>
#include <vector>

#include <veltrane2/veltrane2.hpp>

namespace veltrane2::preview {

enum class ColourMap { kInferno, kGrey };

struct Options {
    ColourMap map = ColourMap::kInferno;
    bool log = false;          // show the logarithm of the magnitudes (spectra)
    double low_percent = 0.5;  // robust range: the values between these percentiles
    double high_percent = 99.5;
};

using Rgb = std::array<unsigned char, 3>;

// Colour of t in 0..1 (values outside are held at the ends).
Rgb colour(ColourMap map, double t);

// The value at the given percentile (0..100) of the values, interpolated
// linearly between the two nearest ranks.
double percentile(std::vector<double> values, double percent);

// The input NAME and the outputs a run of it wrote, in the order shown:
// DENOISE_, NOISE_ and FIL_ in `folder` (empty: beside NAME, as the batch
// writes them by default), each under the input's name or, when that file
// is not there, the name of the other format's output (FIL_scan.gsf for
// scan.txt or scan.ibw).
std::vector<std::string> run_set(const std::string& name, const std::string& folder = {});

// True for a filter gain image (a name starting with "FIL_"), which is shown
// on its fixed range 0..1.
bool is_filter_name(const std::string& path);

// One panel ready to draw: the picture (side by side, row 0 at the top),
// its value range and the texts around it.
struct Panel {
    std::string title;
    std::string extent;  // physical size, from the header
    int width = 0;
    int height = 0;
    std::vector<double> pixels;  // width x height values, row after row
    double lo = 0.0;             // value shown darkest
    double hi = 1.0;             // value shown brightest
    std::string unit;            // of the values ("m", "V", ...); empty when unknown
    int scale = 1;               // > 1: each value drawn as scale x scale pixels; < 0: -scale values averaged per pixel
};

// Makes the panel of one image: values (logarithm first with --log),
// averaged down in blocks when the image is larger than 512, repeated in
// whole pixels when smaller than 128, with its robust range. `unit` is the
// unit of the values (ignored with --log).
Panel make_panel(const std::string& title, const Image& img, const std::string& unit, const Options& opt);

// A colour-bar label: the value with an SI prefix chosen for `scale` (the
// larger magnitude of the bar's two ends) in front of `unit`, or the plain
// value when there is no unit.
std::string value_label(double v, double scale, const std::string& unit);

// Where a panel's picture starts in the PNG, given the panels before it.
struct Layout {
    int width = 0;
    int height = 0;
    std::vector<std::pair<int, int>> origins;  // top-left corner of each picture
};
Layout layout(const std::vector<Panel>& panels);

// The plot under the panels of a run: the row means of the input and of
// the cleaned image (each less its own mean) against the row index, and
// the run's figures written under it.
struct RowPlot {
    std::vector<double> input;    // one mean per row, row 0 first
    std::vector<double> cleaned;  // of the cleaned image, on the input's window
    std::string unit;             // of the values; empty when unknown
    std::vector<std::string> lines;
};

// The plot of a run on `input` (cleaned: its DENOISE_ image), with the
// figures of the run (gain: its FIL_ image).
RowPlot row_plot(const Image& input, const Image& cleaned, const Image& gain, const std::string& unit);

// Height of the plot and its lines in the PNG.
int plot_height(const RowPlot& plot);

// Draws the panels, and the plot under them when there is one, and writes
// the PNG to `out` (under a temporary name that is renamed into place).
// Throws std::runtime_error on failure.
void write_png(const std::vector<Panel>& panels, const Options& opt, const std::string& out,
               const RowPlot* plot = nullptr);

}  // namespace veltrane2::preview
