// The state a routine of the decomposition family runs on.
//
// A program binds its profile, its print unit, the problem and one
// subproblem-side and one master-side state into a State and hands it to
// the routines (the library binds its one set; kavmpi's process 0 one set
// per master problem over the one problem, a worker one for its subproblem).
#pragma once

#include "fmt.hpp"
#include "master_state.hpp"
#include "problem.hpp"
#include "profile.hpp"
#include "solver_state.hpp"

namespace kav::solver {

struct State {
    const Profile& pf;    // the running program's differences
    fmt::PrintUnit& pnt;  // unit 8: the print file the routines write to
    const Problem& pb;    // the problem (read only)
    SolverState& sv;      // subproblem side: work tableau, scales, prices, proposals, branch points
    MasterState& dv;      // master side: master tableau, levels, results
};

// The steering block of a program: its profile's constants.
void set_steering(SolverState& sv, const Profile& pf);

}  // namespace kav::solver
