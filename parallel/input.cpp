// Process 0: reads the input set (PAR1, PAR3, PAR5, TAB, 1TAB) and hands
// every worker its set-up as each item is read.  Every count is checked
// against the table it fills before it is used; a failure returns its code
// (the caller prints the error line, writes the results record and ends
// every process).
#include "input.hpp"

#include <algorithm>
#include <vector>

#include "comm.hpp"
#include "packed.hpp"

namespace kav::mpi {

namespace {

using namespace kav::decomp;

struct Reader {
    BinUnit& u;
    bool bad = false;
    template <class T>
    T get() {
        T v{};
        if (!bad && u.get(v) != 0) bad = true;
        return v;
    }
    template <class T>
    void get_n(T* p, int64_t n) {
        if (n <= 0) return;
        if (!bad && u.get_n(p, static_cast<std::size_t>(n)) != 0) bad = true;
    }
};

template <class T>
void to_all(MpiState& st, int code, const T* p, int32_t n) {
    for (int w = 1; w < st.NPROCS; ++w) send(w, w, code, p, n);
}
template <class T>
void to_pair(int k, int code, const T* p, int32_t n) {
    for (int m = 1; m <= NPERSUB; ++m) send(rank_of(k, m), rank_of(k, m), code, p, n);
}


const fmt::Format& f_values8() {
    static const fmt::Format f("(8D13.5/(1H , 8D13.5))");
    return f;
}

// An extent as the size of the array it gives (below 1: an empty array).
int64_t extent(const MpiState& st, int i) { return st.IEXT[i] > 0 ? st.IEXT[i] : 0; }

// Every extent within the tables this program holds the problem in.
bool extents_fit(const MpiState& st) {
    const int64_t cells = int64_t{MAXROW} * MAXCOL;
    return extent(st, 1) <= cells && extent(st, 2) <= cells && extent(st, 3) <= MAXINC &&
           extent(st, 4) <= MAXVRES && extent(st, 5) <= MAXROW && extent(st, 6) <= MAXCOL;
}

// The general real buffer of a worker, which takes one subproblem's
// increments (and the 0-Z level values and the prices).
int64_t general_buffer(const MpiState& st) {
    const int64_t nl = st.NLEVEL + 1;
    return std::max({8 * extent(st, 6) - 16, nl * (st.NZOTOT + 1), nl * extent(st, 3), int64_t{st.RMAX} - 2});
}

// A label of a subproblem's initial basis names a row (slack, or equality
// slack -5000) or a column (continuous variable, 0-Z variable 5000+v or its
// complement 6000+v) of an m x n tableau; the solver indexes its scales and
// columns by it.
bool label_fits(int16_t l, int32_t m, int32_t n) {
    if (l <= -5000) return -l - 5000 <= m - 1;
    if (l <= 0) return -l <= m - 1;
    if (l < 5000) return l <= n - 1;
    const int32_t v = l <= 6000 ? l - 5000 : l - 6000;
    return v >= 1 && v <= n - 1;
}
bool labels_fit(const std::vector<int16_t>& irow, const std::vector<int16_t>& icol, int32_t m, int32_t n) {
    // Row 1 and column 1 are the objective and the right-hand sides: the
    // workers label them 0 whatever the list holds.
    for (size_t i = 1; i < irow.size(); ++i)
        if (!label_fits(irow[i], m, n)) return false;
    for (size_t j = 1; j < icol.size(); ++j)
        if (!label_fits(icol[j], m, n)) return false;
    return true;
}

// Steps 10 to 24: per subproblem its records, increments and matrices.
int16_t read_subproblems(MpiState& st, DecompState& ds, Reader& r) {
    SolverState& sv = ds.sv;
    const int32_t nsub = st.NSUB, ncres = st.NCRES, nl = st.NLEVEL + 1;
    Reader p3{st.par3};
    {
        const int s1 = st.tab.open(data_path("C:\\KAV\\TAB.DAT"), BinUnit::Mode::sequential, BinUnit::Access::read);
        if (s1 != 0) {
            st.pnt.write(fmt::lines::status_line(), {int32_t{s1}});
            return 27;
        }
        const int s2 = st.itab.open(data_path("C:\\KAV\\1TAB.DAT"), BinUnit::Mode::sequential, BinUnit::Access::read);
        if (s2 != 0) {
            st.pnt.write(fmt::lines::status_line(), {int32_t{s2}});
            return 28;
        }
    }
    Reader tv{st.tab}, tr{st.itab};
    int64_t nvres = 0;  // result positions of one level, over the subproblems so far
    std::vector<double> vals;
    std::vector<int16_t> runs;
    for (int32_t k = 1; k <= nsub; ++k) {
        // PAR2 records 1 and 2.
        for (int32_t j = 1; j <= ncres; ++j) {
            sv.RRK1[k][j] = r.get<float>();
            sv.RRK2[k][j] = r.get<float>();
            sv.RRK3[k][j] = r.get<float>();
            sv.RRK4[k][j] = r.get<float>();
        }
        for (int32_t j = 1; j <= ncres; ++j) {
            sv.IRK1[k][j] = r.get<int16_t>();
            sv.IRK2[k][j] = r.get<int16_t>();
            sv.IRK3[k][j] = r.get<int16_t>();
            sv.IRK4[k][j] = r.get<int16_t>();
            sv.IRK5[k][j] = r.get<int16_t>();
            sv.IRK6[k][j] = r.get<int16_t>();
        }
        if (r.bad) return ERR_READ_PAR1;
        to_pair(k, 92, &sv.RRK1[k][1], ncres);
        to_pair(k, 93, &sv.RRK2[k][1], ncres);
        to_pair(k, 94, &sv.RRK3[k][1], ncres);
        to_pair(k, 95, &sv.RRK4[k][1], ncres);
        to_pair(k, 115, &sv.IRK1[k][1], ncres);
        to_pair(k, 116, &sv.IRK2[k][1], ncres);
        to_pair(k, 117, &sv.IRK3[k][1], ncres);
        to_pair(k, 118, &sv.IRK4[k][1], ncres);
        to_pair(k, 119, &sv.IRK5[k][1], ncres);
        to_pair(k, 120, &sv.IRK6[k][1], ncres);
        // PAR2 record 3, the problem record.
        ProblemRecord pr;
        pr.i4[0] = r.get<int32_t>();  // items 1, 2, 3
        pr.i4[1] = r.get<int32_t>();
        pr.i4[2] = r.get<int32_t>();
        pr.i2[0] = r.get<int16_t>();  // items 4, 5
        pr.i2[1] = r.get<int16_t>();
        pr.r4 = r.get<float>();       // item 6
        pr.i4[3] = r.get<int32_t>();  // items 7, 8, 9
        pr.i4[4] = r.get<int32_t>();
        pr.i4[5] = r.get<int32_t>();
        pr.i2[2] = r.get<int16_t>();  // items 10, 11, 12
        pr.i2[3] = r.get<int16_t>();
        pr.i2[4] = r.get<int16_t>();
        pr.i4[6] = r.get<int32_t>();  // items 13, 14, 15
        pr.i4[7] = r.get<int32_t>();
        pr.i4[8] = r.get<int32_t>();
        pr.kr16 = r.get<int32_t>();   // item 16
        for (int q = 5; q < 10; ++q) pr.i2[q] = r.get<int16_t>();  // items 17 to 21
        pr.kflag = r.get<int16_t>();  // item 22
        if (r.bad || !pr.fits(st)) return ERR_READ_PAR1;
        nvres += pr.cols() - 2;
        if (nvres > extent(st, 4)) return ERR_READ_PAR1;
        pr.store(sv, k);
        to_pair(k, 96, pr.i4, 9);
        to_pair(k, 99, pr.i2, 10);
        to_pair(k, 100, &pr.r4, 1);
        // PAR2 records 4 to 6.
        for (int32_t q = 1; q <= 6; ++q) {
            sv.IKA[k][q] = r.get<int16_t>();
            sv.IKB[k][q] = r.get<int16_t>();
        }
        if (r.bad) return ERR_READ_PAR1;
        to_pair(k, 121, &sv.IKA[k][1], 6);
        to_pair(k, 122, &sv.IKB[k][1], 6);
        const int32_t m = sv.NRK[k], n = sv.NCK[k];
        std::vector<int16_t> irow(m), icol(n);
        r.get_n(irow.data(), m);
        r.get_n(icol.data(), n);
        if (r.bad || !labels_fit(irow, icol, m, n)) return ERR_READ_PAR1;
        to_pair(k, 123, irow.data(), m);
        to_pair(k, 124, icol.data(), n);
        // PAR3: resource levels, increment counts and increments.
        for (int32_t j = 1; j <= ncres; ++j)
            for (int32_t l = 1; l <= nl; ++l) {
                sv.RRL1[k][j][l] = p3.get<float>();
                sv.RRL2[k][j][l] = p3.get<float>();
            }
        int32_t total = 0;
        for (int32_t l = 1; l <= nl; ++l) {
            sv.NINC[k][l] = p3.get<int16_t>();
            if (sv.NINC[k][l] < 0 || sv.NINC[k][l] > MAXINC) return ERR_READ_PAR3;
            total += sv.NINC[k][l];
        }
        if (p3.bad || total > general_buffer(st)) return ERR_READ_PAR3;
        to_pair(k, 127, &sv.NINC[k][1], nl);
        std::vector<int16_t> cc, rc;
        std::vector<double> dd;
        for (int32_t l = 1; l <= nl; ++l) {
            int64_t objective_incs = 0;  // the level's list of objective increments
            for (int32_t i = 1; i <= sv.NINC[k][l]; ++i) {
                const int16_t c = p3.get<int16_t>();
                const int16_t w = p3.get<int16_t>();
                const double d = p3.get<double>();
                if (w == 0) ++objective_incs;
                if (p3.bad || objective_incs > extent(st, 6)) return ERR_READ_PAR3;
                st.pnt.write(fmt::lines::status_line(), {c, w});
                st.pnt.write(f_values8(), {d});
                sv.INCCOL[k][l][i] = c;
                sv.INCROW[k][l][i] = w;
                sv.DINC[k][l][i] = d;
                cc.push_back(c);
                rc.push_back(w);
                dd.push_back(d);
            }
        }
        if (total != 0) {
            to_pair(k, 128, cc.data(), total);
            to_pair(k, 129, rc.data(), total);
            to_pair(k, 130, dd.data(), total);
        }
        // The first matrix: values, then its run words.
        vals.assign(static_cast<size_t>(sv.NNZK[k] > 0 ? sv.NNZK[k] : 0), 0.0);
        tv.get_n(vals.data(), static_cast<int64_t>(vals.size()));
        if (tv.bad) return ERR_READ_TAB;
        to_pair(k, 131, vals.data(), static_cast<int32_t>(vals.size()));
        runs.assign(static_cast<size_t>(3 * packed::runs_in(sv.NIXBK[k])), 0);
        tr.get_n(runs.data(), static_cast<int64_t>(runs.size()));
        if (tr.bad) return ERR_READ_TAB;
        to_pair(k, 132, runs.data(), sv.NIXBK[k] / 2 < static_cast<int32_t>(runs.size()) ? sv.NIXBK[k] / 2
                                                                                         : static_cast<int32_t>(runs.size()));
    }
    // Steps 22 and 23: the second matrices, kept for the master problems.
    st.cpl_vals.assign(static_cast<size_t>(nsub) + 1, {});
    st.cpl_runs.assign(static_cast<size_t>(nsub) + 1, {});
    for (int32_t k = 1; k <= nsub; ++k) {
        auto& v = st.cpl_vals[k];
        v.assign(static_cast<size_t>(sv.NNZC[k]), 0.0);
        tv.get_n(v.data(), static_cast<int64_t>(v.size()));
        if (tv.bad) return ERR_READ_TAB;
        to_pair(k, 133, v.data(), static_cast<int32_t>(v.size()));
        auto& w = st.cpl_runs[k];
        w.assign(static_cast<size_t>(3 * packed::runs_in(sv.NIXBC[k])), 0);
        tr.get_n(w.data(), static_cast<int64_t>(w.size()));
        if (tr.bad) return ERR_READ_TAB;
        to_pair(k, 134, w.data(), sv.NIXBC[k] / 2 < static_cast<int32_t>(w.size()) ? sv.NIXBC[k] / 2
                                                                                   : static_cast<int32_t>(w.size()));
    }
    // Step 24: NZO of every subproblem.
    std::vector<int16_t> nzo(static_cast<size_t>(nsub));
    for (int32_t k = 1; k <= nsub; ++k) nzo[k - 1] = sv.NZK[k];
    to_all(st, 910, nzo.data(), nsub);
    return 0;
}

}  // namespace

bool ProblemRecord::fits(const MpiState& st) const {
    const int32_t m = rows(), n = cols(), nz = nzo();
    const int64_t cells = int64_t{m} * n;
    const int32_t nnz = i4[6], nzero = i4[7], nixb = i4[8];
    // The packed values and run words travel into buffers of extents 1 and
    // 2 (the run buffer holds at least the 0-Z list's length); the tableau
    // has extent 5 rows and extent 6 columns.
    const int64_t ext1 = st.IEXT[1] > 0 ? st.IEXT[1] : 0, ext2 = st.IEXT[2] > 0 ? st.IEXT[2] : 0;
    const int64_t runbuf = std::max<int64_t>(ext2, st.NZOTOT + 1);
    return m >= 2 && m <= MAXROW && m <= st.IEXT[5] && n >= 2 && n <= MAXCOL && n <= st.IEXT[6] && nz >= 0 &&
           nz <= n - 2 && nz + 1 <= MAXNZ && st.RMAX <= m && nnz >= 0 && nnz <= cells && nnz <= ext1 &&
           nzero >= 0 && nzero <= cells && nixb >= 0 && packed::runs_in(nixb) <= cells && nixb / 2 <= runbuf;
}

void ProblemRecord::store(SolverState& sv, int32_t k) const {
    sv.KR01[k] = i4[0];
    sv.KR02[k] = i4[1];
    sv.KR03[k] = i4[2];
    sv.KCODE[k] = i2[0];
    sv.KR05[k] = i2[1];
    sv.KR06[k] = r4;
    sv.KR07[k] = i4[3];
    sv.KR08[k] = i4[4];
    sv.KR09[k] = i4[5];
    sv.NRK[k] = rows();
    sv.NCK[k] = cols();
    sv.NZK[k] = nzo();
    sv.NNZK[k] = i4[6];
    sv.NZEROK[k] = i4[7];
    sv.NIXBK[k] = i4[8];
    sv.KR16[k] = kr16;
    sv.KR17[k] = i2[5];
    sv.KR18[k] = i2[6];
    sv.KR19[k] = i2[7];
    sv.KR20[k] = i2[8];
    sv.KR21[k] = i2[9];
    sv.KFLAG[k] = kflag;
}

int16_t open_input(MpiState& st) {
    // PAR5.DAT takes the results; the others are only read.
    auto open = [&](BinUnit& u, const char* name, int16_t code, BinUnit::Access access = BinUnit::Access::read) {
        const int s = u.open(data_path(name), BinUnit::Mode::sequential, access);
        if (s == 0) return true;
        st.pnt.write(fmt::lines::status_line(), {int32_t{s}});
        st.IERR = code;
        return false;
    };
    if (!open(st.par1, "C:\\KAV\\PAR1.DAT", 36)) return st.IERR;
    if (!open(st.par3, "C:\\KAV\\PAR3.DAT", 38)) return st.IERR;
    if (!open(st.par5, "C:\\KAV\\PAR5.DAT", 40, BinUnit::Access::update)) return st.IERR;
    return 0;
}

int16_t read_header(MpiState& st) {
    Reader r{st.par1};
    for (int i = 1; i <= 6; ++i) st.IEXT[i] = r.get<int32_t>();
    st.NSUB = r.get<int16_t>();
    st.NCRES = r.get<int16_t>();
    st.NLEVEL = r.get<int16_t>();
    st.RMAX = r.get<int16_t>();
    st.NZOTOT = r.get<int16_t>();
    st.PRSW = r.get<int16_t>();
    const bool fits = st.NSUB >= 1 && st.NSUB <= NPROB && st.NCRES >= 0 && st.NCRES <= MAXCRES &&
                      st.NLEVEL >= 0 && st.NLEVEL + 1 <= NLEV && st.RMAX >= 2 && st.RMAX <= LDC &&
                      st.NZOTOT >= 0 && st.NZOTOT + 1 <= MAXZENT && st.NSUB + st.RMAX - 1 <= TMLD &&
                      extents_fit(st);
    if (r.bad || !fits) return ERR_READ_PAR1;
    Reader f{st.par5};
    st.PAR5FL = f.get<int16_t>();
    if (f.bad) return ERR_READ_PAR5;
    if (st.NPROCS != 2 * st.NSUB + 1) return ERR_NPROCS;
    return 0;
}

int16_t read_and_send(MpiState& st, DecompState& ds) {
    SolverState& sv = ds.sv;
    const int32_t nsub = st.NSUB, ncres = st.NCRES, nl = st.NLEVEL + 1, nzo1 = st.NZOTOT + 1;
    sv.NSUB = st.NSUB;
    sv.NCRES = st.NCRES;
    sv.NLEVEL = st.NLEVEL;
    sv.NCROW = st.RMAX;
    sv.NZOTOT = st.NZOTOT;
    sv.PRSW = st.PRSW;

    // Steps 1 to 3: extents, header and flag, all thirteen to each worker.
    for (int w = 1; w < st.NPROCS; ++w) {
        for (int i = 1; i <= 6; ++i) send1(w, w, 66 + i, st.IEXT[i]);
        const int16_t hdr[6] = {st.NSUB, st.NCRES, st.NLEVEL, st.RMAX, st.NZOTOT, st.PRSW};
        const int codes[6] = {73, 74, 75, 76, 77, 135};
        for (int i = 0; i < 6; ++i) send1(w, w, codes[i], hdr[i]);
        send1(w, w, 136, st.PAR5FL);
    }

    Reader r{st.par1};
    // Step 4: the second matrices' counts.
    for (int32_t k = 1; k <= nsub; ++k) {
        sv.NNZC[k] = r.get<int32_t>();
        sv.NZEROC[k] = r.get<int32_t>();
        sv.NIXBC[k] = r.get<int32_t>();
    }
    if (r.bad) return ERR_READ_PAR1;
    for (int32_t k = 1; k <= nsub; ++k) {
        const int64_t cells = int64_t{st.RMAX} * MAXCOL;
        if (sv.NNZC[k] < 0 || sv.NNZC[k] > cells || sv.NZEROC[k] < 0 || sv.NIXBC[k] < 0 ||
            packed::runs_in(sv.NIXBC[k]) > cells)
            return ERR_READ_PAR1;
    }
    for (int32_t k = 1; k <= nsub; ++k) {
        to_pair(k, 78, &sv.NNZC[k], 1);
        to_pair(k, 79, &sv.NZEROC[k], 1);
        to_pair(k, 80, &sv.NIXBC[k], 1);
    }
    // Step 5: IKR(K, .).
    for (int32_t k = 1; k <= nsub; ++k) {
        r.get_n(&sv.IKR[k][1], ncres);
        if (r.bad) return ERR_READ_PAR1;
        to_pair(k, 800, &sv.IKR[k][1], ncres);
    }
    // Step 6: IRL1..IRL3, resource outer, level inner.
    std::vector<int32_t> l1, l2, l3;
    for (int32_t j = 1; j <= ncres; ++j)
        for (int32_t l = 1; l <= nl; ++l) {
            l1.push_back(sv.IRL1[j][l] = r.get<int32_t>());
            l2.push_back(sv.IRL2[j][l] = r.get<int32_t>());
            l3.push_back(sv.IRL3[j][l] = r.get<int32_t>());
        }
    if (r.bad) return ERR_READ_PAR1;
    const int32_t nrl = ncres * nl;
    for (int w = 1; w < st.NPROCS; ++w) {
        send(w, w, 81, l1.data(), nrl);
        send(w, w, 82, l2.data(), nrl);
        send(w, w, 83, l3.data(), nrl);
    }
    // Steps 7 to 9: the 0-Z entry list.
    std::vector<double> zd;
    std::vector<float> zr;
    for (int32_t d = 1; d <= nzo1; ++d) {
        sv.ZPRB[d] = r.get<int16_t>();
        sv.ZLAB[d] = r.get<int16_t>();
        sv.IZA1[d] = r.get<int16_t>();
        sv.IZA2[d] = r.get<int16_t>();
        sv.IZA3[d] = r.get<int16_t>();
        sv.IZA4[d] = r.get<int16_t>();
        for (int32_t l = 1; l <= nl; ++l) {
            zd.push_back(sv.ZOVD[d][l] = r.get<double>());
            zr.push_back(sv.ZOVR[d][l] = r.get<float>());
        }
    }
    if (r.bad) return ERR_READ_PAR1;
    for (int w = 1; w < st.NPROCS; ++w) {
        send(w, w, 84, &sv.ZPRB[1], nzo1);
        send(w, w, 85, &sv.ZLAB[1], nzo1);
        send(w, w, 86, &sv.IZA1[1], nzo1);
        send(w, w, 87, &sv.IZA2[1], nzo1);
        send(w, w, 88, &sv.IZA3[1], nzo1);
        send(w, w, 89, &sv.IZA4[1], nzo1);
    }
    for (int w = 1; w < st.NPROCS; ++w) {
        send(w, w, 90, zd.data(), nzo1 * nl);
        send(w, w, 91, zr.data(), nzo1 * nl);
    }
    return read_subproblems(st, ds, r);
}

}  // namespace kav::mpi
