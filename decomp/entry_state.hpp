// State of the entry part of the decomposition library (see state.hpp).
//
// Everything the entry keeps from call to call while the library is loaded:
// the per-problem tables of the run, the coupling-matrix slot offsets, the
// 0-Z entry list, the eight hand-off file units and the run bookkeeping.
// Per-problem and per-entry arrays are 0-based here: problem K is index K-1,
// 0-Z entry d is index d-1.  Large arrays have no initialisers on purpose:
// the state lives in zero-initialised static storage.
#pragma once

#include <array>
#include <cstdint>

#include "platform.hpp"

namespace kav::decomp {

// Extents of the entry's arguments and tables.
constexpr int32_t ENT_MAXSUB = 60;      // subproblems
constexpr int32_t ENT_MAXRES = 60;      // common resources
constexpr int32_t ENT_MAXLEV = 6;       // sensitivity levels (leading dimension of the level arrays)
constexpr int32_t ENT_LDA = 2400;       // leading dimension of AMAT
constexpr int32_t ENT_LDC = 400;        // leading dimension of ACPL
constexpr int32_t ENT_LDZ = 860;        // leading dimension of ZOVD / ZOVR
constexpr int32_t ENT_LDR = 60;         // leading dimension of IRL*, RRL*, IKR, IKA, IKB
constexpr int32_t ENT_MAXZO = 36000;    // 0-Z entry list
constexpr int32_t ENT_MAXZOTOT = 32767; // 0-Z entries after entry 1 (16-bit NZOTOT)
constexpr int32_t ENT_MAXINC = 2000;    // increments per level
constexpr int32_t ENT_MAXCOL = 32767;   // columns of a subproblem (16-bit count)
constexpr int32_t ENT_WAIT_MS = 500;    // wait before the driver runs

// Stop numbers written with the banner line.
constexpr int16_t STOP_SLOT_COUNTS = 3;  // a stored subproblem does not rebuild to its own counts
constexpr int16_t STOP_SLOT_READ = 4;    // a stored value of an earlier subproblem cannot be read back
constexpr int16_t STOP_NZO = 37;        // NZO outside 0..859 or above NCOL-2
constexpr int16_t STOP_NINC = 39;       // NINC(l) > 2000 on a subproblem call
constexpr int16_t STOP_NINC_RERUN = 41; // NINC(1) > 2000 on a rerun call
constexpr int16_t STOP_NSUB = 81;       // NSUB outside 1..60
constexpr int16_t STOP_NCRES = 82;      // NCRES outside 0..60
constexpr int16_t STOP_NLEVEL = 83;     // NLEVEL outside -1..5
constexpr int16_t STOP_EXTENT = 84;     // NROW outside 1..2400 or NCOL < 1
constexpr int16_t STOP_NCROW = 85;      // NCROW outside 2..400
constexpr int16_t STOP_RMAX = 86;       // coupling rows would exceed NROW of a problem
constexpr int16_t STOP_ZOTOTAL = 87;    // all 0-Z variables above 32767 (plus 1 above 36000)
constexpr int16_t STOP_KPROB = 88;      // KPROB out of range or out of sequence
constexpr int16_t STOP_NORUN = 89;      // rerun without an earlier complete run

struct EntryState {
    // ---- per problem K (index K-1) ------------------------------------
    int16_t NROW[ENT_MAXSUB];
    int16_t NCOL[ENT_MAXSUB];
    int16_t NZO[ENT_MAXSUB];
    int16_t KCODE[ENT_MAXSUB];
    int16_t KFLAG[ENT_MAXSUB];
    // Byte offsets: scratch slot in TAB20/1TAB20, compact value / run offsets.
    // Index K-1 for problem K; entry ENT_MAXSUB is the end of the last one.
    int64_t ISLOT[ENT_MAXSUB + 1];
    int64_t IOFFV[ENT_MAXSUB + 1];
    int64_t IOFFI[ENT_MAXSUB + 1];
    // Counts of K's coupling matrix as last written.
    int32_t NNZ[ENT_MAXSUB];
    int32_t NZER[ENT_MAXSUB];  // NZERO (that name is a macro of <limits.h>)
    int32_t NIXB[ENT_MAXSUB];

    // Row count of every stored coupling matrix (largest NCROW seen); never
    // reset while the library is loaded.
    double RMAX = 0.0;

    // ---- 0-Z entry list (index d-1; entry 1 never filled) -------------
    int16_t ZPRB[ENT_MAXZO];
    int16_t ZLAB[ENT_MAXZO];
    int16_t IZA[ENT_MAXZO][4];
    double ZOVD[ENT_MAXZO][ENT_MAXLEV];
    float ZOVR[ENT_MAXZO][ENT_MAXLEV];
    int16_t NZOTOT = 0;

    // Column label list of the current subproblem (index k-1).
    int16_t ICOL[ENT_MAXCOL];
    int16_t PRSW = 0;

    // Packing counters of the current subproblem matrix (TAB0/1TAB0).
    int32_t MNNZ = 0;
    int32_t MNZERO = 0;
    int32_t MNIXB = 0;

    // ---- call words ---------------------------------------------------
    int16_t IERR = 0;
    int16_t IOMODE = 0;
    int32_t wait_ms = ENT_WAIT_MS;
    std::array<char, 8> tstart{};
    std::array<char, 8> tend{};
    int16_t NSUB = 0;    // NSUB of the current call
    int16_t KPROB = 0;   // problem number of the current call
    int16_t NLEVEL = 0;  // NLEVEL of the current call (after -1 -> 0)

    // ---- hand-off units -----------------------------------------------
    BinUnit tab0;    // 70   TAB0.DAT    sequential
    BinUnit itab0;   // 100  1TAB0.DAT   sequential
    BinUnit tab20;   // 130  TAB20.DAT   positioned
    BinUnit itab20;  // 160  1TAB20.DAT  positioned
    BinUnit par1;    // 200  PAR1.DAT    sequential
    BinUnit par2;    // 230  PAR2.DAT    sequential
    BinUnit par3;    // 260  PAR3.DAT    sequential
    BinUnit par5;    // 330  PAR5.DAT    sequential

    // ---- run bookkeeping ----------------------------------------------
    // A run has been handed off completely (its completing call wrote
    // PAR1.DAT) since the library was loaded: the tables, the tableau files
    // and the compact counts a rerun relies on exist.  Cleared by a first call.
    bool run_made = false;
    // Every call of the current run (or rerun) so far wrote its hand-off data.
    // Cleared by the first error or stop; set again by a first call or by
    // rerun call 1.  While false, later calls of the run write nothing more
    // to the hand-off files and the completing call does not solve.
    bool run_ok = true;
    int16_t fail_kprob = 0;  // problem number of the first failed call
    int16_t fail_ierr = 0;   // its IERR (0 for a stop)
    int16_t fail_stop = 0;   // its stop number (0 for an error)
    // KPROB the next call of the run in progress must carry (0: no run or
    // rerun in progress, only a first call or rerun call 1 may come).
    int16_t next_kprob = 0;
    int16_t next_rerun = 0;

    // ---- scratch coupling matrix (leading dimension ENT_LDC) ----------
    // Slots of other subproblems are read here, never into the host's ACPL.
    double CPL[static_cast<int64_t>(ENT_LDC) * ENT_MAXCOL];
};

}  // namespace kav::decomp
