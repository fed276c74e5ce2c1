// The pieces of a decomposition pass that the library's cycle and kavmpi's
// cycle over MPI share (kavmpi runs them once per master problem).
#pragma once

#include <cstdint>

#include "family.hpp"

namespace kav::solver {

// The price deduction that SIMPLX subtracted from the objective of
// proposal n of problem k (0 for a subproblem's first proposal).
double price_deduction(State& ds, int k, int n);

// The proposal test: proposal n of problem k enters the master when K's
// convexity price is 0 or the proposal gains more than TOLELM on it.
bool proposal_enters(const State& ds, int32_t k, int32_t n);
// Builds, locates and transforms the column of proposal n of problem k as
// master column NCOLM+1, with cost own / OBJSCL: `own` is the proposal's
// own objective, PROPZ(k,n) with the price deduction added back.  Returns
// false (IERR 4) when an entry has no place.
bool add_column(State& ds, int32_t k, int32_t n, double own);
// The retention rule for that column: it stays (NCOLM and NPROP(K) grow)
// when its reduced cost improves, it is K's first proposal, or K is flagged.
bool retain_column(State& ds, int32_t k, int32_t n);
// Combined solution XCUR(LEVEL, .) of the master weights, 0-Z values
// snapped; returns whether every 0-Z value is 0 or 1.
bool combine(State& ds);
// A mixed 0-Z master solution above BESTL(LEVEL) becomes the level's result
// (RESV, XRES) with its lines; returns whether it did.
bool take_incumbent(State& ds);
// The lines of a complete continuous solution.
void print_continuous(State& ds);

}  // namespace kav::solver
