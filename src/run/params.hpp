// The classic program's standard input: the image file name and the seven
// run parameters, and their echo.
#pragma once

#include <istream>
#include <string>
#include <string_view>

#include <veltrane2/veltrane2.hpp>

namespace veltrane2 {

struct ClassicInput {
    std::string file_name;  // as typed, up to its first blank
    Parameters parameters;
};

// Reads the file name and the seven parameters (four list-directed reads) and
// echoes the parameters to `out`. Throws Error (kBadValue) when standard
// input ends early or holds a value that cannot be read; nothing is echoed
// then.
ClassicInput inpt_veltrane(std::istream& in, std::ostream& out);

// The seven parameters from a parameter file's text: the classic input's
// lines, with or without the image-name line (which is there unless the
// first value is a number), read strictly: each line holds its values and
// nothing more, a decimal comma is refused, and every value lies in its
// range (check_parameters). Throws Error (kBadValue) naming `source`, the
// line and the value.
Parameters read_parameters(const std::string& text, const std::string& source);

// Number of characters before the first blank.
int stringlen(std::string_view dir);

}  // namespace veltrane2
