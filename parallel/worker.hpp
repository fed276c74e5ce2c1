// A worker process of kavmpi: its set-up and its cycle loop.
#pragma once

#include "mpi_state.hpp"

namespace kav::mpi {

// Receives the set-up messages into the worker's tables; false when a
// received count does not fit them (the worker has then written its error
// line).
bool receive_setup(MpiState& st, decomp::DecompState& ds);
// Serves cycles until process 0 sends the stop word 1.
void worker_loop(MpiState& st, decomp::DecompState& ds);

}  // namespace kav::mpi
