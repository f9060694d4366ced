// The logarithmic spectral density: the amplitude of the centred spectrum
// and its logarithm, in one sweep.
#pragma once

#include <cmath>

#include "core/constants.hpp"
#include "image/grid.hpp"

namespace veltrane2 {

// The amplitude of a coefficient as fft_spectral_density forms it.
inline double amplitude(double re, double im) {
    return std::sqrt(im * im + re * re);
}

// The smallest amplitude that has a logarithm of its own.
inline bool has_logarithm(double a) {
    return a > kPvtiny * kPvtiny;
}

// fmage = log |F| of every coefficient, on up to `threads` threads;
// amplitudes too small for a logarithm take the smallest logarithm found,
// which is returned (9999.99f widened when no amplitude has one): the
// lowest value of fmage. The highest goes to *highest when it is given.
// The values do not depend on the thread count.
double log_fft_spectral(int threads, const RealImage& fr, const RealImage& fi, RealImage& fmage,
                        double* highest = nullptr);

// The log spectrum at one coefficient, as log_fft_spectral() forms it: from
// the spectrum and the smallest logarithm that it returned.
struct LogAmplitude {
    const RealImage& fr;
    const RealImage& fi;
    double floor;
    double at(int i, int j) const {
        const double a = amplitude(fr(i, j), fi(i, j));
        return has_logarithm(a) ? std::log(a) : floor;
    }
};

}  // namespace veltrane2
