// The input stage, which reads the input image onto the square grid of the
// run, and the output stages, which write any image of the run as a text
// image carrying the input's extent and unit.
#pragma once

#include <string>

#include "run/settings.hpp"

namespace veltrane2 {

// Largest side of the grid (MXTEMPGD).
inline constexpr int kMxtempgd = 1024;

// Reads the file named by direc1.tempfile (up to its first blank) into
// tempimage.tempht on a square grid of side ngdtemp = max(Nx, Ny), filling a
// non-square image out with zeros, and derives the pixel size. Stops with
// FatalStop beyond MXTEMPGD; throws RunError for a side the transform cannot
// take and for an unreadable or malformed file. Nothing is read into the run
// state unless the whole file is good.
void readin_new_image(RunState& st);

// Writes the n x n corner of image as filout.
void write_output_image(RunState& st, const std::string& filout, const std::string& comment, int nx,
                        const RealImage& image);

// The same, with the "Saving image:" line going to `out`.
void write_output_image(const RunState& st, std::ostream& out, const std::string& filout, const std::string& comment,
                        int nx, const RealImage& image);

// Variant for the spectral-density output: every text is cut at its first
// blank, and the second comment line is the first word of the comment.
void writeout_image(RunState& st, const std::string& filename, const std::string& comment, int n,
                    const RealImage& image);

}  // namespace veltrane2
