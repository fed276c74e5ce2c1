// Phase one of the allocation simplex on problems that fill the tableau, with
// many equations: whether a problem is feasible against GLPK's verdict.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "lp_oracle.hpp"
#include "mix_host.hpp"

namespace {

using kav::test::Host;
using kav::test::entry;

// Random problems of 98 rows over 50 variables that hold at a chosen point
// x* >= 0: row 2 bounds every variable, about half the others are equations
// through x*, the rest ">=" rows (passed negated) and "<=" rows with up to 5
// to spare.  The phase-one objective, the sum of the equation rows, reaches
// 1e5 and ends with round-off far above 1e-7, which is no infeasibility.
// Every fifth problem repeats its last equation times 1 to 3 with the
// right-hand side moved by 1: it has no solution, and the call must end with
// code 5 and take nothing.
TEST(MixPhaseOne, FeasibleExactlyWhenGlpkFindsASolution) {
    ASSERT_NE(entry(), nullptr);
    std::mt19937 rng(2718);
    auto uni = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    const int nv = 50, rows = 99;
    for (int trial = 0; trial < 30; ++trial) {
        SCOPED_TRACE(trial);
        const bool off = trial % 5 == 4;
        std::vector<double> xs(nv);
        for (double& x : xs) x = uni(0, 2) == 0 ? 0.0 : uni(0, 4);
        Host h(rows, nv);
        kav::test::LpProblem lp;
        lp.c.assign(nv + 1, 0.0);
        lp.lb.assign(nv + 1, 0.0);
        lp.ub.assign(nv + 1, kav::test::LP_INF);
        lp.ub[nv] = 0.0;
        for (int v = 1; v <= nv; ++v) h.value(v, uni(1, 20)), lp.c[v - 1] = h.valvar[v];
        int last_eq = 0;
        for (int i = 2; i <= rows; ++i) {
            const int kind = uni(0, 99);
            kav::test::LpRow row{std::vector<double>(nv + 1, 0.0),
                                 i == 2 ? 'L' : kind < 50 ? 'E' : kind < 80 ? 'G' : 'L', 0.0};
            double ax = 0.0;
            for (int v = 0; v < nv; ++v) {
                row.a[v] = i == 2 ? 1.0 : uni(0, 1) ? uni(1, 99) : 0.0;
                ax += row.a[v] * xs[v];
            }
            row.rhs = row.type == 'E' ? ax : row.type == 'G' ? ax - uni(0, 5) : ax + uni(0, 5);
            if (off && i == rows) {
                const double f = uni(1, 3);
                row = lp.rows[last_eq];
                for (double& c : row.a) c *= f;
                row.rhs = f * row.rhs + 1.0;
            }
            if (row.type == 'E') last_eq = i - 2;
            const double sg = row.type == 'G' ? -1.0 : 1.0;
            h.at(i, 1) = sg * row.rhs;
            for (int v = 0; v < nv; ++v) h.at(i, v + 2) = sg * row.a[v];
            h.itype[i - 1] = row.type == 'E' ? 0 : 1;
            lp.rows.push_back(row);
        }
        const bool feasible = kav::test::solve_lp(lp).status == kav::test::LpStatus::optimal;
        ASSERT_EQ(feasible, !off);
        h.call();
        if (feasible) {
            // Only the iteration limit may stop a feasible problem.
            EXPECT_EQ(h.pnt.find("PROBLEM ERROR CODE") == std::string::npos,
                      !h.printed("BESM ELLAH EL RAHMAN EL RAHIM 37"));
        } else {
            EXPECT_EQ(h.status, 37.0);
            EXPECT_TRUE(h.printed("PROBLEM ERROR CODE  5"));
        }
    }
}

// A node whose phase one ends with a small residual on an equation with
// coefficients in the thousands is infeasible and closes; it must not end
// the search with an artificial variable left in the basis (banner 2).
// Demands as rows, no groups; the integer optimum is -431.
TEST(MixPhaseOne, SmallResidualOnLargeEquationClosesTheNode) {
    ASSERT_NE(entry(), nullptr);
    const std::vector<std::vector<double>> rows = {
        {0, -8, -18, -1, -15, -19, -13, -2, -34, -3, -29, 2, -20, -12, -32, -36, -26, -37, -15, 22, 22, 24},
        {12, 2, 1, 1, 3, 1, 2, 1, 3, 2, 2, 1, 1, 2, 1, 2, 1, 2, 3, 0, 0, 0},
        {1, 0, 0, 0, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {2992, 1908, 0, 0, 0, 0, 0, 0, 510, 0, 0, 0, 0, 0, 0, 2992, 1349, 0, 0, 0, 0, 0},
        {52617, 0, 5554, 8352, 0, 8298, 5558, 8278, 0, 5587, 8287, 11067, 2808, 11125, 8330, 5535, 2788, 8361, 2778, 0, 0, 0},
        {-431, 0, 0, -763, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {-3, 0, 0, 0, 0, 0, -4, 0, -3, 0, 0, 0, -1, -4, 0, 0, 0, 0, 0, -1, 0, 0},
        {-23, -3, -3, -1, 0, 0, 0, -4, 0, 0, 0, 0, 0, 0, -1, 0, -3, 0, 0, 0, -1, 0},
        {-21, 0, 0, 0, -2, -2, 0, 0, 0, -1, 0, -1, 0, 0, 0, 0, 0, -4, -4, 0, 0, -1}};
    const int item[] = {102, 102, 102, 103, 103, 101, 102, 101, 103, 103, 103, 101, 101, 102, 101, 102, 103, 103};
    const float qty[] = {3, 3, 1, 2, 2, 4, 4, 3, 1, 0, 1, 1, 4, 1, 0, 3, 4, 4};
    Host h(9, 18, 3, 0);
    for (int i = 1; i <= 9; ++i)
        for (int j = 1; j <= 22; ++j) h.at(i, j) = rows[i - 1][j - 1];
    h.itype[2] = h.itype[3] = 0;
    for (int v = 1; v <= 18; ++v) h.valvar[v] = -rows[0][v], h.iitmv[v] = int16_t(item[v - 1]), h.rqty[v] = qty[v - 1];
    h.idem = {3, 23, 21};
    h.ipen = {22, 22, 24};
    h.best0 = -1e6f;
    h.call();
    EXPECT_EQ(h.pnt.find("PROBLEM ERROR CODE"), std::string::npos);
    EXPECT_EQ(h.status, -431.0);
}

}  // namespace
