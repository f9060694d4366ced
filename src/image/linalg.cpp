#include "image/linalg.hpp"

#include <cmath>

namespace veltrane2 {

double vov(int nlen, const double* a, const double* b) {
    double s = 0.0;
    for (int k = 0; k < nlen; ++k) s += a[k] * b[k];
    return s;
}

double vnorm2(int ndim, const double* vec) {
    return vov(ndim, vec, vec);
}

double vnorm(int ndim, const double* vec) {
    return std::sqrt(vnorm2(ndim, vec));
}

void norm_v(int nlen, double* v) {
    const double dlen = std::sqrt(vnorm2(nlen, v));
    for (int k = 0; k < nlen; ++k) v[k] = v[k] / dlen;
}

void mxv(const double* tm, const double* vec, double* fvec, int nrow, int ncol) {
    for (int i = 0; i < nrow; ++i) {
        double s = 0.0;
        for (int j = 0; j < ncol; ++j) s += tm[i + j * nrow] * vec[j];
        fvec[i] = s;
    }
}

double intpower(double base, int intp) {
    double r = 1.0;
    for (int k = 0; k < intp; ++k) r = r * base;
    return r;
}

double det_mat2d(double a11, double a12, double a21, double a22) {
    return a11 * a22 - a12 * a21;
}

void eigenvalue_mat2d(const Mat2& a, double eigval[2]) {
    const double trace = a(1, 1) + a(2, 2);
    const double trace2 = trace * trace;
    const double det = det_mat2d(a(1, 1), a(1, 2), a(2, 1), a(2, 2));
    const double sdt = std::sqrt(trace2 - 4.0 * det);
    eigval[0] = 0.5 * (trace - sdt);
    eigval[1] = 0.5 * (trace + sdt);
}

void eigenvector_mat2d(const Mat2& a, const double eigval[2], Mat2& eigvec) {
    // For eigenvalue e, (-a12, a11 - e) solves the first row of (a - e) x = 0
    // and (a22 - e, -a12) the second; either is an eigenvector unless zero.
    auto unit = [](double x, double y, double alt_x, double alt_y, double axis_x, double axis_y, double out[2]) {
        if (x != 0.0 || y != 0.0) {
            out[0] = x;
            out[1] = y;
        } else if (alt_x != 0.0 || alt_y != 0.0) {
            out[0] = alt_x;
            out[1] = alt_y;
        } else {
            out[0] = axis_x;
            out[1] = axis_y;
        }
        norm_v(2, out);
    };
    double vec[2];
    unit(-a(1, 2), a(1, 1) - eigval[0], a(2, 2) - eigval[0], -a(1, 2), 1.0, 0.0, vec);
    eigvec(1, 1) = vec[0];
    eigvec(2, 1) = vec[1];
    unit(a(2, 2) - eigval[1], -a(1, 2), -a(1, 2), a(1, 1) - eigval[1], 0.0, 1.0, vec);
    eigvec(1, 2) = vec[0];
    eigvec(2, 2) = vec[1];
}

template <int N>
void invt(int n, const SmallMat<N>& tm0, SmallMat<N>& tmi) {
    SmallMat<N> tm = tm0;  // eliminated on a copy: the input stays as it was
    tmi = SmallMat<N>{};
    for (int k = 1; k <= n; ++k) tmi(k, k) = 1.0;
    for (int mm = 1; mm <= n; ++mm) {
        if (tm(mm, mm) == 0.0) {
            int jj = mm;
            while (jj <= n && tm(jj, mm) == 0.0) ++jj;
            if (jj > n) continue;
            for (int c = 1; c <= n; ++c) {
                tm(mm, c) = tm(mm, c) + tm(jj, c);
                tmi(mm, c) = tmi(mm, c) + tmi(jj, c);
            }
        }
        const double sub = tm(mm, mm);
        for (int c = 1; c <= n; ++c) {
            tm(mm, c) = tm(mm, c) / sub;
            tmi(mm, c) = tmi(mm, c) / sub;
        }
        for (int jj = 1; jj <= n; ++jj) {
            if (jj == mm) continue;
            const double s = tm(jj, mm);
            for (int c = 1; c <= n; ++c) {
                tm(jj, c) = tm(jj, c) - s * tm(mm, c);
                tmi(jj, c) = tmi(jj, c) - s * tmi(mm, c);
            }
        }
    }
}

template void invt<2>(int, const SmallMat<2>&, SmallMat<2>&);
template void invt<3>(int, const SmallMat<3>&, SmallMat<3>&);

}  // namespace veltrane2
