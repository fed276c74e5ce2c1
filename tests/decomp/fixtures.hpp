// Fixtures shared by the decomposition tests: the two-subproblem sample as a
// host writes it, and a hand-built optimal tableau of a subproblem with four
// 0-Z variables in a chain layout (for the proposal and its 0-Z tail).
#pragma once

#include <cstdint>
#include <vector>

#include "host.hpp"
#include "state.hpp"

namespace kav::test {

// The sample: maximise 3x1 + 2x2 + y1 + 4y2 (profits scaled by `f`),
// x1 + x2 <= 1, y1 + y2 <= 1, 2x1 + 0.5x2 + y1 + 2y2 <= rhs.
inline Problem sample(double rhs, double f = 1.0) {
    Problem p;
    p.nsub = 2;
    p.ncres = 0;
    p.nlevel = 0;
    const double prof[2][2] = {{3, 2}, {1, 4}};
    const double use[2][2] = {{2, 0.5}, {1, 2}};
    for (int k = 0; k < 2; ++k) {
        Sub s = Sub::sized(3, 4, 0, 3, 0);
        s.kcode = 501;
        s.type = {0, 1, 0};
        for (int v = 0; v < 2; ++v) {
            s.A(1, v + 2) = f * prof[k][v];
            s.C(1, v + 2) = f * prof[k][v];
            s.A(2, v + 2) = 1.0;
            s.C(2, v + 2) = use[k][v];
        }
        s.A(2, 1) = 1.0;
        s.A(3, 1) = 1.0;
        s.A(3, 4) = 1.0;
        p.subs.push_back(s);
    }
    p.itypcr = {0, 1, 0};
    p.crval = {0, rhs, 0};
    p.fill_passthrough(1);
    return p;
}

// ---- the chain-layout optimum ------------------------------------------------

namespace tail {

constexpr int K = 2;
// Columns: 2..5 the 0-Z variables v = 1..4, 6 the waiting sum (position
// 5), 7 the time value (position 6), 8 the weight (position 7).
constexpr int NCK = 8;

// An optimal tableau of subproblem K with every 0-Z variable basic at the
// given value (unit column scales, objective row scale 2, weight x_w = 1
// basic in the last row), no proposal yet, no common-resource row, entries
// d = v+1 of the 0-Z list with zero attribute words and values, and a chain
// layout: v1 starts, v2 and v3 are members, v4 closes; four resources with
// wide limits.
inline void optimum(decomp::SolverState& s, const std::vector<double>& zo, double objective) {
    s.TOLPIV = 5e-6;
    s.OBJSCL = 30000.0;
    s.PRTSW = 0;
    s.LEVEL = 1;
    s.KCUR = K;
    s.NCK[K] = NCK;
    s.NZK[K] = 4;
    s.KCODE[K] = 100;
    s.NPROP[K] = 0;
    s.NCROW = 2;
    s.PRSW = 0;
    s.NBRPT = 1;
    s.NCRES = 4;
    for (int j = 1; j <= NCK; ++j) s.CSCL[K][j] = 1.0;
    s.RSCL[K][1] = 2.0;
    s.M = static_cast<int16_t>(2 + zo.size());
    s.N = 1;
    s.ICOL[1] = 0;
    s.IROW[1] = 0;
    s.t(1, 1) = objective;
    for (size_t v = 0; v < zo.size(); ++v) {
        const int i = 2 + static_cast<int>(v);
        s.IROW[i] = static_cast<int16_t>(5001 + v);
        s.t(i, 1) = zo[v];
    }
    s.IROW[s.M] = NCK - 1;
    s.t(s.M, 1) = 1.0;
    for (int j = 1; j <= NCK; ++j) s.acpl(1, j) = s.acpl(2, j) = 0.0;
    s.NZOTOT = 4;
    for (int v = 1; v <= 4; ++v) {
        s.ZPRB[v + 1] = K;
        s.ZLAB[v + 1] = static_cast<int16_t>(5000 + v);
        s.IZA1[v + 1] = s.IZA2[v + 1] = s.IZA3[v + 1] = s.IZA4[v + 1] = 0;
        s.ZOVD[v + 1][1] = 0.0;
        s.ZOVR[v + 1][1] = 0.0f;
    }
    s.KR17[K] = 1;  // v1 starts
    s.KR18[K] = 2;  // v2, v3 members
    s.KR19[K] = 1;  // v4 closes
    s.KR20[K] = 0;
    s.KR21[K] = 0;
    s.KR06[K] = 1000.0f;
    s.KR01[K] = s.KR02[K] = 1000;
    s.KR07[K] = s.KR08[K] = 0;
    for (int j = 1; j <= 4; ++j) {
        s.IKR[K][j] = 0;
        s.RRK1[K][j] = s.RRK4[K][j] = 1000.0f;
        s.RRK2[K][j] = s.RRK3[K][j] = 0.0f;
        s.IRK1[K][j] = s.IRK2[K][j] = s.IRK3[K][j] = s.IRK4[K][j] = 0;
        s.IRK5[K][j] = s.IRK6[K][j] = 0;
        s.IRL1[j][1] = s.IRL2[j][1] = 0;
    }
}

// The attribute words IZA1..IZA4 of variable v's entry d = v+1.
inline void words(decomp::SolverState& s, int v, int a1, int a2, int a3, int a4) {
    s.IZA1[v + 1] = static_cast<int16_t>(a1);
    s.IZA2[v + 1] = static_cast<int16_t>(a2);
    s.IZA3[v + 1] = static_cast<int16_t>(a3);
    s.IZA4[v + 1] = static_cast<int16_t>(a4);
}

}  // namespace tail
}  // namespace kav::test
