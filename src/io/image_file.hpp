// Image files of either format, chosen by content: a file whose first line is
// the .gsf magic line is a Gwyddion Simple Field file, anything else a text
// image. Outputs carry over what their input says about itself.
#pragma once

#include <ostream>
#include <string>

#include <veltrane2/veltrane2.hpp>

#include "io/gsf.hpp"

namespace veltrane2 {

enum class FileFormat { kText, kGsf };

struct ImageFile {
    std::string name;
    FileFormat format = FileFormat::kText;
    Image image;   // a .gsf's extents in micrometres (unit 1e-6), as text images usually give them
    GsfImage gsf;  // a .gsf's header (its values are in `image`)
};

// The Image of a .gsf file (its values moved out): its extents converted
// to micrometres in decimal, so that XReal = 2e-06 m gives exactly the span
// 2 and unit 1e-6 of the equivalent text header.
Image image_of(GsfImage& gsf);

// A .gsf file's contents (its bytes, read already) as an image file.
ImageFile gsf_image_file(const std::string& name, std::string_view bytes);

// Reads an image file; a text image prints "Opening image:" and its header
// warnings to `out`, and a large one is parsed by `threads` threads. Throws
// RunError naming the file.
ImageFile read_image_file(const std::string& name, std::ostream& out, int threads = 1);

// Writes `image`, an output of the run on `source`, to `fileout` in `format`
// (atomically), printing "Saving image: <fileout>" to `out`. `prefix` names
// the output ("FIL_", "NOISE_", "DENOISE_"): a .gsf output's title is the
// prefix and the input's title (or file name), and the gain has no ZUnits.
// A text image is formatted by `threads` threads.
void write_image_file(std::ostream& out, const ImageFile& source, const std::string& prefix,
                      const std::string& fileout, FileFormat format, const Image& image, int threads = 1);
// write_image_file() up to the renaming, for the caller to commit().
AtomicFile stage_image_file(std::ostream& out, const ImageFile& source, const std::string& prefix,
                            const std::string& fileout, FileFormat format, const Image& image, int threads = 1);

// Fixed comment text of every text output.
inline constexpr std::string_view kComment =
    "supervised VeLTRANE- stripe-noise filtering of scanning-probe height images by veltrane2";

}  // namespace veltrane2
