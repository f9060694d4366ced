// The batch mode's parameter file reader on arbitrary contents.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/errors.hpp"
#include "run/params.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    try {
        veltrane2::read_parameters(std::string(reinterpret_cast<const char*>(data), size), "fuzz.in");
    } catch (const veltrane2::RunError&) {
    }
    return 0;
}
