// Master program of the decomposition: MASTER (simplex with dual and primal
// steps and a first phase for flagged subproblems) and PIVOTM (one exchange
// step on the master tableau TM).
#pragma once

#include <cstdint>

namespace kav::solver {

// Mode words of MASTER.
constexpr int16_t MASTER_PHASE1 = 1;  // a first phase for the flagged subproblems' convexity rows
constexpr int16_t MASTER_PHASE2 = 2;

struct State;

// One exchange step on TM at (MR, MC) over NROWM rows and NCOLM columns.
void pivotm(State& ds);

// Solve the master program.  mmode 1 runs the first phase (and becomes 2
// when it ends).  Results in sv.IERR: 0 solved, 4 a basic label decodes to
// no subproblem or a flagged convexity slack stays basic, 5 infeasible,
// unbounded or the pivot cap was reached.  On 0: OBJL(LEVEL), LAMBDA, PIC,
// PIM.
void master(State& ds, int16_t& mmode);

// Dump of the master tableau: column labels, then every row with its label.
void dump_master(State& ds);

}  // namespace kav::solver
