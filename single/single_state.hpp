// Global data area of the single-problem library: one structure, kept
// between calls, plus the view of one call's by-reference arguments.
//
// Arrays of this area are indexed from 1 as the tableau notation counts
// (entry 0 unused), so a row, column, variable, level or depth number
// addresses its entry directly.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "fmt.hpp"
#include "errcodes.hpp"
#include "kernel.hpp"
#include "labels.hpp"
#include "marks.hpp"
#include "packed.hpp"
#include "platform.hpp"

namespace kav::single {

constexpr int LD_A = 241;      // leading dimension of AMAT and the saved tableau
constexpr int MAX_COL = 10000; // leading dimension of the per-column arrays (columns 1..10000)
constexpr int MAX_LEV = 6;     // leading dimension of the increment arrays and XBEST
constexpr int MAX_RES = 10;    // resources per level held by RCAP
constexpr int MAX_DEPTH = MAX_COL + 1;  // one branch point per integer variable, plus the root

constexpr double TOLPIV = 5e-6;  // pivot size, reported-value and resource tolerance
constexpr int16_t MAXIT = 300;   // pivots of one simplex call
// Branch points of one level's search.  A search that the resource test
// keeps from closing its nodes would visit a tree of 2^n nodes; the level
// ends here with the best solution so far.  The limit lets searches of
// 200,000 branch points complete: a problem of some 90 variables needs
// about 155,000 to reach its optimum.
constexpr int32_t MAXBP = 250000;
inline constexpr const kernel::Consts& KC = kernel::SINGLE_CONSTS;

// Codes of this library besides those of the shared table: extents of a
// call's arguments, refused before anything is written to the packed files,
// and a rerun without increments.
namespace code {
constexpr int16_t RERUN_EMPTY = 9;  // rerun without an increment at level 1
constexpr int16_t NROW = 80;        // NROW outside 1..241
constexpr int16_t NCOL = 81;        // NCOL outside 2..10000
constexpr int16_t NCONT = 82;       // NCONT outside 0..NCOL-1; rerun without its first call's columns
constexpr int16_t NLEVEL = 83;      // NLEVEL outside -1..5
constexpr int16_t NRES = 84;        // NRES outside 0..10
constexpr int16_t INC_CODE = 85;    // increment names a row or column outside the problem
constexpr int16_t NINC = 86;        // NINC of a level negative
constexpr int16_t TYPE0 = 87;       // equality row (type 0): not solved by this build
constexpr int16_t NOT_FINITE = 88;  // AMAT, DINC, VALCOL, OBJOFF, RCAP or TRCOST holds a NaN or an infinity
constexpr int16_t BP_LIMIT = 89;    // a level's search reached MAXBP branch points (printed; the next level follows)
// The search's own codes: no variable to branch on, per selection copy.
constexpr int16_t NOT_FOUND_1 = 65;  // copy 1: the chosen fractional variable is not in the label list
constexpr int16_t NOT_FOUND_2 = 67;  // copy 2
constexpr int16_t NOT_FOUND_3 = 69;  // copy 3
constexpr int16_t NONE_1 = 70;       // copy 1: no fractional variable left
constexpr int16_t NONE_2 = 71;       // copy 2
constexpr int16_t NONE_3 = 72;       // copy 3
}  // namespace code

// Numbers this library writes with the banner line besides those of
// marks.hpp (start 1, no pivot 5, limit 37).
namespace smark {
constexpr int16_t LABEL_MISSING = 7;  // a solution's variable is not in the label list (no valuation)
constexpr int16_t REJECTED = 8;       // a solution fails the resource test; its variables follow
}  // namespace smark

// Variable labels inside the library.  Integer variable v (column v + 1)
// is ZLAB + v, or CLAB + v while the tableau carries its complement (bound
// minus value); a complement moves the label by CLAB - ZLAB.  Continuous
// column k is k - 1, the slack of row i is -(i - 1).  The offsets keep the
// labels of up to 9999 variables apart in 16 bits; print lines show the
// labels in their printed form 5000 + v / 6000 + v (printed()).
constexpr int16_t ZLAB = 10000;
constexpr int16_t CLAB = 20000;
constexpr int16_t FLIP = CLAB - ZLAB;
inline int var_of(int L) { return L > CLAB ? L - CLAB : (L > ZLAB ? L - ZLAB : L); }
inline int16_t printed(int L) {
    return static_cast<int16_t>(L > CLAB ? L - CLAB + lbl::ZC : (L > ZLAB ? L - ZLAB + lbl::ZO : L));
}

// The 30 arguments of the entry, in their order.
struct Args {
    int16_t* NROW; int16_t* NCOL; int16_t* ITYPE; double* AMAT; int16_t* NINC;
    int16_t* NLEVEL; int16_t* INCCOL; int16_t* INCROW; double* DINC; double* STATUS;
    double* XBEST; double* VALCOL; double* OBJOFF; int32_t* IMPROV; int16_t* IFLAG;
    int16_t* ICONF; int32_t* IUSE1; int32_t* IUSE2; int32_t* IUSE3; int16_t* NOBRAN;
    float* RUSE1; float* RUSE2; int16_t* IRESP; int16_t* IRESM; int32_t* ICAP1;
    int32_t* ICAP2; float* RCAP; int16_t* NRES; float* TRCOST; int16_t* NCONT;

    // AMAT(i, k), the working tableau.
    double& a(int i, int k) const { return AMAT[(i - 1) + static_cast<int64_t>(LD_A) * (k - 1)]; }
    // Per-column-and-level arrays: entry (p, l).
    static int64_t pl(int p, int l) { return (p - 1) + static_cast<int64_t>(MAX_COL) * (l - 1); }
};

// Words of one solved branch: its simplex code, integrality flag, value and
// the label chosen for branching below it, with the mark of a label taken
// from the empty-column lists (1) or not (0).
struct Branch {
    int32_t code = 0;
    int16_t intfl = 0;
    double value = 0.0;
    int16_t label = 0;
    int16_t empty = 0;
};

struct State {
    fmt::PrintUnit pnt;     // unit 8, "KAV.PNT"
    BinUnit tab;            // unit 70, "TAB1.DAT": packed values
    BinUnit itab;           // unit 90, "1TAB1.DAT": zero runs
    packed::Counts counts;  // of the stored matrix
    int16_t IERR = 0;
    bool quiet_end = false; // the call ends without the error line (its own line was written)
    int32_t NITTOT = 0;
    int16_t NITER = 0;
    int32_t NBRPT = 0;      // branch points solved in the level's search
    int16_t nlev = 0;       // levels of this call (NLEVEL + 1)
    int16_t level = 0;      // level being solved (1-based), 0 = none yet
    char tstart[9] = {}, tend[9] = {};

    // Kept by a first call for its reruns.
    int16_t K = 0;          // last integer column
    int16_t NCONT = 0;
    double OBJOFF = 0.0;
    int32_t IMPROV = 0;
    int16_t ICONF = 0;
    int16_t NRES = 0;
    std::array<int32_t, MAX_RES + 1> ICAP1{}, ICAP2{};
    std::array<int16_t, MAX_COL + 1> KLAB{}, KNOBRAN{}, KIRESP{}, KIRESM{};

    // Per level: best value, its start value, level offset, node state.
    std::array<double, MAX_LEV + 1> BESTL{}, BASEL{}, LOFF{}, OBJL{};
    std::array<float, MAX_LEV + 1> DONEL{};
    std::array<int16_t, MAX_LEV + 1> INTFL{};

    // Labels, factors and scales of the working tableau.
    std::array<int16_t, MAX_COL + 1> ICOL{}, ICOLSV{};
    std::array<double, LD_A + 1> RFACT{}, RSCALE{}, RNORM{};
    std::array<double, MAX_COL + 1> CFACT{}, CSCALE{}, CNORM{};
    bool scaled = false;    // COLRNG has run since the library was loaded

    // The level's saved start: every node begins from it.
    int16_t m0 = 0, n0 = 0;
    std::array<int16_t, LD_A + 1> IROW0{};
    std::array<int16_t, MAX_COL + 1> ICOL0{}, ICOLSV0{};
    std::vector<double> T0 = std::vector<double>(static_cast<size_t>(LD_A) * MAX_COL);

    // Results of the simplex for the search.
    std::vector<double> XLEV = std::vector<double>(static_cast<size_t>(MAX_LEV) * (MAX_COL + 1));
    std::array<double, MAX_COL + 1> X{}, DVAL{};
    std::array<double, LD_A + 1> RPRICE{};
    double ROOTV = 0.0;
    float once = 0.0f;      // the reduced values of this level are taken
    std::array<int16_t, MAX_COL + 1> IEMPTY{};
    int16_t NEMPTY = 0;
    // Empty integer columns whose variable only costs: left at 0.
    std::array<int16_t, MAX_COL + 1> IDROP{};
    int16_t NDROP = 0;
    int16_t NFLAB = 0;
    bool rejected = false;  // the last solution failed the resource test
    std::array<float, MAX_RES + 1> RSHIFT{};
    std::array<double, LD_A + 1> W{};
    std::array<int16_t, MAX_COL + 1> FIXD{};  // per variable: depth of its branch decision, 0 = none

    // Branch stack and the fixing restart's stack.  IBREMP(d) = 1 marks a
    // variable of an empty column that a rejected solution made the search
    // branch on: its column stays in the tableau until the branch decision
    // fixes it.  ALTEMP(d) is the same mark for the saved label ALTV(d).
    int16_t IDEPTH = 1;
    std::array<int16_t, MAX_DEPTH + 1> IBRLAB{}, IBOTH{}, BPINT{}, ALTV{}, IFXLAB{}, IFXBTH{};
    std::array<int16_t, MAX_DEPTH + 1> IBREMP{}, ALTEMP{};
    std::array<int32_t, MAX_DEPTH + 1> ISVCOD{};
    std::array<double, MAX_DEPTH + 1> BPOBJ{};
    Branch b1, b2;          // the two branches of the last branch point solved

    double& xlev(int l, int v) { return XLEV[static_cast<size_t>(l - 1) + MAX_LEV * static_cast<size_t>(v)]; }
    double& t0(int i, int k) { return T0[(i - 1) + static_cast<size_t>(LD_A) * (k - 1)]; }
    kernel::Scales scales() {
        return kernel::Scales{RSCALE.data() + 1, CSCALE.data() + 1, CNORM.data() + 1, RNORM.data() + 1};
    }
    // TOLEL(i, k) of the last COLRNG call (0 before the first).
    double tolel(int i, int k) {
        if (!scaled) return 0.0;
        const kernel::Scales sc = scales();
        return kernel::tolel_of(KC, sc, i, k);
    }
};

State& state();

// One call of the entry.
void tarvexo(State& s, const Args& a);

// Extent test of a call's arguments: 0, or the code that refuses the call.
int16_t check_extents(const State& s, const Args& a);

// Test of the real numbers the call will read (after check_extents): 0, or
// NOT_FINITE when one of them is a NaN or an infinity.
int16_t check_numbers(const State& s, const Args& a);

// Refills the tableau `amat` (the level's extents) from the packed files;
// false with IERR 10, 30, 31 or 2 when they do not give back the stored matrix.
bool read_back(State& s, double* amat);

// One node: the simplex on the tableau the entry has just restored, with the
// branch decisions of the stack, and the valuation of its solution.
void simplx(State& s, const Args& a);

// Restores the level's saved tableau, labels and factors into the working
// ones and clears IERR (before every simplex call).
void restore_level(State& s, const Args& a);

// Depth-first search of level `level` from its root; returns false when the
// call ends (IERR set, or a line written in its place).
bool search_level(State& s, const Args& a);

}  // namespace kav::single
