// A host of the single-problem library: the 30 argument arrays of its entry
// ALLAH_mp_TARVEXO, each sized to what the call's arguments declare (so a
// read or write beyond them shows under the sanitizers), 1-based accessors
// in the host's own layout, and the call through the exported symbol.
#pragma once

#include <dlfcn.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace kav::test {

using SingleEntryFn = void (*)(int16_t* NROW, int16_t* NCOL, int16_t* ITYPE, double* AMAT,
                               int16_t* NINC, int16_t* NLEVEL, int16_t* INCCOL, int16_t* INCROW,
                               double* DINC, double* STATUS, double* XBEST, double* VALCOL,
                               double* OBJOFF, int32_t* IMPROV, int16_t* IFLAG, int16_t* ICONF,
                               int32_t* IUSE1, int32_t* IUSE2, int32_t* IUSE3, int16_t* NOBRAN,
                               float* RUSE1, float* RUSE2, int16_t* IRESP, int16_t* IRESM,
                               int32_t* ICAP1, int32_t* ICAP2, float* RCAP, int16_t* NRES,
                               float* TRCOST, int16_t* NCONT);

// The entry of the library at `path`, loaded once per process: its data
// area then lives from call to call, as in a host.  Null when it cannot load.
inline SingleEntryFn single_entry(const char* path) {
    static void* h = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    return h ? reinterpret_cast<SingleEntryFn>(dlsym(h, "ALLAH_mp_TARVEXO")) : nullptr;
}

struct SingleHost {
    static constexpr int LD = 241;       // AMAT
    static constexpr int LDCOL = 10000;  // VALCOL, IUSE1-3, RUSE1-2
    static constexpr int LDLEV = 6;      // INCCOL, INCROW, DINC, XBEST
    static constexpr int LDRES = 10;     // RCAP

    int16_t nrow, ncol, nlevel = 0, iflag = 0, iconf = 0, nres = 0, ncont = 0;
    double objoff = 0.0;
    int32_t improv = 0;
    std::vector<int16_t> itype, ninc, inccol, incrow, nobran, iresp, iresm;
    std::vector<double> amat, dinc, status, xbest, valcol;
    std::vector<int32_t> iuse1, iuse2, iuse3, icap1, icap2;
    std::vector<float> ruse1, ruse2, rcap, trcost;

    // `levels` per-level entries (NLEVEL + 1), room for `maxinc` increments
    // per level (and the end mark behind them), `resources` resources.
    SingleHost(int rows, int cols, int levels, int maxinc, int resources)
        : nrow(static_cast<int16_t>(rows)), ncol(static_cast<int16_t>(cols)),
          nres(static_cast<int16_t>(resources)), itype(rows, 1), ninc(levels, 0),
          inccol(LDLEV * (maxinc + 1), 0), incrow(inccol.size(), 0), nobran(cols, 0),
          iresp(cols, 0), iresm(cols, 0), amat(static_cast<size_t>(LD) * cols, 0.0),
          dinc(inccol.size(), 0.0), status(levels, -5.0), xbest(LDLEV * (cols - 1), -5.0),
          valcol(static_cast<size_t>(LDCOL) * levels, 0.0), iuse1(valcol.size(), 0),
          iuse2(valcol.size(), 0), iuse3(valcol.size(), 0), icap1(std::max(1, resources), 0),
          icap2(icap1.size(), 0), ruse1(valcol.size(), 0.0f), ruse2(valcol.size(), 0.0f),
          rcap(LDRES * levels, 0.0f), trcost(icap1.size(), 0.0f) {}

    double& a(int i, int k) { return amat[static_cast<size_t>(k - 1) * LD + (i - 1)]; }
    double& x(int l, int v) { return xbest[(l - 1) + LDLEV * (v - 1)]; }
    static size_t pl(int p, int l) { return static_cast<size_t>(l - 1) * LDCOL + (p - 1); }
    double& val(int k, int l) { return valcol[pl(k, l)]; }
    float& cap3(int j, int l) { return rcap[(l - 1) * LDRES + (j - 1)]; }

    // Appends an increment to level l (column code, row code, amount).
    void add_inc(int l, int16_t col, int16_t row, double d) {
        const int i = ++ninc[l - 1];
        const size_t at = (l - 1) + LDLEV * (i - 1);
        inccol[at] = col;
        incrow[at] = row;
        dinc[at] = d;
    }

    void call(SingleEntryFn f) {
        f(&nrow, &ncol, itype.data(), amat.data(), ninc.data(), &nlevel, inccol.data(),
          incrow.data(), dinc.data(), status.data(), xbest.data(), valcol.data(), &objoff,
          &improv, &iflag, &iconf, iuse1.data(), iuse2.data(), iuse3.data(), nobran.data(),
          ruse1.data(), ruse2.data(), iresp.data(), iresm.data(), icap1.data(), icap2.data(),
          rcap.data(), &nres, trcost.data(), &ncont);
    }
};

// A problem of two levels: max 2 x1 + 3 x2 - 0.5 with x2 <= 0.5 (x1 takes
// its bound as an empty column); the host's level 1 raises the right-hand
// side by 0.5 and the value of x1 by 1.  STATUS is 1.5 and 5.5.
inline SingleHost two_level_sample() {
    SingleHost h(2, 3, 2, 2, 0);
    const double a[2][3] = {{0, 2, 3}, {0.5, 0, 1}};
    for (int i = 1; i <= 2; ++i)
        for (int k = 1; k <= 3; ++k) h.a(i, k) = a[i - 1][k - 1];
    h.objoff = 0.5;
    h.nlevel = 1;
    h.add_inc(1, 5001, 0, 1.0);
    h.add_inc(1, 0, -1, 0.5);
    h.val(2, 1) = 2, h.val(3, 1) = 3;
    h.val(2, 2) = 3, h.val(3, 2) = 3;
    return h;
}

}  // namespace kav::test
