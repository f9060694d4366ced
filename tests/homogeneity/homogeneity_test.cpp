#include "homogeneity/homogeneity.hpp"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "homogeneity/derivatives.hpp"
#include "homogeneity/noise_ref.hpp"

namespace veltrane2 {
namespace {

// The Laplacian mask, stored with the first offset varying fastest; at the
// border a missing neighbour takes the pixel's own value.
TEST(Stencils, LaplacianMaskAndItsBorder) {
    constexpr Laplacian lap = derivative_operator();
    EXPECT_EQ(lap.laplacemsk8p.m, (std::array<int, 9>{-1, -1, -1, -1, 8, -1, -1, -1, -1}));
    RealImage img(3, 2, 0.0);
    img(1, 1) = 5.0;
    img(2, 1) = 1.0;
    img(1, 2) = 2.0;
    EXPECT_EQ(laplace_discr(lap, 1, 1, img), 8 * 5.0 - 5.0 - 1.0 - 5.0 - 2.0);
    EXPECT_EQ(laplace_discr(lap, 3, 2, img), 0.0);
    EXPECT_EQ(laplace_discr(lap, 2, 2, img), -2.0 - 1.0);  // (1, 2) and (2, 1); no row 3
}

TEST(Homogeneity, GlobalSelectionIsStrictAndAFlatSpectrumHasNoContrast) {
    RealImage t(4, 4, 2.5), flat(4, 4, 9.0);
    intensity_homegen(t, flat);
    EXPECT_EQ(flat, RealImage(4, 4, 0.0));
    RealImage h(3, 1);
    h(1, 1) = 0.3;
    h(2, 1) = 0.30000000000000004;
    h(3, 1) = 0.1;
    IntMap b(3, 1, 7);
    select_homo_global(h, 0.3, b);
    EXPECT_EQ(std::vector<int>(b.data(), b.data() + 3), (std::vector<int>{0, 1, 0}));
}

}  // namespace
}  // namespace veltrane2
