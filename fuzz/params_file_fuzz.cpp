// The batch mode's parameter file reader on arbitrary contents. What it
// accepts, written as the batch reports it ("parameters: NAME (h_G h_C h_F /
// r_C / L_C L_F N_CP)") and laid out again as a parameter file, must read to
// the same values, bit for bit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

#include "core/errors.hpp"
#include "run/figures_text.hpp"
#include "run/params.hpp"
#include "same_parameters.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    veltrane2::Parameters first;
    try {
        first = veltrane2::read_parameters(std::string(reinterpret_cast<const char*>(data), size), "fuzz.in");
    } catch (const veltrane2::RunError&) {
        return 0;
    }
    const std::string line = veltrane2::parameters_line("fuzz.in", first);
    const std::size_t open = line.find('('), close = line.find(')');
    if (open == std::string::npos || close == std::string::npos) std::abort();
    std::istringstream fields(line.substr(open + 1, close - open - 1));
    std::string v[7], slash1, slash2;
    fields >> v[0] >> v[1] >> v[2] >> slash1 >> v[3] >> slash2 >> v[4] >> v[5] >> v[6];
    if (!fields || slash1 != "/" || slash2 != "/") std::abort();
    const std::string text = v[0] + " " + v[1] + " " + v[2] + "\n" + v[3] + "\n" + v[4] + " " + v[5] + " " + v[6] + "\n";
    if (!same_parameters(first, veltrane2::read_parameters(text, "again.in"))) std::abort();
    return 0;
}
