// The global data area of the decomposition library.
//
// One structure holds everything the library keeps while it is loaded: the
// entry's tables (call to call), the problem read back by the driver, the
// two sides of the decomposition routines' state, the driver's search
// words and data units, and the tableau store.  Routines are functions
// over it; the decomposition routines of solver/ reach it through `fam`.
//
// The library sizes the routines' tables once, at their fixed maxima, when
// the state is made; nothing is allocated afterwards.
#pragma once

#include "driver_state.hpp"
#include "entry_state.hpp"
#include "family.hpp"
#include "fmt.hpp"
#include "store.hpp"

namespace kav::decomp {

using solver::MasterState;
using solver::Problem;
using solver::SolverState;
using solver::LDC;
using solver::MAXCOL;
using solver::MAXCRES;
using solver::MAXINC;
using solver::MAXNZ;
using solver::MAXROW;
using solver::MAXVRES;
using solver::MAXZENT;
using solver::NSLOT;
using solver::TMCOLS;
using solver::TMLD;
using solver::BPLIM;
using solver::RC_DONE;
using solver::RC_ERROR;
using solver::RC_INFEASIBLE;
using solver::RC_STOP;

struct DecompState {
    DecompState();
    DecompState(const DecompState&) = delete;
    DecompState& operator=(const DecompState&) = delete;

    fmt::PrintUnit pnt;       // unit 8: KAV.PNT, then KAV100.PNT after a solve
    EntryState ent;           // the entry and its hand-off writing
    solver::Problem pb;       // the problem as the driver reads it back
    solver::SolverState sv;   // work tableau, scales, prices, proposals, branch points
    solver::MasterState ms;   // master program, per-level objective words, results
    DriverState dv;           // the driver's search words and data units
    TableauStore store;       // every subproblem's tableau between visits
    // The routines' view of the above, with the library's profile.
    solver::State fam{solver::LIBRARY, pnt, pb, sv, ms};
};

// The library's one instance.
DecompState& state();

}  // namespace kav::decomp
