// MASTER and PIVOTM on small hand-built master programs.

#include <gtest/gtest.h>

#include "core_host.hpp"
#include "master.hpp"

namespace kav::test {
namespace {

using decomp::DecompState;

// One subproblem, one common resource with right-hand side `rhs`, and the
// given proposals (cost in objective units, resource use), added as CYCLE
// adds them to a fresh master.
void build(DecompState& s, double rhs, const std::vector<std::pair<double, double>>& props, int16_t kflag = 0) {
    auto& sv = s.sv;
    auto& pb = s.pb;
    auto& dv = s.ms;
    sv.TOLELM = 5e-8;
    sv.TOLPIV = 5e-6;
    sv.OBJSCL = 30000.0;
    sv.PRTSW = 1;
    sv.LEVEL = 1;
    pb.NSUB = 1;
    pb.NCROW = 3;
    pb.KFLAG[1] = kflag;
    sv.NPROP[1] = static_cast<int16_t>(props.size());
    dv.NROWM = 3;
    dv.IROWM[1] = 0;
    dv.IROWM[2] = -5001;
    dv.IROWM[3] = -2;
    dv.ICOLM[1] = 0;
    dv.tm(1, 1) = 0.0;
    dv.tm(2, 1) = 1.0;
    dv.tm(3, 1) = rhs;
    dv.NCOLM = 1;
    for (size_t n = 0; n < props.size(); ++n) {
        const int c = ++dv.NCOLM;
        dv.ICOLM[c] = static_cast<int16_t>(1000 + n + 1);
        dv.tm(1, c) = -props[n].first / sv.OBJSCL;
        dv.tm(2, c) = 1.0;
        dv.tm(3, c) = props[n].second;
    }
}

TEST(Master, SolvesAndReportsWeightsAndPrices) {
    TempDataDir dir;
    FreshState st;
    build(*st, 1.5, {{3.0, 2.0}, {1.0, 0.5}});
    int16_t mode = 2;
    solver::master(st->fam, mode);
    auto& sv = st->sv;
    ASSERT_EQ(sv.IERR, 0);
    EXPECT_NEAR(st->ms.OBJL[1], 7.0 / 3.0, 1e-12);
    EXPECT_NEAR(st->ms.tm(1, 1) * 30000.0, st->ms.OBJL[1], 0.0);
    EXPECT_NEAR(sv.LAMBDA[1][1], 2.0 / 3.0, 1e-12);
    EXPECT_NEAR(sv.LAMBDA[1][2], 1.0 / 3.0, 1e-12);
    EXPECT_NEAR(sv.PIC[1] * 30000.0, 1.0 / 3.0, 1e-9);
    EXPECT_NEAR(sv.PIM[2] * 30000.0, 4.0 / 3.0, 1e-9);
    EXPECT_EQ(st->ms.NITMC, 2);
    EXPECT_EQ(st->ms.NITMAS, 2);
}

TEST(Master, SnapsWeightsNearZeroAndOne) {
    TempDataDir dir;
    FreshState st;
    // Resource 1 - 1e-7 per unit: the weight is 0.9999999 and is reported as 1.
    build(*st, 1.0 - 1e-7, {{2.0, 1.0}});
    int16_t mode = 2;
    solver::master(st->fam, mode);
    ASSERT_EQ(st->sv.IERR, 0);
    EXPECT_EQ(st->sv.LAMBDA[1][1], 1.0);
    // 3e-6 is reported as 0.
    FreshState st2;
    build(*st2, 3e-6, {{2.0, 1.0}});
    solver::master(st2->fam, mode);
    ASSERT_EQ(st2->sv.IERR, 0);
    EXPECT_EQ(st2->sv.LAMBDA[1][1], 0.0);
}

TEST(Master, FirstPhaseHoldsFlaggedConvexityRow) {
    TempDataDir dir;
    // A proposal that loses money: without the flag the master leaves it
    // out, with the flag its weight must be 1.
    FreshState st;
    build(*st, 5.0, {{-1.0, 1.0}});
    int16_t mode = 2;
    solver::master(st->fam, mode);
    ASSERT_EQ(st->sv.IERR, 0);
    EXPECT_EQ(st->ms.OBJL[1], 0.0);
    EXPECT_EQ(st->sv.LAMBDA[1][1], 0.0);

    FreshState fl;
    build(*fl, 5.0, {{-1.0, 1.0}}, 1);
    mode = 1;
    solver::master(fl->fam, mode);
    ASSERT_EQ(fl->sv.IERR, 0);
    EXPECT_EQ(mode, 2);
    EXPECT_NEAR(fl->ms.OBJL[1], -1.0, 1e-12);
    EXPECT_EQ(fl->sv.LAMBDA[1][1], 1.0);
}

TEST(Master, FirstPhaseOnASolvedMasterKeepsItsObjective) {
    TempDataDir dir;
    // A master solved once and not reset (the node's subproblem needs no
    // reset) is solved again with a first phase: the objective stays.
    FreshState st;
    build(*st, 1.5, {{3.0, 2.0}, {1.0, 0.5}}, 1);
    int16_t mode = 2;
    solver::master(st->fam, mode);
    ASSERT_EQ(st->sv.IERR, 0);
    ASSERT_NEAR(st->ms.OBJL[1], 7.0 / 3.0, 1e-12);
    mode = 1;
    solver::master(st->fam, mode);
    ASSERT_EQ(st->sv.IERR, 0);
    EXPECT_EQ(mode, 2);
    EXPECT_NEAR(st->ms.OBJL[1], 7.0 / 3.0, 1e-12);
    EXPECT_NEAR(st->sv.LAMBDA[1][1], 2.0 / 3.0, 1e-12);
    EXPECT_NEAR(st->sv.PIM[2] * 30000.0, 4.0 / 3.0, 1e-9);
}

TEST(Master, InfeasibleFlaggedRowGivesCode5) {
    TempDataDir dir;
    // The only proposal needs 2 units of a resource of 1: the flagged
    // convexity row cannot be met.
    FreshState st;
    build(*st, 1.0, {{1.0, 2.0}}, 1);
    int16_t mode = 1;
    solver::master(st->fam, mode);
    EXPECT_EQ(st->sv.IERR, 5);
}

TEST(Master, BasicLabelOfNoSubproblemGivesCode4) {
    TempDataDir dir;
    FreshState st;
    build(*st, 1.0, {{3.0, 1.0}});
    st->ms.ICOLM[2] = 2001;  // proposal 1 of subproblem 2, which does not exist
    int16_t mode = 2;
    solver::master(st->fam, mode);
    EXPECT_EQ(st->sv.IERR, 4);
    EXPECT_EQ(st->ms.MBADROW, 2);
}

TEST(Master, ConvexitySlackLeftAfterFirstPhaseNamesItsRow) {
    TempDataDir dir;
    FreshState st;
    build(*st, 5.0, {{3.0, 2.0}}, 1);
    auto& dv = st->ms;
    // A convexity row of a subproblem beyond NSUB, its slack basic at 0.5:
    // the first phase cannot close it.
    dv.NROWM = 4;
    dv.IROWM[4] = -5002;
    dv.tm(4, 1) = 0.5;
    dv.tm(4, 2) = 0.0;
    dv.MBADROW = 0;
    int16_t mode = 1;
    solver::master(st->fam, mode);
    EXPECT_EQ(st->sv.IERR, 4);
    EXPECT_EQ(dv.MBADROW, 4);  // CYCLE prints the label of this row
}

TEST(Master, CyclingMasterStopsAtThePivotCap) {
    // Beale's cycling example in the common-resource rows (the second row
    // scaled by 1/4 so that the tie rule of the leaving row cycles).
    TempDataDir dir;
    FreshState st;
    auto& sv = st->sv;
    auto& pb = st->pb;
    auto& dv = st->ms;
    ASSERT_EQ(st->pnt.open(dir.file("CAP.PNT")), 0);
    sv.TOLELM = 5e-8;
    sv.TOLPIV = 5e-6;
    sv.OBJSCL = 30000.0;
    sv.LEVEL = 1;
    pb.NSUB = 1;
    pb.NCROW = 5;
    sv.NPROP[1] = 4;
    dv.NROWM = 5;
    dv.NCOLM = 5;
    const int16_t rowlab[] = {0, -5001, -2, -3, -4};
    const double t[5][5] = {{0.0, -0.75, 20.0, -0.5, 6.0},
                            {1.0, 0.0, 0.0, 0.0, 0.0},
                            {0.0, 0.25, -8.0, -1.0, 9.0},
                            {0.0, 0.125, -3.0, -0.125, 0.75},
                            {1.0, 0.0, 0.0, 1.0, 0.0}};
    for (int i = 1; i <= 5; ++i) {
        dv.IROWM[i] = rowlab[i - 1];
        dv.ICOLM[i] = static_cast<int16_t>(i == 1 ? 0 : 1000 + i - 1);
        for (int j = 1; j <= 5; ++j) dv.tm(i, j) = t[i - 1][j - 1];
    }
    int16_t mode = 2;
    solver::master(st->fam, mode);
    st->pnt.close();
    EXPECT_EQ(sv.IERR, 5);
    EXPECT_EQ(dv.NITMC, solver::MASTER_PIVOT_CAP);
    EXPECT_NE(read_file(dir.file("CAP.PNT")).find("BESM ELLAH EL RAHMAN EL RAHIM   37"), std::string::npos);
}

TEST(Master, PivotmIsTheKernelExchange) {
    TempDataDir dir;
    FreshState st;
    build(*st, 1.5, {{3.0, 2.0}});
    auto& dv = st->ms;
    const double before = dv.tm(3, 1);
    dv.MR = 3;
    dv.MC = 2;
    solver::pivotm(st->fam);
    EXPECT_EQ(dv.IROWM[3], 1001);
    EXPECT_EQ(dv.ICOLM[2], -2);
    EXPECT_EQ(dv.tm(3, 2), 0.5);
    EXPECT_EQ(dv.tm(3, 1), before / 2.0);
    EXPECT_EQ(dv.PIVM, 2.0);
    solver::pivotm(st->fam);  // back
    EXPECT_EQ(dv.IROWM[3], -2);
    EXPECT_EQ(dv.tm(3, 1), before);
}

}  // namespace
}  // namespace kav::test
