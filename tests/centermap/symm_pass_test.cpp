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
