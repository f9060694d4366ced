#include "centermap/restore.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

namespace veltrane2 {
namespace {

struct Restore {
    RunState st;
    std::ostringstream out;
    RealImage t{8, 8, 1.0};
    IntMap c{8, 8};
    Restore() {
        st.out = &out;
        st.centerbcut.icutc = {1, 8};
        st.centerbcut.jcutc = {1, 8};
    }
    void run() { restore_intensity(st, 1, 8, 8, t, c); }
};

TEST(Restoration, LineAlongTheSecondIndexTakesTheMeanAcross) {
    Restore r;
    for (int j = 2; j <= 6; ++j) {
        r.c(4, j) = 1;
        r.t(4, j) = 9.0;
        r.t(3, j) = 2.0;
        r.t(5, j) = 4.0;
    }
    r.t(4, 6) = 1.0;  // already below the mean across: kept, still unmarked
    r.run();
    for (int j = 2; j <= 5; ++j) EXPECT_EQ(r.t(4, j), 3.0) << j;
    EXPECT_EQ(r.t(4, 6), 1.0);
    EXPECT_EQ(r.c, IntMap(8, 8));
}

TEST(Restoration, LineAlongTheFirstIndexAndAtTheBorder) {
    Restore r;
    for (int i = 1; i <= 4; ++i) {
        r.c(i, 1) = 1;  // along the first index, on the image edge j = 1
        r.t(i, 1) = 9.0;
    }
    r.t(2, 2) = 5.0;
    r.run();
    EXPECT_EQ(r.t(2, 1), 5.0);  // only (2, 2) is inside and unmarked across the line
    EXPECT_EQ(r.t(1, 1), 1.0);

    // A pixel on the first index 1 whose line runs along the second index.
    Restore v;
    for (int j = 3; j <= 5; ++j) {
        v.c(1, j) = 1;
        v.t(1, j) = 7.0;
    }
    v.t(2, 4) = 2.0;
    v.run();
    EXPECT_EQ(v.t(1, 4), 2.0);
}

TEST(Restoration, LoneMarkedPixelStaysMarked) {
    Restore r;
    r.c(4, 4) = 1;
    r.t(4, 4) = 9.0;
    r.c(5, 5) = 1;  // one marked neighbour only (diagonal)
    r.run();
    EXPECT_EQ(r.t(4, 4), 9.0);
    EXPECT_EQ(r.c(4, 4), 1);
    EXPECT_EQ(r.c(5, 5), 1);
}

TEST(Restoration, NeighbourhoodTestFollowsTheSweepOrder) {
    Restore r;
    // A 3 x 3 block of marked pixels: no line pixels, so every pixel goes
    // to the neighbourhood test; the corner (3, 3) is visited first.
    for (int i = 3; i <= 5; ++i)
        for (int j = 3; j <= 5; ++j) r.c(i, j) = 1;
    r.t(3, 3) = 10.0;
    r.t(3, 4) = 2.0;
    r.t(4, 3) = 2.0;
    r.t(4, 4) = 2.0;
    r.t(3, 5) = 4.0;
    r.run();
    // (3, 3): neighbours 2, 2, 2: mean 2, spread 0: lowered to 2.
    EXPECT_EQ(r.t(3, 3), 2.0);
    EXPECT_EQ(r.c, IntMap(8, 8));
    // (3, 5) is visited after (3, 3) was lowered: its neighbours (3, 4) = 2,
    // (4, 4) = 2, (4, 5) = 1 give mean 5/3 and a spread below 4 - 5/3.
    EXPECT_DOUBLE_EQ(r.t(3, 5), 5.0 / 3.0);
}

TEST(Restoration, OutsideTheBoxNothingHappens) {
    Restore r;
    r.st.centerbcut.icutc = {1, 3};
    r.c(6, 6) = 1;
    r.t(6, 6) = 9.0;
    r.run();
    EXPECT_EQ(r.c(6, 6), 1);
    EXPECT_EQ(r.t(6, 6), 9.0);
}

TEST(Restoration, BoxRangeLines) {
    Restore r;
    r.st.centerbcut.icutc = {1, 1000000};
    r.st.centerbcut.jcutc = {1000000, 8};
    IntMap bi = r.c;
    double ave = 0, sd = 0;
    gauss_constr(r.st, 1, r.t, r.c, bi, 4, 4, ave, sd);
    EXPECT_EQ(r.out.str(), " I column range in GAUSS_CONSTR= 1 1000000\n J colume range in GAUSS_CONSTR= 1000000 8\n");
}

}  // namespace
}  // namespace veltrane2
