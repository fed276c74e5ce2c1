// SELECT: the branching-variable selection of the decomposition searches.
#pragma once

#include <cstdint>

#include "solver_state.hpp"

namespace kav::solver {

struct State;

// A branch candidate: the problem, the variable label and the side word of
// a branch-point slot.
struct Candidate {
    int16_t p = 0, v = 0, b = 0;
};
inline Candidate candidate_at(const SolverState& sv, int32_t s) { return {sv.IBPPRB[s], sv.IBPVAR[s], sv.IBOTH[s]}; }
inline void set_candidate(SolverState& sv, int32_t s, const Candidate& c) {
    sv.IBPPRB[s] = c.p;
    sv.IBPVAR[s] = c.v;
    sv.IBOTH[s] = c.b;
}

// Choose the next 0-Z variable from XCUR(LEVEL, .) and write it into slot
// NBRPT+1 (side word 1); NBRPT is unchanged.  sv.IERR: 5 = a point fixed
// at 1 is not in the 0-Z entry list, 65 = a scored candidate has no entry,
// 73 = nothing left to branch on.
void select_branch(State& ds);

}  // namespace kav::solver
