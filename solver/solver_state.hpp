// State of the subproblem side of the decomposition routines: the steering
// block, the work tableau of one subproblem with its labels and norms, the
// coupling work matrix, the scales of every subproblem, the branch-point
// list, the master prices and the proposal slots.
//
// SIMPLX works on it for the subproblem KCUR; MASTER, BRANCH, SELECT and the
// pass pieces read the prices, proposals and branch points from it.  In the
// library there is one; kavmpi's process 0 keeps one per master problem
// (without a work tableau) and every worker one for its subproblem.
//
// Arrays keep the 1-based indices of the tableau notation: an array indexed
// by K, i, j, n, s or v has an unused entry 0 (the tableau has a work row 0
// and a work column 0).  The sized tables are set by size(); the rest are
// fixed.  No member initialisers on the fixed arrays: the library's state
// lives in zero-initialised storage, and pages never touched cost nothing.
#pragma once

#include <cassert>
#include <cstdint>

#include "problem.hpp"
#include "tables.hpp"

namespace kav::solver {

constexpr int32_t BPMAX = 752;   // branch-point slots n = 1..752
constexpr int32_t BPLIM = 740;   // the search stops at this many points
constexpr int32_t NSLOT = 7;     // proposal slots s = 1..7 per subproblem

struct SolverState {
    struct Extents {
        int32_t nsub;  // subproblems K = 1..nsub of the per-subproblem scale and proposal tables
        int32_t rows;  // rows of the work tableau (0: no work tableau)
        int32_t cols;  // columns of the work tableau, the proposals and the coupling matrix
        int32_t ldc;   // rows of the coupling work matrix
    };
    // The library's fixed maxima.
    static constexpr Extents MAXIMA{NPROB, MAXROW, MAXCOL, LDC};
    void size(const Extents& e);
    Extents ext{};

    // ---- steering block (set from the program's profile) ----------------
    double TOLZER;   // zero threshold base of COLRNG
    double TOLELM;   // element tolerance base
    double TOLPIV;   // pivot tolerance; snapping of 0-Z values
    double OBJSCL;   // objective scale subproblem <-> master
    double BIG;      // start of the minimum searches
    int64_t PRTSW;   // print switch (1 = trace lines)
    int64_t DMPSW;   // dump switch (nonzero = tableau dumps)

    // ---- level ---------------------------------------------------------------
    int16_t LEVEL;           // level being solved, 1..NLEVEL+1
    double RESV[NLEV + 1];   // RESV(l): result of level l (37.0 = none)

    // ---- result words ----------------------------------------------------------
    int16_t IERR;    // error code of the last routine (0 = none)
    int16_t KCUR;    // current subproblem K (set by the cycle and the driver)
    int16_t IREJ;    // 1 = proposal rejected by the 0-Z tail
    int16_t LBLBAD;  // label not found in ICOLSV (code 6)
    int16_t IPHASE;  // 1 phase 1, 0 phase 2, -1 finished
    int16_t IDUAL;   // 1 = next step is a dual step
    int32_t NITER;   // pivots since the last fresh solve

    // ---- work tableau (one subproblem at a time) ----------------------------------
    // T(i, j) = T[j][i], i = 0..rows, j = 0..cols; row 0 and column 0 are work
    // space.  kernel::Tableau points at T(1,1) with leading dimension ldt().
    Table2<double> T;
    int16_t M;                    // rows in use
    int16_t N;                    // columns in use
    int16_t IROW[MAXROW + 1];     // IROW(i), i = 1..M: label of the basic variable of row i
    int16_t ICOL[MAXCOL + 1];     // ICOL(j), j = 1..N: label of the nonbasic variable of column j
    int16_t ICOLSV[MAXCOL + 1];   // ICOLSV(k), k = 1..NSV: current label of problem column k
    int16_t NSV;                  // entries of ICOLSV (NCK(K))
    double RSCALE[MAXROW + 1];    // COLRNG: row scales
    double CSCALE[MAXCOL + 1];    // COLRNG: column scales
    double CNORM[MAXCOL + 1];     // COLRNG: column norms
    double RNORM[MAXROW + 1];     // COLRNG: row norms
    // (TOLEL(i, j) is not stored: kernel::tolel_of gives it from the scales.)
    int16_t IR;        // pivot row r
    int16_t IC;        // pivot column c
    int16_t NPIV;      // pivot count of the current SIMPLX call (kept by the store)
    int16_t STMODE;    // tableau-store mode word (1 or 2 selects the copy)

    // ---- coupling work matrix of the current subproblem ------------------------------
    // ACPL(i, j) = ACPL[j - 1][i - 1], i = 1..NCROW, j = 1..NCK(K).
    Table2<double> ACPL;
    int16_t NCPLR;           // its rows (NCROW)
    int16_t NCPLC;           // its columns (NCK(K))
    double RHSC[LDC + 1];    // RHSC(r): right-hand sides of the coupling rows

    // ---- scales and counts per subproblem K = 1..NSUB ---------------------------------
    double KADJ[NPROB + 1];  // row-class constant (no source: 0.0)
    double OSCL[NPROB + 1];  // objective scale
    Table2<double> RSCL;     // RSCL[K][i], i = 1..rows: row scales; RSCL[K][1] = objective scale in force
    Table2<double> CSCL;     // CSCL[K][j], j = 1..cols: column scales
    int32_t ITERK[NPROB + 1];  // counted iterations of SIMPLX on K in the pass
    int16_t NPROP[NPROB + 1];  // proposals of K in the master

    // ---- branch-point list, n = 1..NBRPT (slot 1 the root) --------------------------------
    int16_t IBPPRB[BPMAX + 1];  // subproblem of point n
    int16_t IBOTH[BPMAX + 1];   // 1 the side chosen first, 0 the flipped side, +2 once both were taken
    int16_t IBPVAR[BPMAX + 1];  // 0-Z label 5000 + v of point n
    int16_t NBRPT;              // points in use

    // ---- master prices and weights (set by MASTER) ---------------------------------------
    double PIC[NPROB + 1];                // convexity-row price of K
    double PIM[LDC + 1];                  // price of coupling row i = 2..NCROW-1
    double LAMBDA[NPROB + 1][NSLOT + 1];  // weight of proposal n of K

    // ---- proposal slots ----------------------------------------------------------------------
    Table3<double> PROPX;                 // PROPX[K][s][v], v = 1..NCK-1: values of proposal s
    double PROPZ[NPROB + 1][NSLOT + 1];   // objective of proposal s of K (prices deducted)
    double PS[MAXNZ + 1];                 // priced resource value of 0-Z variable v
    int16_t ZENT[MAXNZ + 1];              // 0-Z entry of variable v
    double ZVAL[MAXNZ + 1];               // working copy of the 0-Z values in the tail
    float SFAC;                           // factor S of the existing proposals (PRSW = 1)

    // ---- SIMPLX scratch visible in its dumps -------------------------------------------------
    double WSCL;       // weight scale CSCL(K, NCK)
    double COST[MAXCOL + 1];  // phase-2 cost of problem column j
    double RAT1, RAT2;   // chosen kind-1 / kind-2 ratio of the last primal step
    double PIV1, PIV2;   // their pivot sizes
    double DRAT, DPIV;   // relaxed bound / pivot size of the last dual choice
    float FUNB, FBND, FINF, FRTY;  // unbounded/no-pivot, bound-violation, infeasibility, retry
    int16_t SMODEW;      // mode word of the running SIMPLX call
    // Counters of bound flips and complementings (cases 1, 2, 3) of the
    // last SIMPLX call; read by tests and diagnostics.
    int32_t NFLIP, NCOMP1, NCOMP2, NCOMP3;
    int16_t LIST1[MAXCOL + 1], LIST2[MAXROW + 1];  // ratio-test candidate lists (rows or columns)
    int16_t RMARK[MAXROW + 1];                     // rows marked in the row-class pass

    // Element accessors in the 1-based notation.
    double& t(int32_t i, int32_t j) const {
        assert(i >= 0 && i < T.extent2());
        return T[j][i];
    }
    double& acpl(int32_t i, int32_t j) const {
        assert(i >= 1 && i <= ACPL.extent2());
        return ACPL[j - 1][i - 1];
    }
    int32_t ldt() const { return static_cast<int32_t>(T.extent2()); }
    // Rows of the coupling work matrix (its leading dimension).
    int32_t ldc() const { return static_cast<int32_t>(ACPL.extent2()); }
    // Columns the work tableau holds (j = 0..tab_cols()).
    int32_t tab_cols() const { return static_cast<int32_t>(T.extent1()) - 1; }
    int32_t tab_rows() const { return static_cast<int32_t>(T.extent2()) - 1; }
};

}  // namespace kav::solver
