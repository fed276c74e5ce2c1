// Fixtures shared by the decomposition tests: the two-subproblem sample as a
// host writes it, and a hand-built optimal tableau of a subproblem with four
// 0-Z variables in a chain layout (for the proposal and its 0-Z tail).
#pragma once

#include <cstdint>
#include <vector>

#include "host.hpp"
#include "decomp_state.hpp"

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
inline void optimum(decomp::DecompState& ds, const std::vector<double>& zo, double objective) {
    decomp::SolverState& s = ds.sv;
    decomp::Problem& pb = ds.pb;
    s.TOLPIV = 5e-6;
    s.OBJSCL = 30000.0;
    s.PRTSW = 0;
    s.LEVEL = 1;
    s.KCUR = K;
    pb.NCK[K] = NCK;
    pb.NZK[K] = 4;
    pb.KCODE[K] = 100;
    s.NPROP[K] = 0;
    pb.NCROW = 2;
    pb.PRSW = 0;
    s.NBRPT = 1;
    pb.NCRES = 4;
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
    pb.NZOTOT = 4;
    for (int v = 1; v <= 4; ++v) {
        pb.ZPRB[v + 1] = K;
        pb.ZLAB[v + 1] = static_cast<int16_t>(5000 + v);
        pb.IZA1[v + 1] = pb.IZA2[v + 1] = pb.IZA3[v + 1] = pb.IZA4[v + 1] = 0;
        pb.ZOVD[v + 1][1] = 0.0;
        pb.ZOVR[v + 1][1] = 0.0f;
    }
    pb.KR17[K] = 1;  // v1 starts
    pb.KR18[K] = 2;  // v2, v3 members
    pb.KR19[K] = 1;  // v4 closes
    pb.KR20[K] = 0;
    pb.KR21[K] = 0;
    pb.KR06[K] = 1000.0f;
    pb.KR01[K] = pb.KR02[K] = 1000;
    pb.KR07[K] = pb.KR08[K] = 0;
    for (int j = 1; j <= 4; ++j) {
        pb.IKR[K][j] = 0;
        pb.RRK1[K][j] = pb.RRK4[K][j] = 1000.0f;
        pb.RRK2[K][j] = pb.RRK3[K][j] = 0.0f;
        pb.IRK1[K][j] = pb.IRK2[K][j] = pb.IRK3[K][j] = pb.IRK4[K][j] = 0;
        pb.IRK5[K][j] = pb.IRK6[K][j] = 0;
        pb.IRL1[j][1] = pb.IRL2[j][1] = 0;
    }
}

// The attribute words IZA1..IZA4 of variable v's entry d = v+1.
inline void words(decomp::DecompState& ds, int v, int a1, int a2, int a3, int a4) {
    decomp::Problem& pb = ds.pb;
    pb.IZA1[v + 1] = static_cast<int16_t>(a1);
    pb.IZA2[v + 1] = static_cast<int16_t>(a2);
    pb.IZA3[v + 1] = static_cast<int16_t>(a3);
    pb.IZA4[v + 1] = static_cast<int16_t>(a4);
}

}  // namespace tail
}  // namespace kav::test
