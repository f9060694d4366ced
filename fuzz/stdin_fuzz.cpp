// The classic program's standard-input reader on arbitrary input. What it
// accepts must echo in full, and the echoed values, typed back as standard
// input, must read to the same values, bit for bit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "core/errors.hpp"
#include "run/params.hpp"
#include "same_parameters.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    std::ostringstream echo;
    veltrane2::ClassicInput first;
    try {
        first = veltrane2::inpt_veltrane(in, echo);
    } catch (const veltrane2::RunError&) {
        if (!echo.str().empty()) std::abort();  // nothing is echoed for a refused input
        return 0;
    }
    // " Read in h_G= 0.3" and so on: the value follows the last '='.
    std::istringstream lines(echo.str());
    std::string values[7];
    int n = 0;
    for (std::string line; std::getline(lines, line); ++n) {
        if (n == 7 || line.rfind(" Read in ", 0) != 0) std::abort();
        values[n] = line.substr(line.rfind("= ") + 2);
    }
    if (n != 7) std::abort();
    std::istringstream again("x\n" + values[0] + " " + values[1] +
                             " " + values[2] + "\n" + values[3] + "\n" + values[4] + " " + values[5] + " " +
                             values[6] + "\n");
    std::ostringstream echo2;
    const veltrane2::ClassicInput second = veltrane2::inpt_veltrane(again, echo2);
    if (!same_parameters(first.parameters, second.parameters) || echo2.str() != echo.str()) std::abort();
    return 0;
}
