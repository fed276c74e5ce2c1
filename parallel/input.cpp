// Process 0: reads the input set (PAR1, PAR3, PAR5, TAB, 1TAB) and hands
// every worker its set-up as each item is read.  Every count is checked
// against the table it fills before it is used; a failure returns its code
// (the caller prints the error line, writes the results record and ends
// every process).
#include "input.hpp"

#include <algorithm>
#include <iterator>
#include <vector>

#include "comm.hpp"
#include "errcodes.hpp"
#include "handoff.hpp"
#include "labels.hpp"
#include "lines.hpp"
#include "packed.hpp"

namespace kav::mpi {

namespace {

using namespace kav::solver;

template <class T>
void to_all(MpiState& st, int code, const T* p, int32_t n) {
    for (int w = 1; w < st.NPROCS; ++w) send(w, w, code, p, n);
}
template <class T>
void to_pair(int k, int code, const T* p, int32_t n) {
    for (int m = 1; m <= NPERSUB; ++m) send(rank_of(k, m), rank_of(k, m), code, p, n);
}

// The general real buffer of a worker, which takes one subproblem's
// increments (and the 0-Z level values and the prices).
int64_t general_buffer(const MpiState& st) {
    const int64_t nl = st.pb.NLEVEL + 1;
    return std::max({8 * int64_t{extent(st, 6)} - 16, nl * (st.pb.NZOTOT + 1), nl * extent(st, 3), int64_t{st.RMAX()} - 2});
}

// A label of a subproblem's initial basis names a row (slack, or equality
// slack -5000) or a column (continuous variable, 0-Z variable 5000+v or its
// complement 6000+v) of an m x n tableau; the solver indexes its scales and
// columns by it.
bool label_fits(int16_t l, int32_t m, int32_t n) {
    if (l <= -lbl::EQ) return -l - lbl::EQ <= m - 1;
    if (l <= 0) return -l <= m - 1;
    if (l < lbl::ZO) return l <= n - 1;
    const int32_t v = l <= lbl::ZC ? l - lbl::ZO : l - lbl::ZC;
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

// Run words of `nixb` run bytes as they travel (half the bytes, at most
// what the buffer holds).
int32_t run_words(int32_t nixb, size_t held) {
    return nixb / 2 < static_cast<int32_t>(held) ? nixb / 2 : static_cast<int32_t>(held);
}

// Per subproblem its records, increments and matrices, then the second
// matrices and the 0-Z counts of all.
int16_t read_subproblems(MpiState& st, handoff::In& r) {
    Problem& pb = st.pb;
    const int32_t nsub = pb.NSUB, ncres = pb.NCRES, nl = pb.NLEVEL + 1;
    handoff::In p3{st.par3};
    {
        const int s1 = st.tab.open(data_path("C:\\KAV\\TAB.DAT"), BinUnit::Mode::sequential, BinUnit::Access::read);
        if (s1 != 0) {
            st.pnt.write(fmt::lines::status_line(), {int32_t{s1}});
            return err::OPEN_TAB0;
        }
        const int s2 = st.itab.open(data_path("C:\\KAV\\1TAB.DAT"), BinUnit::Mode::sequential, BinUnit::Access::read);
        if (s2 != 0) {
            st.pnt.write(fmt::lines::status_line(), {int32_t{s2}});
            return err::OPEN_1TAB0;
        }
    }
    handoff::In tv{st.tab}, tr{st.itab};
    int64_t nvres = 0;  // result positions of one level, over the subproblems so far
    std::vector<double> vals;
    std::vector<int16_t> runs;
    for (int32_t k = 1; k <= nsub; ++k) {
        // Its resource capacities and result positions.
        for (int32_t j = 1; j <= ncres; ++j) {
            handoff::ResourceCaps c{};
            handoff::get(r, c);
            pb.set_caps(k, j, c);
        }
        for (int32_t j = 1; j <= ncres; ++j) {
            handoff::ResourcePlaces q{};
            handoff::get(r, q);
            pb.set_places(k, j, q);
        }
        if (r.bad()) return ERR_READ_PAR1;
        to_pair(k, msg::RRK1, &pb.RRK1[k][1], ncres);
        to_pair(k, msg::RRK2, &pb.RRK2[k][1], ncres);
        to_pair(k, msg::RRK3, &pb.RRK3[k][1], ncres);
        to_pair(k, msg::RRK4, &pb.RRK4[k][1], ncres);
        to_pair(k, msg::IRK1, &pb.IRK1[k][1], ncres);
        to_pair(k, msg::IRK2, &pb.IRK2[k][1], ncres);
        to_pair(k, msg::IRK3, &pb.IRK3[k][1], ncres);
        to_pair(k, msg::IRK4, &pb.IRK4[k][1], ncres);
        to_pair(k, msg::IRK5, &pb.IRK5[k][1], ncres);
        to_pair(k, msg::IRK6, &pb.IRK6[k][1], ncres);
        // The problem record.
        handoff::ProblemRecord pr{};
        handoff::get(r, pr);
        if (r.bad() || !record_fits(st, pr)) return ERR_READ_PAR1;
        nvres += pr.NCOL - 2;
        if (nvres > extent(st, 4)) return ERR_READ_PAR1;
        pb.set_record(k, pr);
        const RecordMessage rm = to_message(pr);
        to_pair(k, msg::REC_I4, rm.i4, static_cast<int32_t>(std::size(rm.i4)));
        to_pair(k, msg::REC_I2, rm.i2, static_cast<int32_t>(std::size(rm.i2)));
        to_pair(k, msg::REC_R4, &rm.r4, 1);
        // Its row classes and label lists.
        for (int32_t q = 1; q <= NCLASS; ++q) {
            handoff::RowClass c{};
            handoff::get(r, c);
            pb.set_row_class(k, q, c);
        }
        if (r.bad()) return ERR_READ_PAR1;
        to_pair(k, msg::IKA, &pb.IKA[k][1], NCLASS);
        to_pair(k, msg::IKB, &pb.IKB[k][1], NCLASS);
        const int32_t m = pb.NRK[k], n = pb.NCK[k];
        std::vector<int16_t> irow(m), icol(n);
        r.get_n(irow.data(), m);
        r.get_n(icol.data(), n);
        if (r.bad() || !labels_fit(irow, icol, m, n)) return ERR_READ_PAR1;
        to_pair(k, msg::IROW, irow.data(), m);
        to_pair(k, msg::ICOL, icol.data(), n);
        // PAR3: resource levels, increment counts and increments.
        for (int32_t j = 1; j <= ncres; ++j)
            for (int32_t l = 1; l <= nl; ++l) {
                handoff::LevelCaps c{};
                handoff::get(p3, c);
                pb.set_level_caps(k, j, l, c);
            }
        int32_t total = 0;
        for (int32_t l = 1; l <= nl; ++l) {
            pb.NINC[k][l] = p3.get<int16_t>();
            // The increments of a level fill a list of extent 3 entries.
            if (pb.NINC[k][l] < 0 || pb.NINC[k][l] > extent(st, 3)) return err::READ_PAR3;
            total += pb.NINC[k][l];
        }
        if (p3.bad() || total > general_buffer(st)) return err::READ_PAR3;
        to_pair(k, msg::NINC, &pb.NINC[k][1], nl);
        std::vector<int16_t> cc, rc;
        std::vector<double> dd;
        for (int32_t l = 1; l <= nl; ++l) {
            int64_t objective_incs = 0;  // the level's list of objective increments
            for (int32_t i = 1; i <= pb.NINC[k][l]; ++i) {
                handoff::Increment inc{};
                handoff::get(p3, inc);
                if (inc.row == 0) ++objective_incs;
                if (p3.bad() || objective_incs > extent(st, 6)) return err::READ_PAR3;
                st.pnt.write(fmt::lines::status_line(), {inc.col, inc.row});
                st.pnt.write(fmt::lines::values8(), {inc.value});
                pb.set_increment(k, l, i, inc);
                cc.push_back(inc.col);
                rc.push_back(inc.row);
                dd.push_back(inc.value);
            }
        }
        if (total != 0) {
            to_pair(k, msg::INCCOL, cc.data(), total);
            to_pair(k, msg::INCROW, rc.data(), total);
            to_pair(k, msg::DINC, dd.data(), total);
        }
        // The first matrix: values, then its run words.
        vals.assign(static_cast<size_t>(pb.NNZK[k] > 0 ? pb.NNZK[k] : 0), 0.0);
        tv.get_n(vals.data(), static_cast<int64_t>(vals.size()));
        if (tv.bad()) return err::READ_TAB;
        to_pair(k, msg::TAB_VALS, vals.data(), static_cast<int32_t>(vals.size()));
        runs.assign(static_cast<size_t>(3 * packed::runs_in(pb.NIXBK[k])), 0);
        tr.get_n(runs.data(), static_cast<int64_t>(runs.size()));
        if (tr.bad()) return err::READ_TAB;
        to_pair(k, msg::TAB_RUNS, runs.data(), run_words(pb.NIXBK[k], runs.size()));
    }
    // The second matrices, kept for the master problems.
    st.cpl_vals.assign(static_cast<size_t>(nsub) + 1, {});
    st.cpl_runs.assign(static_cast<size_t>(nsub) + 1, {});
    for (int32_t k = 1; k <= nsub; ++k) {
        auto& v = st.cpl_vals[k];
        v.assign(static_cast<size_t>(pb.NNZC[k]), 0.0);
        tv.get_n(v.data(), static_cast<int64_t>(v.size()));
        if (tv.bad()) return err::READ_TAB;
        to_pair(k, msg::CPL_VALS, v.data(), static_cast<int32_t>(v.size()));
        auto& w = st.cpl_runs[k];
        w.assign(static_cast<size_t>(3 * packed::runs_in(pb.NIXBC[k])), 0);
        tr.get_n(w.data(), static_cast<int64_t>(w.size()));
        if (tr.bad()) return err::READ_TAB;
        to_pair(k, msg::CPL_RUNS, w.data(), run_words(pb.NIXBC[k], w.size()));
    }
    // NZO of every subproblem.
    std::vector<int16_t> nzo(static_cast<size_t>(nsub));
    for (int32_t k = 1; k <= nsub; ++k) nzo[k - 1] = pb.NZK[k];
    to_all(st, msg::NZO, nzo.data(), nsub);
    return 0;
}

}  // namespace

bool record_fits(const MpiState& st, const handoff::ProblemRecord& r) {
    const int32_t m = r.NROW, n = r.NCOL, nz = r.NZO;
    const int64_t cells = int64_t{m} * n;
    const int32_t nnz = r.mat.NNZ, nzero = r.mat.NZER, nixb = r.mat.NIXB;
    // The packed values and run words travel into buffers of extents 1 and
    // 2 (the run buffer holds at least the 0-Z list's length); the tableau
    // has extent 5 rows and extent 6 columns.
    const int64_t ext1 = st.IEXT[1] > 0 ? st.IEXT[1] : 0, ext2 = st.IEXT[2] > 0 ? st.IEXT[2] : 0;
    const int64_t runbuf = std::max<int64_t>(ext2, st.pb.NZOTOT + 1);
    return m >= 2 && m <= MAXROW && m <= st.IEXT[5] && n >= 2 && n <= MAXCOL && n <= st.IEXT[6] && nz >= 0 &&
           nz <= n - 2 && nz + 1 <= MAXNZ && st.RMAX() <= m && nnz >= 0 && nnz <= cells && nnz <= ext1 &&
           nzero >= 0 && nzero <= cells && nixb >= 0 && packed::runs_in(nixb) <= cells && nixb / 2 <= runbuf;
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
    if (!open(st.par1, "C:\\KAV\\PAR1.DAT", err::OPEN_PAR1)) return st.IERR;
    if (!open(st.par3, "C:\\KAV\\PAR3.DAT", err::OPEN_PAR3)) return st.IERR;
    if (!open(st.par5, "C:\\KAV\\PAR5.DAT", err::OPEN_PAR5, BinUnit::Access::update)) return st.IERR;
    return 0;
}

int16_t read_header(MpiState& st) {
    Problem& pb = st.pb;
    handoff::In r{st.par1};
    for (int i = 1; i <= handoff::NEXTENT; ++i) st.IEXT[i] = r.get<int32_t>();
    handoff::Header h{};
    handoff::get(r, h);
    pb.set_header(h);  // NCROW: RMAX
    const bool fits = pb.NSUB >= 1 && pb.NSUB <= NPROB && pb.NCRES >= 0 && pb.NCRES <= MAXCRES &&
                      pb.NLEVEL >= 0 && pb.NLEVEL + 1 <= NLEV && pb.NCROW >= 2 && pb.NCROW <= LDC &&
                      pb.NZOTOT >= 0 && pb.NZOTOT + 1 <= MAXZENT && pb.NSUB + pb.NCROW - 1 <= TMLD &&
                      extents_fit(st);
    if (r.bad() || !fits) return ERR_READ_PAR1;
    handoff::In f{st.par5};
    st.PAR5FL = f.get<int16_t>();
    if (f.bad()) return err::READ_PAR5_FLAG;
    if (st.NPROCS != NPERSUB * pb.NSUB + 1) return ERR_NPROCS;
    return 0;
}

int16_t read_and_send(MpiState& st) {
    Problem& pb = st.pb;
    size_problem(st);
    const int32_t nsub = pb.NSUB, ncres = pb.NCRES, nl = pb.NLEVEL + 1, nzo1 = pb.NZOTOT + 1;

    // Extents, header and flag, all thirteen to each worker.
    for (int w = 1; w < st.NPROCS; ++w) {
        for (int i = 1; i <= handoff::NEXTENT; ++i) send1(w, w, msg::IEXT1 + (i - 1), st.IEXT[i]);
        const int16_t hdr[6] = {pb.NSUB, pb.NCRES, pb.NLEVEL, pb.NCROW, pb.NZOTOT, pb.PRSW};
        const int codes[6] = {msg::NSUB, msg::NCRES, msg::NLEVEL, msg::RMAX, msg::NZOTOT, msg::PRSW};
        for (int i = 0; i < 6; ++i) send1(w, w, codes[i], hdr[i]);
        send1(w, w, msg::PAR5FL, st.PAR5FL);
    }

    handoff::In r{st.par1};
    // The second matrices' counts.
    for (int32_t k = 1; k <= nsub; ++k) {
        handoff::MatrixCounts c{};
        handoff::get(r, c);
        pb.set_coupling_counts(k, c);
    }
    if (r.bad()) return ERR_READ_PAR1;
    for (int32_t k = 1; k <= nsub; ++k) {
        const int64_t cells = int64_t{st.RMAX()} * MAXCOL;
        if (pb.NNZC[k] < 0 || pb.NNZC[k] > cells || pb.NZEROC[k] < 0 || pb.NIXBC[k] < 0 ||
            packed::runs_in(pb.NIXBC[k]) > cells)
            return ERR_READ_PAR1;
    }
    for (int32_t k = 1; k <= nsub; ++k) {
        to_pair(k, msg::CPL_NNZ, &pb.NNZC[k], 1);
        to_pair(k, msg::CPL_NZERO, &pb.NZEROC[k], 1);
        to_pair(k, msg::CPL_NIXB, &pb.NIXBC[k], 1);
    }
    // IKR(K, .).
    for (int32_t k = 1; k <= nsub; ++k) {
        r.get_n(&pb.IKR[k][1], ncres);
        if (r.bad()) return ERR_READ_PAR1;
        to_pair(k, msg::IKR, &pb.IKR[k][1], ncres);
    }
    // IRL1..IRL3, resource outer, level inner.
    std::vector<int32_t> l1, l2, l3;
    for (int32_t j = 1; j <= ncres; ++j)
        for (int32_t l = 1; l <= nl; ++l) {
            handoff::ResourceLevel q{};
            handoff::get(r, q);
            pb.set_resource_level(j, l, q);
            l1.push_back(q.IRL1);
            l2.push_back(q.IRL2);
            l3.push_back(q.IRL3);
        }
    if (r.bad()) return ERR_READ_PAR1;
    const int32_t nrl = ncres * nl;
    for (int w = 1; w < st.NPROCS; ++w) {
        send(w, w, msg::IRL1, l1.data(), nrl);
        send(w, w, msg::IRL2, l2.data(), nrl);
        send(w, w, msg::IRL3, l3.data(), nrl);
    }
    // The 0-Z entry list.
    std::vector<double> zd;
    std::vector<float> zr;
    for (int32_t d = 1; d <= nzo1; ++d) {
        handoff::ZEntry e{};
        handoff::get(r, e);
        pb.set_zentry(d, e);
        for (int32_t l = 1; l <= nl; ++l) {
            handoff::ZLevel z{};
            handoff::get(r, z);
            pb.set_zlevel(d, l, z);
            zd.push_back(z.zovd);
            zr.push_back(z.zovr);
        }
    }
    if (r.bad()) return ERR_READ_PAR1;
    for (int w = 1; w < st.NPROCS; ++w) {
        send(w, w, msg::ZPRB, &pb.ZPRB[1], nzo1);
        send(w, w, msg::ZLAB, &pb.ZLAB[1], nzo1);
        send(w, w, msg::IZA1, &pb.IZA1[1], nzo1);
        send(w, w, msg::IZA2, &pb.IZA2[1], nzo1);
        send(w, w, msg::IZA3, &pb.IZA3[1], nzo1);
        send(w, w, msg::IZA4, &pb.IZA4[1], nzo1);
    }
    for (int w = 1; w < st.NPROCS; ++w) {
        send(w, w, msg::ZOVD, zd.data(), nzo1 * nl);
        send(w, w, msg::ZOVR, zr.data(), nzo1 * nl);
    }
    return read_subproblems(st, r);
}

}  // namespace kav::mpi
