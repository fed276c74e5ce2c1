// Worker processes of kavmpi.
#include "worker.hpp"

#include <vector>

#include "comm.hpp"
#include "input.hpp"
#include "packed.hpp"

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

void worker_loop(MpiState& st, DecompState& ds) {
    (void)ds;
    for (;;) {
        const int16_t stop = recv1<int16_t>(0, st.MYID, 153);
        if (stop == 1) return;
        // The cycle's exchanges follow here.
        return;
    }
}

}  // namespace kav::mpi
