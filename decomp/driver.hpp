// The decomposition driver DECOMP: reads the problem back from the hand-off
// files, builds and stores every subproblem tableau and the master, and
// runs decomposition and branch and bound for each sensitivity level.
#pragma once

namespace kav::decomp {

struct DecompState;

// No arguments and no result: results go to PAR5.DAT and KAV100.PNT.
void decomp(DecompState& ds);

}  // namespace kav::decomp
