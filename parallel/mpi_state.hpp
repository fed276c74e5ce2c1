// The global data area of kavmpi: one structure per process.
//
// Every process keeps the problem as far as it needs it (process 0 the
// whole input set, a worker the header, the shared lists and its own
// subproblem), sized from the extents that open "PAR1.DAT".  Process 0
// runs two master problems, each on a state of the decomposition routines
// of its own (without a work tableau) over the one problem; a worker runs
// SIMPLX on a state sized for its subproblem.
//
// Arrays keep 1-based indices (entry 0 unused): m = master problem 1..2,
// K = subproblem, l = level, n = branch-point slot.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "family.hpp"
#include "fmt.hpp"
#include "messages.hpp"
#include "platform.hpp"
#include "select.hpp"

namespace kav::mpi {

using solver::BPMAX;
using solver::NLEV;
using solver::NPROB;

// Error codes of kavmpi beyond the library's.
constexpr int16_t ERR_READ_PAR1 = 110;  // read failure or count beyond capacity in PAR1.DAT
constexpr int16_t ERR_NPROCS = 111;     // the process count is not 2 * NSUB + 1
constexpr int16_t ERR_BAD_MESSAGE = 149;  // a worker received a count beyond its tables
constexpr int16_t ERR_WRITE_PAR5 = 160; // the results record cannot be written to PAR5.DAT
// Codes the search turns a SELECT failure into.
constexpr int16_t ERR_SELECT_ENTRY = 4;  // a candidate has no 0-Z entry
constexpr int16_t ERR_SELECT = 5;        // anything else

// Steering: the start-up loops over the stop words leave these values in
// KMAST and KSUB (the error line of a failed open names 1000*KMAST+KSUB).
constexpr int16_t KMAST_AFTER_START = 3;
constexpr int16_t KSUB_AFTER_START = 31;

// One master problem of process 0, or a worker's subproblem: the two sides
// of the routines' state with the print unit they write through.
struct Solve {
    // sv and ms are value-initialised: their fixed arrays and words start
    // at zero, as the library's static state does.
    explicit Solve(const solver::Problem& pb) : sv(), ms(), fam{solver::PARALLEL, pnt, pb, sv, ms} {}
    Solve(const Solve&) = delete;
    Solve& operator=(const Solve&) = delete;
    fmt::PrintUnit pnt;       // shares the process's print file
    solver::SolverState sv;   // prices, proposals, branch points (a worker: also its tableau)
    solver::MasterState ms;   // the master program (process 0 only)
    solver::State fam;        // the routines' view, with kavmpi's profile
};

// Process 0's search over both master problems.
struct RootSearch {
    int32_t nvres = 0;   // result positions per level
    int16_t LEVEL = 1;   // level being solved
    int16_t NBRPT = 1;   // branch points in use
    int16_t IBPPRB[BPMAX + 2] = {}, IBPVAR[BPMAX + 2] = {}, IBOTH[BPMAX + 2] = {};  // the points
    // The side not kept at point n: its RCODE, INTFL, objective and the
    // candidate it chose for the next point.
    int16_t ARC[BPMAX + 2] = {}, AINT[BPMAX + 2] = {};
    double AOBJ[BPMAX + 2] = {};
    solver::Candidate ALT[BPMAX + 2];
    double RESV[NLEV + 1] = {};   // result of level l (37.0 = none)
    double START[NLEV + 1] = {};  // start value of BESTL(l): the sum of KR16 over the subproblems
    double BESTL[NLEV + 1] = {};  // best mixed objective of level l so far
    std::vector<double> XRES[NLEV + 1];  // XRES(l, j), j = 1..nvres, at [l][j-1]
    // K's coupling matrix of the level, RMAX x NCK(K), column-major.
    std::vector<std::vector<double>> CPL;
    // Per master problem m.
    int16_t RCODE[3] = {};   // 0 live; 1 error, 2 stop, 3 infeasible
    int16_t INTFL[3] = {};   // 1 = the combined solution is a mixed 0-Z solution
    int16_t MPHASE[3] = {};  // phase word of MASTER
    float MCONV[3] = {};     // 1.0 = the continuous solution is complete
    int32_t NITMAS[3] = {};  // master pivots
    int16_t IRSTRT = RESTART_FRESH;  // the restart word of the pass
    int par5_status = 0;  // status of a failed write of the results record (0 = none)
    // Per master problem m and subproblem K.
    int16_t ISTOP[3][NPROB + 1] = {};  // stop word exchanged with the worker
    int16_t WCODE[3][NPROB + 1] = {};  // the worker's IERR
    int16_t WNOPR[3][NPROB + 1] = {};  // 1 = no proposal in the pass
    int16_t WVAR[3][NPROB + 1] = {};   // variable not found (WCODE 6)
    int32_t ITERK[3][NPROB + 1] = {};  // the worker's simplex iterations, every pass counted once
    // The last count each worker sent: a continuation goes on counting from
    // it, so only the difference is new work.
    int16_t LASTIT[3][NPROB + 1] = {};
    float NEWCOL[3][NPROB + 1] = {};   // 1.0 = a column of K was kept in this pass
    double OWN[3][NPROB + 1] = {};     // the new proposal's own objective
};

// A worker's tableau as built for a level, kept to restart from.
struct SavedTableau {
    std::vector<double> t;             // the work tableau, columns 0..n
    std::vector<int16_t> irow, icol;   // its labels
    int16_t m = 0, n = 0;              // rows and columns
};

struct MpiState {
    int32_t NPROCS = 0;  // processes of the run
    int32_t MYID = 0;    // this process's rank
    int32_t KPROC = 0;   // rank served (a worker: its own)
    int16_t KSUB = 0;    // a worker: its subproblem; process 0: the subproblem named by the error line
    int16_t KMAST = 0;   // process 0: the master problem named by the error line
    int16_t IERR = 0;    // error code (0 = none)
    int32_t IEXT[7] = {};  // IEXT(1..6): the extents of the input set
    int16_t PAR5FL = 0;  // the flag word of PAR5.DAT (1 = one level, the rerun's)
    fmt::PrintUnit pnt;  // KAV100.PNT on process 0, KAVnnn.PNT on worker nnn - 100

    // The problem, sized from the extents (the header words are its own).
    solver::Problem pb;

    // Process 0: the files of the input set.
    BinUnit par1, par3, par5, tab, itab;
    // Process 0: every subproblem's packed second matrix (values, run words), at [K].
    std::vector<std::vector<double>> cpl_vals;
    std::vector<std::vector<int16_t>> cpl_runs;
    // Process 0: the master problems (index m = 1, 2) and the search.
    std::unique_ptr<Solve> master[3];
    RootSearch root;

    // A worker: its subproblem's solve, first matrix (values, run words),
    // label lists, second matrix and the tableau it restarts from.
    std::unique_ptr<Solve> sub;
    std::vector<double> tab_vals;
    std::vector<int16_t> tab_runs, irow0, icol0;
    std::vector<double> cpl_own_vals;
    std::vector<int16_t> cpl_own_runs;
    SavedTableau saved;

    int16_t RMAX() const { return pb.NCROW; }
};

// Extent i of the input set as the size of the array it gives (below 1:
// an empty array).
inline int32_t extent(const MpiState& st, int i) { return st.IEXT[i] > 0 ? st.IEXT[i] : 0; }
// Every extent within the tables this program holds the problem in.
bool extents_fit(const MpiState& st);
// Sizes the problem and the solve states from the extents and the header
// (pb.NSUB, pb.NCROW, pb.NZOTOT): a worker's with its work tableau, process
// 0's two master problems without one.
void size_problem(MpiState& st);
void make_worker_solve(MpiState& st);
void make_master_solves(MpiState& st);

}  // namespace kav::mpi
