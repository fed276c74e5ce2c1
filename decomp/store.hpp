// Tableau store of the decomposition library: PACKTB and UNPKTB.
//
// Between visits every subproblem's work tableau, with its label lists and
// norms, is kept in packed form (nonzero values and zero runs in scan order,
// the same layout as the packed-matrix files).  Each problem has two copies;
// copy 1 also carries the problem's coupling matrix.  All capacities are
// fixed: nothing is allocated at run time, and a save that does not fit is
// refused with IERR 10 before anything is written past a capacity.
//
// The store is about 420 MB of fixed arrays.  It has no constructor work:
// keep it in zero-initialised storage (static storage, or calloc in tests),
// where pages that are never touched cost nothing.
#pragma once

#include <cstdint>

#include "fmt.hpp"

namespace kav::decomp {

constexpr int32_t STORE_NPROB = 60;       // problems K = 1..60
constexpr int32_t STORE_MAXROW = 2400;    // rows of a stored tableau
constexpr int32_t STORE_MAXCOL = 2400;    // columns of a stored tableau
constexpr int32_t STORE_MAXSV = 2400;     // entries of a saved column list
constexpr int32_t STORE_TABVAL = 360000;  // tableau values per copy
constexpr int32_t STORE_TABWRD = 180000;  // tableau run words per copy
constexpr int32_t STORE_CPLVAL = 60000;   // coupling values per problem
constexpr int32_t STORE_CPLWRD = 18000;   // coupling run words per problem
// The two copies of a problem's tableau.
constexpr int16_t STORE_COPY_SETUP = 1;  // the tableau as the set-up built it (with the coupling matrix)
constexpr int16_t STORE_COPY_PASS = 2;   // the tableau as the last pass left it
constexpr int32_t WORK_LD = 2401;         // leading dimension of the work tableau
constexpr int32_t COUPLING_LD = 400;      // leading dimension of the coupling work matrix

// One saved tableau (a problem's copy 1 or copy 2).
struct StoreCopy {
    int16_t irow[STORE_MAXROW];
    double rnorm[STORE_MAXROW];
    int16_t icol[STORE_MAXCOL];
    double cnorm[STORE_MAXCOL];
    int16_t icolsv[STORE_MAXSV];
    int16_t m;     // rows
    int16_t n;     // columns
    int16_t npiv;  // pivot count of the SIMPLX call that left the tableau
    int16_t nsv;   // entries of icolsv
    int32_t nval;  // values stored
    int32_t nzero; // zeros covered by the runs
    int32_t nwrd;  // run words stored (three per run)
    double val[STORE_TABVAL];
    int16_t wrd[STORE_TABWRD];
};

// A problem's coupling matrix.
struct StoreCoupling {
    int32_t nval;
    int32_t nzero;
    int32_t nwrd;
    double val[STORE_CPLVAL];
    int16_t wrd[STORE_CPLWRD];
};

// The whole store.  No member initialisers: see the note at the top.
struct TableauStore {
    StoreCopy tab[STORE_NPROB][2];   // [K-1][copy-1]
    StoreCoupling cpl[STORE_NPROB];  // [K-1]
    int16_t current;                 // copy number of the last save (1 or 2)
};

// The work state PACKTB reads and UNPKTB writes, as pointers into the
// solver's data area.  Element (i, j) of the work tableau is
// t[(j-1)*ldt + (i-1)]; of the coupling matrix cpl[(j-1)*ldc + (i-1)].
struct StoreWork {
    double* t = nullptr;        // work tableau T
    int32_t ldt = WORK_LD;
    int16_t* m = nullptr;       // rows of T
    int16_t* n = nullptr;       // columns of T
    int16_t* irow = nullptr;    // IROW(1..M)
    double* rnorm = nullptr;    // RNORM(1..M)
    int16_t* icol = nullptr;    // ICOL(1..N)
    double* cnorm = nullptr;    // CNORM(1..N)
    int16_t* icolsv = nullptr;  // ICOLSV(1..W)
    int16_t* nsv = nullptr;     // W; UNPKTB sets it to the count saved with the copy
    int16_t* npiv = nullptr;    // pivot count of the current SIMPLX call
    double* cpl = nullptr;      // coupling work matrix
    int32_t ldc = COUPLING_LD;
    int16_t* cplrows = nullptr;  // its row count
    int16_t* cplcols = nullptr;  // its column count, NCOL(K), at most STORE_MAXCOL
};

// PACKTB: save the work tableau of problem k (1..60) into copy `mode`
// (1 or 2); mode 1 then saves the coupling matrix too.  Returns IERR:
// 0; 1 = packed counts do not add up (lines printed, counts stored);
// 10 = a capacity would be exceeded (or k, mode or an extent out of range);
// nothing is written past a capacity.
int16_t packtb(TableauStore& st, StoreWork& w, int16_t mode, int16_t k, fmt::PrintUnit& pnt);

// UNPKTB: restore copy `mode` (1 or 2) of problem k into the work state,
// then the coupling matrix.  Returns IERR: 0; 2 = the restored counts differ
// from the stored ones (lines printed), or k or mode out of range.
int16_t unpktb(TableauStore& st, StoreWork& w, int16_t mode, int16_t k, fmt::PrintUnit& pnt);

}  // namespace kav::decomp
