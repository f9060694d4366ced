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
// Error naming the file; a text image with a side larger than kLargestSide,
// which no run takes, is refused before its values are stored.
ImageFile read_image_file(const std::string& name, std::ostream& out, int threads = 1);

// An image file to write: where, in which format, and what it says about
// itself besides the image's sizes and values.
struct FileToWrite {
    std::string path;
    FileFormat format = FileFormat::kText;
    std::string source;  // a text image's first comment line: the name of the file it comes from
    GsfImage header;     // a .gsf's extents, offsets, units and title
};

// The .gsf header of an image whose extents are span x unit metres.
GsfImage gsf_header_in_metres(const Image& image);

// Output `which` of the run on `source`, to be written to `path` in
// `format`. A .gsf output keeps a .gsf input's extents (scaled to the square
// grid), offsets and units, or gives a text input's extents in metres; its
// title is the output's prefix and the input's title (or file name), and it
// has a ZUnits only when the output is a height.
FileToWrite output_file(const ImageFile& source, Output which, const Image& image, std::string path,
                        FileFormat format);

// The file name of output `which` of the input called `name`: the output's
// prefix in front of it, with its extension changed when the output is in
// another format than the input.
std::string output_file_name(Output which, const std::string& name, FileFormat input, FileFormat output);

// Writes `image` as the file `f` (atomically), printing "Saving image:
// <path>" to `out`; a text image is formatted by `threads` threads.
void write_image_file(std::ostream& out, const FileToWrite& f, const Image& image, int threads = 1);
// write_image_file() up to the renaming, for the caller to commit().
AtomicFile stage_image_file(std::ostream& out, const FileToWrite& f, const Image& image, int threads = 1);

// Fixed comment text of every text output.
inline constexpr std::string_view kComment =
    "supervised VeLTRANE- stripe-noise filtering of scanning-probe height images by veltrane2";

}  // namespace veltrane2
