// State of the allocation library: one structure for the whole library.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "fmt.hpp"

namespace kav::mix {

constexpr int32_t LD = 100;       // leading dimension of the tableau
constexpr int32_t MAXCOLS = 1026; // columns of the saved tableau
constexpr int32_t MAXLAB = 1008;  // label lists and branch stack

// The host's arguments, in the order of the entry.
struct Args {
    int16_t* NROW;
    int16_t* NCOL;
    int16_t* ITYPE;
    double* AMAT;
    int16_t* IITEM;
    int16_t* NITEM;
    int16_t* IGROUP;
    int16_t* NGROUP;
    int16_t* IGRPV;
    int16_t* IITMV;
    double* STATUS;
    float* XOUT;
    float* BEST0;
    double* VALVAR;
    float* RQTY;
    int16_t* IPEN;
    int16_t* IDEM;
    int16_t* IGCAP;
};

struct MixState {
    fmt::PrintUnit unit8;
    int16_t NITER = 0;
    int16_t IDEPTH = 1;
    int16_t IERR = 0;
    int16_t INTFL = 0;
    double OBJL = 0.0;
    double BESTZ = 0.0;
    // Working tableau and labels, kept inside the library at full extent.
    std::array<double, static_cast<size_t>(LD) * MAXCOLS> T{};
    std::array<int16_t, LD> IROW{};
    std::array<int16_t, MAXLAB> ICOL{}, ICOLSV{}, IVAR{};
    // Saved start state.
    int16_t m0 = 0, n0 = 0;
    std::array<double, static_cast<size_t>(LD) * MAXCOLS> T0{};
    std::array<int16_t, LD> IROW0{};
    std::array<int16_t, MAXLAB> ICOL0{};
    // Scales and norms of the working tableau.
    std::array<double, LD> RSCL{}, RNORM{};
    std::array<double, MAXCOLS> CSCL{}, CNORM{}, COBJ{};
    // Tolerance of every row scale and every column scale as COLRNG last
    // computed the scales: TOLEL(i, j) is the one of the larger scale of row
    // i and column j, so the choice rules take it in two loads and a
    // comparison instead of a stored tableau of tolerances.
    std::array<double, LD> TOLR{};
    std::array<double, MAXCOLS> TOLC{};
    // Solution of the last solve and allocation-step totals.
    std::array<float, MAXLAB> XVAL{};
    std::vector<int16_t> IGTOT;
    std::vector<float> QDEL;
    bool taken = false;  // an allocation step took a solution in this call
    // Branch stack.
    std::array<int16_t, MAXLAB + 1> IBRLAB{}, IBRBND{}, IBOTH{}, ALTV{}, ISVBND{}, BPINT{};
    std::array<int32_t, MAXLAB + 1> ISVCOD{};
    std::array<double, MAXLAB + 1> BPOBJ{};
    double& t(int32_t i, int32_t j) { return T[(j - 1) * static_cast<size_t>(LD) + (i - 1)]; }
};

// Truncation toward zero to a 16-bit integer, saturating at its limits (NaN gives 0).
inline int16_t trunc16(double v) {
    if (!(v == v)) return 0;
    if (v >= 32767.0) return 32767;
    if (v <= -32768.0) return -32768;
    return static_cast<int16_t>(v);
}

// Codes of this library.
constexpr int16_t ERR_EXTENT = 75;  // a node needs rows or columns beyond the storage
constexpr int16_t ERR_COUNTS = 74;  // NROW, NCOL, NITEM or NGROUP outside what the storage holds

// Solves the current node (working tableau restored by the caller); sets
// IERR, INTFL, OBJL and, through the allocation step, BESTZ/STATUS/XOUT.
void simplx(MixState& s, const Args& a, int16_t& m, int16_t& n);

// Branch and bound of one call; returns 0 or the code that ended it.
int16_t search(MixState& s, const Args& a);

MixState& state();
void tarvexo1(MixState& s, const Args& a);

}  // namespace kav::mix
