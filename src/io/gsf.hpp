// Gwyddion Simple Field files (.gsf): the magic line
// "Gwyddion Simple Field 1.0", "Key = Value" header lines, one to four NUL
// bytes that align the data to a multiple of 4, then XRes x YRes
// little-endian 32-bit floats, row after row.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "io/atomic_file.hpp"

namespace veltrane2 {

inline constexpr std::string_view kGsfMagic = "Gwyddion Simple Field 1.0";

// Largest side a .gsf file may declare.
inline constexpr long long kGsfLargestSide = 1 << 16;

struct GsfImage {
    int xres = 0;
    int yres = 0;
    double xreal = 1.0;  // extents, in xyunits
    double yreal = 1.0;
    double xoffset = 0.0;
    double yoffset = 0.0;
    std::string xyunits;  // as the file says ("m", "nm", ...); empty when it says nothing
    std::string zunits;
    std::string title;
    std::vector<std::pair<std::string, std::string>> other;  // keys this program does not use, in file order
    std::vector<double> values;                              // row after row
};

// True when `bytes` begins with the magic line.
bool looks_like_gsf(std::string_view bytes);

// Parses a whole .gsf file held in `bytes`; `name` goes in front of every
// error message. Throws Error (kBadValue) for a wrong magic line, a
// header line that is not "Key = Value", a missing or malformed XRes or YRes,
// a size that is not positive or larger than kGsfLargestSide, an extent or
// offset that is not a finite number (an extent must also be positive), a
// header without its NUL terminator, data shorter than XRes x YRes floats
// (checked before the values are stored) and a value that is not finite.
GsfImage parse_gsf(std::string_view bytes, const std::string& name);

// Reads the file `name` and parses it.
GsfImage read_gsf(const std::string& name);

// The bytes of a .gsf file: XRes, YRes, XReal, YReal, the offsets when not
// zero, XYUnits, ZUnits and Title when not empty, then the data as 32-bit
// floats (rounded to nearest). Line breaks and NULs in texts become blanks.
std::string format_gsf(const GsfImage& image);

// Refuses (Error, kBadValue, after `name`) an image parse_gsf() would not
// read back: a size that is not from 1 to kGsfLargestSide, values that are
// not XRes x YRes, an extent that is not positive and finite, an offset that
// is not finite, or a value that is not finite as a 32-bit float (NaN,
// infinities and magnitudes from about 3.4e38 up).
void check_gsf(const GsfImage& image, const std::string& name);

// Writes format_gsf(image) to `name` atomically, after check_gsf(), which
// refuses before any file is made; stage_gsf() up to the renaming, for the
// caller to commit().
void write_gsf(const std::string& name, const GsfImage& image);
AtomicFile stage_gsf(const std::string& name, const GsfImage& image);

// The power of ten of a length unit in metres ("m" 0, "um" or "µm" -6, "nm"
// -9, ...); 0 for an empty or unknown unit.
int length_unit_exponent(std::string_view unit);

}  // namespace veltrane2
