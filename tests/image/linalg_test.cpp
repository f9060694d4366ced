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

TEST(LinearAlgebra, EigenpairsOfSymmetricMatrices) {
    const Mat2 a = m2(2, 1, 1, 2);
    double ev[2];
    eigenvalue_mat2d(a, ev);
    EXPECT_EQ(ev[0], 1.0);
    EXPECT_EQ(ev[1], 3.0);
    Mat2 vec;
    eigenvector_mat2d(a, ev, vec);
    const double r = 1.0 / std::sqrt(2.0);
    EXPECT_DOUBLE_EQ(vec(1, 1), -r);
    EXPECT_DOUBLE_EQ(vec(2, 1), r);
    EXPECT_DOUBLE_EQ(vec(1, 2), -r);
    EXPECT_DOUBLE_EQ(vec(2, 2), -r);

    const Mat2 d = m2(4, 0, 0, 1);
    eigenvalue_mat2d(d, ev);
    EXPECT_EQ(ev[0], 1.0);
    EXPECT_EQ(ev[1], 4.0);
    eigenvector_mat2d(d, ev, vec);
    EXPECT_EQ(vec(1, 1), 0.0);
    EXPECT_EQ(vec(2, 1), 1.0);
    EXPECT_EQ(vec(1, 2), -1.0);
    EXPECT_EQ(vec(2, 2), 0.0);
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
    }
}

TEST(LinearAlgebra, InverseOfTheExchangeMatrix) {
    const Mat2 x = m2(0, 1, 1, 0);
    Mat2 inv;
    invt(2, x, inv);
    EXPECT_EQ(inv, x);
}

TEST(LinearAlgebra, InverseTimesMatrixIsTheIdentity) {
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

TEST(LinearAlgebra, SingularColumnIsLeftAlone) {
    Mat2 s = m2(0, 1, 0, 2);
    Mat2 inv;
    invt(2, s, inv);
    for (double v : inv.v) EXPECT_TRUE(std::isfinite(v));
}

TEST(LinearAlgebra, ProductsAndPowers) {
    const double v[3] = {1, 2, 2};
    const double tm[6] = {1, 4, 2, 5, 3, 6};  // 2 x 3 by columns: rows (1 2 3), (4 5 6)
    double f[2];
    mxv(tm, v, f, 2, 3);
    EXPECT_EQ(f[0], 1 + 4 + 6.0);
    EXPECT_EQ(f[1], 4 + 10 + 12.0);
    EXPECT_EQ(vnorm(3, v), 3.0);
    EXPECT_EQ(intpower(2.0, 3), 8.0);
    EXPECT_EQ(intpower(2.0, 0), 1.0);
    EXPECT_EQ(intpower(2.0, -1), 1.0);
}

}  // namespace
}  // namespace veltrane2
