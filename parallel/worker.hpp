// A worker process of kavmpi: its set-up and its cycle loop.
#pragma once

#include "mpi_state.hpp"

namespace kav::mpi {

// Receives the set-up messages into the worker's tables (sized here from
// the extents received); false when a received count does not fit them.
bool receive_setup(MpiState& st);
// Serves cycles until process 0 sends the stop word 1.
void worker_loop(MpiState& st);

}  // namespace kav::mpi
