// What differs between the programs that run the decomposition routines.
//
// The decomposition library and kavmpi run one family of routines: the
// subproblem simplex SIMPLX with its proposal and 0-Z tail, the master
// simplex MASTER, BRANCH, SELECT and the pieces of a decomposition pass.
// Everything in which the two programs differ inside those routines is
// listed here, once, as a constant profile that each program hands to the
// routines with its state.  To change a routine for both programs, change
// it in solver/; to change it for one, give the profile a field.
#pragma once

#include <cstdint>

#include "kernel.hpp"
#include "lines.hpp"

namespace kav::solver {

// How SIMPLX's iteration limit is applied to its counted iterations NITER.
enum class IterStop : uint8_t {
    at_limit,    // the iteration that brings NITER to MAXIT stops the solve
    past_limit,  // the iteration that brings NITER above MAXIT stops it
};

struct Profile {
    // Steering block of the routines.
    kernel::Consts kc;       // BIG (start of minimum searches), TOLZER, TOLELM
    double tolpiv;           // pivot and ratio tolerance; snapping of 0-Z values to 0 and 1
    double objscl;           // objective scale between subproblems and master
    int64_t prtsw;           // 1 = the solution and trace lines are printed
    int64_t dmpsw;           // nonzero = tableau dumps after every iteration
    // SIMPLX.
    int32_t maxit;           // iteration limit of one solve
    IterStop stop;           // ... and how NITER is compared with it
    bool per_problem_totals; // SIMPLX adds its iterations to ITERK(K) for the end lines
    bool dump_names_columns; // the diagnostic dump's first line ends with NCK(K)
    bool proposal_level_line;// a printed proposal starts with its sensitivity level line
    // Master column building.
    bool unplaced_entry_line;// a proposal entry without a place prints "NOT FOUND IN ICOL..."
    // Line forms of the routines.
    const fmt::Format& (*banner)();      // stop and trace marks
    const fmt::Format& (*error_line)();  // "PROBLEM ... ERROR CODE ..."
};

// The decomposition library: one process, one master problem.
inline constexpr Profile LIBRARY{
    .kc = kernel::DECOMP_CONSTS,
    .tolpiv = 5e-6,
    .objscl = 30000.0,
    .prtsw = 1,
    .dmpsw = 0,
    .maxit = 1000,
    .stop = IterStop::at_limit,
    .per_problem_totals = true,
    .dump_names_columns = false,
    .proposal_level_line = false,
    .unplaced_entry_line = true,
    .banner = &fmt::lines::banner5,
    .error_line = &fmt::lines::error_line,
};

// kavmpi: workers run SIMPLX, process 0 runs two master problems; every
// process prints into a file of its own, so a printed proposal names its
// level, and problem numbers carry the master problem (1000 * m + K).
inline constexpr Profile PARALLEL{
    .kc = kernel::MPI_CONSTS,
    .tolpiv = 5e-6,
    .objscl = 30000.0,
    .prtsw = 1,
    .dmpsw = 0,
    .maxit = 500,
    .stop = IterStop::past_limit,
    .per_problem_totals = false,
    .dump_names_columns = true,
    .proposal_level_line = true,
    .unplaced_entry_line = false,
    .banner = &fmt::lines::banner3,
    .error_line = &fmt::lines::error_line5,
};

}  // namespace kav::solver
