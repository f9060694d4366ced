#include "image/linalg.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace veltrane2 {
namespace {

Mat2 m2(double a11, double a12, double a21, double a22) {
    Mat2 a;
    a(1, 1) = a11;
    a(1, 2) = a12;
    a(2, 1) = a21;
    a(2, 2) = a22;
    return a;
}

// A diagonal matrix with the smaller value first makes both of the usual
// vectors zero; the eigenvectors are then the axes, never NaN.
TEST(LinearAlgebra, DiagonalMatricesKeepUnitEigenvectors) {
    for (const Mat2& a : {m2(1, 0, 0, 4), m2(2.5, 0, 0, 2.5)}) {
        double ev[2];
        eigenvalue_mat2d(a, ev);
        Mat2 vec;
        eigenvector_mat2d(a, ev, vec);
        for (int c = 1; c <= 2; ++c) {
            const double x = vec(1, c), y = vec(2, c);
            ASSERT_TRUE(std::isfinite(x) && std::isfinite(y));
            EXPECT_DOUBLE_EQ(x * x + y * y, 1.0);
            // a x = e x
            EXPECT_DOUBLE_EQ(a(1, 1) * x + a(1, 2) * y, ev[c - 1] * x);
            EXPECT_DOUBLE_EQ(a(2, 1) * x + a(2, 2) * y, ev[c - 1] * y);
        }
        EXPECT_EQ(std::abs(vec(1, 1)), 1.0);
        EXPECT_EQ(std::abs(vec(2, 2)), 1.0);
    }
}

TEST(LinearAlgebra, InverseTimesMatrixIsTheIdentity) {
    Mat3 swap;  // zero pivots: a later row is added in
    swap(1, 2) = swap(2, 1) = swap(3, 3) = 1.0;
    Mat3 swap_inverse;
    invt(3, swap, swap_inverse);
    EXPECT_EQ(swap_inverse, swap);
    std::mt19937 rng(4);
    std::uniform_real_distribution<double> u(-2.0, 2.0);
    for (int trial = 0; trial < 50; ++trial) {
        Mat3 a;
        for (double& v : a.v) v = u(rng);
        for (int k = 1; k <= 3; ++k) a(k, k) += 5.0;
        const Mat3 before = a;
        Mat3 inv;
        invt(3, a, inv);
        EXPECT_EQ(a, before);
        for (int i = 1; i <= 3; ++i)
            for (int j = 1; j <= 3; ++j) {
                double s = 0.0;
                for (int k = 1; k <= 3; ++k) s += inv(i, k) * a(k, j);
                EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-12);
            }
    }
}

}  // namespace
}  // namespace veltrane2
