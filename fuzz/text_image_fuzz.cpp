// The text image reader on arbitrary file contents.
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "core/errors.hpp"
#include "io/text_image.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::ostream quiet(nullptr);
    try {
        veltrane2::TextImageReader reader("fuzz.txt", std::string(reinterpret_cast<const char*>(data), size), quiet);
        const auto& h = reader.header();
        // As the programs do: the sizes are checked before storage is set aside.
        if (h.nx <= 0 || h.ny <= 0 || h.nx > 4096 || h.ny > 4096) return 0;
        std::vector<double> z(static_cast<std::size_t>(h.nx * h.ny));
        reader.read_values(z.data());
    } catch (const veltrane2::RunError&) {
    }
    return 0;
}
