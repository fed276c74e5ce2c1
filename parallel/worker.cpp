// Worker processes of kavmpi: the set-up messages of one subproblem, then
// the cycle loop: each pass builds or continues the subproblem tableau,
// runs SIMPLX at the master problem's prices and sends the proposal back.
#include "worker.hpp"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

#include "comm.hpp"
#include "errcodes.hpp"
#include "input.hpp"
#include "lines.hpp"
#include "marks.hpp"
#include "packed.hpp"
#include "pass.hpp"
#include "setup.hpp"
#include "simplx.hpp"

namespace kav::mpi {

using namespace kav::solver;

bool receive_setup(MpiState& st) {
    Problem& pb = st.pb;
    const int me = st.MYID;
    auto get16 = [&](int code) { return recv1<int16_t>(0, me, code); };
    for (int i = 1; i <= handoff::NEXTENT; ++i) st.IEXT[i] = recv1<int32_t>(0, me, msg::IEXT1 + (i - 1));
    handoff::Header h{};
    h.NSUB = get16(msg::NSUB);
    h.NCRES = get16(msg::NCRES);
    h.NLEVEL = get16(msg::NLEVEL);
    h.NCROW = get16(msg::RMAX);
    h.NZOTOT = get16(msg::NZOTOT);
    h.PRSW = get16(msg::PRSW);
    pb.set_header(h);
    st.PAR5FL = get16(msg::PAR5FL);
    const int32_t k = st.KSUB;
    if (!(pb.NSUB >= 1 && pb.NSUB <= NPROB && k <= pb.NSUB && pb.NCRES >= 0 && pb.NCRES <= MAXCRES &&
          pb.NLEVEL >= 0 && pb.NLEVEL + 1 <= NLEV && pb.NCROW >= 2 && pb.NCROW <= LDC && pb.NZOTOT >= 0 &&
          pb.NZOTOT + 1 <= MAXZENT))
        return false;
    if (!extents_fit(st)) return false;
    size_problem(st);
    make_worker_solve(st);
    const int32_t ncres = pb.NCRES, nl = pb.NLEVEL + 1, nzo1 = pb.NZOTOT + 1;

    pb.NNZC[k] = recv1<int32_t>(0, me, msg::CPL_NNZ);
    pb.NZEROC[k] = recv1<int32_t>(0, me, msg::CPL_NZERO);
    pb.NIXBC[k] = recv1<int32_t>(0, me, msg::CPL_NIXB);
    const int64_t ccells = int64_t{pb.NCROW} * MAXCOL;
    if (pb.NNZC[k] < 0 || pb.NNZC[k] > ccells || pb.NIXBC[k] < 0 || packed::runs_in(pb.NIXBC[k]) > ccells)
        return false;
    recv(0, me, msg::IKR, &pb.IKR[k][1], ncres);
    std::vector<int32_t> l1(static_cast<size_t>(ncres * nl)), l2(l1.size()), l3(l1.size());
    recv(0, me, msg::IRL1, l1.data(), ncres * nl);
    recv(0, me, msg::IRL2, l2.data(), ncres * nl);
    recv(0, me, msg::IRL3, l3.data(), ncres * nl);
    for (int32_t j = 1, e = 0; j <= ncres; ++j)
        for (int32_t l = 1; l <= nl; ++l, ++e) {
            pb.IRL1[j][l] = l1[e];
            pb.IRL2[j][l] = l2[e];
            pb.IRL3[j][l] = l3[e];
        }
    recv(0, me, msg::ZPRB, &pb.ZPRB[1], nzo1);
    recv(0, me, msg::ZLAB, &pb.ZLAB[1], nzo1);
    recv(0, me, msg::IZA1, &pb.IZA1[1], nzo1);
    recv(0, me, msg::IZA2, &pb.IZA2[1], nzo1);
    recv(0, me, msg::IZA3, &pb.IZA3[1], nzo1);
    recv(0, me, msg::IZA4, &pb.IZA4[1], nzo1);
    std::vector<double> zd(static_cast<size_t>(nzo1 * nl));
    std::vector<float> zr(zd.size());
    recv(0, me, msg::ZOVD, zd.data(), nzo1 * nl);
    recv(0, me, msg::ZOVR, zr.data(), nzo1 * nl);
    for (int32_t d = 1, e = 0; d <= nzo1; ++d)
        for (int32_t l = 1; l <= nl; ++l, ++e) {
            pb.ZOVD[d][l] = zd[e];
            pb.ZOVR[d][l] = zr[e];
        }

    recv(0, me, msg::RRK1, &pb.RRK1[k][1], ncres);
    recv(0, me, msg::RRK2, &pb.RRK2[k][1], ncres);
    recv(0, me, msg::RRK3, &pb.RRK3[k][1], ncres);
    recv(0, me, msg::RRK4, &pb.RRK4[k][1], ncres);
    recv(0, me, msg::IRK1, &pb.IRK1[k][1], ncres);
    recv(0, me, msg::IRK2, &pb.IRK2[k][1], ncres);
    recv(0, me, msg::IRK3, &pb.IRK3[k][1], ncres);
    recv(0, me, msg::IRK4, &pb.IRK4[k][1], ncres);
    recv(0, me, msg::IRK5, &pb.IRK5[k][1], ncres);
    recv(0, me, msg::IRK6, &pb.IRK6[k][1], ncres);
    RecordMessage rm;
    recv(0, me, msg::REC_I4, rm.i4, static_cast<int32_t>(std::size(rm.i4)));
    recv(0, me, msg::REC_I2, rm.i2, static_cast<int32_t>(std::size(rm.i2)));
    recv(0, me, msg::REC_R4, &rm.r4, 1);
    const handoff::ProblemRecord pr = from_message(rm);
    if (!record_fits(st, pr)) return false;
    pb.set_record(k, pr);
    recv(0, me, msg::IKA, &pb.IKA[k][1], NCLASS);
    recv(0, me, msg::IKB, &pb.IKB[k][1], NCLASS);
    const int32_t m = pr.NROW, n = pr.NCOL;
    st.irow0.assign(static_cast<size_t>(m), 0);
    st.icol0.assign(static_cast<size_t>(n), 0);
    recv(0, me, msg::IROW, st.irow0.data(), m);
    recv(0, me, msg::ICOL, st.icol0.data(), n);
    recv(0, me, msg::NINC, &pb.NINC[k][1], nl);
    int32_t total = 0;
    for (int32_t l = 1; l <= nl; ++l) {
        if (pb.NINC[k][l] < 0 || pb.NINC[k][l] > pb.ext.maxinc) return false;
        total += pb.NINC[k][l];
    }
    if (total != 0) {
        std::vector<int16_t> cc(static_cast<size_t>(total)), rc(cc.size());
        std::vector<double> dd(cc.size());
        recv(0, me, msg::INCCOL, cc.data(), total);
        recv(0, me, msg::INCROW, rc.data(), total);
        recv(0, me, msg::DINC, dd.data(), total);
        for (int32_t l = 1, e = 0; l <= nl; ++l)
            for (int32_t i = 1; i <= pb.NINC[k][l]; ++i, ++e) {
                pb.INCCOL[k][l][i] = cc[e];
                pb.INCROW[k][l][i] = rc[e];
                pb.DINC[k][l][i] = dd[e];
                st.pnt.write(fmt::lines::status_line(), {cc[e], rc[e]});
                st.pnt.write(fmt::lines::values8(), {dd[e]});
            }
    }
    st.tab_vals.assign(static_cast<size_t>(pb.NNZK[k]), 0.0);
    recv(0, me, msg::TAB_VALS, st.tab_vals.data(), pb.NNZK[k]);
    st.tab_runs.assign(static_cast<size_t>(pb.NIXBK[k] / 2), 0);
    recv(0, me, msg::TAB_RUNS, st.tab_runs.data(), pb.NIXBK[k] / 2);
    st.cpl_own_vals.assign(static_cast<size_t>(pb.NNZC[k]), 0.0);
    recv(0, me, msg::CPL_VALS, st.cpl_own_vals.data(), pb.NNZC[k]);
    st.cpl_own_runs.assign(static_cast<size_t>(pb.NIXBC[k] / 2), 0);
    recv(0, me, msg::CPL_RUNS, st.cpl_own_runs.data(), pb.NIXBC[k] / 2);
    std::vector<int16_t> nzo(static_cast<size_t>(pb.NSUB));
    recv(0, me, msg::NZO, nzo.data(), pb.NSUB);
    for (int32_t q = 1; q <= pb.NSUB; ++q) pb.NZK[q] = nzo[q - 1];
    return true;
}

namespace {

void print_tableau(MpiState& st, SolverState& sv) {
    std::vector<fmt::Item> it;
    for (int32_t j = 1; j <= sv.N; ++j) it.emplace_back(sv.ICOL[j]);
    st.pnt.write(fmt::lines::status_line(), it);
    for (int32_t i = 1; i <= sv.M; ++i) {
        it.clear();
        for (int32_t j = 1; j <= sv.N; ++j) it.emplace_back(sv.t(i, j));
        st.pnt.write(fmt::lines::values8(), it);
        st.pnt.write(fmt::lines::row_label(), {sv.IROW[i]});
    }
}

// Builds the tableau of level L: the first matrix, the coupling matrix, the
// level's increments, and the scan of every row and column.  Returns false
// when the scan finds a row or column without magnitude (IERR 73).
bool build(MpiState& st, int16_t level) {
    const Problem& pb = st.pb;
    SolverState& sv = st.sub->sv;
    const int32_t k = st.KSUB, m = pb.NRK[k], n = pb.NCK[k];
    sv.M = static_cast<int16_t>(m);
    sv.N = static_cast<int16_t>(n);
    packed::MemValueSource vs{st.tab_vals.data(), static_cast<int32_t>(st.tab_vals.size())};
    packed::MemRunSource rs{st.tab_runs.data(), static_cast<int32_t>(st.tab_runs.size())};
    const packed::UnpackResult r = packed::unpack(&sv.t(1, 1), sv.ldt(), m, n, vs, rs, pb.NIXBK[k]);
    if (r.values != pb.NNZK[k] || r.zeros != pb.NZEROK[k] || int64_t{r.values} + r.zeros != int64_t{m} * n) {
        st.pnt.write(fmt::lines::banner3(), {int32_t{mark::TABLEAU_REBUILD}});
        st.pnt.write(fmt::lines::status_line(), {int32_t{k}, pb.NNZK[k], r.values, pb.NZEROK[k], r.zeros,
                                                 r.values + r.zeros, m, n});
        sv.IERR = err::COUNTS_READ;
        st.pnt.write(fmt::lines::error_line5(), {st.KSUB, err::COUNTS_READ});
    }
    packed::MemValueSource cv{st.cpl_own_vals.data(), static_cast<int32_t>(st.cpl_own_vals.size())};
    packed::MemRunSource cr{st.cpl_own_runs.data(), static_cast<int32_t>(st.cpl_own_runs.size())};
    packed::unpack(sv.ACPL.data(), sv.ldc(), st.RMAX(), n, cv, cr, pb.NIXBC[k]);
    for (int32_t i = 1; i <= m; ++i) sv.IROW[i] = st.irow0[i - 1];
    for (int32_t j = 1; j <= n; ++j) sv.ICOL[j] = st.icol0[j - 1];
    sv.IROW[1] = 0;
    sv.ICOL[1] = 0;
    if (st.PAR5FL == 1 || (st.PAR5FL == 0 && level >= 2)) {
        for (int32_t i = 1; i <= pb.NINC[k][level]; ++i) {
            int32_t row, col;
            if (!increment_place(pb.INCCOL[k][level][i], pb.INCROW[k][level][i], m, n, row, col)) continue;
            const double d = pb.DINC[k][level][i];
            sv.t(row, col) = sv.t(row, col) + d;
            if (row == 1) sv.acpl(1, col) = sv.acpl(1, col) + d;
        }
    }
    auto has_magnitude = [&](bool is_row, int32_t x) {
        const int32_t len = is_row ? n : m;
        for (int32_t y = 1; y <= len; ++y)
            if (std::fabs(is_row ? sv.t(x, y) : sv.t(y, x)) > kernel::ATINY) return true;
        return false;
    };
    bool ok = true;
    for (int32_t j = 2; j <= n && ok; ++j) ok = has_magnitude(false, j);
    for (int32_t i = 1; i <= m && ok; ++i) ok = has_magnitude(true, i);
    if (!ok) {
        print_tableau(st, sv);
        sv.IERR = err::NO_MAGNITUDE;
        st.pnt.write(fmt::lines::error_line5(), {st.KSUB, err::NO_MAGNITUDE});
        return false;
    }
    // Scaled as the library's set-up scales it, so that SIMPLX pivots on the
    // same numbers and gives the library's proposals.  The scan above has
    // found magnitude in every row, so the scaling itself cannot fail.
    scale_tableau(st.sub->fam, k);
    for (int32_t j = 1; j <= n; ++j) sv.ICOLSV[j] = sv.ICOL[j];
    sv.NSV = static_cast<int16_t>(n);
    sv.NPIV = 0;
    sv.KADJ[k] = 0.0;
    return true;
}

void save(const SolverState& sv, SavedTableau& s) {
    s.m = sv.M;
    s.n = sv.N;
    const double* t0 = &sv.t(0, 0);
    s.t.assign(t0, t0 + static_cast<size_t>(sv.ldt()) * (s.n + 1));
    s.irow.assign(sv.IROW, sv.IROW + s.m + 1);
    s.icol.assign(sv.ICOL, sv.ICOL + s.n + 1);
}

void restore(SolverState& sv, const SavedTableau& s) {
    sv.M = s.m;
    sv.N = s.n;
    std::copy(s.t.begin(), s.t.end(), &sv.t(0, 0));
    std::copy(s.irow.begin(), s.irow.end(), sv.IROW);
    std::copy(s.icol.begin(), s.icol.end(), sv.ICOL);
    for (int32_t j = 1; j <= s.n; ++j) sv.ICOLSV[j] = sv.ICOL[j];
    sv.NSV = s.n;
}

// A message that does not fit the worker's tables ends the run.
[[noreturn]] void bad_message(MpiState& st) {
    st.pnt.write(fmt::lines::error_line5(), {st.KSUB, ERR_BAD_MESSAGE});
    abort_all(1);
}

}  // namespace

void worker_loop(MpiState& st) {
    const Problem& pb = st.pb;
    Solve& w = *st.sub;
    SolverState& sv = w.sv;
    const int me = st.MYID;
    const int32_t k = st.KSUB, nc = pb.NCK[k];
    int16_t last_level = 0;
    for (;;) {
        int16_t stop = recv1<int16_t>(0, me, msg::STOP);
        if (stop == STOP_END) return;
        const int16_t level = recv1<int16_t>(0, me, msg::LEVEL);
        const int16_t nbrpt = recv1<int16_t>(0, me, msg::NBRPT);
        if (level < 1 || level > pb.NLEVEL + 1 || nbrpt < 1 || nbrpt > BPMAX) bad_message(st);
        sv.NBRPT = nbrpt;
        recv(0, me, msg::IBPPRB, &sv.IBPPRB[1], nbrpt);
        recv(0, me, msg::IBPVAR, &sv.IBPVAR[1], nbrpt);
        recv(0, me, msg::IBOTH, &sv.IBOTH[1], nbrpt);
        const int16_t irstrt = recv1<int16_t>(0, me, msg::IRSTRT);
        const int16_t n = recv1<int16_t>(0, me, msg::NPROP);
        // A full subproblem (7 proposals) is never served: n is 0 to 6.
        if (n < 0 || n >= NSLOT) bad_message(st);
        recv(0, me, msg::LAMBDA, &sv.LAMBDA[k][1], n);
        recv(0, me, msg::PIM, &sv.PIM[2], st.RMAX() - 2);
        sv.NPROP[k] = n;
        sv.LEVEL = level;
        sv.KCUR = static_cast<int16_t>(k);
        sv.IERR = 0;
        sv.IREJ = 0;
        bool solve = true;
        if (irstrt == RESTART_FRESH) {
            if (level == last_level) {
                restore(sv, st.saved);
            } else {
                solve = build(st, level);
                last_level = level;
                save(sv, st.saved);
            }
        }
        // The new proposal's own objective (its reduced value with the price
        // deduction added back) is the cost of its master column; it travels
        // in one added message after its reduced value.
        double own = 0.0;
        if (solve) {
            simplx(w.fam, irstrt == RESTART_CONTINUE ? SX_CONTINUE : SX_FRESH);
            if (sv.IERR == 0 && sv.IREJ == 0) own = sv.PROPZ[k][n + 1] + price_deduction(w.fam, k, n + 1);
        } else {
            stop = STOP_END;
        }
        send1(0, me, msg::STOP_BACK, stop);
        send1(0, me, msg::NITER, static_cast<int16_t>(sv.NITER));
        send(0, me, msg::PCOST, &sv.PROPZ[k][1], n + 1);
        send1(0, me, msg::OWN, own);
        for (int32_t c = 1; c <= n + 1; ++c) send(0, me, msg::PXV, &sv.PROPX[k][c][1], nc - 2);
        send1(0, me, msg::WCODE, sv.IERR);
        send1(0, me, msg::WNOPR, sv.IREJ);
        if (sv.IERR == err::NOT_IN_ICOLSV) send1(0, me, msg::WVAR, sv.LBLBAD);
        if (sv.IERR == err::SIMPLEX_FAIL) send1(0, me, msg::WRESV, sv.RESV[level]);
    }
}

}  // namespace kav::mpi
