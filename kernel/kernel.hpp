// Tableau kernel: scaling and norms (COLRNG) and the exchange step (PIVOT).
//
// One implementation for every build; a build supplies its constants and
// the storage of its tableau.  Indexing follows the tableau's own 1-based
// notation: element (i, j) of a tableau with leading dimension ld is
// t[(j-1)*ld + (i-1)], label i of a list is irow[i-1].
#pragma once

#include <cstdint>

namespace kav::kernel {

constexpr double ATINY = 0.001;    // magnitudes at or below it do not enter the scales
constexpr double SCLTHR = 1000.0;  // a scale above it widens the tolerances

// Per-build constants.
struct Consts {
    double big;     // start of the magnitude searches
    double tolzer;  // zero threshold base
    double tolelm;  // element tolerance base
};

// Constants of the builds.
constexpr Consts DECOMP_CONSTS{1e30, 5e-18, 5e-8};
constexpr Consts SINGLE_CONSTS{1e300, 5e-19, 5e-8};
constexpr Consts MIX_CONSTS{1e300, 1e-18, 1e-7};
constexpr Consts MPI_CONSTS{1e300, 5e-18, 5e-8};

// A work tableau with its label lists.
struct Tableau {
    double* t;      // element (1,1)
    int32_t ld;     // leading dimension
    int16_t m;      // rows
    int16_t n;      // columns
    int16_t* irow;  // row labels, m entries
    int16_t* icol;  // column labels, n entries
    double& at(int32_t i, int32_t j) const { return t[(j - 1) * static_cast<int64_t>(ld) + (i - 1)]; }
};

// Results of COLRNG.  `tolel` may be null: the tolerance of an entry is then
// taken on demand with tolel_of(), which gives the same value.
struct Scales {
    double* rscale;  // m entries
    double* cscale;  // n entries
    double* cnorm;   // n entries (entry 1 not set)
    double* rnorm;   // m entries (entry 1 not set)
    double* tolel = nullptr;  // optional stored tolerances
    int32_t ldtol = 0;        // their leading dimension
};

// Tolerance belonging to a scale D: TOLELM, widened in proportion to D
// above SCLTHR.
inline double tolerance_of(const Consts& k, double d) { return d > SCLTHR ? k.tolelm * d / 1000.0 : k.tolelm; }

// Tolerance of entry (i, j): that of the larger of its row and column scales.
inline double tolel_of(const Consts& k, const Scales& s, int32_t i, int32_t j) {
    const double d = s.rscale[i - 1] > s.cscale[j - 1] ? s.rscale[i - 1] : s.cscale[j - 1];
    return tolerance_of(k, d);
}

// COLRNG: scales, tolerances, zeroing of tiny entries, column and row norms.
void colrng(const Consts& k, Tableau& tb, Scales& s);

// PIVOT: one Gauss-Jordan exchange on T(r, c); swaps IROW(r) and ICOL(c).
void pivot(Tableau& tb, int32_t r, int32_t c);

// The routines run with the widest vector instructions the processor
// offers; every form gives the same results.  For comparing the forms:
// limit the width to 128 bits (the architecture's baseline) or 256 bits
// (AVX2); 0 lifts the limit.
void limit_vector_width(int bits);

}  // namespace kav::kernel
