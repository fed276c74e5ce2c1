// Proposal at the optimum and the 0-Z tail: snapping, complemented values,
// acceptance and rejection of chains on hand-built entry lists.
#include <gtest/gtest.h>

#include <string>

#include "datadir.hpp"
#include "fixtures.hpp"
#include "simplx.hpp"
#include "decomp_state.hpp"

namespace {

using kav::decomp::DecompState;
using kav::decomp::SolverState;

using kav::test::tail::K;
using kav::test::tail::NCK;

DecompState& st() { return kav::decomp::state(); }

void optimum(const std::vector<double>& zo, double objective = 10.0) { kav::test::tail::optimum(st(), zo, objective); }

// Entry d = v+1 with its attribute words and level-1 values.
void entry(int v, int a1, int a2, int a3, int a4, double zovd, float zovr) {
    auto& pb = st().pb;
    kav::test::tail::words(st(), v, a1, a2, a3, a4);
    pb.ZOVD[v + 1][1] = zovd;
    pb.ZOVR[v + 1][1] = zovr;
}

// Chain start v1 (resource 1 -> 2), member v2 (2 -> 3), closing v4 (3 -> 0).
void chain() {
    entry(1, 1, 2, 1, 2, 5.0, 2.0f);
    entry(2, 2, 3, 2, 3, 7.0, 3.0f);
    entry(3, 9, 9, 9, 9, 1.0, 1.0f);
    entry(4, 3, 0, 3, 0, 11.0, 4.0f);
}

TEST(Proposal, ValuesAreSnappedAndPerUnitOfTheWeight) {
    SolverState& s = st().sv;
    optimum({1.0 - 3e-6, 2e-6, 0.25, 0.0});
    s.IROW[4] = 6003;  // v3 complemented: proposal 1 - 0.25
    s.t(s.M, 1) = 2.0;  // x_w = 2: values per unit are halved
    s.t(2, 1) *= 2.0, s.t(3, 1) *= 2.0, s.t(4, 1) *= 2.0;
    kav::solver::proposal(st().fam);
    ASSERT_EQ(s.IERR, 0);
    EXPECT_EQ(s.IREJ, 0);
    EXPECT_EQ(s.PROPX[K][1][1], 1.0);
    EXPECT_EQ(s.PROPX[K][1][2], 0.0);
    EXPECT_EQ(s.PROPX[K][1][3], 0.75);
    EXPECT_EQ(s.PROPX[K][1][7], 2.0);
    EXPECT_EQ(s.PROPZ[K][1], 20.0);  // T(1,1) * RSCL(K,1), no tail (fractional)
    EXPECT_EQ(s.IPHASE, -1);
}

TEST(Proposal, WeightZeroAndMissingEntryAreCodeSix) {
    SolverState& s = st().sv;
    auto& pb = st().pb;
    optimum({0.0, 0.0, 0.0, 0.0});
    s.t(s.M, 1) = 0.0;
    kav::solver::proposal(st().fam);
    EXPECT_EQ(s.IERR, 6);

    optimum({0.0, 1.0, 0.0, 0.0});
    pb.ZLAB[3] = 5009;  // v2 has no entry
    kav::solver::proposal(st().fam);
    EXPECT_EQ(s.IERR, 6);
    EXPECT_EQ(s.LBLBAD, 5002);
}

TEST(Proposal, ChainIsFollowedAndPriced) {
    SolverState& s = st().sv;
    auto& pb = st().pb;
    optimum({1.0, 1.0, 0.0, 1.0});
    chain();
    pb.RRK3[K][2] = 4.0f;  // member leg may start at 4: waits 2
    pb.IRK5[K][2] = 6;     // start time of the member leg -> position 5
    pb.IRK6[K][3] = 0;     // closing leg's time position outside: skipped
    pb.IRK1[K][2] = 2;     // counts of the member leg -> positions 1 and 3
    pb.IRK3[K][2] = 4;
    pb.IRL1[2][1] = 1;
    pb.IRL2[2][1] = 1;
    s.acpl(2, NCK) = 0.5;  // time offset
    s.acpl(1, NCK) = 100.0;
    s.acpl(1, NCK - 1) = -1.0;
    kav::solver::proposal(st().fam);
    ASSERT_EQ(s.IERR, 0);
    ASSERT_EQ(s.IREJ, 0);
    // t: 2 at the start, waits until 4, +3 -> 7, closing leg +4 -> 11.
    const double tp = 11.5;
    EXPECT_EQ(s.PROPX[K][1][6], tp);
    EXPECT_EQ(s.PROPX[K][1][5], 2.0);  // waiting sum (it overwrote the start time)
    EXPECT_EQ(s.PROPX[K][1][1], 1.0);
    EXPECT_EQ(s.PROPZ[K][1], 5.0 + 7.0 + 11.0 + 100.0 - tp);
}

TEST(Proposal, ChainRejections) {
    kav::test::TempDataDir dir;
    DecompState& ds = st();
    SolverState& s = ds.sv;
    ds.pnt.open(dir.file("TAIL.PNT"));
    struct Case {
        const char* what;
        void (*change)(kav::decomp::Problem&);
        bool accepted;
    };
    const Case cases[] = {
        {"plain chain", [](kav::decomp::Problem&) {}, true},
        {"member does not match the start", [](kav::decomp::Problem& q) { q.IZA3[3] = 7; }, false},
        {"member capacity below 0.99 t", [](kav::decomp::Problem& q) { q.RRK1[K][2] = 1.97f; }, false},
        {"member capacity at 0.99 t", [](kav::decomp::Problem& q) { q.RRK1[K][2] = 0.99f * 2.0f; }, true},
        {"capacity not checked with IKR set", [](kav::decomp::Problem& q) { q.RRK1[K][2] = 0.0f, q.IKR[K][2] = 1; }, true},
        {"closing capacity below 0.99 T'", [](kav::decomp::Problem& q) { q.KR06[K] = 8.9f; }, false},
        {"closing count check", [](kav::decomp::Problem& q) { q.IRL1[3][1] = 2000; }, false},
        {"leg resource outside the resources", [](kav::decomp::Problem& q) { q.IZA1[5] = 61, q.IZA2[3] = 61; }, false},
        {"group sizes beyond NZK", [](kav::decomp::Problem& q) { q.KR19[K] = 500; }, true},
        {"problem of the second kind never rejects", [](kav::decomp::Problem& q) { q.IZA3[3] = 7, q.KCODE[K] = 501; }, true},
    };
    for (const Case& c : cases) {
        optimum({1.0, 1.0, 0.0, 1.0});
        chain();
        c.change(ds.pb);
        kav::solver::proposal(ds.fam);
        EXPECT_EQ(s.IERR, 0) << c.what;
        EXPECT_EQ(s.IREJ, c.accepted ? 0 : 1) << c.what;
        if (!c.accepted) {
            EXPECT_EQ(s.PROPZ[K][1], 20.0) << c.what;  // z so far
        }
    }
    ds.pnt.close();
    const std::string out = kav::test::read_file(dir.file("TAIL.PNT"));
    size_t n = 0;
    for (size_t p = out.find("ERROR CODE 73"); p != std::string::npos; p = out.find("ERROR CODE 73", p + 1)) ++n;
    EXPECT_EQ(n, 5u);
    EXPECT_NE(out.find("PROBLEM   2 ERROR CODE 73"), std::string::npos) << out;
}

TEST(Proposal, SingleLegOfTheLastVariable) {
    SolverState& s = st().sv;
    auto& pb = st().pb;
    optimum({0.0, 0.0, 0.0, 1.0});
    entry(4, 0, 0, 1, 4, 6.0, 3.0f);
    s.acpl(2, NCK) = 1.0;
    s.acpl(1, NCK) = 2.0;
    s.acpl(1, NCK - 1) = 0.5;
    pb.PRSW = 1;
    kav::solver::proposal(st().fam);
    ASSERT_EQ(s.IREJ, 0);
    EXPECT_EQ(s.PROPX[K][1][6], 4.0);
    EXPECT_EQ(s.PROPZ[K][1], (6.0 + 2.0 + 4.0 * 0.5) / 4.0);

    optimum({0.0, 0.0, 0.0, 1.0});
    entry(4, 0, 0, 1, 3, 6.0, 3.0f);  // not a single leg
    kav::solver::proposal(st().fam);
    EXPECT_EQ(s.IREJ, 1);

    optimum({0.0, 0.0, 0.0, 0.0});  // nothing chosen: no tail
    kav::solver::proposal(st().fam);
    EXPECT_EQ(s.IREJ, 0);
    EXPECT_EQ(s.PROPZ[K][1], 20.0);
}

TEST(Proposal, PrintedWhenThePrintSwitchIsOn) {
    kav::test::TempDataDir dir;
    DecompState& ds = st();
    SolverState& s = ds.sv;
    ds.pnt.open(dir.file("OPT.PNT"));
    optimum({0.5, 0.0, 0.0, 0.0});
    s.PRTSW = 1;
    s.NITER = 12;
    kav::solver::proposal(ds.fam);
    ds.pnt.close();
    const std::string out = kav::test::read_file(dir.file("OPT.PNT"));
    EXPECT_NE(out.find("\nPROBLEM   2 OPTIMAL SOLUTION COMPLETE\n"), std::string::npos) << out;
    EXPECT_NE(out.find("OBJECTIVE FUNCTION =          20.0000000 AT ITERATION    12"), std::string::npos) << out;
    EXPECT_NE(out.find("STRUCTURAL VARIABLES: X(I)"), std::string::npos) << out;
    EXPECT_NE(out.find("I =         1         2"), std::string::npos) << out;
}

}  // namespace
