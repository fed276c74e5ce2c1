// The decomposition cycle: the cost of a new master column, and the
// continuous solution of seeded random problems without 0-Z variables
// (one cycle at the root, whose final state stays in the library state).

#include <gtest/gtest.h>

#include <cstdio>

#include "core_host.hpp"
#include "cycle.hpp"
#include "fixtures.hpp"
#include "pass.hpp"
#include "simplx.hpp"

namespace kav::test {
namespace {

using decomp::DecompState;
using decomp::SolverState;

// ---- the cost of a proposal taken over from the 0-Z tail ------------------

using tail::K;
using tail::NCK;

// The chain-layout optimum with objective 3, unit objective row scale, one
// proposal in the master and a priced common resource (so every 0-Z
// variable has a price PS); entry values ZOVD 5, 9, 13, 17 and ZOVR v.
void optimum(DecompState& ds, const std::vector<double>& zo) {
    SolverState& s = ds.sv;
    auto& pb = ds.pb;
    tail::optimum(ds, zo, 3.0);
    s.NPROP[K] = 1;
    pb.NCROW = 3;
    s.RSCL[K][1] = 1.0;
    for (int j = 1; j <= NCK; ++j) s.acpl(3, j) = 0.0;
    s.acpl(1, NCK) = 0.5;       // profit of the weight
    s.acpl(1, NCK - 1) = 0.25;  // profit per unit of time
    s.acpl(3, NCK) = 1.0;       // time offset
    for (int v = 1; v <= 4; ++v) s.acpl(2, v + 1) = 1.0 + v;  // resource use 2, 3, 4, 5
    s.PIM[2] = 1e-4;  // PS(v) = 3 (1 + v)
    for (int v = 1; v <= 4; ++v) {
        pb.ZOVD[v + 1][1] = 4.0 * v + 1.0;  // 5, 9, 13, 17
        pb.ZOVR[v + 1][1] = static_cast<float>(v);
    }
}

// PROPZ plus the deduction must give the proposal's own objective: the
// values of the legs followed, the weight's profit and the time's profit.
TEST(CycleColumnCost, TailDeductsOnlyTheLegsItFollowed) {
    TempDataDir dir;
    FreshState st;
    DecompState& ds = *st;
    SolverState& s = ds.sv;
    const int n = 2;  // slot NPROP + 1

    // A chain v1 -> v2 -> v4: all three legs priced.  T' = 1 + 2 + 4 + 1.
    optimum(ds, {1.0, 1.0, 0.0, 1.0});
    tail::words(ds, 1, 1, 2, 1, 2);
    tail::words(ds, 2, 2, 3, 2, 3);
    tail::words(ds, 4, 3, 0, 3, 0);
    solver::proposal(ds.fam);
    ASSERT_EQ(s.IERR, 0);
    ASSERT_EQ(s.IREJ, 0);
    EXPECT_NEAR(s.PROPZ[K][n], 5.0 + 9.0 + 17.0 - 6.0 - 9.0 - 15.0 + 0.5 + 8.0 * 0.25, 1e-12);
    EXPECT_NEAR(s.PROPZ[K][n] + solver::price_deduction(ds.fam, K, n), 31.0 + 0.5 + 2.0, 1e-12);

    // A start without a continuation next to a chosen member that no chain
    // reaches: the member stays 1 in the proposal but carries no price.
    optimum(ds, {1.0, 1.0, 0.0, 0.0});
    tail::words(ds, 1, 1, 2, 1, 0);
    solver::proposal(ds.fam);
    ASSERT_EQ(s.IERR, 0);
    ASSERT_EQ(s.IREJ, 0);
    EXPECT_EQ(s.PROPX[K][n][2], 1.0);
    EXPECT_NEAR(s.PROPZ[K][n] + solver::price_deduction(ds.fam, K, n), 5.0 + 0.5 + 2.0 * 0.25, 1e-12);

    // The single closing leg v4 with a chosen member left as it was.
    optimum(ds, {0.0, 1.0, 0.0, 1.0});
    tail::words(ds, 4, 0, 0, 1, 4);
    solver::proposal(ds.fam);
    ASSERT_EQ(s.IERR, 0);
    ASSERT_EQ(s.IREJ, 0);
    EXPECT_EQ(s.PROPX[K][n][2], 1.0);
    EXPECT_NEAR(s.PROPZ[K][n] + solver::price_deduction(ds.fam, K, n), 17.0 + 0.5 + 5.0 * 0.25, 1e-12);
}

// ---- continuous problems through the whole cycle ---------------------------

// The generator's problem with every 0-Z variable turned continuous (and
// bounded by a row), so the root's cycle is the only one of the level.
PlainProblem continuous_problem(std::mt19937& g) {
    PlainProblem pp = random_problem(g);
    for (auto& s : pp.subs) {
        bound_by_a_row(s, 0);  // the 0-Z ones; the others already are
        s.nz = 0;
    }
    return pp;
}

// The cycle stops when no subproblem gains more than TOLELM in master units
// (0.0015 in objective units).  Then the master objective is the objective
// of the combined solution it reports, that solution is feasible, and the
// LP optimum exceeds it by no more than the gains the subproblems offered
// last (each at most 0.0015).
TEST(CycleLp, ContinuousSolutionIsTheCombinedSolutionAndStopsOnlyByTheTolerance) {
    NoSleep quiet;
    std::mt19937 g(77031);
    const double step = 5e-8 * 30000.0;
    int family = 0, exact = 0;
    for (int seed = 0; seed < 60; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        PlainProblem pp = continuous_problem(g);
        TempDataDir dir;
        FreshState st;
        CoreHost h(*st);
        Problem p = to_host(pp, seed);
        h.run(p);
        const SolverState& sv = st->sv;
        auto& dv = st->ms;

        LpProblem lp = to_lp(pp, false);
        LpResult lpr = solve_lp(lp);
        ASSERT_EQ(lpr.status, LpStatus::optimal);
        const double scale = std::max(1.0, std::fabs(lpr.obj));

        const double obj = dv.OBJL[1];
        std::vector<double> x(lp.c.size());
        ASSERT_EQ(static_cast<size_t>(dv.NVRES), x.size());
        for (size_t j = 0; j < x.size(); ++j) x[j] = st->ms.xcur(1, static_cast<int>(j) + 1);
        EXPECT_NEAR(objective_of(lp, x), obj, 1e-9 * scale);
        EXPECT_LE(max_violation(lp, x), 1e-9 * scale);
        EXPECT_EQ(h.RESV[0], obj);

        double printed = 0.0;
        ASSERT_TRUE(continuous_objective(read_file(dir.file("KAV100.PNT")), printed));
        EXPECT_NEAR(printed, obj, 1e-7);

        bool under7 = true;
        for (int k = 1; k <= p.nsub; ++k) under7 = under7 && sv.NPROP[k] < 7;
        if (!under7) continue;
        ++family;
        double offered = 0.0;
        for (int k = 1; k <= p.nsub; ++k) {
            const double gain = sv.PROPZ[k][sv.NPROP[k] + 1] - sv.PIC[k] * sv.OBJSCL;
            EXPECT_LE(gain, step + 1e-9) << "subproblem " << k;
            offered += std::max(0.0, gain);
        }
        EXPECT_LE(obj, lpr.obj + 1e-9 * scale);
        EXPECT_GE(obj + offered, lpr.obj - 1e-9 * scale);
        if (std::fabs(obj - lpr.obj) <= 1e-6 * scale) ++exact;
    }
    std::printf("continuous problems %d, LP optimum to 1e-6 relative %d\n", family, exact);
    EXPECT_GE(family, 50);
}

}  // namespace
}  // namespace kav::test
