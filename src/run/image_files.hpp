// The program's file stages around the engine: a text image read straight
// onto the engine's grid, and the outputs written as text images.
#pragma once

#include <ostream>
#include <string>

#include <veltrane2/veltrane2.hpp>

namespace veltrane2 {

// Reads the text image `filename` (printing "Opening image:" and the
// header warnings to `options.report`) and runs the engine on it. The image's
// sizes are checked before any of its values is read. Throws RunError naming
// the file when it cannot be read, is malformed or has a size the transform
// cannot take, FatalStop when a limit is reached.
Result destripe_file(const std::string& filename, const Parameters& parameters, const Options& options);

// Writes `image` as the text image `fileout` (atomically), printing
// "Saving image: <fileout>" to `out`; the first comment line is `source`,
// the name of the input.
void write_output(std::ostream& out, const std::string& source, const std::string& fileout, const Image& image);

}  // namespace veltrane2
