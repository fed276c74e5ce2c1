// Branch and bound of the decomposition over 0-Z variables that form
// chains (starts, members), worked out by hand: the search lines of
// KAV100.PNT and the results are compared with the expected trace.
//
// The subproblem (KCODE 500): maximise 3 v1 + 5 v2 + 4 v3 with
//   v1 + v2 <= 1       (one start)
//   v3 - v1 <= 0       (the member only behind its start)
//   tw + tt <= 0       (waiting and time columns, filled by the chain)
//   weight = 1
// and the common row 2 v1 + v2 + 2 v3 <= 3.
// Chains: v1 is a start from node 2 to node 1 that needs a member (code 2),
// v2 a start from node 2 that stands alone, v3 the member from node 1.
// v2 and v3 both end at "none" (0, 0): a linked pair that conflicts.
// The chain v1 -> v3 carries the load ZOVR(v1) + ZOVR(v3) = 4 + 6 = 10
// against the limit KR06.
//
// Proposals: (1,0,1) worth 7 using 4 of the common row, (0,1,0) worth 5
// using 1.  The continuous optimum mixes them 2/3 : 1/3 (19/3).  The
// integral (1,0,1) does not fit the common row, so the best mixed solution
// is (0,1,0) with 5; the time position carries ZOVR(v2) = 3.

#include <gtest/gtest.h>

#include <sstream>

#include "core_host.hpp"

namespace kav::test {
namespace {

Problem chain_problem(float kr06) {
    Problem p;
    p.nsub = 1;
    p.ncres = 2;
    p.nlevel = 0;
    Sub s = Sub::sized(5, 7, 3, 3, 2);
    s.kcode = 500;
    s.type = {0, 1, 1, 1, 0};
    const double prof[3] = {3, 5, 4};
    const double use[3] = {2, 1, 2};
    for (int v = 1; v <= 3; ++v) {
        s.A(1, v + 1) = prof[v - 1];
        s.C(1, v + 1) = prof[v - 1];
        s.C(2, v + 1) = use[v - 1];
    }
    s.A(2, 1) = 1.0;  // v1 + v2 <= 1
    s.A(2, 2) = 1.0;
    s.A(2, 3) = 1.0;
    s.A(3, 2) = -1.0;  // v3 - v1 <= 0
    s.A(3, 4) = 1.0;
    s.A(4, 5) = 1.0;  // tw + tt <= 0
    s.A(4, 6) = 1.0;
    s.A(5, 1) = 1.0;  // weight = 1
    s.A(5, 7) = 1.0;
    s.iza[1] = {2, 1, 1, 2};  // v1: start, node 2 -> node 1, member follows
    s.iza[2] = {2, 0, 1, 0};  // v2: start alone
    s.iza[3] = {1, 0, 2, 0};  // v3: member from node 1
    const float load[3] = {4.0f, 3.0f, 6.0f};
    for (int v = 1; v <= 3; ++v) {
        s.zovd[v][0] = prof[v - 1];
        s.zovr[v][0] = load[v - 1];
    }
    s.rrk[0] = {100.0f, 100.0f};  // member capacities: never binding
    p.subs.push_back(s);
    p.itypcr = {0, 1, 0};
    p.crval = {0, 3.0, 0};
    p.fill_passthrough(1);
    // Problem record: no base value, two starts, one member; no counts.
    p.kr01 = {0};
    p.kr02 = {0};
    p.kr07 = {0};
    p.kr08 = {0};
    p.kr16 = {0};
    p.kr17 = {2};
    p.kr18 = {1};
    p.kr19 = {0};
    p.kr20 = {0};
    p.kr21 = {0};
    p.kr06 = {kr06};
    p.ikr.assign(1, {});
    p.ika.assign(1, {});
    p.ikb.assign(1, {});
    for (auto* v : {&p.irl1, &p.irl2, &p.irl3}) v->assign(2, {});
    return p;
}

// The lines of the search in the order written.
std::vector<std::string> search_lines(const std::string& pnt) {
    std::vector<std::string> out;
    std::istringstream in(pnt);
    std::string line;
    for (;;) {
        if (!std::getline(in, line)) break;
        if (line.find("BRANCH POINT") != std::string::npos || line.find("BEST MIXED") != std::string::npos ||
            line.find("CAUSED TOTAL") != std::string::npos || line.find("NO MIXED") != std::string::npos)
            out.push_back(line.substr(0, line.find_last_not_of(' ') + 1));
    }
    return out;
}

struct Solved {
    TempDataDir dir;
    NoSleep quiet;
    FreshState st;
    CoreHost h{*st};
    std::string pnt;
    explicit Solved(const Problem& p) {
        h.run(p);
        pnt = read_file(dir.file("KAV100.PNT"));
    }
};

double continuous(const std::string& pnt) {
    double obj = 0.0;
    EXPECT_TRUE(continuous_objective(pnt, obj));
    return obj;
}

void expect_best_is_v2(const Solved& r) {
    EXPECT_NEAR(r.h.RESV[0], 5.0, 1e-9);
    const double want[5] = {0.0, 1.0, 0.0, 0.0, 3.0};  // v1, v2, v3, wait, time
    for (int j = 1; j <= 5; ++j) EXPECT_NEAR(r.h.xres(1, j), want[j - 1], 1e-12) << "position " << j;
    EXPECT_EQ(r.h.xres(1, 2), 1.0);  // 0-Z values exactly
    EXPECT_EQ(r.h.xres(1, 1), 0.0);
}

// KR06 = 10: the chain load equals its limit and passes.  Trace:
// root 19/3 fractional (2/3, 1/3, 2/3): SELECT scores v3 (4 * 2/3) highest.
// Point 1 (v3): v3 = 1 gives (1,0,1) at weight 0.75 (5.25), SELECT takes v1;
//   v3 = 0 gives (0,1,0) = 5, the first mixed solution.  5.25 > 5: keep v3 = 1.
// Point 2 (v1): v1 = 1 passes the chain test (10 is not above 10), 5.25 again,
//   SELECT finds nothing in sweep 1 (v2 is linked to v3 at 1) and takes v2
//   in sweep 2; v1 = 0 is infeasible (v3 needs v1).  Keep v1 = 1.
// Point 3 (v2): v2 = 1 conflicts with v3 (both end at none);
//   v2 = 0 gives 5.25 and SELECT has nothing left: the solve ends (code 73)
//   without backtracking.
TEST(BranchAndBound, ChainAtItsLoadLimitPasses) {
    Solved r(chain_problem(10.0f));
    EXPECT_NEAR(continuous(r.pnt), 19.0 / 3.0, 1e-6);
    const std::vector<std::string> want = {
        "BEST MIXED 0-Z SOLUTION OBTAINED SO FAR, SENSITIVITY LEVEL     0",
        "BRANCH POINT INCREASED TO     1 PROBLEM  1 VARIABLE  5003 IBOTH  1",
        "BRANCH POINT INCREASED TO     2 PROBLEM  1 VARIABLE  5001 IBOTH  1",
    };
    EXPECT_EQ(search_lines(r.pnt), want);
    expect_best_is_v2(r);
    EXPECT_EQ(r.st->sv.IERR, 73);
    EXPECT_EQ(r.st->sv.NBRPT, 4);
    EXPECT_EQ(r.st->sv.IBPVAR[4], 5002);
    EXPECT_EQ(r.st->sv.IBOTH[4], 0);  // the side evaluated last
    const size_t best = r.pnt.find("BEST MIXED");
    ASSERT_NE(best, std::string::npos);
    EXPECT_EQ(r.pnt.find("OBJECTIVE FUNCTION =", best), r.pnt.find("OBJECTIVE FUNCTION =           5.0000000", best));
}

// KR06 = 9.95: the load 10 exceeds the limit, so point 2's side v1 = 1
// conflicts; with v1 = 0 infeasible as well the search backs up to point 1,
// whose other side (v3 = 0) is integral: nothing is left open and the
// level ends at the root.  The proposal (1,0,1) itself still passes the
// chain's own close (9.95 >= 0.99 * 10).
TEST(BranchAndBound, ChainOverItsLoadLimitConflicts) {
    Solved r(chain_problem(9.95f));
    EXPECT_NEAR(continuous(r.pnt), 19.0 / 3.0, 1e-6);
    const std::vector<std::string> want = {
        "BEST MIXED 0-Z SOLUTION OBTAINED SO FAR, SENSITIVITY LEVEL     0",
        "BRANCH POINT INCREASED TO     1 PROBLEM  1 VARIABLE  5003 IBOTH  1",
        "BRANCH POINT DECREASED TO     1 PROBLEM  1 VARIABLE  5003",
        "BRANCH POINT     1 CHANGED TO PROBLEM  1 VARIABLE  5003 IBOTH     3",
        "PROBLEM 777 AT ITERATION",
        "BRANCH POINT DECREASED TO     0 PROBLEM  0 VARIABLE     0",
    };
    std::vector<std::string> got = search_lines(r.pnt);
    for (auto& g : got)
        if (g.find("CAUSED TOTAL") != std::string::npos) g = g.substr(0, 24);
    EXPECT_EQ(got, want);
    expect_best_is_v2(r);
    EXPECT_EQ(r.st->sv.NBRPT, 1);
    EXPECT_EQ(r.pnt.find("NO MIXED"), std::string::npos);
}

// KR06 = 9: the chain v1 -> v3 closes above 0.99 of its limit, so the
// subproblem's optimum (1,0,1) is rejected (error line with 73, no
// column); the master stays empty at 0, which does not beat the start
// value 0: the level ends at the root without a mixed solution.
TEST(BranchAndBound, RejectedChainLeavesNoSolution) {
    Solved r(chain_problem(9.0f));
    EXPECT_NE(r.pnt.find("PROBLEM   1 ERROR CODE 73"), std::string::npos);
    const std::vector<std::string> want = {"NO MIXED 0-Z SOLUTION FOUND"};
    EXPECT_EQ(search_lines(r.pnt), want);
    EXPECT_EQ(r.h.RESV[0], 37.0);
    EXPECT_EQ(r.pnt.find("OPTIMAL SOLUTION COMPLETE"), std::string::npos);
}


// The 740th branch point stops the whole solve.  One subproblem of the
// second kind (KCODE 501: branch points leave the master as it is) with
// 745 0-Z variables: maximise 2 v1 + 1.5 v2 + v3 + ... under
// v1 + ... + v745 <= 1.5.  The continuous solution v1 = 1, v2 = 0.5 never
// changes (the restricted subproblems offer nothing better), so every
// point keeps its flipped side and SELECT goes on with v1, v3, v4, ... in
// the second sweep.  Point 739 (printed 738) is the last one evaluated;
// then the BANNER line with 37 ends the solve before level 2 is reached.
TEST(BranchAndBound, TheSevenHundredFortiethPointStopsTheSolve) {
    const int nz = 745;
    const int16_t ncol = static_cast<int16_t>(nz + 2);
    Problem p;
    p.nsub = 1;
    p.ncres = 0;
    p.nlevel = 1;
    Sub s = Sub::sized(3, ncol, static_cast<int16_t>(nz), 3, 0);
    s.kcode = 501;
    s.type = {0, 1, 0};
    for (int v = 1; v <= nz; ++v) {
        const double c = v == 1 ? 2.0 : (v == 2 ? 1.5 : 1.0);
        s.A(1, v + 1) = c;
        s.C(1, v + 1) = c;
        s.A(2, v + 1) = 1.0;
    }
    s.A(2, 1) = 1.5;
    s.A(3, 1) = 1.0;
    s.A(3, ncol) = 1.0;
    p.subs.push_back(s);
    p.itypcr = {0, 1, 0};
    p.crval = {0, 100.0, 0};
    p.fill_passthrough(2);
    Solved r(p);
    EXPECT_EQ(r.st->sv.NBRPT, 740);
    EXPECT_EQ(count_of(r.pnt, "BESM ELLAH EL RAHMAN EL RAHIM   37"), 1u);
    EXPECT_EQ(count_of(r.pnt, "BRANCH POINT INCREASED TO"), 738u);
    EXPECT_NE(r.pnt.find("BRANCH POINT INCREASED TO   738 PROBLEM  1 VARIABLE  5738 IBOTH  0"), std::string::npos);
    EXPECT_NE(r.pnt.find("BRANCH POINT INCREASED TO     2 PROBLEM  1 VARIABLE  5001 IBOTH  0"), std::string::npos);
    EXPECT_EQ(r.pnt.find("BRANCH POINT DECREASED"), std::string::npos);
    EXPECT_EQ(r.pnt.find("SENSITIVITY LEVEL     1"), std::string::npos);
    EXPECT_EQ(r.pnt.find("NO MIXED"), std::string::npos);
    // The stop comes before the final output.
    EXPECT_LT(r.pnt.find("RAHIM   37"), r.pnt.find("TOTAL NUMBER OF ITERATIONS OF PROBLEM"));
    EXPECT_EQ(r.h.RESV[0], 37.0);
    EXPECT_EQ(r.h.RESV[1], 37.0);
}


// A coupling matrix of two rows (objective and last row) has no common
// resource: the master holds the convexity rows alone and each subproblem
// is solved on its own.  Two subproblems with one 0-Z variable each:
// maximise 3 x1 + 2 x2 (x1 + x2 <= 1.5) and 4 y1 (y1 <= 0.5, y1 0-Z).
TEST(BranchAndBound, NoCommonResourceRows) {
    Problem p;
    p.nsub = 2;
    p.ncres = 0;
    p.nlevel = 0;
    {
        Sub s = Sub::sized(3, 4, 1, 2, 0);
        s.kcode = 501;
        s.type = {0, 1, 0};
        s.A(1, 2) = s.C(1, 2) = 3.0;
        s.A(1, 3) = s.C(1, 3) = 2.0;
        s.A(2, 1) = 1.5;
        s.A(2, 2) = 1.0;
        s.A(2, 3) = 1.0;
        s.A(3, 1) = 1.0;
        s.A(3, 4) = 1.0;
        p.subs.push_back(s);
    }
    {
        Sub s = Sub::sized(3, 3, 1, 2, 0);
        s.kcode = 501;
        s.type = {0, 1, 0};
        s.A(1, 2) = s.C(1, 2) = 4.0;
        s.A(2, 1) = 0.5;
        s.A(2, 2) = 1.0;
        s.A(3, 1) = 1.0;
        s.A(3, 3) = 1.0;
        p.subs.push_back(s);
    }
    p.itypcr = {0, 0};
    p.crval = {0, 0};
    p.fill_passthrough(3);
    Solved r(p);
    EXPECT_EQ(r.pnt.find("ERROR CODE"), std::string::npos) << r.pnt.substr(0, 2000);
    // Continuous: x1 = 1, x2 = 0.5, y1 = 0.5: 3 + 1 + 2.
    EXPECT_NEAR(continuous(r.pnt), 6.0, 1e-9);
}

}  // namespace
}  // namespace kav::test
