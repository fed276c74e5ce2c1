// State of the solver part of the decomposition library (see state.hpp).
//
// Everything the subproblem simplex SIMPLX and its proposal read or write,
// and every per-subproblem table that DECOMP builds for them: steering
// constants, the work tableau with its label lists and norms, the coupling
// work matrix, the per-subproblem tables (K = 1..60), the resource tables
// of the hand-off records, the 0-Z entry list, the branch-point list, the
// master prices and the proposal slots, and the tableau store.
//
// Layout rules:
// - All arrays are fixed-size; nothing is allocated at run time.
// - Arrays keep the 1-based indices of the tableau notation: an array
//   indexed by K, i, j, d, n, s, v or l has one unused entry 0 (or, for the
//   tableau, a work row 0 and a work column 0).
// - No member initialisers: the structure lives in zero-initialised static
//   storage, and pages never touched cost nothing.  DECOMP sets the
//   steering constants before the first solve.
#pragma once

#include <cstdint>

#include "store.hpp"

namespace kav::decomp {

// Capacities.
constexpr int32_t NPROB = 60;          // subproblems K = 1..60
constexpr int32_t MAXROW = 2400;       // rows of a subproblem tableau
constexpr int32_t MAXCOL = 2400;       // columns of a subproblem tableau
constexpr int32_t LDT = 2401;          // leading dimension of T (rows 0..2400)
constexpr int32_t LDC = 400;           // leading dimension of the coupling matrix
constexpr int32_t MAXCRES = 60;        // common resources j = 1..60
constexpr int32_t NLEV = 6;            // levels l = 1..6
constexpr int32_t MAXINC = 2000;       // increments per level
constexpr int32_t MAXZENT = 36000;     // 0-Z entries d = 1..36000
constexpr int32_t BPMAX = 752;         // branch-point slots n = 1..752
constexpr int32_t BPLIM = 740;         // the search stops at this many points
constexpr int32_t NSLOT = 7;           // proposal slots s = 1..7 per subproblem
constexpr int32_t MAXIT = 1000;        // counted iterations of SIMPLX per fresh solve
constexpr int32_t MAXIT_MPI = 500;     // the same in kavmpi: the 501st stops
constexpr int32_t MAXNZ = 860;         // NZK(K) + 1 at most

struct SolverState {
    // ---- steering block (set by DECOMP) ---------------------------------
    double TOLZER;   // 5e-18, zero threshold base of COLRNG
    double TOLELM;   // 5e-8, element tolerance base
    double TOLPIV;   // 5e-6, pivot tolerance; snapping of 0-Z values
    double OBJSCL;   // 30000.0, objective scale subproblem <-> master
    double BIG;      // 1e30, start of the minimum searches
    int64_t PRTSW;   // print switch (1 = trace lines)
    int64_t DMPSW;   // dump switch (nonzero = tableau dumps)
    // 0: this library.  1: the same routines run by the MPI program kavmpi
    // (a worker's SIMPLX, process 0's masters): iteration limit of 500
    // without per-problem totals, three-digit banner lines, error lines with
    // a five-digit problem number.
    int16_t MPIRUN;

    // ---- PAR1 header words and level ------------------------------------
    int16_t NSUB;    // subproblems
    int16_t NCRES;   // common resources
    int16_t NLEVEL;  // sensitivity levels beyond the base (levels 1..NLEVEL+1)
    int16_t NCROW;   // rows of every coupling matrix
    int16_t NZOTOT;  // 0-Z entries in use after entry 1
    int16_t PRSW;    // 1 = proposals priced per unit of time value
    int16_t LEVEL;   // level being solved, 1..NLEVEL+1
    double RESV[NLEV + 1];  // RESV(l): result of level l (37.0 = none)

    // ---- result words of the solver --------------------------------------
    int16_t IERR;    // solver error code (0 = none)
    int16_t KCUR;    // current subproblem K (set by CYCLE and the driver)
    int16_t IREJ;    // 1 = proposal rejected by the 0-Z tail
    int16_t LBLBAD;  // label not found in ICOLSV (code 6)
    int16_t IPHASE;  // 1 phase 1, 0 phase 2, -1 finished
    int16_t IDUAL;   // 1 = next step is a dual step
    int32_t NITER;   // pivots since the last fresh solve (library-wide)

    // ---- work tableau (one subproblem at a time) --------------------------
    // T(i, j) = T[j * LDT + i], i = 0..2400, j = 0..2400; row 0 and column 0
    // are work space.  kernel::Tableau points at T(1,1) with ld = LDT.
    double T[LDT * (MAXCOL + 1)];
    int16_t M;                   // rows in use
    int16_t N;                   // columns in use
    int16_t IROW[LDT];           // IROW(i), i = 1..M
    int16_t ICOL[MAXCOL + 1];    // ICOL(j), j = 1..N
    int16_t ICOLSV[MAXCOL + 1];  // ICOLSV(k), k = 1..NSV: current label of problem column k
    int16_t NSV;                 // entries of ICOLSV (NCK(K))
    int16_t IVAR[MAXCOL + 1];    // variable list
    double RSCALE[LDT];          // COLRNG results (1-based)
    double CSCALE[MAXCOL + 1];
    double CNORM[MAXCOL + 1];
    double RNORM[LDT];
    // (TOLEL(i, j) is not stored: kernel::tolel_of gives it from the scales.)
    int16_t IR;        // pivot row r
    int16_t IC;        // pivot column c
    int16_t NPIV;      // pivot count of the current SIMPLX call (kept by the store)
    int16_t STMODE;    // tableau-store mode word (1 or 2 selects the copy)

    // ---- coupling work matrix of the current problem ----------------------
    // ACPL(i, j) = ACPL[(j - 1) * LDC + (i - 1)], i = 1..NCROW, j = 1..NCK(K).
    double ACPL[LDC * MAXCOL];
    int16_t NCPLR;     // its rows (NCROW)
    int16_t NCPLC;     // its columns (NCK(K))
    double RHSC[LDC + 1];  // RHSC(r): right-hand sides of the common resources

    // ---- per-subproblem tables, K = 1..60 ---------------------------------
    int16_t NCK[NPROB + 1];    // problem columns (last = weight variable)
    int16_t NZK[NPROB + 1];    // 0-Z variables (columns 2..NZK+1)
    int16_t NRK[NPROB + 1];    // problem rows (NROW of the problem record)
    int16_t KCODE[NPROB + 1];
    int16_t KFLAG[NPROB + 1];
    int32_t KR01[NPROB + 1], KR02[NPROB + 1], KR03[NPROB + 1];
    int16_t KR05[NPROB + 1];
    float KR06[NPROB + 1];
    int32_t KR07[NPROB + 1], KR08[NPROB + 1], KR09[NPROB + 1];
    int32_t KR16[NPROB + 1];
    int16_t KR17[NPROB + 1], KR18[NPROB + 1], KR19[NPROB + 1];
    int16_t KR20[NPROB + 1], KR21[NPROB + 1];
    int32_t NNZK[NPROB + 1], NZEROK[NPROB + 1], NIXBK[NPROB + 1];  // TAB0 counts
    int32_t NNZC[NPROB + 1], NZEROC[NPROB + 1], NIXBC[NPROB + 1];  // TAB20 counts
    int16_t IKA[NPROB + 1][7];   // IKA(K, q), q = 1..6: first row of class q
    int16_t IKB[NPROB + 1][7];   // IKB(K, q): last row of class q
    double KADJ[NPROB + 1];      // row-class constant (no source: 0.0)
    double OSCL[NPROB + 1];      // objective scale
    double RSCL[NPROB + 1][LDT];         // RSCL(K, i); RSCL(K, 1) = objective scale in force
    double CSCL[NPROB + 1][MAXCOL + 1];  // CSCL(K, j)
    int32_t ITERK[NPROB + 1];    // counted iterations of SIMPLX on K in the pass
    int16_t NPROP[NPROB + 1];    // proposals of K in the master

    // Increment lists per level: triple i = 1..NINC(K, l) of level l.
    int16_t NINC[NPROB + 1][NLEV + 1];
    int16_t INCCOL[NPROB + 1][NLEV + 1][MAXINC + 1];
    int16_t INCROW[NPROB + 1][NLEV + 1][MAXINC + 1];
    double DINC[NPROB + 1][NLEV + 1][MAXINC + 1];

    // Resource tables (PAR1 records 4, 5; PAR2 records 1, 2; PAR3 record 1).
    int16_t IKR[NPROB + 1][MAXCRES + 1];   // IKR(K, j)
    float RRK1[NPROB + 1][MAXCRES + 1];    // RRK1(K, j) .. RRK4(K, j)
    float RRK2[NPROB + 1][MAXCRES + 1];
    float RRK3[NPROB + 1][MAXCRES + 1];
    float RRK4[NPROB + 1][MAXCRES + 1];
    int16_t IRK1[NPROB + 1][MAXCRES + 1];  // IRK1(K, j) .. IRK6(K, j)
    int16_t IRK2[NPROB + 1][MAXCRES + 1];
    int16_t IRK3[NPROB + 1][MAXCRES + 1];
    int16_t IRK4[NPROB + 1][MAXCRES + 1];
    int16_t IRK5[NPROB + 1][MAXCRES + 1];
    int16_t IRK6[NPROB + 1][MAXCRES + 1];
    float RRL1[NPROB + 1][MAXCRES + 1][NLEV + 1];  // RRL1(K, j, l)
    float RRL2[NPROB + 1][MAXCRES + 1][NLEV + 1];
    int32_t IRL1[MAXCRES + 1][NLEV + 1];   // IRL1(j, l), common to all problems
    int32_t IRL2[MAXCRES + 1][NLEV + 1];
    int32_t IRL3[MAXCRES + 1][NLEV + 1];

    // ---- 0-Z entry list, d = 1..NZOTOT+1 (entry 1 never used) -------------
    int16_t ZPRB[MAXZENT + 1];   // problem
    int16_t ZLAB[MAXZENT + 1];   // label 5000 + v
    int16_t IZA1[MAXZENT + 1];   // start resource
    int16_t IZA2[MAXZENT + 1];   // end resource
    int16_t IZA3[MAXZENT + 1];   // link codes
    int16_t IZA4[MAXZENT + 1];
    double ZOVD[MAXZENT + 1][NLEV + 1];  // ZOVD(d, l)
    float ZOVR[MAXZENT + 1][NLEV + 1];   // ZOVR(d, l)

    // ---- branch-point list, n = 1..NBRPT (slot 1 the root) ----------------
    int16_t IBPPRB[BPMAX + 1];
    int16_t IBOTH[BPMAX + 1];
    int16_t IBPVAR[BPMAX + 1];
    int16_t NBRPT;

    // ---- master prices and weights (set by MASTER) ------------------------
    double PIC[NPROB + 1];              // convexity-row price of K
    double PIM[LDC + 1];                // price of coupling row i = 2..NCROW-1
    double LAMBDA[NPROB + 1][NSLOT + 1];  // weight of proposal n of K

    // ---- proposal slots ----------------------------------------------------
    double PROPX[NPROB + 1][NSLOT + 1][MAXCOL + 1];  // PROPX(K, s, v), v = 1..NCK-1
    double PROPZ[NPROB + 1][NSLOT + 1];              // PROPZ(K, s)
    double PS[MAXNZ + 1];     // priced resource value of 0-Z variable v
    int16_t ZENT[MAXNZ + 1];  // 0-Z entry of variable v
    double ZVAL[MAXNZ + 1];   // working copy of the 0-Z values in the tail
    float SFAC;               // factor S of the existing proposals (PRSW = 1)

    // ---- SIMPLX scratch visible in its dumps ------------------------------
    double WSCL;       // weight scale CSCL(K, NCK)
    double COST[MAXCOL + 1];
    double RAT1, RAT2;   // chosen kind-1 / kind-2 ratio of the last primal step
    double PIV1, PIV2;   // their pivot sizes
    double DRAT, DPIV;   // relaxed bound / pivot size of the last dual choice
    float FUNB, FBND, FINF, FRTY;  // unbounded/no-pivot, bound-violation, infeasibility, retry
    int16_t SMODEW;      // mode word of the running SIMPLX call
    // Counters of bound flips and complementings (cases 1, 2, 3) of the
    // last SIMPLX call; read by tests and diagnostics.
    int32_t NFLIP, NCOMP1, NCOMP2, NCOMP3;
    int16_t LIST1[LDT], LIST2[LDT];  // ratio-test candidate lists
    int16_t RMARK[LDT];              // rows marked in the row-class pass

    // ---- tableau store -----------------------------------------------------
    TableauStore store;

    // Element accessors in the 1-based notation.
    double& t(int32_t i, int32_t j) { return T[static_cast<int64_t>(j) * LDT + i]; }
    double& acpl(int32_t i, int32_t j) { return ACPL[static_cast<int64_t>(j - 1) * LDC + (i - 1)]; }
};

}  // namespace kav::decomp
