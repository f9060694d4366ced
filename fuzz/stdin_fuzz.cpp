// The classic program's standard-input reader on arbitrary input. What it
// accepts must echo in full, and the echoed values, typed back as standard
// input, must read to the same values, bit for bit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>

#include "core/errors.hpp"
#include "run/params.hpp"

namespace {

bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool same(const veltrane2::Parameters& a, const veltrane2::Parameters& b) {
    return same(a.h_global, b.h_global) && same(a.h_centre, b.h_centre) && same(a.h_off, b.h_off) &&
           same(a.r_centre, b.r_centre) && same(a.l_centre, b.l_centre) && same(a.l_off, b.l_off) &&
           a.n_run == b.n_run && a.grouped == b.grouped;
}

}  // namespace

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
    if (!same(first.parameters, second.parameters) || echo2.str() != echo.str()) std::abort();
    return 0;
}
