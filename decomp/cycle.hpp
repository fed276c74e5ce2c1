// CYCLE of the library: subproblem solves, proposals, master solves, until
// no subproblem offers a profitable proposal.
#pragma once

namespace kav::decomp {

struct DecompState;
struct StoreWork;

// Runs the decomposition of the current node.  Results: ms.RCODE 0
// (converged; INTFL(LEVEL) tells whether the master solution is a mixed 0-Z
// solution), 1 (error exit, sv.IERR holds the code), 2 (stop after CYCLE's
// own message), 3 (node infeasible).
void cycle(DecompState& ds);

// The store's view of the work tableau and coupling matrix of problem k.
StoreWork store_view(DecompState& ds, int k);

}  // namespace kav::decomp
