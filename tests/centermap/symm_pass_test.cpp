#include "centermap/symm_pass.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "core/errors.hpp"

namespace veltrane2 {
namespace {

TEST(SymmetricPass, WindowLimit) {
    RealImage t(16, 16, 1.0);
    IntMap b(16, 16), offline(16, 16);
    try {
        real_symm_pass_1pair(25, {8, 8}, Box::of(16, 16), offline, t, b);
        FAIL();
    } catch (const FatalStop& e) {
        EXPECT_EQ(e.line(), " NS0 > MXSYMM in REAL_SYMM_PASS  51 50  NS= 25 50\n");
    }
}

TEST(SymmetricPass, WindowMismatchCountsTheLastRowAndColumn) {
    SymmWindow a{}, b{};
    b(3, 3) = 1.5;
    EXPECT_EQ(rmatch_2mask(3, a, b), 1.5);
}

}  // namespace
}  // namespace veltrane2
