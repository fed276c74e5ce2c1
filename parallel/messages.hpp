// The messages between process 0 and a worker of kavmpi: one table of
// codes for both sides of the protocol.
//
// A message's tag is 1000 * W + code, W the worker's rank, on both sides
// (the sender and the receiver name the worker).  Every message is one
// blocking send matched by one blocking receive, in the order below.
#pragma once

#include <cstdint>

#include "handoff.hpp"

namespace kav::mpi {

constexpr int TAG_RANK = 1000;  // tag = TAG_RANK * worker rank + code
constexpr int NPERSUB = 2;      // workers per subproblem: one for each master problem

// Ranks of subproblem K: 2K-1 serves master problem 1, 2K master problem 2.
constexpr int rank_of(int k, int m) { return m == 1 ? NPERSUB * k - 1 : NPERSUB * k; }
constexpr int tag_of(int worker, int code) { return TAG_RANK * worker + code; }

namespace msg {

// ---- set-up, process 0 to the workers, in this order ---------------------------
constexpr int IEXT1 = 67;          // the six extents: IEXT1 + (i - 1), i = 1..6 (I4 each)
constexpr int NSUB = 73;           // header words (I2 each)
constexpr int NCRES = 74;
constexpr int NLEVEL = 75;
constexpr int RMAX = 76;
constexpr int NZOTOT = 77;
constexpr int PRSW = 135;
constexpr int PAR5FL = 136;        // the flag word of PAR5.DAT
constexpr int CPL_NNZ = 78;        // counts of K's second matrix (I4): values
constexpr int CPL_NZERO = 79;      //   zeros
constexpr int CPL_NIXB = 80;       //   run bytes
constexpr int IKR = 800;           // K's IKR words (I2 x NCRES)
constexpr int IRL1 = 81;           // IRL1..IRL3, resource outer, level inner (I4)
constexpr int IRL2 = 82;
constexpr int IRL3 = 83;
constexpr int ZPRB = 84;           // the 0-Z entry list (I2 x NZOTOT+1)
constexpr int ZLAB = 85;
constexpr int IZA1 = 86;
constexpr int IZA2 = 87;
constexpr int IZA3 = 88;
constexpr int IZA4 = 89;
constexpr int ZOVD = 90;           // its level values, entry outer, level inner (D)
constexpr int ZOVR = 91;           //   (R4)
constexpr int RRK1 = 92;           // K's resource capacities RRK1..RRK4 (R4 x NCRES)
constexpr int RRK2 = 93;
constexpr int RRK3 = 94;
constexpr int RRK4 = 95;
constexpr int IRK1 = 115;          // K's result positions IRK1..IRK6 (I2 x NCRES)
constexpr int IRK2 = 116;
constexpr int IRK3 = 117;
constexpr int IRK4 = 118;
constexpr int IRK5 = 119;
constexpr int IRK6 = 120;
constexpr int REC_I4 = 96;         // K's problem record: the 32-bit items (I4 x 9)
constexpr int REC_I2 = 99;         //   the 16-bit items (I2 x 10)
constexpr int REC_R4 = 100;        //   KR06 (R4)
constexpr int IKA = 121;           // K's row classes (I2 x 6)
constexpr int IKB = 122;
constexpr int IROW = 123;          // K's row and column label lists
constexpr int ICOL = 124;
constexpr int NINC = 127;          // K's increment counts (I2 x NLEVEL+1)
constexpr int INCCOL = 128;        // its increments, level outer (only when there are some)
constexpr int INCROW = 129;
constexpr int DINC = 130;
constexpr int TAB_VALS = 131;      // K's first matrix: values (D)
constexpr int TAB_RUNS = 132;      //   run words (I2)
constexpr int CPL_VALS = 133;      // K's second matrix: values (D)
constexpr int CPL_RUNS = 134;      //   run words (I2)
constexpr int NZO = 910;           // NZO of every subproblem (I2 x NSUB)

// ---- one pass of the cycle: process 0 to a worker ---------------------------------
constexpr int STOP = 153;          // the stop word (I2)
constexpr int LEVEL = 150;         // the level (I2)
constexpr int NBRPT = 137;         // branch points (I2)
constexpr int IBPPRB = 138;        // the branch-point lists (I2 x NBRPT)
constexpr int IBPVAR = 139;
constexpr int IBOTH = 140;
constexpr int IRSTRT = 141;        // the restart word (I2)
constexpr int NPROP = 142;         // K's proposals in the master, n (I2)
constexpr int LAMBDA = 143;        // their weights (D x n)
constexpr int PIM = 144;           // the common-resource prices (D x RMAX-2)

// ---- ... and the worker's answer -----------------------------------------------------
constexpr int STOP_BACK = 154;     // its stop word (I2)
constexpr int NITER = 145;         // its iterations since its last fresh solve (I2)
constexpr int PCOST = 146;         // the objective of each proposal, the new one last (D x n+1)
constexpr int OWN = 155;           // the new proposal's own objective (D): the cost of its master column
constexpr int PXV = 147;           // the values of proposal c, c = 1..n+1, one message each (D x NCK-2)
constexpr int WCODE = 149;         // its IERR (I2)
constexpr int WNOPR = 148;         // 1 = no proposal in this pass (I2)
constexpr int WVAR = 151;          // with WCODE 6: the variable not found (I2)
constexpr int WRESV = 152;         // with WCODE 5: its result of the level (D)

}  // namespace msg

// The stop word.
constexpr int16_t STOP_GO = 10;   // go on
constexpr int16_t STOP_END = 1;   // end (or: the worker stopped itself)
// The restart word.
constexpr int16_t RESTART_FRESH = 1;     // start the subproblem afresh
constexpr int16_t RESTART_CONTINUE = 2;  // go on from the last basis with new prices

// The problem record as it travels: its 32-bit items in order (KR01..KR03,
// KR07..KR09, the matrix counts; REC_I4), its 16-bit items in order
// (KCODE, KR05, NROW, NCOL, NZO, KR17..KR21; REC_I2) and KR06 (REC_R4).
// KR16 and KFLAG stay with process 0.
struct RecordMessage {
    int32_t i4[9] = {};
    int16_t i2[10] = {};
    float r4 = 0.0f;
};
RecordMessage to_message(const handoff::ProblemRecord& r);
// The record a worker rebuilds (KR16 and KFLAG are 0).
handoff::ProblemRecord from_message(const RecordMessage& m);

}  // namespace kav::mpi
