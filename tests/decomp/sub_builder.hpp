// Builds a subproblem tableau in the solver state the way the driver does
// (labels, scaling, saved column list), and the same LP for the oracle.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "lp_oracle.hpp"
#include "decomp_state.hpp"

namespace kav::test {

// Columns: 2..nz+1 the 0-Z variables, then continuous ones, the last
// (ncol) the weight variable.  Rows: constraint rows 2.. (type 'L' or 'E'),
// plus the weight row x_w = 1 added by load().
struct SubLp {
    int nz = 0;
    int ncol = 0;                          // NCK: column 1 (right-hand sides) included
    std::vector<double> c;                 // c[j], j = 1..ncol (c[1] unused), maximised
    std::vector<std::vector<double>> a;    // a[r][j], j = 1..ncol (j = 1: right-hand side)
    std::vector<char> type;                // per row 'L' or 'E'
};

inline double& el(decomp::SolverState& s, int i, int j) { return s.t(i, j); }

// Loads the subproblem as problem k (scaled as the driver scales it) and
// resets the words SIMPLX reads.
inline void load(decomp::DecompState& ds, const SubLp& p, int k, bool weight_row = true) {
    decomp::SolverState& s = ds.sv;
    auto& pb = ds.pb;
    s.TOLZER = 5e-18;
    s.TOLELM = 5e-8;
    s.TOLPIV = 5e-6;
    s.OBJSCL = 30000.0;
    s.BIG = 1e30;
    s.PRTSW = 0;
    s.DMPSW = 0;
    pb.NSUB = static_cast<int16_t>(k);
    pb.NCRES = 0;
    pb.NLEVEL = 0;
    pb.NCROW = 2;
    pb.PRSW = 0;
    s.LEVEL = 1;
    s.RESV[1] = 0.0;
    s.KCUR = static_cast<int16_t>(k);
    const int n = p.ncol;
    const int m = 1 + static_cast<int>(p.a.size()) + (weight_row ? 1 : 0);
    s.M = static_cast<int16_t>(m);
    s.N = static_cast<int16_t>(n);
    for (int j = 1; j <= n; ++j)
        for (int i = 0; i <= m; ++i) el(s, i, j) = 0.0;
    for (int j = 2; j <= n; ++j) el(s, 1, j) = p.c[j];
    for (size_t r = 0; r < p.a.size(); ++r) {
        const int i = 2 + static_cast<int>(r);
        for (int j = 1; j <= n; ++j) el(s, i, j) = p.a[r][j];
        s.IROW[i] = static_cast<int16_t>(p.type[r] == 'E' ? -(i - 1) - 5000 : -(i - 1));
    }
    if (weight_row) {
        el(s, m, 1) = 1.0;
        el(s, m, n) = 1.0;
        s.IROW[m] = static_cast<int16_t>(-(m - 1) - 5000);
    }
    s.IROW[1] = 0;
    s.ICOL[1] = 0;
    for (int j = 2; j <= n; ++j) s.ICOL[j] = static_cast<int16_t>(j <= p.nz + 1 ? 5000 + (j - 1) : j - 1);
    // Scaling as the driver does it.
    auto range = [](double v, double& lo, double& hi) {
        const double a = std::fabs(v);
        if (a > 0.001) {
            if (a < lo) lo = a;
            if (a > hi) hi = a;
        }
    };
    {
        double lo = 1e30, hi = -1e30;
        for (int j = 1; j <= n; ++j) range(el(s, 1, j), lo, hi);
        const double sc = hi == -1e30 ? 1.0 : std::sqrt(hi * lo);
        s.OSCL[k] = sc;
        for (int j = 1; j <= n; ++j) el(s, 1, j) = -el(s, 1, j) / sc;
    }
    for (int i = 2; i <= m; ++i) {
        double lo = 1e30, hi = -1e30;
        for (int j = 1; j <= n; ++j) range(el(s, i, j), lo, hi);
        double sc = hi == -1e30 ? 1.0 : std::sqrt(hi * lo);
        if (sc < 100.0) sc = sc / 1000.0;
        s.RSCL[k][i] = sc;
        for (int j = 1; j <= n; ++j) el(s, i, j) = el(s, i, j) / sc;
    }
    s.CSCL[k][1] = 1.0;
    for (int j = 2; j <= n; ++j) {
        double lo = 1e30, hi = -1e30;
        for (int i = 1; i <= m; ++i) range(el(s, i, j), lo, hi);
        const double sc = hi == -1e30 ? 1.0 : std::sqrt(hi * lo);
        s.CSCL[k][j] = sc;
        for (int i = 1; i <= m; ++i) el(s, i, j) = el(s, i, j) / sc;
    }
    for (int j = 1; j <= n; ++j) s.ICOLSV[j] = s.ICOL[j];
    s.NSV = static_cast<int16_t>(n);
    pb.NCK[k] = static_cast<int16_t>(n);
    pb.NZK[k] = static_cast<int16_t>(p.nz);
    pb.KCODE[k] = 501;
    s.KADJ[k] = 0.0;
    s.NPROP[k] = 0;
    s.ITERK[k] = 0;
    for (int q = 1; q <= 6; ++q) pb.IKA[k][q] = pb.IKB[k][q] = 0;
    // Coupling matrix: row 1 the objective, row 2 (NCROW) the time row.
    for (int j = 1; j <= n; ++j) {
        s.acpl(1, j) = j >= 2 ? p.c[j] : 0.0;
        s.acpl(2, j) = 0.0;
    }
    // 0-Z entries for every 0-Z variable of k.
    pb.NZOTOT = static_cast<int16_t>(p.nz);
    for (int v = 1; v <= p.nz; ++v) {
        const int d = v + 1;
        pb.ZPRB[d] = static_cast<int16_t>(k);
        pb.ZLAB[d] = static_cast<int16_t>(5000 + v);
        pb.IZA1[d] = pb.IZA2[d] = pb.IZA3[d] = pb.IZA4[d] = 0;
    }
    s.NBRPT = 1;
    s.IBPVAR[1] = 0;
    s.NITER = 0;
}

// The same LP for the oracle: variables x_2..x_ncol (index j-2), 0-Z
// variables bounded by the weight variable, weight fixed at 1.
inline LpProblem oracle_lp(const SubLp& p) {
    LpProblem q;
    const int nv = p.ncol - 1;
    q.c.assign(nv, 0.0);
    for (int j = 2; j <= p.ncol; ++j) q.c[j - 2] = p.c[j];
    for (size_t r = 0; r < p.a.size(); ++r) {
        LpRow row;
        row.a.assign(nv, 0.0);
        for (int j = 2; j <= p.ncol; ++j) row.a[j - 2] = p.a[r][j];
        row.type = p.type[r];
        row.rhs = p.a[r][1];
        q.rows.push_back(row);
    }
    for (int v = 1; v <= p.nz; ++v) {
        LpRow row;
        row.a.assign(nv, 0.0);
        row.a[v - 1] = 1.0;
        row.a[nv - 1] = -1.0;
        row.type = 'L';
        row.rhs = 0.0;
        q.rows.push_back(row);
    }
    LpRow wr;
    wr.a.assign(nv, 0.0);
    wr.a[nv - 1] = 1.0;
    wr.type = 'E';
    wr.rhs = 1.0;
    q.rows.push_back(wr);
    return q;
}

}  // namespace kav::test
