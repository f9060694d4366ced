// Small vector and matrix helpers: 1-based, matrices stored by columns.
#pragma once

#include <array>

namespace veltrane2 {

// An n x n matrix (n <= N) with 1-based (i, j) access, stored by columns.
template <int N>
struct SmallMat {
    std::array<double, N * N> v{};
    double& operator()(int i, int j) { return v[static_cast<std::size_t>((i - 1) + N * (j - 1))]; }
    double operator()(int i, int j) const { return v[static_cast<std::size_t>((i - 1) + N * (j - 1))]; }
    bool operator==(const SmallMat&) const = default;
};
using Mat2 = SmallMat<2>;
using Mat3 = SmallMat<3>;

// Dot product, summed from the first element to the last.
double vov(int nlen, const double* a, const double* b);
double vnorm2(int ndim, const double* vec);
double vnorm(int ndim, const double* vec);
// Divides v by its length.
void norm_v(int nlen, double* v);
// fvec = tm x vec (tm: nrow x ncol, stored by columns with leading dimension nrow).
void mxv(const double* tm, const double* vec, double* fvec, int nrow, int ncol);
// base multiplied intp times into 1; 1 for intp <= 0.
double intpower(double base, int intp);
double det_mat2d(double a11, double a12, double a21, double a22);

// Eigenvalues of a 2 x 2 matrix, smaller first.
void eigenvalue_mat2d(const Mat2& a, double eigval[2]);

// Unit eigenvectors of a symmetric 2 x 2 matrix as the columns of eigvec, in
// the order of eigval. Where the vector that the usual formula builds for an
// eigenvalue is zero (a diagonal matrix), the vector from the matrix's other
// row is used instead, and for a multiple of the identity the axes.
void eigenvector_mat2d(const Mat2& a, const double eigval[2], Mat2& eigvec);

// Inverse by Gauss-Jordan elimination without row exchanges: an exact zero
// pivot takes the first row below with a non-zero entry added to it; a
// column with none is left as it is. tm is not changed.
template <int N>
void invt(int n, const SmallMat<N>& tm, SmallMat<N>& tmi);

}  // namespace veltrane2
