// State of the master side of the decomposition routines: the master
// tableau with its labels, the per-level objective words, the combined
// solution and the level's results.
//
// MASTER, PIVOTM, BRANCH's reset, SELECT and the pass pieces work on it.
// The library has one master problem; kavmpi's process 0 has two, one
// state each.  Arrays keep 1-based indices (entry 0 unused); the sized
// tables are set by size().
#pragma once

#include <cassert>
#include <cstdint>

#include "problem.hpp"
#include "solver_state.hpp"
#include "tables.hpp"

namespace kav::solver {

constexpr int32_t TMLD = 460;                  // rows of the master tableau (1..460)
constexpr int32_t TMCOLS = 1 + NSLOT * NPROB;  // columns: right-hand side + 7 per subproblem
constexpr int32_t MAXVRES = 32767;             // result positions per level (16-bit NVRES)
constexpr int32_t MASTER_PIVOT_CAP = 5000;     // pivots per MASTER call before it gives up

// RCODE values of the cycle and BRANCH.
enum : int16_t { RC_DONE = 0, RC_ERROR = 1, RC_STOP = 2, RC_INFEASIBLE = 3 };

struct MasterState {
    struct Extents {
        int32_t rows;   // rows of the master tableau (0: no master program)
        int32_t cols;   // its columns
        int32_t nvres;  // result positions per level
    };
    // The library's fixed maxima.
    static constexpr Extents MAXIMA{TMLD, TMCOLS, MAXVRES};
    void size(const Extents& e);
    Extents ext{};

    // ---- run words ------------------------------------------------------------
    int16_t RCODE;     // result of the cycle and of BRANCH (RC_...)
    int32_t NITMAS;    // all master pivots
    int32_t NITMC;     // pivots of the current MASTER call

    // ---- per-level words, l = 1..6 ------------------------------------------------
    double BESTL[NLEV + 1];  // objective of the best mixed 0-Z solution so far
    double OBJL[NLEV + 1];   // objective of the current master solution

    // ---- combined solution and results ----------------------------------------------
    int16_t NVRES;  // result positions per level
    // XRES(l, i) = XRES[i - 1][l - 1], i = 1..NVRES: the level's best mixed solution.
    Table2<double> XRES;
    // XCUR(l, i) likewise: the combined solution of the current master.
    Table2<double> XCUR;
    double& xres(int32_t l, int32_t i) const {
        assert(l >= 1 && l <= NLEV);
        return XRES[i - 1][l - 1];
    }
    double& xcur(int32_t l, int32_t i) const {
        assert(l >= 1 && l <= NLEV);
        return XCUR[i - 1][l - 1];
    }

    // ---- master program ---------------------------------------------------------------
    // TM(i, j) = TM[j - 1][i - 1]: row 1 the objective, rows 2..NSUB+1 the
    // convexity rows, the rest the coupling rows; column 1 the values.
    Table2<double> TM;
    double& tm(int32_t i, int32_t j) const {
        assert(i >= 1 && i <= TM.extent2());
        return TM[j - 1][i - 1];
    }
    int16_t NROWM;               // rows of the master
    int16_t NCOLM;               // columns in use
    int32_t IROWM[TMLD + 1];     // row labels (1000*K+n reaches 60007: 32-bit)
    int32_t IROWMS[TMLD + 1];    // saved row labels of the set-up
    int32_t ICOLM[TMCOLS + 1];   // column labels
    int16_t MR, MC;              // pivot position of PIVOTM
    double PIVM;                 // last master pivot value
    double SVCOST[TMCOLS + 1];   // objective row saved at the start of a first phase
    int32_t SVLAB[TMCOLS + 1];   // column labels saved with it
    int16_t MBADROW;             // row whose label decoded to no subproblem (code 4)
    double YCOL[TMLD + 1];       // transformed column of a new proposal
};

}  // namespace kav::solver
