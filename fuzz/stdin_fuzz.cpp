// The classic program's standard-input reader on arbitrary input.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "core/errors.hpp"
#include "run/params.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::ostream quiet(nullptr);
    try {
        veltrane2::inpt_veltrane(in, quiet);
    } catch (const veltrane2::RunError&) {
    }
    return 0;
}
