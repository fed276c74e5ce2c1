// The global data area of the decomposition library.
//
// One structure holds everything the library keeps while it is loaded: the
// entry's tables (call to call), the solver's tables, tableau store and work
// tableau, and the driver's search state.  Routines are functions over it.
#pragma once

#include "fmt.hpp"
#include "entry_state.hpp"
#include "solver_state.hpp"
#include "driver_state.hpp"

namespace kav::decomp {

struct DecompState {
    fmt::PrintUnit pnt;  // unit 8: KAV.PNT, then KAV100.PNT after a solve
    EntryState ent;      // the entry and its hand-off writing
    SolverState sv;      // tables read back by the driver, work tableau, store, SIMPLX
    DriverState dv;      // driver, cycle, master, branch points, levels
};

// The library's one instance (static storage; untouched pages cost nothing).
DecompState& state();

}  // namespace kav::decomp
