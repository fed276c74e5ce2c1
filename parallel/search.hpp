// Process 0 of kavmpi after the set-up: the two master problems, the cycle
// over MPI, the two-master branch and bound, the results and the stop.
#pragma once

#include "mpi_state.hpp"

namespace kav::mpi {

// `ds` holds what the input set gave (it becomes master problem 1).
// Returns 0, or the status of a failed write of the results record.
int master_search(MpiState& st, DecompBox& ds);

}  // namespace kav::mpi
