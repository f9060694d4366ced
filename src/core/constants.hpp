// The run's fixed constants.
#pragma once

namespace veltrane2 {

// Tolerance for vanishing differences, norms and steps.
inline constexpr double kPvtiny = 1.0e-8;

// 2 pi as the run has always formed it: four times the double nearest pi/4,
// doubled (both steps exact).
inline constexpr double kPi4 = 0.7853981633974483;
inline constexpr double kTwoPi = 4.0 * kPi4 + 4.0 * kPi4;
static_assert(kTwoPi == 6.283185307179586);

}  // namespace veltrane2
