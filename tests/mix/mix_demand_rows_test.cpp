// Demands the library makes rows of (empty shortage columns), on small
// cases with a known best allocation.
#include <gtest/gtest.h>

#include <string>

#include "mix_host.hpp"

namespace {

using kav::test::Host;
using kav::test::entry;

std::string error_line(const Host& h) {
    const size_t e = h.pnt.find("PROBLEM ERROR CODE");
    return e == std::string::npos ? "" : h.pnt.substr(e, 21);
}

// x1 in [0, 1] costs 20 and delivers 1000 units of item 101, whose demand
// of 5 costs 10 per unit short.  With the demand as a row the solve gives
// x1 = 0.005 (within the integrality tolerance of 0): rounded, 5 units are
// short (-50), while x1 = 1 is worth -20.
TEST(MixDemandRows, RoundingOfALargeQuantityIsCheckedAgainstTheDemand) {
    ASSERT_NE(entry(), nullptr);
    Host h(2, 1);
    h.best0 = -1e6f;
    h.value(1, -20.0);
    h.at(2, 1) = 1.0, h.at(2, 2) = 1.0;
    h.rqty[1] = 1000.0f, h.idem[0] = 5, h.ipen[0] = 10;
    h.call();
    EXPECT_EQ(error_line(h), "");
    EXPECT_EQ(h.status, -20.0);
    EXPECT_EQ(h.xout[0], 1.0f);
}

// 99 rows: x1 <= 1 and x2 <= 1, repeated.  The root solution (1, 1) is one
// unit short of each of two items' demands of 2; there is room for one
// more row only.
TEST(MixDemandRows, TwoDemandsInOneStepWithRoomForOne) {
    ASSERT_NE(entry(), nullptr);
    Host h(99, 2, 2);
    h.best0 = -1e6f;
    h.value(1, 5.0), h.value(2, 5.0);
    for (int i = 2; i <= 99; ++i) h.at(i, 1) = 1.0, h.at(i, 2 + i % 2) = 1.0;
    h.iitmv[2] = 102;
    h.idem[0] = h.idem[1] = 2, h.ipen[0] = h.ipen[1] = 1;
    h.call();
    EXPECT_EQ(error_line(h), "");
    EXPECT_EQ(h.status, 8.0);
}

}  // namespace
