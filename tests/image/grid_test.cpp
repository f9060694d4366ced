#include "image/grid.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>

#include "image/image_ops.hpp"

namespace veltrane2 {
namespace {

// Large grids are mapped on their own by default and come from malloc once
// a program asks for that: each must be released the way it was obtained,
// also after grids of both kinds have been moved into one another. (In a
// child process: the switch holds for the whole process.)
TEST(Grid, GridsOfEitherSourceAreZeroAndReleasedTheirOwnWay) {
    EXPECT_EXIT(
        {
            const int n = 1024;  // 8 MiB of doubles, 4 MiB of ints
            RealImage mapped(n, n);
            IntMap mapped_ints = IntMap::square_to_fill(n);
            take_grids_from_malloc();
            RealImage from_malloc(n, n, 2.5);
            RealImage small(3, 3);
            bool ok = mapped(n, n) == 0.0 && mapped(1, 1) == 0.0 && from_malloc(n, n) == 2.5 && small(2, 2) == 0.0;
            mapped(7, 9) = 1.0;
            std::swap(mapped, from_malloc);
            ok = ok && from_malloc(7, 9) == 1.0 && mapped(7, 9) == 2.5;
            RealImage copy = from_malloc;  // from malloc now
            from_malloc = std::move(mapped);
            ok = ok && copy(7, 9) == 1.0 && from_malloc(1, 1) == 2.5;
            copy.release();
            mapped_ints.release();
            std::exit(ok ? 0 : 1);
        },
        testing::ExitedWithCode(0), "");
}

// The mean of all values is summed first index outer (eight first indices
// are read at a time): 2^60 at (1, 1) swallows every 1 added after it until
// -2^60 at (1, ny) takes it away, so only that order gives 50 ones of 55.
TEST(Grid, MeanIsSummedFirstIndexOuter) {
    const int nx = 11, ny = 5;
    RealImage g(nx, ny, 1.0);
    g(1, 1) = 0x1p60;
    g(1, ny) = -0x1p60;
    EXPECT_EQ(ave_image(g), 50.0 / 55.0);
}

}  // namespace
}  // namespace veltrane2
