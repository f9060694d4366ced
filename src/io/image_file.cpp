#include "io/image_file.hpp"

#include <charconv>
#include <filesystem>

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

ImageFile read_image_file(const std::string& name, std::ostream& out, int threads) {
    out << "Opening image: " << name << '\n';
    std::string bytes = read_whole_file(name, threads);
    if (looks_like_gsf(bytes)) return gsf_image_file(name, bytes);
    ImageFile f;
    f.name = name;
    TextImageReader reader(name, std::move(bytes), out);
    const ImageHeader& h = reader.header();
    if (h.nx > kLargestSide || h.ny > kLargestSide) {
        throw Error(ErrorKind::kBadShape, name + ": " + std::to_string(h.nx) + " x " + std::to_string(h.ny) +
                                              " is larger than the largest side " + std::to_string(kLargestSide));
    }
    f.image = Image{static_cast<int>(h.nx), static_cast<int>(h.ny), h.spanx, h.spany, h.unit, {}};
    f.image.values.resize(static_cast<std::size_t>(h.nx * h.ny));
    reader.read_values(f.image.values.data(), threads);
    return f;
}

GsfImage gsf_header_in_metres(const Image& image) {
    GsfImage g;
    g.xreal = image.span_x * image.unit;
    g.yreal = image.span_y * image.unit;
    g.xyunits = "m";
    return g;
}

FileToWrite output_file(const ImageFile& source, Output which, const Image& image, std::string path,
                        FileFormat format) {
    FileToWrite f{std::move(path), format, source.name, {}};
    if (format != FileFormat::kGsf) return f;
    GsfImage& g = f.header;
    if (source.format == FileFormat::kGsf) {
        // The input's own extents and units, scaled to the square grid.
        g.xreal = source.gsf.xreal * image.nx / source.image.nx;
        g.yreal = source.gsf.yreal * image.ny / source.image.ny;
        g.xoffset = source.gsf.xoffset;
        g.yoffset = source.gsf.yoffset;
        g.xyunits = source.gsf.xyunits;
        g.zunits = source.gsf.zunits;
        g.title = source.gsf.title;
    } else {
        g = gsf_header_in_metres(image);
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
                           image.span_y, image.values.data(), image.unit, threads);
    }
    out << "Saving image: " << f.path << '\n';
    GsfImage g = f.header;
    g.xres = image.nx;
    g.yres = image.ny;
    g.values = image.values;
    return stage_gsf(f.path, g);
}

}  // namespace veltrane2
