// Subproblem simplex SIMPLX of the decomposition routines, with the
// proposal it forms at the optimum and the 0-Z tail that tests it.
#pragma once

#include <cstdint>

#include "family.hpp"

namespace kav::solver {

// Mode words of SIMPLX.
constexpr int16_t SX_FRESH = 1;     // set-up, phase 1, phase 2
constexpr int16_t SX_CONTINUE = 2;  // phase 2 from the stored basis after new prices

// SIMPLX(mode) on the work tableau of problem KCUR.  mode 2: phase 2 from
// the stored basis (the master prices changed); any other value: a fresh
// solve (set-up, phase 1, phase 2).  Results in the state: IERR (0, 5, 6,
// 7), IREJ, LBLBAD, NITER, IPHASE, and on IERR = 0 the proposal in slot
// NPROP(K)+1 unless IREJ = 1.
void simplx(State& ds, int16_t mode);

// The proposal and its 0-Z tail at the optimum (called by simplx; exposed
// for tests that build an optimal tableau by hand).
void proposal(State& ds);

}  // namespace kav::solver
