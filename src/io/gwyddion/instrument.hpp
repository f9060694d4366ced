// Files from scanning-probe instruments (Nanoscope, Igor, WSxM, PicoView,
// .gwy and the many other formats Gwyddion's file modules read), read
// through Gwyddion's library. Each file is read by a small program of its
// own (veltrane2-read-instrument, started for that file), so that a file
// module that crashes or hangs on a damaged file fails that file only, and
// the programs that read such files never load Gwyddion's libraries.
//
// A file holds channels: data fields with a title, extents and units (a
// height trace and retrace, an amplitude, a phase, ...). The values of a
// channel are row after row in the order Gwyddion shows them (first row at
// the top), in the channel's z unit.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace veltrane2::gwyddion {

// One channel of a file, as Gwyddion describes it.
struct Channel {
    int number = 0;  // Gwyddion's channel id, as its data browser numbers it
    std::string title;
    int xres = 0;  // values per row
    int yres = 0;  // rows
    double xreal = 0.0;  // extents and offsets, in xy_unit
    double yreal = 0.0;
    double xoffset = 0.0;
    double yoffset = 0.0;
    std::string xy_unit;  // "m" for lengths
    std::string z_unit;   // "m" for heights
};

struct ChannelValues {
    Channel channel;
    std::vector<double> values;  // xres x yres, row after row
};

// Which channels a read returns the values of.
struct ChannelPick {
    enum class Kind { kHeight, kAllHeight, kNumber, kTitle, kNone };
    Kind kind = Kind::kHeight;
    int number = -1;
    std::string title;

    // "" the height channel, "all-height" every height channel, a whole
    // number that channel, anything else the channel of that title.
    static ChannelPick parse(const std::string& text);
};

// What a read found: every channel of the file, and the values of those
// picked (none for Kind::kNone).
struct InstrumentFile {
    std::vector<Channel> channels;
    std::vector<ChannelValues> picked;
};

// A file that cannot be read or has no such channel; the message is the
// reason, without the file's name.
class ReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file that no file module recognises.
class UnknownFormat : public ReadError {
public:
    using ReadError::ReadError;
};

// True when this build has Gwyddion (and so the reading program); without
// it, read_here() and read_isolated() throw ReadError saying so.
bool backend_built();

// The height rule: a channel in metres whose title, ignoring case, holds
// "height" or "topograph", or has the word "z" or "zsensor" (words split at
// anything but letters and digits).
bool is_height(const Channel& channel);

// The positions in `channels` of the channels `pick` names: the first height
// channel, every height channel, or the one of that number or title (the
// first whose title matches, ignoring case). Throws ReadError listing the
// channels there are when there is none.
std::vector<std::size_t> pick_channels(const std::vector<Channel>& channels, const ChannelPick& pick);

// "0 'Height'": how messages name a channel.
std::string channel_name(const Channel& channel);
// "0 'Height', 1 'Amplitude'".
std::string channel_names(const std::vector<Channel>& channels);

// When the first bytes of a file (`head`, its header) announce more data
// than the file's `size` holds, why; else empty. Some file modules read
// such a cut file and fill its image out with whatever lay beyond the end
// (the WSxM reader does, without a word): the header's own sizes are
// checked where a format gives them in text (WSxM: the header size, rows,
// columns and data type; PicoView: the pixels, images and data type, as its
// reader takes a file a few values short and fills them in).
std::string cut_short(std::string_view head, std::uintmax_t size);

// Reads `path` in this process (Gwyddion is set up on first use); throws
// UnknownFormat when no file module takes it, ReadError with Gwyddion's
// reason when one fails, when the file is cut short (cut_short) or when a
// picked channel holds a value that is not finite.
InstrumentFile read_here(const std::string& path, const ChannelPick& pick);

// How long the reading program may take over one file.
inline constexpr std::chrono::milliseconds kReadTimeout{120'000};

// read_here() in the reading program, with the same errors; a reading
// program that is not found, crashes, hangs past `timeout` or ends without
// an answer is a ReadError that says so. The program is
// $VELTRANE2_INSTRUMENT_READER when set, else found beside the running
// program or the file holding this code, or where it is installed
// (lib/veltrane2/ of the prefix).
InstrumentFile read_isolated(const std::string& path, const ChannelPick& pick,
                             std::chrono::milliseconds timeout = kReadTimeout);

// The bytes a child sends its parent, and back.
std::string encode(const InstrumentFile& file);
InstrumentFile decode(std::string_view bytes);

}  // namespace veltrane2::gwyddion
