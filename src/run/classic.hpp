// The classic program: the image file name and the seven parameters from
// standard input, the three outputs beside the current folder.
#pragma once

#include <iosfwd>
#include <optional>

namespace veltrane2 {

// A whole run: banner, parameters from `in`, the engine, the outputs. Lines
// go to `out`, failures to `err`; returns the exit status. `force_group`
// sets the mode of the level estimation, which standard input cannot.
int veltrane2_main(std::istream& in, std::ostream& out, std::ostream& err,
                   std::optional<bool> force_group = std::nullopt);

}  // namespace veltrane2
