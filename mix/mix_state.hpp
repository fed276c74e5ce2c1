// State of the allocation library: one structure for the whole library.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "errcodes.hpp"
#include "fmt.hpp"
#include "labels.hpp"

namespace kav::mix {

constexpr int32_t LD = 100;       // leading dimension of the tableau
constexpr int32_t MAXCOLS = 1026; // columns of the saved tableau
constexpr int32_t MAXLAB = 1008;  // label lists and branch stack

// Result codes of the allocation simplex (IERR).
namespace mcode {
constexpr int16_t FAILED = 5;  // no pivot at the root, or a solution that cannot be valued: the call ends
constexpr int16_t CLOSED = 6;  // infeasible below the root, or a group total above its limit: the branch closes
// Inside the library only: a refused solution's group limit, or the demand
// of an item whose penalty a solution paid, became a row of every later
// solve, and the node is solved again with it.
constexpr int16_t AGAIN = 8;
// The search's: no variable to branch on, at the root and on each side of a branch point.
constexpr int16_t NOT_FOUND_ROOT = 65;  // the chosen fractional variable is not in the label list
constexpr int16_t NOT_FOUND_UP = 67;
constexpr int16_t NOT_FOUND_DOWN = 69;
constexpr int16_t NONE_ROOT = 70;       // no fractional variable left
constexpr int16_t NONE_UP = 71;
constexpr int16_t NONE_DOWN = 72;
}  // namespace mcode

// Numbers the allocation library writes with the banner line.
namespace mmark {
constexpr int32_t ARTIFICIAL_STAYS = 2;  // an artificial variable cannot leave at the end of phase one
constexpr int32_t NO_PIVOT = 5;          // no pivot possible
constexpr int32_t GROUP_MISSING = 5;     // a variable's group is not in the group list
constexpr int32_t ITEM_MISSING = 6;      // a variable's item is not in the item list
constexpr int32_t LABEL_MISSING = 7;     // a variable is not in the label list
constexpr int32_t GROUP_LIMIT = 8;       // a group total exceeds its limit: the solution is refused
}  // namespace mmark

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
    // ROUNDC(v), v = 1..N0 - 1: 1 when the last solve's rounded values broke
    // a row and variable v's rounding took part; the selection then branches
    // on these variables only.  ROUNDX: the last solve set ROUNDC.
    std::array<uint8_t, MAXLAB> ROUNDC{};
    bool ROUNDX = false;
    // Groups whose limit is a row of every solve, in the order they were
    // refused (0-based indices into IGROUP); GRPROW(g) = 1 when group g has
    // its row.  Both are cleared at the start of a call.
    std::vector<int16_t> GRPLST;
    std::vector<uint8_t> GRPROW;
    // Items whose demand is a row of every solve, sum(RQTY x) + shortage >=
    // IDEM with IPEN per unit of shortage in the objective (0-based indices
    // into IITEM), in the order their first penalty was valued.  ITMROW(m):
    // 0 = the host's rows use m's shortage column (never a row of ours),
    // 1 = may become a row, 2 = is a row.  Both are set up by every call.
    std::vector<int16_t> ITMLST;
    std::vector<uint8_t> ITMROW;
    // GRPOF(k), ITMOF(k), k = 2..N - NITEM: 0-based index into IGROUP and
    // IITEM of column k's group and item (first match), -1 without groups or
    // items; found once per call by the entry, which refuses unknown codes.
    std::array<int16_t, MAXLAB> GRPOF{}, ITMOF{};
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
constexpr int16_t ERR_EXTENT = 75;     // a node needs rows or columns beyond the storage
constexpr int16_t ERR_COUNTS = 74;     // NROW, NCOL, NITEM or NGROUP outside what the storage holds
constexpr int16_t ERR_UNBOUNDED = 76;  // the objective grows without limit on the rows
constexpr int16_t ERR_GROUP_CODE = 78; // a variable's group code is not in IGROUP
constexpr int16_t ERR_ITEM_CODE = 79;  // a variable's item code is not in IITEM
constexpr int16_t ERR_NONFINITE = 88;  // NaN or infinity in AMAT, VALVAR, RQTY or BEST0

// Solves the current node (working tableau restored by the caller); sets
// IERR, INTFL, OBJL and, through the allocation step, BESTZ/STATUS/XOUT.
void simplx(MixState& s, const Args& a, int16_t& m, int16_t& n);

// Branch and bound of one call; returns 0 or the code that ended it.
int16_t search(MixState& s, const Args& a);

MixState& state();
void tarvexo1(MixState& s, const Args& a);

}  // namespace kav::mix
