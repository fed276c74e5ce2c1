// State of the driver part of the decomposition library (see state.hpp).
//
// What only DECOMP, CYCLE, MASTER, BRANCH and SELECT use: the search words
// per level, the records of the branch points' other sides, the master
// tableau with its labels, the combined solution, the results written to
// PAR5.DAT and the driver's data units.  Everything that SIMPLX also reads
// (LEVEL, RESV, NBRPT and the branch-point list, master prices, the
// per-subproblem tables) lives in SolverState.
//
// Arrays keep 1-based indices (entry 0 unused) like SolverState.  No member
// initialisers: the structure lives in zero-initialised static storage;
// DECOMP sets what it needs at its start.
#pragma once

#include <cstdint>

#include "platform.hpp"
#include "solver_state.hpp"

namespace kav::decomp {

constexpr int32_t TMLD = 460;                    // leading dimension of TM (rows 1..460)
constexpr int32_t TMCOLS = 1 + NSLOT * NPROB;    // columns: right-hand side + 7 per subproblem
constexpr int32_t MAXVRES = 32767;               // result positions per level (16-bit NVRES)
constexpr int32_t MASTER_PIVOT_CAP = 5000;       // pivots per MASTER call before it gives up

// RCODE values of CYCLE and BRANCH.
enum : int16_t { RC_DONE = 0, RC_ERROR = 1, RC_STOP = 2, RC_INFEASIBLE = 3 };

struct DriverState {
    // ---- run words ----------------------------------------------------------
    int16_t RCODE;     // result of CYCLE and BRANCH
    int16_t PAR5FL;    // flag word read from PAR5.DAT at the start of the pass
    bool PAR5RD;       // the flag word was read (the results go behind it)
    int32_t NITMAS;    // all master pivots
    int32_t NITMC;     // pivots of the current MASTER call
    int16_t KERR;      // subproblem named by the error exit's line

    // ---- per-level search words, l = 1..6 -----------------------------------
    double BESTL[NLEV + 1];  // objective of the best mixed 0-Z solution so far
    double BASEL[NLEV + 1];  // its start value
    double OBJL[NLEV + 1];   // objective of the current master solution
    float DONEL[NLEV + 1];   // 1.0 = the current node is closed
    int16_t INTFL[NLEV + 1]; // 1 = the current master solution is a mixed 0-Z solution

    // ---- records of the side not kept, per branch-point slot ----------------
    int32_t BPCLS[BPMAX + 2];   // 3 = that side is closed, 0 = open
    double BPOBJ[BPMAX + 2];    // its OBJL
    int16_t BPINT[BPMAX + 2];   // its INTFL
    int16_t ALTP[BPMAX + 2];    // candidate chosen on that side for the next slot
    int16_t ALTV[BPMAX + 2];
    int16_t ALTB[BPMAX + 2];

    // ---- results --------------------------------------------------------------
    int16_t NVRES;  // result positions per level
    int32_t NVSUM;  // result positions of the subproblems read so far in this pass
    // XRES(l, i) = XRES[(i - 1) * 6 + (l - 1)]; XCUR likewise.
    double XRES[NLEV * MAXVRES];
    double XCUR[NLEV * MAXVRES];
    double& xres(int32_t l, int32_t i) { return XRES[static_cast<int64_t>(i - 1) * NLEV + (l - 1)]; }
    double& xcur(int32_t l, int32_t i) { return XCUR[static_cast<int64_t>(i - 1) * NLEV + (l - 1)]; }

    // ---- master program ---------------------------------------------------------
    // TM(i, j) = TM[(j - 1) * TMLD + (i - 1)].
    double TM[TMLD * TMCOLS];
    double& tm(int32_t i, int32_t j) { return TM[static_cast<int64_t>(j - 1) * TMLD + (i - 1)]; }
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

    // ---- cycle --------------------------------------------------------------------
    float ENTD[NPROB + 1];   // 1.0 = K added a proposal in this pass
    int16_t SMODE;           // mode word handed to SIMPLX
    int16_t MMODE;           // mode word handed to MASTER
    double YCOL[TMLD + 1];   // transformed column of a new proposal

    // ---- the driver's data units ---------------------------------------------------
    BinUnit par1, par2, par3, par5;       // units 200, 230, 260, 330
    BinUnit tab0, tab, itab0, itab;       // units 70, 80, 100, 110
    BinUnit tab20, tab2, itab20, itab2;   // units 130, 140, 160, 170
};

}  // namespace kav::decomp
