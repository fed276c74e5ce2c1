// Decomposition cycle: subproblem solves, proposals, master solves, until
// no subproblem offers a profitable proposal.
#pragma once

#include <cstdint>

namespace kav::decomp {

struct DecompState;
struct StoreWork;

// Runs the decomposition of the current node.  Results: dv.RCODE 0
// (converged; INTFL(LEVEL) tells whether the master solution is a mixed 0-Z
// solution), 1 (error exit, sv.IERR holds the code), 2 (stop after CYCLE's
// own message), 3 (node infeasible).
void cycle(DecompState& ds);

// The store's view of the work tableau and coupling matrix of problem k.
StoreWork store_view(DecompState& ds, int k);

// The price deduction that SIMPLX subtracted from the objective of
// proposal n of problem k (0 for a subproblem's first proposal).
double price_deduction(DecompState& ds, int k, int n);

// The pieces of one pass that every program running the decomposition
// shares (the MPI program runs them per master problem):
// The proposal test: proposal n of problem k enters the master when K's
// convexity price is 0 or the proposal gains more than TOLELM on it.
bool proposal_enters(const DecompState& ds, int32_t k, int32_t n);
// Builds, locates and transforms the column of proposal n of problem k as
// master column NCOLM+1, with cost own / OBJSCL: `own` is the proposal's
// own objective, PROPZ(k,n) with the price deduction added back.  Returns
// false (IERR 4) when an entry has no place.
bool add_column(DecompState& ds, int32_t k, int32_t n, double own);
// The retention rule for that column: it stays (NCOLM and NPROP(K) grow)
// when its reduced cost improves, it is K's first proposal, or K is flagged.
bool retain_column(DecompState& ds, int32_t k, int32_t n);
// Combined solution XCUR(LEVEL, .) of the master weights, 0-Z values
// snapped; returns whether every 0-Z value is 0 or 1.
bool combine(DecompState& ds);
// A mixed 0-Z master solution above BESTL(LEVEL) becomes the level's result
// (RESV, XRES) with its lines; returns whether it did.
bool take_incumbent(DecompState& ds);
// The lines of a complete continuous solution.
void print_continuous(DecompState& ds);

}  // namespace kav::decomp
