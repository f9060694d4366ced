// Two parameter sets equal bit for bit (a NaN equals itself, -0 is not 0).
#pragma once

#include <cstring>

#include <veltrane2/veltrane2.hpp>

inline bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

inline bool same_parameters(const veltrane2::Parameters& a, const veltrane2::Parameters& b) {
    return same_bits(a.h_global, b.h_global) && same_bits(a.h_centre, b.h_centre) && same_bits(a.h_off, b.h_off) &&
           same_bits(a.r_centre, b.r_centre) && same_bits(a.l_centre, b.l_centre) && same_bits(a.l_off, b.l_off) &&
           a.n_run == b.n_run && a.grouped == b.grouped;
}
