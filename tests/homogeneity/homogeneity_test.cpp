#include "homogeneity/homogeneity.hpp"

#include <gtest/gtest.h>

#include <array>
#include <vector>

#include "homogeneity/derivatives.hpp"
#include "homogeneity/noise_ref.hpp"

namespace veltrane2 {
namespace {

// The stencil blocks, stored with the first offset varying fastest.
TEST(Stencils, Values) {
    Laplacian lap;
    Firstder fd;
    derivative_operator(lap, fd);
    using A = std::array<int, 9>;
    EXPECT_EQ(lap.laplacemsk4p.m, (A{0, -1, 0, -1, 4, -1, 0, -1, 0}));
    EXPECT_EQ(lap.laplacemsk4m.m, (A{0, 1, 0, 1, -4, 1, 0, 1, 0}));
    EXPECT_EQ(lap.laplacemsk8p.m, (A{-1, -1, -1, -1, 8, -1, -1, -1, -1}));
    EXPECT_EQ(lap.laplacemsk8m.m, (A{1, 1, 1, 1, -8, 1, 1, 1, 1}));
    EXPECT_EQ(fd.sobelx.m, (A{-1, 0, 1, -2, 0, 2, -1, 0, 1}));
    EXPECT_EQ(fd.sobely.m, (A{-1, -2, -1, 0, 0, 0, 1, 2, 1}));
    EXPECT_EQ(fd.sharrx.m, (A{3, 0, -3, 10, 0, -10, 3, 0, -3}));
    EXPECT_EQ(fd.sharry.m, (A{3, 10, 3, 0, 0, 0, -3, -10, -3}));
}

TEST(Homogeneity, GlobalSelectionIsStrictAndAFlatSpectrumHasNoContrast) {
    RealImage t(4, 4, 2.5), flat(4, 4, 9.0);
    intensity_homegen(4, 4, t, flat);
    EXPECT_EQ(flat, RealImage(4, 4, 0.0));
    RealImage h(3, 1);
    h(1, 1) = 0.3;
    h(2, 1) = 0.30000000000000004;
    h(3, 1) = 0.1;
    IntMap b(3, 1, 7);
    select_homo_global(3, 1, h, 0.3, b);
    EXPECT_EQ(std::vector<int>(b.data(), b.data() + 3), (std::vector<int>{0, 1, 0}));
}

}  // namespace
}  // namespace veltrane2
