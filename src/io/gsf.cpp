#include "io/gsf.hpp"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "core/errors.hpp"
#include "io/atomic_file.hpp"
#include "io/text_image.hpp"

namespace veltrane2 {
namespace {

[[noreturn]] void bad(const std::string& name, const std::string& what) {
    throw Error(ErrorKind::kBadValue, name + ": " + what);
}

std::string_view trim(std::string_view s) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

long long to_size(std::string_view v, const std::string& key, const std::string& name) {
    long long x = 0;
    const auto res = std::from_chars(v.data(), v.data() + v.size(), x);
    if (v.empty() || res.ec != std::errc() || res.ptr != v.data() + v.size()) {
        bad(name, key + " is not a whole number: '" + std::string(v) + "'");
    }
    if (x <= 0 || x > kGsfLargestSide) {
        bad(name, key + " = " + std::string(v) + " is not a size from 1 to " + std::to_string(kGsfLargestSide));
    }
    return x;
}

double to_real(std::string_view v, const std::string& key, const std::string& name) {
    double x = 0.0;
    const char* b = v.data();
    const char* e = v.data() + v.size();
    if (b != e && *b == '+') ++b;
    const auto res = std::from_chars(b, e, x);
    if (b == e || res.ec != std::errc() || res.ptr != e || !std::isfinite(x)) {
        bad(name, key + " is not a finite number: '" + std::string(v) + "'");
    }
    return x;
}

float load_le_float(const char* p) {
    std::uint32_t u = 0;
    std::memcpy(&u, p, 4);
    if constexpr (std::endian::native == std::endian::big) u = __builtin_bswap32(u);
    return std::bit_cast<float>(u);
}

void store_le_float(char* p, float f) {
    std::uint32_t u = std::bit_cast<std::uint32_t>(f);
    if constexpr (std::endian::native == std::endian::big) u = __builtin_bswap32(u);
    std::memcpy(p, &u, 4);
}

std::string one_line(std::string_view s) {
    std::string t(s);
    for (char& c : t)
        if (c == '\n' || c == '\r' || c == '\0') c = ' ';
    return t;
}

std::string shortest(double v) {
    char buf[32];
    const auto res = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, res.ptr);
}

}  // namespace

bool looks_like_gsf(std::string_view bytes) {
    if (bytes.substr(0, kGsfMagic.size()) != kGsfMagic) return false;
    const std::string_view rest = bytes.substr(kGsfMagic.size());
    return rest.substr(0, 1) == "\n" || rest.substr(0, 2) == "\r\n";
}

GsfImage parse_gsf(std::string_view bytes, const std::string& name) {
    if (!looks_like_gsf(bytes)) bad(name, "the first line is not \"" + std::string(kGsfMagic) + "\"");
    const std::size_t nul = bytes.find('\0');
    if (nul == std::string_view::npos) bad(name, "the header has no NUL byte after it");

    GsfImage img;
    long long xres = 0, yres = 0;
    std::size_t pos = bytes.find('\n') + 1;
    int line_no = 1;
    while (pos < nul) {
        ++line_no;
        std::size_t eol = bytes.find('\n', pos);
        if (eol == std::string_view::npos || eol > nul) eol = nul;
        const std::string_view line = trim(bytes.substr(pos, eol - pos));
        pos = eol + 1;
        if (line.empty()) continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos || trim(line.substr(0, eq)).empty()) {
            bad(name, "header line " + std::to_string(line_no) + " is not \"Key = Value\"");
        }
        const std::string key(trim(line.substr(0, eq)));
        const std::string_view value = trim(line.substr(eq + 1));
        if (key == "XRes") {
            xres = to_size(value, key, name);
        } else if (key == "YRes") {
            yres = to_size(value, key, name);
        } else if (key == "XReal" || key == "YReal") {
            const double v = to_real(value, key, name);
            if (v <= 0.0) bad(name, key + " = " + std::string(value) + " is not a positive extent");
            (key == "XReal" ? img.xreal : img.yreal) = v;
        } else if (key == "XOffset") {
            img.xoffset = to_real(value, key, name);
        } else if (key == "YOffset") {
            img.yoffset = to_real(value, key, name);
        } else if (key == "XYUnits") {
            img.xyunits = value;
        } else if (key == "ZUnits") {
            img.zunits = value;
        } else if (key == "Title") {
            img.title = value;
        } else {
            img.other.emplace_back(key, value);
        }
    }
    if (xres == 0) bad(name, "the header has no XRes");
    if (yres == 0) bad(name, "the header has no YRes");

    // One to four NULs bring the data to a multiple of 4 bytes.
    const std::size_t data = (nul / 4 + 1) * 4;
    for (std::size_t k = nul; k < data; ++k) {
        if (k >= bytes.size() || bytes[k] != '\0') bad(name, "the header is not padded with NUL bytes to a multiple of 4");
    }
    const long long count = xres * yres;
    const std::size_t have = (bytes.size() - data) / 4;
    if (static_cast<unsigned long long>(count) > have) {
        bad(name, "the data end after " + std::to_string(have) + " of " + std::to_string(count) + " values");
    }
    img.xres = static_cast<int>(xres);
    img.yres = static_cast<int>(yres);
    img.values.resize(static_cast<std::size_t>(count));
    const char* p = bytes.data() + data;
    for (long long k = 0; k < count; ++k, p += 4) {
        const float v = load_le_float(p);
        if (!std::isfinite(v)) {
            bad(name, "value " + std::to_string(k + 1) + " of " + std::to_string(count) + " (row " +
                          std::to_string(k / xres + 1) + ", column " + std::to_string(k % xres + 1) +
                          ") is not finite");
        }
        img.values[static_cast<std::size_t>(k)] = v;
    }
    return img;
}

GsfImage read_gsf(const std::string& name) {
    return parse_gsf(read_whole_file(name), name);
}

std::string format_gsf(const GsfImage& image) {
    std::string s(kGsfMagic);
    s += '\n';
    const auto key = [&s](const char* k, const std::string& v) {
        s += k;
        s += " = ";
        s += v;
        s += '\n';
    };
    key("XRes", std::to_string(image.xres));
    key("YRes", std::to_string(image.yres));
    key("XReal", shortest(image.xreal));
    key("YReal", shortest(image.yreal));
    if (image.xoffset != 0.0) key("XOffset", shortest(image.xoffset));
    if (image.yoffset != 0.0) key("YOffset", shortest(image.yoffset));
    if (!image.xyunits.empty()) key("XYUnits", one_line(image.xyunits));
    if (!image.zunits.empty()) key("ZUnits", one_line(image.zunits));
    if (!image.title.empty()) key("Title", one_line(image.title));
    s.append(4 - s.size() % 4, '\0');
    const std::size_t start = s.size();
    s.resize(start + 4 * image.values.size());
    char* p = s.data() + start;
    for (double v : image.values) {
        store_le_float(p, static_cast<float>(v));
        p += 4;
    }
    return s;
}

void check_gsf(const GsfImage& image, const std::string& name) {
    for (const auto& [key, size] : {std::pair{"XRes", image.xres}, {"YRes", image.yres}}) {
        if (size <= 0 || size > kGsfLargestSide)
            bad(name, std::string(key) + " = " + std::to_string(size) + " is not a size from 1 to " +
                          std::to_string(kGsfLargestSide));
    }
    const long long count = static_cast<long long>(image.xres) * image.yres;
    if (static_cast<long long>(image.values.size()) != count) {
        bad(name, "the image holds " + std::to_string(image.values.size()) + " values, not " +
                      std::to_string(image.xres) + " x " + std::to_string(image.yres));
    }
    for (const auto& [key, extent] : {std::pair{"XReal", image.xreal}, {"YReal", image.yreal}}) {
        if (!std::isfinite(extent) || extent <= 0.0)
            bad(name, std::string(key) + " = " + shortest(extent) + " is not a positive finite extent");
    }
    for (const auto& [key, offset] : {std::pair{"XOffset", image.xoffset}, {"YOffset", image.yoffset}}) {
        if (!std::isfinite(offset)) bad(name, std::string(key) + " = " + shortest(offset) + " is not finite");
    }
    for (long long k = 0; k < count; ++k) {
        const double v = image.values[static_cast<std::size_t>(k)];
        if (!std::isfinite(static_cast<float>(v))) {
            bad(name, "value " + std::to_string(k + 1) + " of " + std::to_string(count) + " (row " +
                          std::to_string(k / image.xres + 1) + ", column " + std::to_string(k % image.xres + 1) +
                          ") is " + shortest(v) + ", which a .gsf file's 32-bit floats cannot hold");
        }
    }
}

AtomicFile stage_gsf(const std::string& name, const GsfImage& image) {
    check_gsf(image, name);
    const std::string bytes = format_gsf(image);
    AtomicFile file(name);
    file.write(bytes.data(), bytes.size());
    return file;
}

void write_gsf(const std::string& name, const GsfImage& image) {
    stage_gsf(name, image).commit();
}

int length_unit_exponent(std::string_view unit) {
    struct Prefix {
        std::string_view unit;
        int exponent;
    };
    static constexpr Prefix kUnits[] = {{"km", 3}, {"m", 0},    {"mm", -3},  {"um", -6},  {"µm", -6}, {"\xb5m", -6},
                                        {"nm", -9}, {"A", -10}, {"Å", -10}, {"pm", -12}, {"fm", -15}};
    for (const Prefix& p : kUnits)
        if (p.unit == unit) return p.exponent;
    return 0;
}

}  // namespace veltrane2
