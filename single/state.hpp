// Global data area of the single-problem library: one structure, kept
// between calls, plus the view of one call's by-reference arguments.
#pragma once

#include <array>
#include <cstdint>

#include "fmt.hpp"
#include "packed.hpp"
#include "platform.hpp"

namespace kav::single {

constexpr int LD_A = 241;      // leading dimension of AMAT and the saved tableau
constexpr int MAX_COL = 10000; // leading dimension of the per-column arrays
constexpr int MAX_LEV = 6;     // leading dimension of the increment arrays and XBEST
constexpr int MAX_RES = 10;    // resources per level held by RCAP

// The 30 arguments of the entry, in their order.
struct Args {
    int16_t* NROW; int16_t* NCOL; int16_t* ITYPE; double* AMAT; int16_t* NINC;
    int16_t* NLEVEL; int16_t* INCCOL; int16_t* INCROW; double* DINC; double* STATUS;
    double* XBEST; double* VALCOL; double* OBJOFF; int32_t* IMPROV; int16_t* IFLAG;
    int16_t* ICONF; int32_t* IUSE1; int32_t* IUSE2; int32_t* IUSE3; int16_t* NOBRAN;
    float* RUSE1; float* RUSE2; int16_t* IRESP; int16_t* IRESM; int32_t* ICAP1;
    int32_t* ICAP2; float* RCAP; int16_t* NRES; float* TRCOST; int16_t* NCONT;
};

struct State {
    fmt::PrintUnit pnt;     // unit 8, "KAV.PNT"
    BinUnit tab;            // unit 70, "TAB1.DAT": packed values
    BinUnit itab;           // unit 90, "1TAB1.DAT": zero runs
    packed::Counts counts;  // of the stored matrix
    int16_t IERR = 0;
    int32_t NITTOT = 0;
    int16_t nlev = 0;       // levels of this call (NLEVEL + 1)
    int16_t level = 0;      // level being solved (1-based), 0 = none yet
    char tstart[9] = {}, tend[9] = {};
};

State& state();

// One call of the entry.
void tarvexo(State& s, const Args& a);

// Extent test of a call's arguments: 0, or the code that refuses the call.
int16_t check_extents(const Args& a);

}  // namespace kav::single
