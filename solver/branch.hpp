// Branch points of the decomposition's branch and bound: BRANCH tests a
// newly applied point against the points fixed at 1 and resets the master.
#pragma once

#include <cstdint>

namespace kav::solver {

struct State;

// Works on point NBRPT of the current level.  Results: dv.RCODE 3 = the
// point conflicts with an earlier one (master not reset); sv.IERR 55 = a
// point's variable is not in the 0-Z entry list; otherwise IERR 0 and the
// master is reset to the convexity rows alone.
void branch(State& ds);

// The master reset of BRANCH (also the state right after the master set-up).
void reset_master(State& ds);

// 0-Z entry d (2..NZOTOT+1) of problem k with label lab; 0 when none.
int32_t find_zentry(const State& ds, int32_t k, int32_t lab);

}  // namespace kav::solver
