// Worker processes of kavmpi.
#include "worker.hpp"

#include <algorithm>
#include <cmath>
#include <vector>

#include "comm.hpp"
#include "input.hpp"
#include "cycle.hpp"
#include "dlines.hpp"
#include "driver.hpp"
#include "packed.hpp"
#include "simplx.hpp"

namespace kav::mpi {

namespace {

using namespace kav::decomp;

const fmt::Format& f_values8() {
    static const fmt::Format f("(8D13.5/(1H , 8D13.5))");
    return f;
}

}  // namespace

bool receive_setup(MpiState& st, DecompState& ds) {
    SolverState& sv = ds.sv;
    const int me = st.MYID;
    auto get16 = [&](int code) { return recv1<int16_t>(0, me, code); };
    for (int i = 1; i <= 6; ++i) st.IEXT[i] = recv1<int32_t>(0, me, 66 + i);
    st.NSUB = get16(73);
    st.NCRES = get16(74);
    st.NLEVEL = get16(75);
    st.RMAX = get16(76);
    st.NZOTOT = get16(77);
    st.PRSW = get16(135);
    st.PAR5FL = get16(136);
    const int32_t k = st.KSUB;
    if (!(st.NSUB >= 1 && st.NSUB <= NPROB && k <= st.NSUB && st.NCRES >= 0 && st.NCRES <= MAXCRES &&
          st.NLEVEL >= 0 && st.NLEVEL + 1 <= NLEV && st.RMAX >= 2 && st.RMAX <= LDC && st.NZOTOT >= 0 &&
          st.NZOTOT + 1 <= MAXZENT))
        return false;
    sv.NSUB = st.NSUB;
    sv.NCRES = st.NCRES;
    sv.NLEVEL = st.NLEVEL;
    sv.NCROW = st.RMAX;
    sv.NZOTOT = st.NZOTOT;
    sv.PRSW = st.PRSW;
    const int32_t ncres = st.NCRES, nl = st.NLEVEL + 1, nzo1 = st.NZOTOT + 1;

    sv.NNZC[k] = recv1<int32_t>(0, me, 78);
    sv.NZEROC[k] = recv1<int32_t>(0, me, 79);
    sv.NIXBC[k] = recv1<int32_t>(0, me, 80);
    const int64_t ccells = int64_t{st.RMAX} * MAXCOL;
    if (sv.NNZC[k] < 0 || sv.NNZC[k] > ccells || sv.NIXBC[k] < 0 || packed::runs_in(sv.NIXBC[k]) > ccells)
        return false;
    recv(0, me, 800, &sv.IKR[k][1], ncres);
    std::vector<int32_t> l1(static_cast<size_t>(ncres * nl)), l2(l1.size()), l3(l1.size());
    recv(0, me, 81, l1.data(), ncres * nl);
    recv(0, me, 82, l2.data(), ncres * nl);
    recv(0, me, 83, l3.data(), ncres * nl);
    for (int32_t j = 1, e = 0; j <= ncres; ++j)
        for (int32_t l = 1; l <= nl; ++l, ++e) {
            sv.IRL1[j][l] = l1[e];
            sv.IRL2[j][l] = l2[e];
            sv.IRL3[j][l] = l3[e];
        }
    recv(0, me, 84, &sv.ZPRB[1], nzo1);
    recv(0, me, 85, &sv.ZLAB[1], nzo1);
    recv(0, me, 86, &sv.IZA1[1], nzo1);
    recv(0, me, 87, &sv.IZA2[1], nzo1);
    recv(0, me, 88, &sv.IZA3[1], nzo1);
    recv(0, me, 89, &sv.IZA4[1], nzo1);
    std::vector<double> zd(static_cast<size_t>(nzo1 * nl));
    std::vector<float> zr(zd.size());
    recv(0, me, 90, zd.data(), nzo1 * nl);
    recv(0, me, 91, zr.data(), nzo1 * nl);
    for (int32_t d = 1, e = 0; d <= nzo1; ++d)
        for (int32_t l = 1; l <= nl; ++l, ++e) {
            sv.ZOVD[d][l] = zd[e];
            sv.ZOVR[d][l] = zr[e];
        }

    recv(0, me, 92, &sv.RRK1[k][1], ncres);
    recv(0, me, 93, &sv.RRK2[k][1], ncres);
    recv(0, me, 94, &sv.RRK3[k][1], ncres);
    recv(0, me, 95, &sv.RRK4[k][1], ncres);
    recv(0, me, 115, &sv.IRK1[k][1], ncres);
    recv(0, me, 116, &sv.IRK2[k][1], ncres);
    recv(0, me, 117, &sv.IRK3[k][1], ncres);
    recv(0, me, 118, &sv.IRK4[k][1], ncres);
    recv(0, me, 119, &sv.IRK5[k][1], ncres);
    recv(0, me, 120, &sv.IRK6[k][1], ncres);
    ProblemRecord pr;
    recv(0, me, 96, pr.i4, 9);
    recv(0, me, 99, pr.i2, 10);
    recv(0, me, 100, &pr.r4, 1);
    if (!pr.fits(st)) return false;
    pr.store(sv, k);
    recv(0, me, 121, &sv.IKA[k][1], 6);
    recv(0, me, 122, &sv.IKB[k][1], 6);
    const int32_t m = pr.rows(), n = pr.cols();
    st.irow0.assign(static_cast<size_t>(m), 0);
    st.icol0.assign(static_cast<size_t>(n), 0);
    recv(0, me, 123, st.irow0.data(), m);
    recv(0, me, 124, st.icol0.data(), n);
    recv(0, me, 127, &sv.NINC[k][1], nl);
    int32_t total = 0;
    for (int32_t l = 1; l <= nl; ++l) {
        if (sv.NINC[k][l] < 0 || sv.NINC[k][l] > MAXINC) return false;
        total += sv.NINC[k][l];
    }
    if (total != 0) {
        std::vector<int16_t> cc(static_cast<size_t>(total)), rc(cc.size());
        std::vector<double> dd(cc.size());
        recv(0, me, 128, cc.data(), total);
        recv(0, me, 129, rc.data(), total);
        recv(0, me, 130, dd.data(), total);
        for (int32_t l = 1, e = 0; l <= nl; ++l)
            for (int32_t i = 1; i <= sv.NINC[k][l]; ++i, ++e) {
                sv.INCCOL[k][l][i] = cc[e];
                sv.INCROW[k][l][i] = rc[e];
                sv.DINC[k][l][i] = dd[e];
                st.pnt.write(fmt::lines::status_line(), {cc[e], rc[e]});
                st.pnt.write(f_values8(), {dd[e]});
            }
    }
    st.tab_vals.assign(static_cast<size_t>(sv.NNZK[k]), 0.0);
    recv(0, me, 131, st.tab_vals.data(), sv.NNZK[k]);
    st.tab_runs.assign(static_cast<size_t>(sv.NIXBK[k] / 2), 0);
    recv(0, me, 132, st.tab_runs.data(), sv.NIXBK[k] / 2);
    st.cpl_vals.assign(1, std::vector<double>(static_cast<size_t>(sv.NNZC[k]), 0.0));
    recv(0, me, 133, st.cpl_vals[0].data(), sv.NNZC[k]);
    st.cpl_runs.assign(1, std::vector<int16_t>(static_cast<size_t>(sv.NIXBC[k] / 2), 0));
    recv(0, me, 134, st.cpl_runs[0].data(), sv.NIXBC[k] / 2);
    std::vector<int16_t> nzo(static_cast<size_t>(st.NSUB));
    recv(0, me, 910, nzo.data(), st.NSUB);
    for (int32_t q = 1; q <= st.NSUB; ++q) sv.NZK[q] = nzo[q - 1];
    return true;
}

namespace {

// The worker's tableau as built for a level, kept to restart from.
struct Saved {
    std::vector<double> t;
    std::vector<int16_t> irow, icol;
    int16_t m = 0, n = 0;
};

const fmt::Format& f_label() {
    static const fmt::Format f("(114X,I6)");
    return f;
}

void print_tableau(MpiState& st, SolverState& sv) {
    std::vector<fmt::Item> it;
    for (int32_t j = 1; j <= sv.N; ++j) it.emplace_back(sv.ICOL[j]);
    st.pnt.write(fmt::lines::status_line(), it);
    for (int32_t i = 1; i <= sv.M; ++i) {
        it.clear();
        for (int32_t j = 1; j <= sv.N; ++j) it.emplace_back(sv.t(i, j));
        st.pnt.write(f_values8(), it);
        st.pnt.write(f_label(), {sv.IROW[i]});
    }
}

// Builds the tableau of level L: the first matrix, the coupling matrix, the
// level's increments, and the scan of every row and column.  Returns false
// when the scan finds a row or column without magnitude (IERR 73).
bool build(MpiState& st, DecompState& ds, int16_t level) {
    SolverState& sv = ds.sv;
    const int32_t k = st.KSUB, m = sv.NRK[k], n = sv.NCK[k];
    sv.M = static_cast<int16_t>(m);
    sv.N = static_cast<int16_t>(n);
    packed::MemValueSource vs{st.tab_vals.data(), static_cast<int32_t>(st.tab_vals.size())};
    packed::MemRunSource rs{st.tab_runs.data(), static_cast<int32_t>(st.tab_runs.size())};
    const packed::UnpackResult r = packed::unpack(&sv.T[LDT + 1], LDT, m, n, vs, rs, sv.NIXBK[k]);
    if (r.values != sv.NNZK[k] || r.zeros != sv.NZEROK[k] || int64_t{r.values} + r.zeros != int64_t{m} * n) {
        st.pnt.write(fmt::lines::banner3(), {int32_t{1}});
        st.pnt.write(fmt::lines::status_line(), {int32_t{k}, sv.NNZK[k], r.values, sv.NZEROK[k], r.zeros,
                                                 r.values + r.zeros, m, n});
        sv.IERR = 2;
        st.pnt.write(dl::error_line_mpi(), {st.KSUB, int16_t{2}});
    }
    packed::MemValueSource cv{st.cpl_vals[0].data(), static_cast<int32_t>(st.cpl_vals[0].size())};
    packed::MemRunSource cr{st.cpl_runs[0].data(), static_cast<int32_t>(st.cpl_runs[0].size())};
    packed::unpack(sv.ACPL, LDC, st.RMAX, n, cv, cr, sv.NIXBC[k]);
    for (int32_t i = 1; i <= m; ++i) sv.IROW[i] = st.irow0[i - 1];
    for (int32_t j = 1; j <= n; ++j) sv.ICOL[j] = st.icol0[j - 1];
    sv.IROW[1] = 0;
    sv.ICOL[1] = 0;
    if (st.PAR5FL == 1 || (st.PAR5FL == 0 && level >= 2)) {
        for (int32_t i = 1; i <= sv.NINC[k][level]; ++i) {
            int32_t row, col;
            if (!increment_place(sv.INCCOL[k][level][i], sv.INCROW[k][level][i], m, n, row, col)) continue;
            const double d = sv.DINC[k][level][i];
            sv.t(row, col) = sv.t(row, col) + d;
            if (row == 1) sv.acpl(1, col) = sv.acpl(1, col) + d;
        }
    }
    auto has_magnitude = [&](bool is_row, int32_t x) {
        const int32_t len = is_row ? n : m;
        for (int32_t y = 1; y <= len; ++y)
            if (std::fabs(is_row ? sv.t(x, y) : sv.t(y, x)) > 0.001) return true;
        return false;
    };
    bool ok = true;
    for (int32_t j = 2; j <= n && ok; ++j) ok = has_magnitude(false, j);
    for (int32_t i = 1; i <= m && ok; ++i) ok = has_magnitude(true, i);
    if (!ok) {
        print_tableau(st, sv);
        sv.IERR = 73;
        st.pnt.write(dl::error_line_mpi(), {st.KSUB, int16_t{73}});
        return false;
    }
    // Scaled as the library's set-up scales it, so that SIMPLX pivots on the
    // same numbers and gives the library's proposals.  The scan above has
    // found magnitude in every row, so the scaling itself cannot fail.
    scale_tableau(ds, k);
    for (int32_t j = 1; j <= n; ++j) sv.ICOLSV[j] = sv.ICOL[j];
    sv.NSV = static_cast<int16_t>(n);
    sv.NPIV = 0;
    sv.KADJ[k] = 0.0;
    return true;
}

void save(SolverState& sv, Saved& s) {
    s.m = sv.M;
    s.n = sv.N;
    s.t.assign(static_cast<size_t>(LDT) * (s.n + 1), 0.0);
    std::copy(sv.T, sv.T + s.t.size(), s.t.begin());
    s.irow.assign(sv.IROW, sv.IROW + s.m + 1);
    s.icol.assign(sv.ICOL, sv.ICOL + s.n + 1);
}

void restore(SolverState& sv, const Saved& s) {
    sv.M = s.m;
    sv.N = s.n;
    std::copy(s.t.begin(), s.t.end(), sv.T);
    std::copy(s.irow.begin(), s.irow.end(), sv.IROW);
    std::copy(s.icol.begin(), s.icol.end(), sv.ICOL);
    for (int32_t j = 1; j <= s.n; ++j) sv.ICOLSV[j] = sv.ICOL[j];
    sv.NSV = s.n;
}

}  // namespace

void worker_loop(MpiState& st, DecompState& ds) {
    SolverState& sv = ds.sv;
    const int me = st.MYID;
    const int32_t k = st.KSUB, nc = sv.NCK[k];
    int16_t last_level = 0;
    Saved saved;
    for (;;) {
        int16_t stop = recv1<int16_t>(0, me, 153);
        if (stop == 1) return;
        const int16_t level = recv1<int16_t>(0, me, 150);
        const int16_t nbrpt = recv1<int16_t>(0, me, 137);
        if (level < 1 || level > st.NLEVEL + 1 || nbrpt < 1 || nbrpt > BPMAX) {
            st.pnt.write(dl::error_line_mpi(), {st.KSUB, int16_t{149}});
            abort_all(1);
        }
        sv.NBRPT = nbrpt;
        recv(0, me, 138, &sv.IBPPRB[1], nbrpt);
        recv(0, me, 139, &sv.IBPVAR[1], nbrpt);
        recv(0, me, 140, &sv.IBOTH[1], nbrpt);
        const int16_t irstrt = recv1<int16_t>(0, me, 141);
        const int16_t n = recv1<int16_t>(0, me, 142);
        // A full subproblem (7 proposals) is never served: n is 0 to 6.
        if (n < 0 || n >= NSLOT) {
            st.pnt.write(dl::error_line_mpi(), {st.KSUB, int16_t{149}});
            abort_all(1);
        }
        recv(0, me, 143, &sv.LAMBDA[k][1], n);
        recv(0, me, 144, &sv.PIM[2], st.RMAX - 2);
        sv.NPROP[k] = n;
        sv.LEVEL = level;
        sv.KCUR = static_cast<int16_t>(k);
        sv.IERR = 0;
        sv.IREJ = 0;
        bool solve = true;
        if (irstrt == 1) {
            if (level == last_level) {
                restore(sv, saved);
            } else {
                solve = build(st, ds, level);
                last_level = level;
                save(sv, saved);
            }
        }
        // The new proposal's own objective (its reduced value with the price
        // deduction added back) is the cost of its master column; it travels
        // in one added message after its reduced value.
        double own = 0.0;
        if (solve) {
            simplx(ds, irstrt == 2 ? int16_t{2} : int16_t{1});
            if (sv.IERR == 0 && sv.IREJ == 0) own = sv.PROPZ[k][n + 1] + price_deduction(ds, k, n + 1);
        } else {
            stop = 1;
        }
        send1(0, me, 154, stop);
        send1(0, me, 145, static_cast<int16_t>(sv.NITER));
        send(0, me, 146, &sv.PROPZ[k][1], n + 1);
        send1(0, me, 155, own);
        for (int32_t c = 1; c <= n + 1; ++c) send(0, me, 147, &sv.PROPX[k][c][1], nc - 2);
        send1(0, me, 149, sv.IERR);
        send1(0, me, 148, sv.IREJ);
        if (sv.IERR == 6) send1(0, me, 151, sv.LBLBAD);
        if (sv.IERR == 5) send1(0, me, 152, sv.RESV[level]);
    }
}

}  // namespace kav::mpi
