// Process 0 of kavmpi after the set-up: the two master problems, the cycle
// over MPI, the two-master branch and bound, the results and the stop.
#pragma once

#include "mpi_state.hpp"

namespace kav::mpi {

// Runs the search on the problem in st.pb with the master problems of
// st.master (made by make_master_solves).  Returns 0, or the status of a
// failed write of the results record.
int master_search(MpiState& st);

}  // namespace kav::mpi
