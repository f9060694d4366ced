// Image files, their format chosen by content: a file whose first line is
// the .gsf magic line is a Gwyddion Simple Field file; a file without NUL
// bytes whose text holds the header line is a text image; any other file is
// an instrument file, read through Gwyddion's file modules (io/gwyddion/)
// when they are built in. Outputs carry over what their input says about
// itself.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include <veltrane2/veltrane2.hpp>

#include "io/gsf.hpp"
#include "io/gwyddion/instrument.hpp"
#include "io/text_image.hpp"

namespace veltrane2 {

// kInstrument is read only: its outputs are .gsf unless asked otherwise.
enum class FileFormat { kText, kGsf, kInstrument };

struct ImageFile {
    std::string name;
    FileFormat format = FileFormat::kText;
    Image image;   // a .gsf's extents in micrometres (unit 1e-6), as text images usually give them
    GsfImage gsf;  // a .gsf's header, or an instrument channel's extents, offsets, units and title (values in `image`)
    std::string channel;  // when an instrument file gives several images: this one's part of the output names
    std::vector<std::string> comments;  // a text image's comment lines before its header
    int channel_number = 0;  // the instrument file's channel read (its number in Gwyddion); 0 for a text or .gsf file
};

// The format of the file `name` told from its first bytes `head` (64 KiB
// are enough), as reading it whole would tell it for every file whose
// header line lies within them; for what a file's outputs are named.
FileFormat format_by_head(const std::string& name, std::string_view head);

// The same for the file itself; kText when it cannot be read (the run
// says why).
FileFormat format_of_file(const std::string& name);

// The format of the outputs when none is asked for: the input's, and .gsf
// for an instrument file.
FileFormat default_output_format(FileFormat input);

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
// `channel` picks an instrument file's channel: "" the height channel (see
// gwyddion::is_height), a number or a title; a text or .gsf file has one
// image and ignores it. An instrument file that cannot be read, has no such
// channel or holds values that are not finite is an Error (kBadValue) naming
// the file and giving the reason, as is one without the Gwyddion backend.
ImageFile read_image_file(const std::string& name, std::ostream& out, int threads = 1,
                          const std::string& channel = {});

// An image file's contents, told apart as the top of this file says.
struct OpenedFile {
    FileFormat format = FileFormat::kText;
    std::string bytes;                    // a .gsf file's
    std::optional<TextImageReader> text;  // a text image's reader, its header found
    std::vector<ImageFile> instrument;    // an instrument file's images, read (see read_image_files)
};

// Opens the file `name` whose contents are `bytes`: a text image's header
// warnings go to `out`; an instrument file is read through Gwyddion, its
// channels picked by `channel` as read_image_files() takes it. Throws Error
// naming the file.
OpenedFile open_image_file(const std::string& name, std::string bytes, std::ostream& out,
                           const std::string& channel);

// One image of a file to run: the channel to read it with, and its part of
// the output names (empty when the file gives one image).
struct ChannelChoice {
    std::string channel;
    std::string tag;
};

// The images `channel` asks of the file `name`: that one channel, or with
// "all-height" each height channel of an instrument file (which is listed
// for it; a text or .gsf file gives its one image). Throws Error naming the
// file.
std::vector<ChannelChoice> channel_choices(const std::string& name, const std::string& channel);

// Every image the file gives: read_image_file()'s one, or with the channel
// "all-height" every height channel of an instrument file (each with its
// `channel` set for the output names).
std::vector<ImageFile> read_image_files(const std::string& name, std::ostream& out, int threads,
                                        const std::string& channel);

// The channels of an image file: an instrument file's, or the one image of
// a text or .gsf file (channel 0, titled with its Title or file name).
std::vector<gwyddion::Channel> image_channels(const std::string& name);

// The name an image of a file that gives several goes by in output names:
// "scan_0_HeightTrace.ibw" for channel "0_HeightTrace" of "scan.ibw".
std::string channel_file_name(const std::string& name, const std::string& channel);

// An image file to write: where, in which format, and what it says about
// itself besides the image's sizes and values.
struct FileToWrite {
    std::string path;
    FileFormat format = FileFormat::kText;
    std::string source;  // a text image's first comment line: the name of the file it comes from
    GsfImage header;     // a .gsf's extents, offsets, units and title
    std::optional<TextNotes> notes;  // a text file's lines beyond the classic program's, and exact extents
};

// The notes of the batch's text output `which` of `source`: what the file
// is, then a text input's comment lines.
TextNotes output_notes(const ImageFile& source, Output which);

// The .gsf header of an image whose extents are span x unit metres.
GsfImage gsf_header_in_metres(const Image& image);

// Output `which` of the run on `source`, to be written to `path` in
// `format`. A .gsf output keeps a .gsf input's extents (scaled to the square
// grid), offsets and units, or gives a text input's extents in metres and
// its heights in `text_zunits`; its title is the output's prefix and the
// input's title (or file name; a text input's without its extension), and
// it has a ZUnits only when the output is a height.
FileToWrite output_file(const ImageFile& source, Output which, const Image& image, std::string path,
                        FileFormat format, std::string_view text_zunits = "m");

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
