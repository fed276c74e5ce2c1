// Process 0's reading of the input set, interleaved with the set-up
// messages of every worker, and the problem record both sides share.
#pragma once

#include <cstdint>

#include "mpi_state.hpp"

namespace kav::mpi {

// The 22-item problem record of a subproblem as it travels: the nine 32-bit
// items 1, 2, 3, 7, 8, 9, 13, 14, 15 (message 96), the ten 16-bit items 4,
// 5, 10, 11, 12, 17 to 21 (message 99) and item 6 (message 100).  Items 16
// and 22 stay with process 0.
struct ProblemRecord {
    int32_t i4[9] = {};
    int16_t i2[10] = {};
    float r4 = 0.0f;
    int32_t kr16 = 0;
    int16_t kflag = 0;

    int16_t rows() const { return i2[2]; }
    int16_t cols() const { return i2[3]; }
    int16_t nzo() const { return i2[4]; }
    // Extents within the solver's tables and counts that fit the matrix.
    bool fits(const MpiState& st) const;
    // Into the per-subproblem tables of K.
    void store(decomp::SolverState& sv, int32_t k) const;
};

// Opens PAR1, PAR3 and PAR5; 0 or the open's code (36, 38, 40).
int16_t open_input(MpiState& st);
// Extents and header of PAR1, the flag word of PAR5, and the process count
// against NSUB; 0 or the code (110, 150, 111).
int16_t read_header(MpiState& st);
// Everything else, sent to the workers as it is read (into `ds` for the
// master problems); 0 or the code (27, 28, 110, 130, 140).
int16_t read_and_send(MpiState& st, decomp::DecompState& ds);

}  // namespace kav::mpi
