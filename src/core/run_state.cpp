#include "core/run_state.hpp"

#include <cmath>

namespace veltrane2 {

void parameter_data(Fconst2& fc) {
    fc.pi4 = 0.7853981633974483;
    fc.pi = 4.0 * fc.pi4;
    fc.twopi = fc.pi + fc.pi;
    fc.degree2pi = fc.pi / 180.0;
    fc.dsqrt2pi = std::sqrt(fc.twopi);
}

}  // namespace veltrane2
