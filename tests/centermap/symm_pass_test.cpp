#include "centermap/symm_pass.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "core/errors.hpp"

namespace veltrane2 {
namespace {

struct Symm {
    RunState st;
    std::ostringstream out;
    int n = 16;
    RealImage t{16, 16, 1.0};
    IntMap b{16, 16};
    Symm() {
        st.out = &out;
        st.offlines.offline = IntMap(16, 16);
        get_offline(16, 16, st.offlines.offline);
    }
    void run() { real_symm_pass_1pair(st, 10, {8, 8}, {1, 16}, {1, 16}, 16, 16, t, b); }
};

TEST(SymmetricPass, MiddleLines) {
    IntMap off(16, 16);
    get_offline(16, 16, off);
    EXPECT_EQ(off(8, 3), 0);
    EXPECT_EQ(off(3, 8), 0);
    EXPECT_EQ(off(9, 9), 1);
    IntMap odd(7, 7);
    get_offline(7, 7, odd);
    EXPECT_EQ(odd(3, 1), 0);  // mid = (7 - 1) / 2
    EXPECT_EQ(odd(4, 4), 1);
}

TEST(SymmetricPass, PairFoundFromBothSidesIsMergedTwice) {
    Symm s;
    // (5, 6) and its mirror (11, 10) through (8, 8): equal values and both
    // selected; a larger neighbour value would show as no change.
    s.t(5, 6) = 3.0;
    s.t(11, 10) = 3.0;
    s.b(5, 6) = 1;
    s.b(11, 10) = 1;
    s.run();
    EXPECT_EQ(s.b(5, 6), 0);
    EXPECT_EQ(s.b(11, 10), 0);
    EXPECT_EQ(s.t(5, 6), 3.0);  // equal values stay
    EXPECT_EQ(s.t(11, 10), 3.0);
}

TEST(SymmetricPass, MergedValuesComeFromTheWorkingCopy) {
    RealImage img(4, 4, 0.0);
    IntMap tab(4, 4, 1);
    img(1, 1) = 2.0;
    img(3, 3) = 6.0;
    local_pass_1pair({1, 3}, {1, 3}, img, tab);
    EXPECT_EQ(img(1, 1), 2.0);
    EXPECT_EQ(img(3, 3), 4.0);
    local_pass_1pair({3, 1}, {3, 1}, img, tab);  // the same pair from the other side
    EXPECT_EQ(img(3, 3), 3.0);                   // (3 x 2 + 6) / 4
    EXPECT_EQ(img(1, 1), 2.0);
    EXPECT_EQ(tab(1, 1), 0);
    EXPECT_EQ(tab(3, 3), 0);
    EXPECT_EQ(tab(2, 2), 1);
}

TEST(SymmetricPass, DifferentMirrorValueKeepsTheSelection) {
    Symm s;
    s.t(5, 6) = 3.0;
    s.t(11, 10) = 3.0 + 1.5e-8;
    s.b(5, 6) = 1;
    s.b(11, 10) = 1;
    s.run();
    EXPECT_EQ(s.b(5, 6), 1);
    EXPECT_EQ(s.b(11, 10), 1);
}

TEST(SymmetricPass, MirrorNeedNotBeSelected) {
    Symm s;
    s.t(5, 6) = 3.0;
    s.t(11, 10) = 3.0;
    s.b(5, 6) = 1;
    s.run();
    EXPECT_EQ(s.b(5, 6), 0);
    EXPECT_EQ(s.b(11, 10), 0);
}

TEST(SymmetricPass, MiddleLinePixelsAreNotExamined) {
    Symm s;
    s.b(8, 3) = 1;  // mirror (8, 13) has the same value 1.0
    s.b(3, 8) = 1;
    s.run();
    EXPECT_EQ(s.b(8, 3), 1);
    EXPECT_EQ(s.b(3, 8), 1);
}

TEST(SymmetricPass, NeighbourhoodsMustMirror) {
    Symm s;
    s.b(5, 6) = 1;
    s.b(11, 10) = 1;
    // A selected neighbour of (5, 6) that differs from it, with a selected
    // neighbour at the mirrored offset of (11, 10) that does not.
    s.b(4, 6) = 1;
    s.t(4, 6) = 2.0;
    s.b(12, 10) = 1;
    s.t(12, 10) = 1.0;
    s.run();
    EXPECT_EQ(s.b(5, 6), 1);
    EXPECT_EQ(s.b(11, 10), 1);

    // Only selected entries count: an unselected neighbour on one side
    // against a selected one of difference 0 on the other still matches.
    Symm u;
    u.b(5, 6) = 1;
    u.b(11, 10) = 1;
    u.b(12, 10) = 1;  // value 1.0 like its centre: difference 0
    u.run();
    EXPECT_EQ(u.b(5, 6), 0);
    EXPECT_EQ(u.b(11, 10), 0);
}

TEST(SymmetricPass, WindowLimit) {
    Symm s;
    try {
        real_symm_pass_1pair(s.st, 25, {8, 8}, {1, 16}, {1, 16}, 16, 16, s.t, s.b);
        FAIL();
    } catch (const FatalStop& e) {
        EXPECT_EQ(e.line(), " NS0 > MXSYMM in REAL_SYMM_PASS  51 50  NS= 25 50\n");
    }
}

}  // namespace
}  // namespace veltrane2
