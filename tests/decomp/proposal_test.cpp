// Proposal at the optimum and the 0-Z tail: snapping, complemented values,
// acceptance and rejection of chains on hand-built entry lists.
#include <gtest/gtest.h>

#include <string>

#include "datadir.hpp"
#include "simplx.hpp"
#include "state.hpp"

namespace {

using kav::decomp::DecompState;
using kav::decomp::SolverState;

constexpr int K = 2;
// Columns: 2..5 the 0-Z variables v = 1..4, 6 the waiting sum (position
// 5), 7 the time value (position 6), 8 the weight (position 7).
constexpr int NCK = 8;

DecompState& st() { return kav::decomp::state(); }

// An optimal tableau with every structural variable basic at the given
// value (unit scales, weight x_w = 1 basic in the last row).
void optimum(const std::vector<double>& zo, double objective = 10.0) {
    SolverState& s = st().sv;
    s.TOLPIV = 5e-6;
    s.OBJSCL = 30000.0;
    s.PRTSW = 0;
    s.LEVEL = 1;
    s.KCUR = K;
    s.NCK[K] = NCK;
    s.NZK[K] = 4;
    s.KCODE[K] = 100;
    s.NPROP[K] = 0;
    s.NCROW = 2;
    s.PRSW = 0;
    s.NBRPT = 1;
    s.NCRES = 4;
    for (int j = 1; j <= NCK; ++j) s.CSCL[K][j] = 1.0;
    s.RSCL[K][1] = 2.0;
    s.M = static_cast<int16_t>(2 + zo.size());
    s.N = 1;
    s.ICOL[1] = 0;
    s.IROW[1] = 0;
    s.t(1, 1) = objective;
    for (size_t v = 0; v < zo.size(); ++v) {
        const int i = 2 + static_cast<int>(v);
        s.IROW[i] = static_cast<int16_t>(5001 + v);
        s.t(i, 1) = zo[v];
    }
    s.IROW[s.M] = NCK - 1;
    s.t(s.M, 1) = 1.0;
    for (int j = 1; j <= NCK; ++j) s.acpl(1, j) = s.acpl(2, j) = 0.0;
    s.NZOTOT = 4;
    for (int v = 1; v <= 4; ++v) {
        s.ZPRB[v + 1] = K;
        s.ZLAB[v + 1] = static_cast<int16_t>(5000 + v);
        s.IZA1[v + 1] = s.IZA2[v + 1] = s.IZA3[v + 1] = s.IZA4[v + 1] = 0;
        s.ZOVD[v + 1][1] = 0.0;
        s.ZOVR[v + 1][1] = 0.0f;
    }
    s.KR17[K] = 1;  // v1 starts
    s.KR18[K] = 2;  // v2, v3 members
    s.KR19[K] = 1;  // v4 closes
    s.KR20[K] = 0;
    s.KR21[K] = 0;
    s.KR06[K] = 1000.0f;
    s.KR01[K] = s.KR02[K] = 1000;
    s.KR07[K] = s.KR08[K] = 0;
    for (int j = 1; j <= 4; ++j) {
        s.IKR[K][j] = 0;
        s.RRK1[K][j] = s.RRK4[K][j] = 1000.0f;
        s.RRK2[K][j] = s.RRK3[K][j] = 0.0f;
        s.IRK1[K][j] = s.IRK2[K][j] = s.IRK3[K][j] = s.IRK4[K][j] = 0;
        s.IRK5[K][j] = s.IRK6[K][j] = 0;
        s.IRL1[j][1] = s.IRL2[j][1] = 0;
    }
}

// Entry d = v+1 with its attribute words and level-1 values.
void entry(int v, int a1, int a2, int a3, int a4, double zovd, float zovr) {
    SolverState& s = st().sv;
    s.IZA1[v + 1] = static_cast<int16_t>(a1);
    s.IZA2[v + 1] = static_cast<int16_t>(a2);
    s.IZA3[v + 1] = static_cast<int16_t>(a3);
    s.IZA4[v + 1] = static_cast<int16_t>(a4);
    s.ZOVD[v + 1][1] = zovd;
    s.ZOVR[v + 1][1] = zovr;
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
    kav::decomp::proposal(st());
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
    optimum({0.0, 0.0, 0.0, 0.0});
    s.t(s.M, 1) = 0.0;
    kav::decomp::proposal(st());
    EXPECT_EQ(s.IERR, 6);

    optimum({0.0, 1.0, 0.0, 0.0});
    s.ZLAB[3] = 5009;  // v2 has no entry
    kav::decomp::proposal(st());
    EXPECT_EQ(s.IERR, 6);
    EXPECT_EQ(s.LBLBAD, 5002);
}

TEST(Proposal, ChainIsFollowedAndPriced) {
    SolverState& s = st().sv;
    optimum({1.0, 1.0, 0.0, 1.0});
    chain();
    s.RRK3[K][2] = 4.0f;  // member leg may start at 4: waits 2
    s.IRK5[K][2] = 6;     // start time of the member leg -> position 5
    s.IRK6[K][3] = 0;     // closing leg's time position outside: skipped
    s.IRK1[K][2] = 2;     // counts of the member leg -> positions 1 and 3
    s.IRK3[K][2] = 4;
    s.IRL1[2][1] = 1;
    s.IRL2[2][1] = 1;
    s.acpl(2, NCK) = 0.5;  // time offset
    s.acpl(1, NCK) = 100.0;
    s.acpl(1, NCK - 1) = -1.0;
    kav::decomp::proposal(st());
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
        void (*change)(SolverState&);
        bool accepted;
    };
    const Case cases[] = {
        {"plain chain", [](SolverState&) {}, true},
        {"member does not match the start", [](SolverState& q) { q.IZA3[3] = 7; }, false},
        {"member capacity below 0.99 t", [](SolverState& q) { q.RRK1[K][2] = 1.97f; }, false},
        {"member capacity at 0.99 t", [](SolverState& q) { q.RRK1[K][2] = 0.99f * 2.0f; }, true},
        {"capacity not checked with IKR set", [](SolverState& q) { q.RRK1[K][2] = 0.0f, q.IKR[K][2] = 1; }, true},
        {"closing capacity below 0.99 T'", [](SolverState& q) { q.KR06[K] = 8.9f; }, false},
        {"closing count check", [](SolverState& q) { q.IRL1[3][1] = 2000; }, false},
        {"leg resource outside the resources", [](SolverState& q) { q.IZA1[5] = 61, q.IZA2[3] = 61; }, false},
        {"group sizes beyond NZK", [](SolverState& q) { q.KR19[K] = 500; }, true},
        {"problem of the second kind never rejects", [](SolverState& q) { q.IZA3[3] = 7, q.KCODE[K] = 501; }, true},
    };
    for (const Case& c : cases) {
        optimum({1.0, 1.0, 0.0, 1.0});
        chain();
        c.change(s);
        kav::decomp::proposal(ds);
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
    optimum({0.0, 0.0, 0.0, 1.0});
    entry(4, 0, 0, 1, 4, 6.0, 3.0f);
    s.acpl(2, NCK) = 1.0;
    s.acpl(1, NCK) = 2.0;
    s.acpl(1, NCK - 1) = 0.5;
    s.PRSW = 1;
    kav::decomp::proposal(st());
    ASSERT_EQ(s.IREJ, 0);
    EXPECT_EQ(s.PROPX[K][1][6], 4.0);
    EXPECT_EQ(s.PROPZ[K][1], (6.0 + 2.0 + 4.0 * 0.5) / 4.0);

    optimum({0.0, 0.0, 0.0, 1.0});
    entry(4, 0, 0, 1, 3, 6.0, 3.0f);  // not a single leg
    kav::decomp::proposal(st());
    EXPECT_EQ(s.IREJ, 1);

    optimum({0.0, 0.0, 0.0, 0.0});  // nothing chosen: no tail
    kav::decomp::proposal(st());
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
    kav::decomp::proposal(ds);
    ds.pnt.close();
    const std::string out = kav::test::read_file(dir.file("OPT.PNT"));
    EXPECT_NE(out.find("\nPROBLEM   2 OPTIMAL SOLUTION COMPLETE\n"), std::string::npos) << out;
    EXPECT_NE(out.find("OBJECTIVE FUNCTION =          20.0000000 AT ITERATION    12"), std::string::npos) << out;
    EXPECT_NE(out.find("STRUCTURAL VARIABLES: X(I)"), std::string::npos) << out;
    EXPECT_NE(out.find("I =         1         2"), std::string::npos) << out;
}

}  // namespace
