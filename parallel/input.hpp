// Process 0's reading of the input set, interleaved with the set-up
// messages of every worker.
#pragma once

#include <cstdint>

#include "handoff.hpp"
#include "mpi_state.hpp"

namespace kav::mpi {

// Opens PAR1, PAR3 and PAR5; 0 or the open's code (36, 38, 40).
int16_t open_input(MpiState& st);
// Extents and header of PAR1, the flag word of PAR5, and the process count
// against NSUB; 0 or the code (110, 150, 111).
int16_t read_header(MpiState& st);
// Everything else into st.pb (sized here from the extents), sent to the
// workers as it is read; 0 or the code (27, 28, 110, 130, 140).
int16_t read_and_send(MpiState& st);
// A subproblem's problem record fits the extents and the tables it fills.
bool record_fits(const MpiState& st, const handoff::ProblemRecord& r);

}  // namespace kav::mpi
