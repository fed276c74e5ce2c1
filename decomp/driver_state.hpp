// State of the library's driver (see decomp_state.hpp).
//
// What only the library's DECOMP and its cycle use: the search words per
// level, the records of the branch points' other sides, the cycle's mode
// words and the driver's data units.  The master program, the prices and
// the results are the decomposition routines' (solver/).
//
// Arrays keep 1-based indices (entry 0 unused).  No member initialisers:
// DECOMP sets what it needs at its start.
#pragma once

#include <cstdint>

#include "master_state.hpp"
#include "platform.hpp"
#include "solver_state.hpp"

namespace kav::decomp {

using solver::BPMAX;
using solver::NLEV;
using solver::NPROB;

struct DriverState {
    // ---- run words ----------------------------------------------------------
    int16_t PAR5FL;    // flag word read from PAR5.DAT at the start of the pass
    bool PAR5RD;       // the flag word was read (the results go behind it)

    // ---- per-level search words, l = 1..6 -----------------------------------
    double BASEL[NLEV + 1];  // start value of BESTL
    float DONEL[NLEV + 1];   // 1.0 = the current node is closed
    int16_t INTFL[NLEV + 1]; // 1 = the current master solution is a mixed 0-Z solution

    // ---- records of the side not kept, per branch-point slot ----------------
    int32_t BPCLS[BPMAX + 2];   // 3 = that side is closed, 0 = open
    double BPOBJ[BPMAX + 2];    // its OBJL
    int16_t BPINT[BPMAX + 2];   // its INTFL
    int16_t ALTP[BPMAX + 2];    // candidate chosen on that side for the next slot: problem
    int16_t ALTV[BPMAX + 2];    // ... its variable label
    int16_t ALTB[BPMAX + 2];    // ... its side word

    // ---- results --------------------------------------------------------------
    int32_t NVSUM;  // result positions of the subproblems read so far in this pass

    // ---- cycle --------------------------------------------------------------------
    float ENTD[NPROB + 1];   // 1.0 = K added a proposal in this pass
    int16_t SMODE;           // mode word handed to SIMPLX
    int16_t MMODE;           // mode word handed to MASTER

    // ---- the driver's data units ---------------------------------------------------
    BinUnit par1, par2, par3, par5;       // units 200, 230, 260, 330
    BinUnit tab0, tab, itab0, itab;       // units 70, 80, 100, 110
    BinUnit tab20, tab2, itab20, itab2;   // units 130, 140, 160, 170
};

}  // namespace kav::decomp
