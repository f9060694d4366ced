// The .gsf reader on arbitrary file contents; what it accepts must come back
// unchanged through the writer.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/errors.hpp"
#include "io/gsf.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    veltrane2::GsfImage g;
    try {
        g = veltrane2::parse_gsf(std::string_view(reinterpret_cast<const char*>(data), size), "fuzz.gsf");
    } catch (const veltrane2::RunError&) {
        return 0;
    }
    const veltrane2::GsfImage back = veltrane2::parse_gsf(veltrane2::format_gsf(g), "again.gsf");
    if (back.xres != g.xres || back.yres != g.yres || back.values != g.values || back.xreal != g.xreal ||
        back.yreal != g.yreal || back.xoffset != g.xoffset || back.yoffset != g.yoffset)
        std::abort();
    return 0;
}
