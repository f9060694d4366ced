#include "image/image_ops.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <utility>
#include <vector>
#include <sstream>

namespace veltrane2 {
namespace {

RealImage row_of(std::initializer_list<double> v) {
    RealImage img(static_cast<int>(v.size()), 1);
    int i = 1;
    for (double x : v) img(i++, 1) = x;
    return img;
}

TEST(ImageOps, NormalisationOfAFlatOrEmptySelectionIsDefined) {
    RealImage a = row_of({3, 3, 3});
    normalization_image(a);
    EXPECT_EQ(a, row_of({0, 0, 0}));

    RealImage b = row_of({7, 1, 7});
    IntMap mask(3, 1);
    mask(1, 1) = 1;
    mask(3, 1) = 1;
    EXPECT_EQ(normalization_local(b, mask), 0.0);
    EXPECT_EQ(b, row_of({0, 1, 0}));

    RealImage c = row_of({7, 1, 7});
    IntMap none(3, 1);
    none(2, 1) = -1;  // only 1 counts as selected
    EXPECT_EQ(normalization_local(c, none), 0.0);
    EXPECT_EQ(c, row_of({7, 1, 7}));
}

TEST(ImageOps, NormalisationStartsFromTheSinglePrecisionBound) {
    // Values all above 9999.999 never lower the running minimum below it.
    RealImage a = row_of({20000.0, 30000.0});
    normalization_image(a);
    EXPECT_EQ(kNormStart, 9999.9990234375);
    EXPECT_DOUBLE_EQ(a(1, 1), (20000.0 - kNormStart) / (30000.0 - kNormStart));
    EXPECT_EQ(a(2, 1), 1.0);
}

// Pixels listed in storage order come out in the order sorting the pairs
// gives: a few or many of a box off the origin, none, one.
TEST(ImageOps, StorageOrderToFirstIndexMajorIsTheSortedOrder) {
    std::mt19937 rng(9);
    for (const int percent : {0, 1, 3, 50, 100}) {
        std::vector<std::pair<int, int>> pixels;
        for (int j = 5; j <= 40; ++j)
            for (int i = 3; i <= 70; ++i)
                if (static_cast<int>(rng() % 100) < percent) pixels.emplace_back(i, j);
        std::vector<std::pair<int, int>> want = pixels;
        std::sort(want.begin(), want.end());
        to_first_index_major(pixels);
        EXPECT_EQ(pixels, want) << percent;
    }
    std::vector<std::pair<int, int>> one{{4, 2}};
    to_first_index_major(one);
    EXPECT_EQ(one, (std::vector<std::pair<int, int>>{{4, 2}}));
}

}  // namespace
}  // namespace veltrane2
