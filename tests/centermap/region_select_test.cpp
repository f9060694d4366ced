#include "centermap/region_select.hpp"

#include <gtest/gtest.h>

#include <sstream>

#include "centermap/symm_pass.hpp"

namespace veltrane2 {
namespace {

// A 12 x 12 selection problem: region map, homogeneity and settings.
struct Region {
    RunState st;
    std::ostringstream out;
    int n = 12;
    IntMap cent{12, 12};
    RealImage h{12, 12, 0.0};
    Box box = Box::of(12, 12);
    MiddleLines middle = MiddleLines::of(12);  // middle lines: index 6

    Region() {
        st.out = &out;
        st.control_para1 = {0.0, 0.5, 0.5};
        st.control_para3 = {1.0, 0.1, 3, 3};
    }
    // Region pixel with homogeneity value v.
    void set(int i, int j, double v) {
        cent(i, j) = 1;
        h(i, j) = v;
    }
};

TEST(RegionSelection, ThresholdIsStrictAndTheBoxBounds) {
    Region r, s;
    for (Region* x : {&r, &s}) {
        x->set(2, 2, 0.5);  // equal: not selected
        x->set(2, 3, 0.6);
        x->set(5, 5, 0.8);  // on the box's last row and column
        x->set(9, 9, 0.9);  // outside the box below
        x->box = {1, 5, 1, 5};
    }
    r.st.trace = true;
    select_homo_region(r.st, Pass::kCentre, r.box, r.cent, r.h);
    EXPECT_EQ(r.out.str(), " ave in sele= 0.7\n SELECT_HOMO_REGION SELECTED PTS= 2\n");
    EXPECT_EQ(r.cent(2, 2), 0);
    EXPECT_EQ(r.cent(2, 3), 1);
    EXPECT_EQ(r.cent(5, 5), 1);
    EXPECT_EQ(r.cent(9, 9), 0);  // centre pass: 0 outside the box

    select_homo_region_symm(s.st, Pass::kOffCentre, s.box, s.middle, s.cent, s.h);
    EXPECT_EQ(s.cent(2, 2), 0);
    EXPECT_EQ(s.cent(2, 3), -1);
    EXPECT_EQ(s.cent(5, 5), -1);
    EXPECT_EQ(s.cent(9, 9), 1);  // off-centre pass: kept outside the box
}

TEST(RegionSelection, OffCentreRowCleaningByRunLength) {
    Region r;
    r.st.control_para3.frac_seg = 0.9;
    // Row 2: region pixels 1..10, homogeneous at 1, 2 (run of 2), 4..6 (run
    // of exactly 3) and 8 (a single): ratio 6/10 < 0.9.
    for (int j = 1; j <= 10; ++j) r.set(2, j, 0.1);
    for (int j : {1, 2, 4, 5, 7, 8}) r.h(2, j) = 0.9;
    r.h(2, 5) = 0.9;
    r.h(2, 6) = 0.9;
    r.h(2, 7) = 0.1;
    // Columns hold the pixels densely so that column cleaning keeps them.
    for (int j = 1; j <= 10; ++j) {
        r.set(3, j, 0.9);
        r.set(4, j, 0.9);
    }
    select_homo_region_symm(r.st, Pass::kOffCentre, r.box, r.middle, r.cent, r.h);
    EXPECT_EQ(r.cent(2, 1), 0);  // run of 2 < 3: deleted
    EXPECT_EQ(r.cent(2, 2), 0);
    EXPECT_EQ(r.cent(2, 4), -1);  // run of exactly 3 survives
    EXPECT_EQ(r.cent(2, 5), -1);
    EXPECT_EQ(r.cent(2, 7), 0);   // not homogeneous
    EXPECT_EQ(r.cent(2, 8), 0);   // single: deleted
    EXPECT_EQ(r.cent(3, 1), -1);  // a full row (ratio 1) is not cleaned
}

}  // namespace
}  // namespace veltrane2
