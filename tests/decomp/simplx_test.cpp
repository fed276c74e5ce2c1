// Subproblem simplex: optimum and proposal against GLPK on random
// subproblems (fresh solves and re-priced solves), branch-point fixings,
// row removals, the iteration limit and infeasible phase 1.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "datadir.hpp"
#include "lp_oracle.hpp"
#include "simplx.hpp"
#include "decomp_state.hpp"
#include "sub_builder.hpp"

namespace {

using kav::decomp::DecompState;
using kav::decomp::SolverState;
using kav::solver::simplx;
using kav::test::SubLp;

constexpr int K = 3;

DecompState& st() { return kav::decomp::state(); }

double rel(double a, double b) { return std::fabs(a - b) / std::max(1.0, std::fabs(b)); }

// Random feasible, bounded subproblem.  `feature` steers the mix: equality
// rows and negative right-hand sides (phase 1, dual steps), zero slack
// (degeneracy), attractive 0-Z variables (bound flips).
SubLp random_lp(std::mt19937& g, int feature) {
    std::uniform_real_distribution<double> u(0.0, 1.0);
    auto pick = [&](double lo, double hi) { return lo + (hi - lo) * u(g); };
    SubLp p;
    p.nz = static_cast<int>(pick(0, 6));
    const int ncont = 1 + static_cast<int>(pick(0, 4));
    p.ncol = p.nz + ncont + 2;
    std::vector<double> x0(p.ncol + 1, 0.0);
    for (int j = 2; j <= p.nz + 1; ++j) x0[j] = u(g) < 0.5 ? std::round(u(g)) : u(g);
    for (int j = p.nz + 2; j < p.ncol; ++j) x0[j] = pick(0, 3);
    x0[p.ncol] = 1.0;
    const bool degenerate = feature % 3 == 1;
    const int nrow = 1 + static_cast<int>(pick(0, 7));
    for (int r = 0; r < nrow; ++r) {
        std::vector<double> a(p.ncol + 1, 0.0);
        bool any = false;
        for (int j = 2; j <= p.ncol; ++j) {
            if (u(g) < 0.6) {
                double v = pick(-3, 5);
                if (degenerate) v = std::round(v * 2) / 2;
                a[j] = v;
                any = any || std::fabs(v) > 0.01;
            }
        }
        if (!any) a[2 + static_cast<int>(pick(0, p.ncol - 1.0001))] = 1.5;
        double ax = 0.0;
        for (int j = 2; j <= p.ncol; ++j) ax += a[j] * x0[j];
        const bool eq = feature % 4 == 2 ? u(g) < 0.4 : u(g) < 0.1;
        if (eq) {
            a[1] = ax;
            p.type.push_back('E');
        } else {
            const double slack = degenerate && u(g) < 0.5 ? 0.0 : pick(0, 4);
            a[1] = ax + slack;
            p.type.push_back('L');
        }
        p.a.push_back(a);
    }
    // The continuous variables are bounded by one row.
    {
        std::vector<double> a(p.ncol + 1, 0.0);
        double ax = 0.0;
        for (int j = p.nz + 2; j < p.ncol; ++j) {
            a[j] = pick(0.5, 2);
            ax += a[j] * x0[j];
        }
        a[1] = ax + pick(0, 3);
        p.a.push_back(a);
        p.type.push_back('L');
    }
    p.c.assign(p.ncol + 1, 0.0);
    const bool zo_rich = feature % 5 == 3;
    for (int j = 2; j <= p.ncol; ++j) p.c[j] = j <= p.nz + 1 && zo_rich ? pick(1, 8) : pick(-2, 5);
    return p;
}

// Checks the proposal in slot s against the LP: feasible, 0-Z values in
// [0, 1], objective value `obj`.
void check_proposal(const SubLp& p, int s, double obj, const std::vector<double>& cost) {
    const SolverState& sv = st().sv;
    const double* px = sv.PROPX[K][s];
    EXPECT_NEAR(px[p.ncol - 1], 1.0, 1e-9);
    double z = 0.0;
    for (int j = 2; j <= p.ncol; ++j) {
        const double x = px[j - 1];
        EXPECT_GE(x, -1e-6) << "position " << j - 1;
        if (j <= p.nz + 1) {
            EXPECT_LE(x, 1.0 + 1e-6) << "0-Z position " << j - 1;
        }
        z += cost[j] * x;
    }
    for (size_t r = 0; r < p.a.size(); ++r) {
        double ax = 0.0, mag = std::fabs(p.a[r][1]);
        for (int j = 2; j <= p.ncol; ++j) {
            ax += p.a[r][j] * px[j - 1];
            mag += std::fabs(p.a[r][j]);
        }
        const double tl = 1e-5 * (1.0 + mag);
        if (p.type[r] == 'E')
            EXPECT_NEAR(ax, p.a[r][1], tl) << "row " << r;
        else
            EXPECT_LE(ax, p.a[r][1] + tl) << "row " << r;
    }
    EXPECT_LE(rel(z, obj), 1e-5);
}

TEST(Simplx, RandomSubproblemsAgreeWithGlpk) {
    std::mt19937 g(20240611);
    int solved = 0, phase1 = 0, degenerate = 0, flips = 0, comp1 = 0, comp3 = 0, repriced = 0;
    const int count = 400;
    for (int inst = 0; inst < count; ++inst) {
        SubLp p = random_lp(g, inst);
        kav::test::LpResult ref = kav::test::solve_lp(kav::test::oracle_lp(p));
        ASSERT_EQ(ref.status, kav::test::LpStatus::optimal) << "instance " << inst;
        SolverState& s = st().sv;
        auto& pb = st().pb;
        kav::test::load(st(), p, K);
        simplx(st().fam, 1);
        ASSERT_EQ(s.IERR, 0) << "instance " << inst;
        ASSERT_EQ(s.IREJ, 0);
        EXPECT_EQ(s.IPHASE, -1);
        EXPECT_LE(rel(s.PROPZ[K][1], ref.obj), 1e-6) << "instance " << inst << ": " << s.PROPZ[K][1] << " vs "
                                                      << ref.obj;
        check_proposal(p, 1, s.PROPZ[K][1], p.c);
        ++solved;
        bool needs1 = false, deg = false;
        for (size_t r = 0; r < p.a.size(); ++r) {
            needs1 = needs1 || p.type[r] == 'E' || p.a[r][1] < 0.0;
            deg = deg || p.a[r][1] == 0.0;
        }
        phase1 += needs1;
        degenerate += deg || inst % 3 == 1;
        flips += s.NFLIP;
        comp1 += s.NCOMP1;
        comp3 += s.NCOMP3;
        EXPECT_EQ(s.ITERK[K], s.NITER);

        // Re-priced solve from the stored basis: a price on a coupling row
        // and a changed objective.
        std::uniform_real_distribution<double> u(-1.0, 1.0);
        pb.NCROW = 3;
        std::vector<double> cost(p.ncol + 1, 0.0);
        const double pim = 1e-5 * (1.0 + u(g));
        s.PIM[2] = pim;
        for (int j = 1; j <= p.ncol; ++j) {
            s.acpl(1, j) = j >= 2 ? p.c[j] + u(g) : 0.0;
            s.acpl(2, j) = j >= 2 && j < p.ncol ? 2.0 * u(g) : 0.0;
            s.acpl(3, j) = 0.0;
        }
        for (int j = 2; j <= p.ncol; ++j)
            cost[j] = s.acpl(1, j) - (j < p.ncol ? s.OBJSCL * s.acpl(2, j) * pim : 0.0);
        s.NPROP[K] = 1;
        SubLp q = p;
        q.c = cost;
        kav::test::LpResult ref2 = kav::test::solve_lp(kav::test::oracle_lp(q));
        ASSERT_EQ(ref2.status, kav::test::LpStatus::optimal);
        simplx(st().fam, 2);
        ASSERT_EQ(s.IERR, 0) << "repriced instance " << inst;
        EXPECT_LE(rel(s.PROPZ[K][2], ref2.obj), 1e-6)
            << "repriced instance " << inst << ": " << s.PROPZ[K][2] << " vs " << ref2.obj;
        check_proposal(q, 2, s.PROPZ[K][2], cost);
        flips += s.NFLIP;
        comp1 += s.NCOMP1;
        comp3 += s.NCOMP3;
        ++repriced;
    }
    EXPECT_EQ(solved, count);
    EXPECT_EQ(repriced, count);
    EXPECT_GT(phase1, 50);
    EXPECT_GT(degenerate, 50);
    EXPECT_GT(flips, 0);
    EXPECT_GT(comp1 + comp3, 0);
    RecordProperty("bound_flips", flips);
    RecordProperty("complemented_rows", comp1 + comp3);
}

// A hand-made subproblem: two 0-Z variables, one continuous, weight.
//   max 3 z1 + 2 z2 + x3   s.t.  z1 + z2 + x3 <= 1.5,  x3 <= 2
SubLp small_lp() {
    SubLp p;
    p.nz = 2;
    p.ncol = 5;
    p.c = {0, 0, 3.0, 2.0, 1.0, 0.0};
    p.a = {{0, 1.5, 1.0, 1.0, 1.0, 0.0}, {0, 2.0, 0.0, 0.0, 1.0, 0.0}};
    p.type = {'L', 'L'};
    return p;
}

int find_col(const SolverState& s, int lbl) {
    for (int j = 1; j <= s.N; ++j)
        if (s.ICOL[j] == lbl) return j;
    return 0;
}

TEST(Simplx, HandProblemFlipsAZeroOneVariableToItsBound) {
    SubLp p = small_lp();
    kav::test::load(st(), p, K);
    SolverState& s = st().sv;
    simplx(st().fam, 1);
    ASSERT_EQ(s.IERR, 0);
    EXPECT_NEAR(s.PROPZ[K][1], 4.0, 1e-9);  // z1 = 1, z2 = 0.5
    EXPECT_EQ(s.PROPX[K][1][1], 1.0);
    EXPECT_NEAR(s.PROPX[K][1][2], 0.5, 1e-12);
    EXPECT_GE(s.NFLIP, 1);
}

TEST(Simplx, BranchPointsFoldOrRemoveFixedColumns) {
    SolverState& s = st().sv;
    for (int side : {1, 2, 0, 3}) {
        SubLp p = small_lp();
        kav::test::load(st(), p, K);
        s.NBRPT = 2;
        s.IBPPRB[2] = K;
        s.IBPVAR[2] = 5001;  // z1
        s.IBOTH[2] = static_cast<int16_t>(side);
        simplx(st().fam, 1);
        ASSERT_EQ(s.IERR, 0) << side;
        EXPECT_EQ(s.NBRPT, 2);
        EXPECT_EQ(find_col(s, 5001), 0);
        EXPECT_EQ(find_col(s, 6001), 0);
        // The oracle with z1 fixed.
        kav::test::LpProblem q = kav::test::oracle_lp(p);
        q.lb.assign(q.c.size(), 0.0);
        q.ub.assign(q.c.size(), kav::test::LP_INF);
        q.lb[0] = q.ub[0] = (side == 1 || side == 2) ? 1.0 : 0.0;
        auto ref = kav::test::solve_lp(q);
        ASSERT_EQ(ref.status, kav::test::LpStatus::optimal);
        EXPECT_NEAR(s.PROPZ[K][1], ref.obj, 1e-9) << side;
        EXPECT_EQ(s.PROPX[K][1][1], (side == 1 || side == 2) ? 1.0 : 0.0);
    }
}

TEST(Simplx, ComplementedLabelMatchesNoBranchPoint) {
    SolverState& s = st().sv;
    SubLp p = small_lp();
    p.c[3] = 0.0;  // z2 has no cost and no entries: it stays in its column
    p.a[0][3] = 0.0;
    kav::test::load(st(), p, K);
    s.ICOL[3] = 6002;
    s.ICOLSV[3] = 6002;
    s.NBRPT = 2;
    s.IBPPRB[2] = K;
    s.IBPVAR[2] = 5002;
    s.IBOTH[2] = 0;
    simplx(st().fam, 1);
    ASSERT_EQ(s.IERR, 0);
    EXPECT_NE(find_col(s, 6002), 0);

    kav::test::load(st(), p, K);
    s.NBRPT = 2;
    s.IBPPRB[2] = K;
    s.IBPVAR[2] = 5002;
    s.IBOTH[2] = 0;
    simplx(st().fam, 1);
    ASSERT_EQ(s.IERR, 0);
    EXPECT_EQ(find_col(s, 5002), 0);
}

TEST(Simplx, AllZeroRowIsRemovedOnlyInsideBranchAndBound) {
    SolverState& s = st().sv;
    SubLp p = small_lp();
    p.a.push_back(std::vector<double>(p.ncol + 1, 0.0));
    p.type.push_back('L');
    kav::test::load(st(), p, K);
    const int m0 = s.M;
    simplx(st().fam, 1);
    ASSERT_EQ(s.IERR, 0);
    EXPECT_EQ(s.M, m0);

    kav::test::load(st(), p, K);
    s.NBRPT = 2;  // a point of another problem
    s.IBPPRB[2] = K + 1;
    s.IBPVAR[2] = 5001;
    s.IBOTH[2] = 0;
    simplx(st().fam, 1);
    ASSERT_EQ(s.IERR, 0);
    EXPECT_EQ(s.M, m0 - 1);
    EXPECT_NEAR(s.PROPZ[K][1], 4.0, 1e-9);
}

TEST(Simplx, RowClassRangeIsClampedToTheTableau) {
    SolverState& s = st().sv;
    auto& pb = st().pb;
    SubLp p = small_lp();
    kav::test::load(st(), p, K);
    pb.KCODE[K] = 100;
    // Class 1 covers row 2 (z1 + z2 + x3 <= 1.5); the range reaches far
    // beyond the tableau.
    pb.IKA[K][1] = -7;
    pb.IKB[K][1] = 2;
    pb.IKA[K][6] = 3;
    pb.IKB[K][6] = 3000;
    s.NBRPT = 2;
    s.IBPPRB[2] = K;
    s.IBPVAR[2] = 5001;
    s.IBOTH[2] = 1;
    const int m0 = s.M;
    simplx(st().fam, 1);
    ASSERT_EQ(s.IERR, 0);
    EXPECT_EQ(s.M, m0 - 1);  // row 2 removed by the fixed point
    EXPECT_EQ(s.NBRPT, 2);
}

TEST(Simplx, LinkedPointsStayLocalAndNeverPassTheListEnd) {
    SolverState& s = st().sv;
    auto& pb = st().pb;
    SubLp p = small_lp();
    p.nz = 3;  // z1, z2, z3 and one continuous variable
    p.ncol = 5;
    p.c = {0, 0, 1.0, 2.0, 3.0, 0.0};
    p.a = {{0, 5.0, 1.0, 1.0, 1.0, 0.0}};
    p.type = {'L'};
    kav::test::load(st(), p, K);
    pb.KCODE[K] = 100;
    // z1 and z2 are pair-linked (same start word and code); z3 not.
    pb.IZA1[2] = 7, pb.IZA3[2] = 1, pb.IZA2[2] = 8, pb.IZA4[2] = 2;
    pb.IZA1[3] = 7, pb.IZA3[3] = 1, pb.IZA2[3] = 9, pb.IZA4[3] = 3;
    pb.IZA1[4] = 4, pb.IZA3[4] = 2, pb.IZA2[4] = 5, pb.IZA4[4] = 4;
    // The list is full but for one slot: the point on z1 sits in the last
    // used slot.
    s.NBRPT = kav::decomp::BPMAX - 1;
    for (int n = 2; n < s.NBRPT; ++n) {
        s.IBPPRB[n] = K + 1;
        s.IBPVAR[n] = 5001;
        s.IBOTH[n] = 0;
    }
    s.IBPPRB[s.NBRPT] = K;
    s.IBPVAR[s.NBRPT] = 5001;
    s.IBOTH[s.NBRPT] = 1;
    s.IBPPRB[kav::decomp::BPMAX] = 0;
    simplx(st().fam, 1);
    ASSERT_EQ(s.IERR, 0);
    EXPECT_EQ(s.NBRPT, kav::decomp::BPMAX - 1);  // restored
    // The linked point on z2 was used during the solve: z2 = 0.
    EXPECT_EQ(s.IBPVAR[kav::decomp::BPMAX], 5002);
    EXPECT_EQ(s.PROPX[K][1][1], 1.0);
    EXPECT_EQ(s.PROPX[K][1][2], 0.0);
    EXPECT_EQ(s.PROPX[K][1][3], 1.0);
}

TEST(Simplx, IterationLimitStopsWithBanner37) {
    kav::test::TempDataDir dir;
    DecompState& ds = st();
    SolverState& s = ds.sv;
    ds.pnt.open(dir.file("LIMIT.PNT"));
    SubLp p = small_lp();
    kav::test::load(ds, p, K);
    s.NITER = 999;  // a fresh solve starts the count again
    simplx(ds.fam, 1);
    ASSERT_EQ(s.IERR, 0);
    const int32_t iterk = s.ITERK[K];
    // A later solve of the problem with another objective continues the count.
    s.NITER = 999;
    s.acpl(1, 2) = -5.0;
    s.acpl(1, 4) = 9.0;
    simplx(ds.fam, 2);
    EXPECT_EQ(s.IERR, 7);
    EXPECT_EQ(s.NITER, 1000);
    EXPECT_EQ(s.ITERK[K], iterk);
    ds.pnt.close();
    const std::string out = kav::test::read_file(dir.file("LIMIT.PNT"));
    EXPECT_NE(out.find("BESM ELLAH EL RAHMAN EL RAHIM   37"), std::string::npos) << out;
}

TEST(Simplx, InfeasiblePhaseOneGivesFiveOutsideAndSevenInsideBranchAndBound) {
    kav::test::TempDataDir dir;
    DecompState& ds = st();
    SolverState& s = ds.sv;
    // x3 <= 1 and x3 = 3.
    SubLp p;
    p.nz = 1;
    p.ncol = 4;
    p.c = {0, 0, 1.0, 1.0, 0.0};
    p.a = {{0, 1.0, 0.0, 1.0, 0.0}, {0, 3.0, 0.0, 1.0, 0.0}};
    p.type = {'L', 'E'};
    ASSERT_EQ(kav::test::solve_lp(kav::test::oracle_lp(p)).status, kav::test::LpStatus::infeasible);

    ds.pnt.open(dir.file("INF.PNT"));
    kav::test::load(ds, p, K);
    s.LEVEL = 2;
    s.RESV[2] = 0.0;
    simplx(ds.fam, 1);
    EXPECT_EQ(s.IERR, 5);
    EXPECT_EQ(s.RESV[2], 37.0);
    ds.pnt.close();
    std::string out = kav::test::read_file(dir.file("INF.PNT"));
    EXPECT_NE(out.find("BESM ELLAH EL RAHMAN EL RAHIM    5"), std::string::npos) << out;

    ds.pnt.open(dir.file("INF2.PNT"));
    kav::test::load(ds, p, K);
    s.LEVEL = 2;
    s.RESV[2] = 0.0;
    s.NBRPT = 2;
    s.IBPPRB[2] = K + 1;
    s.IBPVAR[2] = 5001;
    s.IBOTH[2] = 1;
    simplx(ds.fam, 1);
    EXPECT_EQ(s.IERR, 7);
    EXPECT_EQ(s.RESV[2], 0.0);
    ds.pnt.close();
    out = kav::test::read_file(dir.file("INF2.PNT"));
    EXPECT_EQ(out.find("BESM"), std::string::npos) << out;
}

// A tableau set by hand at the start of a re-priced solve: the weight
// variable is basic at 0 and the entering 0-Z variable lifts it at almost
// its own rate (g = 1 + T(w,c) nearly 0).  The flip would divide by g; the
// solve exchanges instead.
void near_singular_flip(double twc) {
    SolverState& s = st().sv;
    auto& pb = st().pb;
    SubLp p = small_lp();
    kav::test::load(st(), p, K);
    pb.NCK[K] = 3;
    pb.NZK[K] = 1;
    s.CSCL[K][1] = s.CSCL[K][2] = s.CSCL[K][3] = 1.0;
    s.OSCL[K] = 1.0;
    s.M = 3;
    s.N = 2;
    s.IROW[1] = 0, s.IROW[2] = 2, s.IROW[3] = -2;
    s.ICOL[1] = 0, s.ICOL[2] = 5001;
    s.ICOLSV[1] = 0, s.ICOLSV[2] = 5001, s.ICOLSV[3] = 2;
    s.t(2, 1) = 0.0, s.t(2, 2) = twc;
    s.t(3, 1) = 1000.0, s.t(3, 2) = 1.0;
    s.acpl(1, 2) = 1.0, s.acpl(1, 3) = 0.0;
    s.NITER = 0;
    simplx(st().fam, 2);
}

// An improving 0-Z variable that no row limits (it appears in no row, or
// only with entries that loosen the rows) goes to its own bound.
TEST(Simplx, UnlimitedZeroOneColumnGoesToItsBound) {
    SolverState& s = st().sv;
    for (double entry : {0.0, -1.0}) {
        // max 2 z1 + x3   s.t.  entry * z1 + x3 <= 0.5
        SubLp p;
        p.nz = 1;
        p.ncol = 4;
        p.c = {0, 0, 2.0, 1.0, 0.0};
        p.a = {{0, 0.5, entry, 1.0, 0.0}};
        p.type = {'L'};
        kav::test::LpResult ref = kav::test::solve_lp(kav::test::oracle_lp(p));
        ASSERT_EQ(ref.status, kav::test::LpStatus::optimal);
        kav::test::load(st(), p, K);
        simplx(st().fam, 1);
        ASSERT_EQ(s.IERR, 0) << entry;
        EXPECT_EQ(s.PROPX[K][1][1], 1.0) << entry;
        EXPECT_NEAR(s.PROPZ[K][1], ref.obj, 1e-9) << entry;
        EXPECT_GE(s.NFLIP, 1) << entry;
    }
}

TEST(Simplx, NearSingularBoundFlipExchangesInstead) {
    SolverState& s = st().sv;
    near_singular_flip(-0.5);  // g = 0.5: an ordinary flip
    EXPECT_EQ(s.NFLIP, 1);
    EXPECT_EQ(s.NCOMP2, 1);
    near_singular_flip(-(1.0 - 4e-6));  // g = 4e-6
    EXPECT_EQ(s.NFLIP, 0);
    EXPECT_EQ(s.NCOMP2, 0);
    EXPECT_GE(s.NITER, 1);
    EXPECT_TRUE(s.IROW[3] == 5001 || s.IROW[3] == 6001);  // entered by exchange
    for (int i = 1; i <= s.M; ++i)
        for (int j = 1; j <= s.N; ++j) EXPECT_TRUE(std::isfinite(s.t(i, j)));
}

// A re-priced solve whose second negative row has only an entry too small
// to pivot on: after the dual exchange of the first row, neither a primal
// nor a dual step can act.  The solve stops as "no pivot possible" (code 5
// with the stop line and no result for the level) instead of alternating
// between the two steps for ever.
TEST(Simplx, StepsWithoutProgressStopAsNoPivotPossible) {
    kav::test::TempDataDir dir;
    DecompState& ds = st();
    SolverState& s = ds.sv;
    auto& pb = ds.pb;
    ds.pnt.open(dir.file("IDLE.PNT"));
    kav::test::load(ds, small_lp(), K);
    pb.NCK[K] = 4;
    pb.NZK[K] = 0;
    for (int j = 1; j <= 4; ++j) s.CSCL[K][j] = 1.0;
    s.OSCL[K] = 1.0;
    s.M = 4;
    s.N = 3;
    s.IROW[1] = 0, s.IROW[2] = 3, s.IROW[3] = -2, s.IROW[4] = -3;
    s.ICOL[1] = 0, s.ICOL[2] = 1, s.ICOL[3] = 2;
    for (int j = 1; j <= 4; ++j) s.ICOLSV[j] = static_cast<int16_t>(j - 1);
    for (int i = 1; i <= 4; ++i)
        for (int j = 1; j <= 3; ++j) s.t(i, j) = 0.0;
    s.t(2, 1) = 1.0;                                   // weight variable at 1
    s.t(3, 1) = -1.0, s.t(3, 2) = -1.0;                // x1 >= 1
    s.t(4, 1) = -1.0, s.t(4, 3) = -1e-6;               // x2 >= 1e6
    s.acpl(1, 2) = -1.0, s.acpl(1, 3) = -1.0, s.acpl(1, 4) = 0.0;
    s.LEVEL = 1;
    s.RESV[1] = 0.0;
    s.NITER = 0;
    simplx(ds.fam, 2);
    EXPECT_EQ(s.IERR, 5);
    EXPECT_EQ(s.NITER, 1);  // the one dual exchange
    EXPECT_EQ(s.IROW[3], 1);
    EXPECT_EQ(s.RESV[1], 37.0);
    ds.pnt.close();
    const std::string out = kav::test::read_file(dir.file("IDLE.PNT"));
    EXPECT_NE(out.find("BESM ELLAH EL RAHMAN EL RAHIM    5"), std::string::npos) << out;
}

}  // namespace
