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
    if (h.nx <= 0 || h.ny <= 0 || h.nx > kLargestSide || h.ny > kLargestSide) {
        throw RunError(kExitFileError, name + ": the header gives " + std::to_string(h.nx) + " x " +
                                           std::to_string(h.ny) + " values; both sizes must be from 1 to " +
                                           std::to_string(kLargestSide));
    }
    f.image = Image{static_cast<int>(h.nx), static_cast<int>(h.ny), h.spanx, h.spany, h.unit, {}};
    f.image.values.resize(static_cast<std::size_t>(h.nx * h.ny));
    reader.read_values(f.image.values.data(), threads);
    return f;
}

void write_image_file(std::ostream& out, const ImageFile& source, const std::string& prefix,
                      const std::string& fileout, FileFormat format, const Image& image, int threads) {
    stage_image_file(out, source, prefix, fileout, format, image, threads).commit();
}

AtomicFile stage_image_file(std::ostream& out, const ImageFile& source, const std::string& prefix,
                            const std::string& fileout, FileFormat format, const Image& image, int threads) {
    if (format == FileFormat::kText) {
        return stage_image(out, source.name, fileout, std::string(kComment), image.nx, image.ny, image.span_x,
                           image.span_y, image.values.data(), image.unit, threads);
    }
    out << "Saving image: " << fileout << '\n';
    GsfImage g;
    g.xres = image.nx;
    g.yres = image.ny;
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
        g.xreal = image.span_x * image.unit;
        g.yreal = image.span_y * image.unit;
        g.xyunits = "m";
    }
    if (prefix == "FIL_") g.zunits.clear();
    if (g.title.empty()) g.title = std::filesystem::path(source.name).filename().string();
    g.title = prefix + g.title;
    g.values = image.values;
    return stage_gsf(fileout, g);
}

}  // namespace veltrane2
