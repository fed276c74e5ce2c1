// Branching-variable selection of the decomposition's branch and bound.
#pragma once

namespace kav::decomp {

struct DecompState;

// Choose the next 0-Z variable from XCUR(LEVEL, .) and write it into slot
// NBRPT+1 (side word 1); NBRPT is unchanged.  sv.IERR: 5 = a point fixed
// at 1 is not in the 0-Z entry list, 65 = a scored candidate has no entry,
// 73 = nothing left to branch on.
void select_branch(DecompState& ds);

}  // namespace kav::decomp
