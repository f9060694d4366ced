#include "homogeneity/homogeneity.hpp"

#include <gtest/gtest.h>

#include "homogeneity/derivatives.hpp"
#include "homogeneity/noise_ref.hpp"

namespace veltrane2 {
namespace {

TEST(Homogeneity, GlobalSelectionIsStrict) {
    RealImage h(3, 1);
    h(1, 1) = 0.3;
    h(2, 1) = 0.30000000000000004;
    h(3, 1) = 0.1;
    IntMap b(3, 1, 7);
    select_homo_global(3, 1, h, 0.3, b);
    EXPECT_EQ(b(1, 1), 0);
    EXPECT_EQ(b(2, 1), 1);
    EXPECT_EQ(b(3, 1), 0);
}

}  // namespace
}  // namespace veltrane2
