// The program's file stages around the engine: an image file read (a text
// image straight onto the engine's grid), and the outputs written in the
// input's format or another.
#pragma once

#include <ostream>
#include <string>

#include <veltrane2/veltrane2.hpp>

#include "io/image_file.hpp"

namespace veltrane2 {

// Reads the image file `filename` (printing "Opening image:" and a text
// image's header warnings to `options.report`) and runs the engine on it; a
// text image's sizes are checked before any of its values is read. `source`
// receives what the outputs carry over (the format, a .gsf's header). Throws
// RunError naming the file when it cannot be read, is malformed or has a
// size the transform cannot take, FatalStop when a limit is reached.
Result destripe_file(const std::string& filename, const Parameters& parameters, const Options& options,
                     ImageFile& source);

// Threads for parsing and formatting text images: options.threads, or when
// that is 0 as many as the machine has cores (at most four).
int io_threads(const Options& options);

}  // namespace veltrane2
