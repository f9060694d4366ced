#include "spectral/fft.hpp"

#include <cmath>
#include <utility>

#include "run/errors.hpp"
#include "run/listout.hpp"

namespace veltrane2 {

void my_four1(const Fconst2& fc, double* data0, int ndim, int nn, int isign) {
    const int n = 2 * nn;
    if (ndim < n) throw FatalStop(list_line(" 2(# of data) > NDIM in MY_four1 ", n, ndim));
    double* data = data0 - 1;  // 1-based positions below

    // Bit-reversal reordering.
    int j = 1;
    for (int i = 1; i < n; i += 2) {
        if (j > i) {
            std::swap(data[j], data[i]);
            std::swap(data[j + 1], data[i + 1]);
        }
        int k = n / 2;
        while (k >= 2 && j > k) {
            j -= k;
            k /= 2;
        }
        j += k;
    }

    // Butterfly stages; each computes its rotation step with one cosine and
    // one sine and advances the rotation factor by complex multiplication.
    int mmax = 2;
    while (n > mmax) {
        const int istep = 2 * mmax;
        const double theta = fc.twopi * static_cast<double>(isign) / static_cast<double>(mmax);
        const double wpr = std::cos(theta);
        const double wpi = std::sin(theta);
        double wr = 1.0;
        double wi = 0.0;
        for (int mm = 1; mm < mmax; mm += 2) {
            for (int i = mm; i <= n; i += istep) {
                const int jj = i + mmax;
                const double tempr = wr * data[jj] - wi * data[jj + 1];
                const double tempi = wr * data[jj + 1] + wi * data[jj];
                data[jj] = data[i] - tempr;
                data[jj + 1] = data[i + 1] - tempi;
                data[i] = data[i] + tempr;
                data[i + 1] = data[i + 1] + tempi;
            }
            const double wtemp = wr;
            wr = wpr * wr - wpi * wi;
            wi = wpi * wtemp + wpr * wi;
        }
        mmax = istep;
    }

    if (isign == -1) {
        const double scale = static_cast<double>(nn);
        for (int k = 1; k <= n; ++k) data[k] = data[k] / scale;
    }
}

void dtwofft(const Fconst2& fc, int n, const double* data1, const double* data2, double* fft1, double* fft2) {
    std::vector<double> data(2 * static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) {
        data[2 * k] = data1[k];
        data[2 * k + 1] = data2[k];
    }
    my_four1(fc, data.data(), static_cast<int>(data.size()), n, +1);

    // 1-based positions below.
    const double* d = data.data() - 1;
    double* f1 = fft1 - 1;
    double* f2 = fft2 - 1;
    f1[1] = d[1];
    f1[2] = 0.0;
    f2[1] = d[2];
    f2[2] = 0.0;
    const int nyq = n / 2 + 1;
    for (int j = 2; j <= nyq; ++j) {
        const int k = n + 2 - j;
        const double h1r = 0.5 * (d[2 * j - 1] + d[2 * k - 1]);
        const double h1i = 0.5 * (d[2 * j] - d[2 * k]);
        const double h2r = 0.5 * (d[2 * j] + d[2 * k]);
        const double h2i = -0.5 * (d[2 * j - 1] - d[2 * k - 1]);
        f1[2 * j - 1] = h1r;
        f1[2 * j] = h1i;
        f2[2 * j - 1] = h2r;
        f2[2 * j] = h2i;
        if (j < nyq) {
            f1[2 * k - 1] = h1r;
            f1[2 * k] = -h1i;
            f2[2 * k - 1] = h2r;
            f2[2 * k] = -h2i;
        }
    }
}

void fft2d_x(const Fconst2& fc, int m, const RealImage& marker, RealImage& fft_re, RealImage& fft_im) {
    std::vector<double> data1(static_cast<std::size_t>(m));
    std::vector<double> data2(static_cast<std::size_t>(m));
    std::vector<double> fft1(2 * static_cast<std::size_t>(m));
    std::vector<double> fft2(2 * static_cast<std::size_t>(m));
    for (int j = 1; j <= m; j += 2) {
        const int j1 = j + 1;
        for (int i = 1; i <= m; ++i) {
            data1[i - 1] = marker(i, j);
            data2[i - 1] = marker(i, j1);
        }
        dtwofft(fc, m, data1.data(), data2.data(), fft1.data(), fft2.data());
        for (int i = 1; i <= m; ++i) {
            fft_re(i, j) = fft1[2 * i - 2];
            fft_im(i, j) = fft1[2 * i - 1];
            fft_re(i, j1) = fft2[2 * i - 2];
            fft_im(i, j1) = fft2[2 * i - 1];
        }
    }
}

void fft2d(const Fconst2& fc, int m, const RealImage& marker, RealImage& fft_re, RealImage& fft_im) {
    RealImage fftr = RealImage::square(m);
    RealImage ffti = RealImage::square(m);
    fft2d_x(fc, m, marker, fftr, ffti);

    std::vector<double> data(2 * static_cast<std::size_t>(m));
    for (int i = 1; i <= m; ++i) {
        for (int j = 1; j <= m; ++j) {
            data[2 * j - 2] = fftr(i, j);
            data[2 * j - 1] = ffti(i, j);
        }
        my_four1(fc, data.data(), static_cast<int>(data.size()), m, +1);
        for (int v = 1; v <= m; ++v) {
            fft_re(i, v) = data[2 * v - 2];
            fft_im(i, v) = data[2 * v - 1];
        }
    }
}

void inv_fft2d_y(const Fconst2& fc, int m, const RealImage& fft_re, const RealImage& fft_im, RealImage& ffty_r,
                 RealImage& ffty_i) {
    std::vector<double> data(2 * static_cast<std::size_t>(m));
    for (int i = 1; i <= m; ++i) {
        for (int j = 1; j <= m; ++j) {
            data[2 * j - 2] = fft_re(i, j);
            data[2 * j - 1] = fft_im(i, j);
        }
        my_four1(fc, data.data(), static_cast<int>(data.size()), m, -1);
        for (int j = 1; j <= m; ++j) {
            ffty_r(i, j) = data[2 * j - 2];
            ffty_i(i, j) = data[2 * j - 1];
        }
    }
}

void inv_fft2d(const Fconst2& fc, int m, const RealImage& fft_re, const RealImage& fft_im, RealImage& marker) {
    RealImage fftyr = RealImage::square(m);
    RealImage fftyi = RealImage::square(m);
    inv_fft2d_y(fc, m, fft_re, fft_im, fftyr, fftyi);

    std::vector<double> data(2 * static_cast<std::size_t>(m));
    for (int j = 1; j <= m; ++j) {
        for (int i = 1; i <= m; ++i) {
            data[2 * i - 2] = fftyr(i, j);
            data[2 * i - 1] = fftyi(i, j);
        }
        my_four1(fc, data.data(), static_cast<int>(data.size()), m, -1);
        for (int i = 1; i <= m; ++i) marker(i, j) = data[2 * i - 2];
    }
}

}  // namespace veltrane2
