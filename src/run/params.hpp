// Run parameters: the standard-input protocol, the parameter echo and the
// constants of the run.
#pragma once

#include <istream>
#include <string>
#include <string_view>

#include "run/settings.hpp"

namespace veltrane2 {

// What inpt_veltrane hands back to the driver besides the shared blocks.
struct DriverFlags {
    std::string comment;  // second comment line of every output image
    bool group = false;   // level estimation by clusters
    bool symm = true;     // symmetric pass after each region selection
};

// Fixed comment text of every output image.
inline constexpr std::string_view kComment =
    "supervised VeLTRANE- stripe-noise filtering of scanning-probe height images by veltrane2";

// Reads the file name and the seven parameters (four list-directed reads),
// fixes the switches and echoes the parameters. Throws RunError when standard
// input ends early or holds a value that cannot be read.
DriverFlags inpt_veltrane(std::istream& in, RunState& st);

// Fills the block of mathematical constants.
void parameter_data(Fconst2& fc);

// Number of characters before the first blank.
int stringlen(std::string_view dir);

}  // namespace veltrane2
