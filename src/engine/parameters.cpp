// The range of each run parameter, from what the stages compare it with.
#include <charconv>
#include <cmath>
#include <string>

#include <veltrane2/veltrane2.hpp>

#include "core/listout.hpp"

namespace veltrane2 {
namespace {

// A finite value from lo to hi (no upper end when hi is infinite).
void check_real(const char* name, double v, double lo, double hi, const char* meaning) {
    if (std::isfinite(v) && v >= lo && v <= hi) return;
    const std::string range = "from " + shown(lo) + (std::isfinite(hi) ? " to " + shown(hi) : " up");
    throw Error(ErrorKind::kBadValue, std::string(name) + " = " + shown(v) + " is out of range: " + meaning + ", a " +
                                        "number " + range);
}

}  // namespace

void check_parameters(const Parameters& p) {
    check_real("h_G", p.h_global, 0.0, 1.0, "a homogeneity threshold");
    check_real("h_C", p.h_centre, 0.0, 1.0, "a homogeneity threshold");
    check_real("h_F", p.h_off, 0.0, 1.0, "a homogeneity threshold");
    check_real("r_C", p.r_centre, 0.0, 1.0, "a bright fraction");
    check_real("L_C", p.l_centre, 0.0, HUGE_VAL, "a line fraction");
    check_real("L_F", p.l_off, 0.0, HUGE_VAL, "a line fraction");
    if (p.n_run < 1) {
        throw Error(ErrorKind::kBadValue,
                       "N_CP = " + std::to_string(p.n_run) + " is out of range: a run length in pixels, from 1 up");
    }
}

}  // namespace veltrane2
