#include "image/image_ops.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace veltrane2 {
namespace {

RealImage row_of(std::initializer_list<double> v) {
    RealImage img(static_cast<int>(v.size()), 1);
    int i = 1;
    for (double x : v) img(i++, 1) = x;
    return img;
}

TEST(ImageOps, NormalisationMapsTheRangeToZeroOne) {
    RealImage a = row_of({2, 4, 6});
    normalization_image(3, 1, a);
    EXPECT_EQ(a, row_of({0, 0.5, 1}));

    RealImage b = row_of({2, 100, 6});
    IntMap mask(3, 1);
    mask(1, 1) = 1;
    mask(3, 1) = 1;
    double ave = -1;
    normalization_local(3, 1, b, mask, ave);
    EXPECT_EQ(b, row_of({0, 100, 1}));
    EXPECT_EQ(ave, 0.5);
}

TEST(ImageOps, NormalisationOfAFlatOrEmptySelectionIsDefined) {
    RealImage a = row_of({3, 3, 3});
    normalization_image(3, 1, a);
    EXPECT_EQ(a, row_of({0, 0, 0}));

    RealImage b = row_of({7, 1, 7});
    IntMap mask(3, 1);
    mask(1, 1) = 1;
    mask(3, 1) = 1;
    double ave = -1;
    normalization_local(3, 1, b, mask, ave);
    EXPECT_EQ(b, row_of({0, 1, 0}));
    EXPECT_EQ(ave, 0.0);

    RealImage c = row_of({7, 1, 7});
    IntMap none(3, 1);
    none(2, 1) = -1;  // only 1 counts as selected
    normalization_local(3, 1, c, none, ave);
    EXPECT_EQ(c, row_of({7, 1, 7}));
    EXPECT_EQ(ave, 0.0);
}

TEST(ImageOps, NormalisationStartsFromTheSinglePrecisionBound) {
    // Values all above 9999.999 never lower the running minimum below it.
    RealImage a = row_of({20000.0, 30000.0});
    normalization_image(2, 1, a);
    EXPECT_EQ(kNormStart, 9999.9990234375);
    EXPECT_DOUBLE_EQ(a(1, 1), (20000.0 - kNormStart) / (30000.0 - kNormStart));
    EXPECT_EQ(a(2, 1), 1.0);
}

TEST(ImageOps, SumsAndMeansOverTheUsedCorner) {
    IntMap m(3, 3);
    m(1, 1) = 1;
    m(2, 2) = -1;
    EXPECT_EQ(integer_value_image(3, 3, m), 0);  // 1 and -1 cancel: empty
    m(3, 3) = 1;
    EXPECT_EQ(integer_value_image(3, 3, m), 1);
    EXPECT_EQ(integer_value_image(2, 2, m), 0);  // (3, 3) lies outside

    RealImage r(4, 4, 1.0);
    r(4, 4) = 100.0;
    EXPECT_EQ(ave_image(3, 3, r), 1.0);
    EXPECT_EQ(ave_image(4, 4, r), (15.0 + 100.0) / 16.0);
}

TEST(ImageOps, PixelNumbersRoundTrip) {
    EXPECT_EQ(gd2nb_2d(4, 4, 1), 4);
    int i = 0, j = 0;
    nb2gd_2d(4, 4, i, j);
    EXPECT_EQ(i, 4);
    EXPECT_EQ(j, 1);
    nb2gd_2d(4, 5, i, j);
    EXPECT_EQ(i, 1);
    EXPECT_EQ(j, 2);
    for (int nx : {1, 3, 7}) {
        for (int jj = 1; jj <= 5; ++jj) {
            for (int ii = 1; ii <= nx; ++ii) {
                nb2gd_2d(nx, gd2nb_2d(nx, ii, jj), i, j);
                ASSERT_EQ(i, ii);
                ASSERT_EQ(j, jj);
            }
        }
    }
}

TEST(ImageOps, InsideExaminesOnlyInGridNeighbours) {
    IntMap m(3, 3, 1);
    m(2, 2) = 0;  // the pixel's own value does not count
    EXPECT_TRUE(inside2d(1, 3, 3, m, 2, 2));
    EXPECT_TRUE(inside2d(1, 3, 3, m, 1, 1));  // corner: only (2, 1) and (1, 2) are examined
    m(2, 2) = 1;
    m(2, 1) = 0;
    EXPECT_FALSE(inside2d(1, 3, 3, m, 2, 2));
    EXPECT_FALSE(inside2d(1, 3, 3, m, 1, 1));
    EXPECT_TRUE(inside2d(1, 3, 3, m, 1, 3));  // corner: (2, 3) and (1, 2) only
    EXPECT_FALSE(inside2d(0, 3, 3, m, 2, 1));
}

TEST(ImageOps, RunningStatistics) {
    EXPECT_EQ(average_n(1, 123.0, 5.0), 5.0);
    double ave = 0.0;
    double sd2 = 0.0;
    const double xs[] = {1.0, 2.0, 3.0, 6.0};
    for (int n = 1; n <= 4; ++n) {
        const double prev = ave;
        ave = average_n(n, ave, xs[n - 1]);
        sd2 = standd_n2(n, sd2, prev, xs[n - 1]);
    }
    EXPECT_DOUBLE_EQ(ave, 3.0);
    // (1-0)^2/1 + (2-1)^2/4 + (3-1.5)^2/9 + (6-2)^2/16
    EXPECT_DOUBLE_EQ(sd2, 1.0 + 0.25 + 2.25 / 9.0 + 1.0);
}

}  // namespace
}  // namespace veltrane2
