// The global data area of kavmpi: one structure per process.
//
// Process 0 keeps the input set and, per master problem, a decomposition
// state whose master tableau, proposal slots and branch-point list the
// shared MASTER, BRANCH and SELECT work on.  A worker keeps one
// decomposition state for its subproblem, on which the shared SIMPLX runs.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "fmt.hpp"
#include "platform.hpp"
#include "state.hpp"

namespace kav::mpi {

constexpr int16_t NPERSUB = 2;

// Error codes of process 0 beyond the library's.
constexpr int16_t ERR_READ_PAR1 = 110;  // read failure or count beyond capacity in PAR1.DAT
constexpr int16_t ERR_NPROCS = 111;     // the process count is not 2 * NSUB + 1
constexpr int16_t ERR_READ_PAR3 = 130;
constexpr int16_t ERR_READ_TAB = 140;
constexpr int16_t ERR_READ_PAR5 = 150;
constexpr int16_t ERR_WRITE_PAR5 = 160;  // the results record cannot be written to PAR5.DAT

// A decomposition state on the heap (zero pages until touched).
struct DecompBox {
    DecompBox();
    ~DecompBox();
    DecompBox(const DecompBox&) = delete;
    DecompBox& operator=(const DecompBox&) = delete;
    decomp::DecompState& operator*() { return *p; }
    decomp::DecompState* operator->() { return p; }
    decomp::DecompState* p;
};

struct MpiState {
    int32_t NPROCS = 0, MYID = 0, KPROC = 0;
    int16_t KSUB = 0, KMAST = 0, IERR = 0;
    int32_t IEXT[7] = {};  // IEXT(1..6)
    int16_t NSUB = 0, NCRES = 0, NLEVEL = 0, RMAX = 0, NZOTOT = 0, PRSW = 0;
    int16_t PAR5FL = 0;
    fmt::PrintUnit pnt;

    // Process 0: the files of the input set.
    BinUnit par1, par3, par5, tab, itab;
    // Process 0: every subproblem's packed second matrix (values, run words).
    std::vector<std::vector<double>> cpl_vals;
    std::vector<std::vector<int16_t>> cpl_runs;
    // A worker: its first matrix (values, run words) and its label lists.
    std::vector<double> tab_vals;
    std::vector<int16_t> tab_runs, irow0, icol0;
};

}  // namespace kav::mpi
