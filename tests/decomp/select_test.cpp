// SELECT: the choice of the next branching variable from XCUR.

#include <gtest/gtest.h>

#include "core_host.hpp"
#include "select.hpp"

namespace kav::test {
namespace {

using decomp::DecompState;

// Two subproblems: K = 1 with 3 0-Z variables of 5 positions, K = 2 with
// 2 0-Z variables of 3 positions.  Entry d of K's variable v carries ZOVD
// `score` and the attribute words given.
void setup(DecompState& s, const std::vector<double>& x) {
    auto& sv = s.sv;
    auto& pb = s.pb;
    pb.NSUB = 2;
    sv.LEVEL = 1;
    sv.BIG = 1e30;
    pb.NCK[1] = 7;
    pb.NZK[1] = 3;
    pb.NCK[2] = 5;
    pb.NZK[2] = 2;
    sv.NBRPT = 1;
    pb.PRSW = 0;
    pb.NZOTOT = 5;
    int d = 2;
    for (int k = 1; k <= 2; ++k)
        for (int v = 1; v <= pb.NZK[k]; ++v, ++d) {
            pb.ZPRB[d] = static_cast<int16_t>(k);
            pb.ZLAB[d] = static_cast<int16_t>(5000 + v);
            pb.ZOVD[d][1] = 1.0;
            pb.ZOVR[d][1] = 1.0f;
            // Distinct nodes: nothing linked unless a test says so.
            pb.IZA1[d] = static_cast<int16_t>(10 * d + 1);
            pb.IZA2[d] = static_cast<int16_t>(10 * d + 2);
            pb.IZA3[d] = 1;
            pb.IZA4[d] = 1;
        }
    for (size_t i = 0; i < x.size(); ++i) s.ms.xcur(1, static_cast<int>(i) + 1) = x[i];
    sv.IERR = 0;
}

// Positions: K=1 v1..v3 at 1..3 (4, 5 continuous); K=2 v1, v2 at 6, 7 (8 continuous).
std::pair<int, int> choice(DecompState& s) {
    return {s.sv.IBPPRB[s.sv.NBRPT + 1], s.sv.IBPVAR[s.sv.NBRPT + 1]};
}

TEST(Select, ValuesAtTheFractionLimitsAreTakenAtOnce) {
    FreshState st;
    setup(*st, {0.5, 0.9, 0.1, 7, 7, 0.5, 0.5, 3});
    solver::select_branch(st->fam);
    ASSERT_EQ(st->sv.IERR, 0);
    EXPECT_EQ(choice(*st), std::make_pair(1, 5002));
    EXPECT_EQ(st->sv.IBOTH[2], 1);
    EXPECT_EQ(st->sv.NBRPT, 1);

    FreshState s2;
    setup(*s2, {0.5, 0.1000001, 0.3, 7, 7, 0.5, 0.5, 3});
    s2->pb.ZOVD[3][1] = 100.0;  // K=1 v2 scores 10.000001
    solver::select_branch(s2->fam);
    EXPECT_EQ(choice(*s2), std::make_pair(1, 5002));
}

TEST(Select, BestScoreWinsAndTiesKeepTheEarlier) {
    FreshState st;
    setup(*st, {0.5, 0.5, 0.5, 0, 0, 0.5, 0.5, 0});
    solver::select_branch(st->fam);
    EXPECT_EQ(choice(*st), std::make_pair(1, 5001));  // all equal: the first

    FreshState s2;
    setup(*s2, {0.5, 0.5, 0.5, 0, 0, 0.5, 0.8, 0});
    s2->pb.ZOVD[5][1] = 2.0;  // K=2 v1: 1.0 ; K=2 v2: 0.8
    solver::select_branch(s2->fam);
    EXPECT_EQ(choice(*s2), std::make_pair(2, 5001));

    // PRSW = 1 scales by ZOVR, unless ZOVR is 0.
    FreshState s3;
    setup(*s3, {0.5, 0.5, 0.5, 0, 0, 0.5, 0.5, 0});
    s3->pb.PRSW = 1;
    s3->pb.ZOVR[3][1] = 0.25f;  // K=1 v2: 4 * 0.5
    s3->pb.ZOVR[6][1] = 0.0f;   // K=2 v2: unscaled 3 * 0.5
    s3->pb.ZOVD[6][1] = 3.0;
    solver::select_branch(s3->fam);
    EXPECT_EQ(choice(*s3), std::make_pair(1, 5002));
}

TEST(Select, SecondSweepTakesIntegralValuesAndSkipsPoints) {
    FreshState st;
    setup(*st, {1.0, 0.0, 1.0, 0.3, 0, 0.0, 1.0, 0});
    // K=1 v1 is already a branch point.
    st->sv.NBRPT = 2;
    st->sv.IBPPRB[2] = 1;
    st->sv.IBPVAR[2] = 5001;
    st->sv.IBOTH[2] = 3;
    solver::select_branch(st->fam);
    ASSERT_EQ(st->sv.IERR, 0);
    EXPECT_EQ(choice(*st), std::make_pair(1, 5002));
}

TEST(Select, NothingLeftGivesCode73) {
    FreshState st;
    setup(*st, {0.5, 0.5, 0.5, 0, 0, 0.5, 0.5, 0});
    const int pts[5][2] = {{1, 5001}, {1, 5002}, {1, 5003}, {2, 5001}, {2, 5002}};
    for (int i = 0; i < 5; ++i) {
        st->sv.IBPPRB[i + 2] = static_cast<int16_t>(pts[i][0]);
        st->sv.IBPVAR[i + 2] = static_cast<int16_t>(pts[i][1]);
        st->sv.IBOTH[i + 2] = 0;
    }
    st->sv.NBRPT = 6;
    solver::select_branch(st->fam);
    EXPECT_EQ(st->sv.IERR, 73);
}

TEST(Select, VariablesLinkedToAPointAtOneWaitForTheSecondSweep) {
    FreshState st;
    setup(*st, {0.5, 0.95, 0.5, 0, 0, 0.5, 0.5, 0});
    auto& sv = st->sv;
    auto& pb = st->pb;
    // Point: K=2 v1 fixed at 1.  K=1 v2 shares its start node (resource link).
    sv.NBRPT = 2;
    sv.IBPPRB[2] = 2;
    sv.IBPVAR[2] = 5001;
    sv.IBOTH[2] = 1;
    pb.IZA1[3] = pb.IZA1[5];
    // K=2 v2 is pair-linked to it (same end node and code).
    pb.IZA2[6] = pb.IZA2[5];
    pb.IZA4[6] = pb.IZA4[5];
    // Slots behind the new one must stay as they are.
    for (int n = 3; n <= 20; ++n) sv.IBPVAR[n] = -1;
    solver::select_branch(st->fam);
    ASSERT_EQ(sv.IERR, 0);
    EXPECT_EQ(choice(*st), std::make_pair(1, 5001));  // 0.95 of v2 is left out
    for (int n = 4; n <= 20; ++n) EXPECT_EQ(sv.IBPVAR[n], -1) << n;
    EXPECT_EQ(sv.NBRPT, 2);

    // All remaining free variables linked or integral: the second sweep
    // takes the linked 0.95 at once.
    st->ms.xcur(1, 1) = 1.0;
    st->ms.xcur(1, 3) = 0.0;
    st->ms.xcur(1, 7) = 1.0;
    solver::select_branch(st->fam);
    ASSERT_EQ(sv.IERR, 0);
    EXPECT_EQ(choice(*st), std::make_pair(1, 5001));  // second sweep: first taken at once (1.0)
}

TEST(Select, MissingEntriesGiveCodes5And65) {
    {
        FreshState st;
        setup(*st, {0.5, 0.5, 0.5, 0, 0, 0.5, 0.5, 0});
        st->pb.ZLAB[3] = 5009;  // K=1 v2 has no entry, and needs a score
        solver::select_branch(st->fam);
        EXPECT_EQ(st->sv.IERR, 65);
        // Taken at once, a variable needs no entry.
        FreshState s2;
        setup(*s2, {0.5, 0.05, 0.5, 0, 0, 0.5, 0.5, 0});
        s2->pb.ZLAB[3] = 5009;
        solver::select_branch(s2->fam);
        EXPECT_EQ(s2->sv.IERR, 0);
    }
    {
        FreshState st;
        setup(*st, {0.5, 0.5, 0.5, 0, 0, 0.5, 0.5, 0});
        st->sv.NBRPT = 2;
        st->sv.IBPPRB[2] = 1;
        st->sv.IBPVAR[2] = 5003;
        st->sv.IBOTH[2] = 2;
        st->pb.ZLAB[4] = 5009;  // the point at 1 has no entry
        solver::select_branch(st->fam);
        EXPECT_EQ(st->sv.IERR, 5);
    }
}

}  // namespace
}  // namespace kav::test
