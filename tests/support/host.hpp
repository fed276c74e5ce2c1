// A test host for the decomposition library: loads a fresh copy of
// libkavsolve.so, holds the 59 argument arrays of ALLAH_mp_TARVEXO with the
// declared leading dimensions and calls the entry exactly as a host would.
//
// Every Host object loads its own copy of the shared library (the file is
// copied to a temporary name first), so the library's global data area starts
// empty for each Host and is gone when the Host is destroyed.
//
// Index conventions of the description types: subproblem K is subs[K-1],
// row i / column k / level l / resource j are 1-based in the comments and
// 0-based in the vectors.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace kav::test {

// The exported entry: 59 by-reference arguments.
using TarvexoFn = void (*)(
    int16_t* NSUB, int16_t* NCROW, int16_t* ITYPCR, double* CRVAL, int16_t* KPROB,
    int16_t* NROW, int16_t* NCOL, int16_t* NZO, int16_t* ITYPE, double* AMAT, double* ACPL,
    int16_t* NINC, int16_t* NLEVEL, int16_t* INCCOL, int16_t* INCROW, double* DINC,
    double* RESV, double* XRES, double* ZOVD, int16_t* IZA1, int16_t* IZA2, int16_t* IZA3,
    int16_t* IZA4, int32_t* KR16, int16_t* IFLAG, int16_t* KCODE, int16_t* NCRES,
    int32_t* IRL1, int32_t* IRL2, int32_t* IRL3, float* RRL1, float* RRL2, int16_t* KR17,
    int16_t* KR18, int16_t* KR19, int16_t* KR21, float* RRK1, float* RRK2, float* RRK3,
    float* RRK4, int16_t* IRK1, int16_t* IRK2, int16_t* IRK3, int16_t* IRK4, int16_t* IRK5,
    int16_t* IRK6, int16_t* KR20, int16_t* IKR, float* ZOVR, int32_t* KR01, int32_t* KR02,
    int32_t* KR03, int16_t* KR05, float* KR06, int32_t* KR07, int32_t* KR08, int32_t* KR09,
    int16_t* IKA, int16_t* IKB);

// Declared leading dimensions of the argument arrays.
constexpr int LD_AMAT = 2400;
constexpr int LD_ACPL = 400;
constexpr int LD_LEV = 6;     // NINC, INCCOL, INCROW, DINC, RESV, XRES
constexpr int LD_ZO = 860;    // ZOVD, ZOVR
constexpr int LD_60 = 60;     // IRL*, RRL*, IKR, IKA, IKB
constexpr int N_PROB = 61;    // per-problem arrays KR01..KR21
constexpr int N_RES = 60;     // per-resource arrays RRK*, IRK*
constexpr int N_CROWS = 400;  // ITYPCR, CRVAL
constexpr int XRES_COLS = 4096;

// One increment of a sensitivity level.
struct Inc {
    int16_t col;  // column code
    int16_t row;  // row code
    double d;     // value
};

// The data of one subproblem call.
struct Sub {
    int16_t nrow = 0, ncol = 0, nzo = 0, ncrow = 2, kcode = 0;
    std::vector<double> a;        // nrow x ncol, row-major: a[(i-1)*ncol + (k-1)]
    std::vector<int16_t> type;    // nrow constraint types (entry 0 is row 1)
    std::vector<double> cpl;      // ncrow x ncol, row-major
    std::vector<std::array<int16_t, 4>> iza;  // per column k (index k-1): IZA1..IZA4
    std::vector<std::array<double, 6>> zovd;  // per column k, per level
    std::vector<std::array<float, 6>> zovr;
    std::array<std::vector<Inc>, 6> inc;      // per level
    std::array<std::vector<float>, 4> rrk;    // RRK1..RRK4, per resource
    std::array<std::vector<int16_t>, 6> irk;  // IRK1..IRK6, per resource
    std::vector<std::array<float, 6>> rrl1, rrl2;  // per resource, per level

    // Zero-filled vectors of the right sizes for the given extents.
    static Sub sized(int16_t nrow, int16_t ncol, int16_t nzo, int16_t ncrow, int ncres);
    double& A(int i, int k) { return a[(i - 1) * ncol + (k - 1)]; }
    double& C(int i, int k) { return cpl[(i - 1) * ncol + (k - 1)]; }
    double A(int i, int k) const { return a[(i - 1) * ncol + (k - 1)]; }
    double C(int i, int k) const { return cpl[(i - 1) * ncol + (k - 1)]; }
};

// A whole problem: common data plus the subproblems.
struct Problem {
    int16_t nsub = 0, ncres = 0, nlevel = 0;
    std::vector<Sub> subs;
    std::vector<int16_t> itypcr;  // coupling-row types, row i at index i-1
    std::vector<double> crval;    // coupling-row values, row i at index i-1
    // Problem record items per problem K (index K-1).
    std::vector<int32_t> kr01, kr02, kr03, kr07, kr08, kr09, kr16;
    std::vector<int16_t> kr05, kr17, kr18, kr19, kr20, kr21;
    std::vector<float> kr06;
    std::vector<std::array<int16_t, 60>> ikr;      // [K-1][j-1]
    std::vector<std::array<int16_t, 6>> ika, ikb;  // [K-1][i-1]
    std::vector<std::array<int32_t, 6>> irl1, irl2, irl3;  // [j-1][l-1]

    // Fills every pass-through item with distinct values derived from `seed`.
    void fill_passthrough(int seed);
};

// Arguments after one call, for checks of what the entry changed.
struct CallRecord {
    int16_t kprob_in = 0, kprob = 0, ncrow = 0, nlevel = 0, iflag = 0;
    std::vector<int16_t> itype, ninc, inccol, incrow;
    std::vector<double> dinc, resv;
};

class Host {
public:
    // Loads a copy of the library at `so_path`; the default is the built
    // decomposition library of the test executables.
    explicit Host(const std::string& so_path);
#ifdef KAVSOLVE_DECOMP_SO
    Host() : Host(std::string(KAVSOLVE_DECOMP_SO)) {}
#endif
    // Calls `fn` in place of a loaded library (no dlopen); the caller
    // provides the fresh state behind it.
    explicit Host(TarvexoFn fn);
    virtual ~Host();
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    // ---- the 59 arguments ------------------------------------------------
    int16_t NSUB = 0, NCROW = 0, KPROB = 0, NROW = 0, NCOL = 0, NZO = 0, NLEVEL = 0;
    int16_t IFLAG = 0, KCODE = 0, NCRES = 0;
    std::vector<int16_t> ITYPCR, ITYPE, NINC, INCCOL, INCROW, IZA1, IZA2, IZA3, IZA4;
    std::vector<double> CRVAL, AMAT, ACPL, DINC, RESV, XRES, ZOVD;
    std::vector<int32_t> KR16, IRL1, IRL2, IRL3, KR01, KR02, KR03, KR07, KR08, KR09;
    std::vector<float> RRL1, RRL2, RRK1, RRK2, RRK3, RRK4, ZOVR, KR06;
    std::vector<int16_t> KR17, KR18, KR19, KR21, IRK1, IRK2, IRK3, IRK4, IRK5, IRK6, KR20, IKR,
        KR05, IKA, IKB;
    int inc_cols = 1;  // second extent of INCCOL/INCROW/DINC

    // One call with the arguments as they stand.
    virtual void call();

    // Common arrays of a problem (everything not tied to one subproblem).
    void set_common(const Problem& p);
    // Per-call arrays of subproblem K (1-based), sized exactly: ITYPE NROW,
    // AMAT 2400 x NCOL, ACPL 400 x NCOL, IZA* NCOL, increments 6 x max NINC.
    void set_sub(const Sub& s);
    // Coupling-row data of the completing call: ITYPCR/CRVAL rows 1..n.
    void set_crows(const Problem& p);

    // One call of subproblem K (1-based) of `p` with the given IFLAG (the
    // common arrays as they stand); recorded in `calls`.
    void call_sub(const Problem& p, int K, int16_t iflag);

    // A whole run: IFLAG 0, KPROB 1..NSUB (the last call completes).  One
    // CallRecord per call in `calls`.  Returns the number of calls made.
    int run(const Problem& p);
    // A rerun sequence: IFLAG 1, KPROB 1..NSUB with each subproblem's
    // (changed) level data.
    int rerun(const Problem& p);

    // XRES(l, j), 1-based.
    double xres(int l, int j) const { return XRES[static_cast<size_t>(j - 1) * LD_LEV + (l - 1)]; }

    std::vector<CallRecord> calls;

private:
    void* handle_ = nullptr;
    TarvexoFn fn_ = nullptr;
    void record(int16_t kprob_in);
    int run_calls(const Problem& p, int16_t iflag);
    void init_arrays();
};

}  // namespace kav::test
