#include "io/image_file.hpp"

#include <cctype>
#include <charconv>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

#include "io/text_image.hpp"

namespace veltrane2 {

namespace {

// value x 10^shift, with the shift applied to the shortest decimal form of
// value (so that 2e-06 shifted by 6 is exactly 2).
double shift_decimal(double value, int shift) {
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
    std::string s(buf, res.ptr);
    const std::size_t e = s.find('e');
    const int exponent = std::stoi(s.substr(e + 1)) + shift;
    s = s.substr(0, e) + "e" + std::to_string(exponent);
    double v = 0.0;
    std::from_chars(s.data(), s.data() + s.size(), v);
    return v;
}

}  // namespace

Image image_of(GsfImage& gsf) {
    const int shift = length_unit_exponent(gsf.xyunits) + 6;
    return Image{gsf.xres, gsf.yres, shift_decimal(gsf.xreal, shift), shift_decimal(gsf.yreal, shift), 1e-6,
                 std::move(gsf.values)};
}

ImageFile gsf_image_file(const std::string& name, std::string_view bytes) {
    ImageFile f;
    f.name = name;
    f.format = FileFormat::kGsf;
    f.gsf = parse_gsf(bytes, name);
    f.image = image_of(f.gsf);
    return f;
}

namespace {

ImageFile text_image_file(const std::string& name, const TextImageReader& reader, int threads) {
    ImageFile f;
    f.name = name;
    const ImageHeader& h = reader.header();
    if (h.nx > kLargestSide || h.ny > kLargestSide) {
        throw Error(ErrorKind::kBadShape, name + ": " + std::to_string(h.nx) + " x " + std::to_string(h.ny) +
                                              " is larger than the largest side " + std::to_string(kLargestSide));
    }
    reader.refuse_short_data();
    f.image = Image{static_cast<int>(h.nx), static_cast<int>(h.ny), h.spanx, h.spany, h.unit, {}};
    f.image.values.resize(static_cast<std::size_t>(h.nx * h.ny));
    reader.read_values(f.image.values.data(), threads);
    f.comments = reader.comments();
    return f;
}

// A channel's part of the output names: its number and title, with
// anything but letters, digits, '-' and '.' in the title made '_'.
std::string channel_tag(const gwyddion::Channel& c) {
    std::string tag = std::to_string(c.number) + "_" + c.title;
    for (char& ch : tag)
        if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '-' && ch != '.') ch = '_';
    return tag;
}

ImageFile instrument_image_file(const std::string& name, gwyddion::ChannelValues v, bool several) {
    const gwyddion::Channel& c = v.channel;
    ImageFile f;
    f.name = name;
    f.format = FileFormat::kInstrument;
    GsfImage& g = f.gsf;
    g.xres = c.xres;
    g.yres = c.yres;
    g.xreal = c.xreal;
    g.yreal = c.yreal;
    g.xoffset = c.xoffset;
    g.yoffset = c.yoffset;
    g.xyunits = c.xy_unit;
    g.zunits = c.z_unit;
    g.title = std::filesystem::path(name).filename().string() + " channel " + gwyddion::channel_name(c);
    g.values = std::move(v.values);
    f.image = image_of(g);
    if (several) f.channel = channel_tag(c);
    f.channel_number = c.number;
    return f;
}

// A file's format by its content. Text without a header line may still be
// an instrument file whose header is text (one cut short, say): it goes to
// the backend, and only when no file module knows it is it a text image
// without its header (`not_text`, with the reader's warnings).
struct Detected {
    FileFormat format = FileFormat::kInstrument;
    std::string bytes;  // of a .gsf file
    std::optional<TextImageReader> reader;
    std::optional<Error> not_text;
    std::string warnings;
};

Detected detect(const std::string& name, std::string bytes) {
    Detected d;
    if (looks_like_gsf(bytes)) {
        d.format = FileFormat::kGsf;
        d.bytes = std::move(bytes);
        return d;
    }
    if (bytes.find('\0') != std::string::npos) return d;
    std::ostringstream warnings;
    try {
        d.reader.emplace(name, std::move(bytes), warnings);
        d.format = FileFormat::kText;
    } catch (const Error& e) {
        // Without the backend there is nothing else it can be.
        if (!gwyddion::backend_built()) throw;
        d.not_text = e;
    }
    d.warnings = warnings.str();
    return d;
}

// Reads the instrument file `name` through Gwyddion (in a reading program),
// with its failures as Errors naming the file.
gwyddion::InstrumentFile read_instrument(const std::string& name, const gwyddion::ChannelPick& pick,
                                         const Detected& d, std::ostream& out) {
    try {
        return gwyddion::read_isolated(name, pick);
    } catch (const gwyddion::UnknownFormat& e) {
        if (d.not_text) {
            out << d.warnings;
            throw *d.not_text;
        }
        throw Error(ErrorKind::kBadValue,
                    name + ": not a text image, a .gsf file or a file Gwyddion reads (" + e.what() + ")");
    } catch (const gwyddion::ReadError& e) {
        const bool why_here = d.not_text || gwyddion::backend_built();
        throw Error(ErrorKind::kBadValue, name + ": " + (why_here ? "" : "not a text image or .gsf file: ") + e.what());
    }
}

}  // namespace

FileFormat format_by_head(const std::string& name, std::string_view head) {
    if (looks_like_gsf(head)) return FileFormat::kGsf;
    if (head.find('\0') != std::string_view::npos) return FileFormat::kInstrument;
    std::ostringstream quiet;
    try {
        TextImageReader reader(name, std::string(head), quiet);
        return FileFormat::kText;
    } catch (const Error&) {
        return gwyddion::backend_built() ? FileFormat::kInstrument : FileFormat::kText;
    }
}

FileFormat format_of_file(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    if (!in) return FileFormat::kText;
    std::string head(1 << 16, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(in.gcount()));
    return format_by_head(name, head);
}

FileFormat default_output_format(FileFormat input) {
    return input == FileFormat::kInstrument ? FileFormat::kGsf : input;
}

OpenedFile open_image_file(const std::string& name, std::string bytes, std::ostream& out,
                           const std::string& channel) {
    Detected d = detect(name, std::move(bytes));
    OpenedFile f;
    f.format = d.format;
    if (d.format == FileFormat::kGsf) {
        f.bytes = std::move(d.bytes);
    } else if (d.format == FileFormat::kText) {
        out << d.warnings;
        f.text = std::move(d.reader);
    } else {
        gwyddion::InstrumentFile file = read_instrument(name, gwyddion::ChannelPick::parse(channel), d, out);
        for (gwyddion::ChannelValues& v : file.picked)
            f.instrument.push_back(instrument_image_file(name, std::move(v), channel == "all-height"));
    }
    return f;
}

std::vector<ChannelChoice> channel_choices(const std::string& name, const std::string& channel) {
    if (gwyddion::ChannelPick::parse(channel).kind != gwyddion::ChannelPick::Kind::kAllHeight) return {{channel, {}}};
    std::ostringstream quiet;
    Detected d = detect(name, read_whole_file(name));
    if (d.format != FileFormat::kInstrument) return {{{}, {}}};
    gwyddion::ChannelPick none;
    none.kind = gwyddion::ChannelPick::Kind::kNone;
    const std::vector<gwyddion::Channel> channels = read_instrument(name, none, d, quiet).channels;
    std::vector<ChannelChoice> choices;
    try {
        for (const std::size_t k : gwyddion::pick_channels(channels, gwyddion::ChannelPick::parse(channel)))
            choices.push_back({std::to_string(channels[k].number), channel_tag(channels[k])});
    } catch (const gwyddion::ReadError& e) {
        throw Error(ErrorKind::kBadValue, name + ": " + e.what());
    }
    return choices;
}

std::vector<ImageFile> read_image_files(const std::string& name, std::ostream& out, int threads,
                                        const std::string& channel) {
    out << "Opening image: " << name << '\n';
    OpenedFile f = open_image_file(name, read_whole_file(name, threads), out, channel);
    if (f.format == FileFormat::kGsf) return {gsf_image_file(name, f.bytes)};
    if (f.format == FileFormat::kText) return {text_image_file(name, *f.text, threads)};
    return std::move(f.instrument);
}

ImageFile read_image_file(const std::string& name, std::ostream& out, int threads, const std::string& channel) {
    if (gwyddion::ChannelPick::parse(channel).kind == gwyddion::ChannelPick::Kind::kAllHeight) {
        throw Error(ErrorKind::kBadValue, name + ": one image is read at a time; pick one channel");
    }
    std::vector<ImageFile> images = read_image_files(name, out, threads, channel);
    return std::move(images.front());
}

std::vector<gwyddion::Channel> image_channels(const std::string& name) {
    std::ostringstream quiet;
    Detected d = detect(name, read_whole_file(name));
    if (d.format == FileFormat::kInstrument) {
        gwyddion::ChannelPick none;
        none.kind = gwyddion::ChannelPick::Kind::kNone;
        return read_instrument(name, none, d, quiet).channels;
    }
    ImageFile f = d.format == FileFormat::kGsf ? gsf_image_file(name, d.bytes) : text_image_file(name, *d.reader, 1);
    const double offset_scale = std::pow(10.0, length_unit_exponent(f.gsf.xyunits));
    gwyddion::Channel c;
    c.title = f.gsf.title.empty() ? std::filesystem::path(name).filename().string() : f.gsf.title;
    c.xres = f.image.nx;
    c.yres = f.image.ny;
    c.xreal = f.image.span_x * f.image.unit;
    c.yreal = f.image.span_y * f.image.unit;
    c.xoffset = f.gsf.xoffset * offset_scale;
    c.yoffset = f.gsf.yoffset * offset_scale;
    c.xy_unit = "m";
    c.z_unit = f.gsf.zunits;
    return {c};
}

std::string channel_file_name(const std::string& name, const std::string& channel) {
    if (channel.empty()) return name;
    const std::filesystem::path p(name);
    return (p.parent_path() / (p.stem().string() + "_" + channel + p.extension().string())).string();
}

GsfImage gsf_header_in_metres(const Image& image) {
    GsfImage g;
    g.xreal = image.span_x * image.unit;
    g.yreal = image.span_y * image.unit;
    g.xyunits = "m";
    return g;
}

FileToWrite output_file(const ImageFile& source, Output which, const Image& image, std::string path,
                        FileFormat format, std::string_view text_zunits) {
    FileToWrite f{std::move(path), format, source.name, {}, {}};
    if (format != FileFormat::kGsf) return f;
    GsfImage& g = f.header;
    if (source.format != FileFormat::kText) {
        // The input's own extents, offsets and units, scaled to the square grid.
        g.xreal = source.gsf.xreal * image.nx / source.image.nx;
        g.yreal = source.gsf.yreal * image.ny / source.image.ny;
        g.xoffset = source.gsf.xoffset;
        g.yoffset = source.gsf.yoffset;
        g.xyunits = source.gsf.xyunits;
        g.zunits = source.gsf.zunits;
        g.title = source.gsf.title;
    } else {
        // A text image's heights are in metres unless told otherwise, and
        // its title is its name without the extension.
        g = gsf_header_in_metres(image);
        g.zunits = text_zunits;
        g.title = std::filesystem::path(source.name).stem().string();
    }
    const OutputInfo& info = output_info(which);
    if (!info.height_unit) g.zunits.clear();
    if (g.title.empty()) g.title = std::filesystem::path(source.name).filename().string();
    g.title = std::string(info.prefix) + g.title;
    // The gain of a scan that ran on a larger square is a map of that
    // square's spectrum, not an image of the scan.
    if (which == Output::kGain && (image.nx != source.image.nx || image.ny != source.image.ny)) {
        g.title += " (gain on the spectrum of the " + std::to_string(image.nx) + " x " + std::to_string(image.ny) +
                   " padded square)";
    }
    return f;
}

TextNotes output_notes(const ImageFile& source, Output which) {
    static constexpr const char* kWhat[] = {"the filter gain on the centred spectrum", "the stripe noise removed",
                                            "the image cleaned of its stripes"};
    const std::string input = std::filesystem::path(source.name).filename().string();
    TextNotes notes;
    notes.about = std::string(output_info(which).prefix) + " of " + input + ": " +
                  kWhat[static_cast<std::size_t>(which)] +
                  (source.comments.empty() ? "" : "; the comment lines of " + input + " follow");
    notes.comments = source.comments;
    return notes;
}

std::string output_file_name(Output which, const std::string& name, FileFormat input, FileFormat output) {
    const std::string prefix(output_info(which).prefix);
    if (input == output) return prefix + name;
    return prefix + std::filesystem::path(name).stem().string() + (output == FileFormat::kGsf ? ".gsf" : ".txt");
}

void write_image_file(std::ostream& out, const FileToWrite& f, const Image& image, int threads) {
    stage_image_file(out, f, image, threads).commit();
}

AtomicFile stage_image_file(std::ostream& out, const FileToWrite& f, const Image& image, int threads) {
    if (f.format == FileFormat::kText) {
        return stage_image(out, f.source, f.path, std::string(kComment), image.nx, image.ny, image.span_x,
                           image.span_y, image.values.data(), image.unit, threads, f.notes ? &*f.notes : nullptr);
    }
    out << "Saving image: " << f.path << '\n';
    GsfImage g = f.header;
    g.xres = image.nx;
    g.yres = image.ny;
    g.values = image.values;
    return stage_gsf(f.path, g);
}

}  // namespace veltrane2
