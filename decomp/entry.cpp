// The decomposition entry: first call, subproblem calls, the completing call
// with the common-resources step, rerun calls, stops, the error exit and the
// end lines.
#include "entry.hpp"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "errcodes.hpp"
#include "fmt.hpp"
#include "handoff.hpp"
#include "labels.hpp"
#include "marks.hpp"
#include "handover.hpp"
#include "lines.hpp"
#include "packed.hpp"
#include "platform.hpp"
#include "slots.hpp"

namespace kav::decomp {

namespace {

using fmt::Format;
using fmt::Item;

// ---- format strings ---------------------------------------------------------

const Format& f_sub_header() {
    static const Format f("(/38HNO OF ROWS, COLUMNS, 0-Z OF SUBPROBLEM,I3,//I4,2H X, I4, 24X, I4)");
    return f;
}
const Format& f_echo_matrix() {
    static const Format f(
        "(/24HINPUT ECHO OF SUBPROBLEM,I3,44H MATRIX OR INCREMENTS OF OBJ AND CONSTRAINTS/)");
    return f;
}
const Format& f_common_header() {
    static const Format f("(/13HINPUT ECHO OF,I3,17H COMMON RESOURCES/)");
    return f;
}
const Format& f_common_sub() {
    static const Format f("(/24HINPUT ECHO OF SUBPROBLEM,I3,17H COMMON RESOURCES/)");
    return f;
}

// ---- argument access (column-major, 1-based) --------------------------------

inline size_t ix(int64_t i, int64_t j, int64_t ld) { return static_cast<size_t>((j - 1) * ld + (i - 1)); }

std::string time_text(const std::array<char, 8>& t) { return std::string(t.data(), t.size()); }

void set_time(std::array<char, 8>& t) {
    const std::string now = time_of_day();
    t.fill(' ');
    std::memcpy(t.data(), now.data(), std::min(now.size(), t.size()));
}

// ---- exits ------------------------------------------------------------------

// The first failure of a run or rerun leaves its hand-off files incomplete.
void mark_failed(EntryState& e, int16_t ierr, int16_t stop) {
    if (!e.run_ok) return;
    e.run_ok = false;
    e.fail_kprob = e.KPROB;
    e.fail_ierr = ierr;
    e.fail_stop = stop;
}

void end_lines(DecompState& s) {
    EntryState& e = s.ent;
    set_time(e.tend);
    s.pnt.write(fmt::lines::time_lines(), {time_text(e.tstart), time_text(e.tend)});
    e.par5.close();
}

void error_exit(DecompState& s) {
    EntryState& e = s.ent;
    s.pnt.write(fmt::lines::error_line(), {e.KPROB, e.IERR});
    mark_failed(e, e.IERR, 0);
    end_lines(s);
}

void stop(DecompState& s, int16_t number) {
    s.pnt.write(fmt::lines::banner3(), {number});
    mark_failed(s.ent, 0, number);
    end_lines(s);
}

// Open one hand-off file; a failure prints its status and sets IERR.
bool open_unit(DecompState& s, BinUnit& u, const char* name, BinUnit::Mode mode, int16_t code,
               BinUnit::Access access = BinUnit::Access::update) {
    const int st = u.open(data_path(name), mode, access);
    if (st == 0) return true;
    s.pnt.write(fmt::lines::status_line(), {int32_t{st}});
    s.ent.IERR = code;
    return false;
}

// ---- host limits --------------------------------------------------------------

// Limits every kind of call relies on.  Returns the stop number or 0.
int16_t common_limits(const Args& a) {
    if (*a.NSUB < 1 || *a.NSUB > ENT_MAXSUB) return STOP_NSUB;
    if (*a.NCRES < 0 || *a.NCRES > ENT_MAXRES) return STOP_NCRES;
    if (*a.NLEVEL < 0 || *a.NLEVEL > ENT_MAXLEV - 1) return STOP_NLEVEL;
    return 0;
}

// NZO of the call: the 0-Z variables are columns 2..NZO+1 of the subproblem,
// and their values come from host arrays of 860 rows.  The attribute words
// IZA1..IZA4 hold NCOL entries, so NZO+1 may not pass NCOL either; and the
// last column is the weight variable, which cannot be a 0-Z variable (the
// solve would refuse the subproblem), so NZO+1 stays below NCOL.
bool nzo_fits(const Args& a) {
    const int32_t nzo = *a.NZO;
    return nzo >= 0 && nzo < ENT_LDZ && nzo <= *a.NCOL - 2;
}

// Limits of a subproblem call K (first call included).  The problem number
// is checked first so that the calls of a run stay in step even when a call
// stops for another limit.
int16_t subproblem_limits(EntryState& e, const Args& a, int16_t k, bool first) {
    const bool in_seq = first || (e.next_kprob != 0 && k == e.next_kprob);
    const bool kprob_ok = in_seq && k >= 1 && k <= *a.NSUB && k <= ENT_MAXSUB;
    if (kprob_ok) e.next_kprob = k < *a.NSUB ? static_cast<int16_t>(k + 1) : 0;
    if (const int16_t st = common_limits(a)) return st;
    if (!kprob_ok) return STOP_KPROB;
    const int32_t nrow = *a.NROW;
    if (nrow < 1 || nrow > ENT_LDA || *a.NCOL < 1) return STOP_EXTENT;
    const int32_t ncrow = *a.NCROW;
    if (ncrow < 2 || ncrow > ENT_LDC) return STOP_NCROW;
    const double rows = std::max(e.RMAX, static_cast<double>(ncrow));
    if (rows > nrow) return STOP_RMAX;
    // Earlier slots are re-slotted only while the run's files are complete.
    if (e.run_ok)
        for (int32_t j = 1; j < k; ++j)
            if (rows > e.NROW[j - 1]) return STOP_RMAX;
    // An NZO that fails its own test stops later, once the extents are kept.
    if (nzo_fits(a)) {
        int32_t total = *a.NZO;
        for (int32_t j = 1; j < k; ++j) total += e.NZO[j - 1];
        // The list holds 36000 entries, and the count goes to a 16-bit
        // header word of PAR1.DAT.
        if (total + 1 > ENT_MAXZO || total > ENT_MAXZOTOT) return STOP_ZOTOTAL;
    }
    return 0;
}

// ---- increments ---------------------------------------------------------------

// Sort increments 1..n of level l into ascending column code by exchange;
// equal codes are not swapped.
void sort_level(const Args& a, int32_t l, int32_t n) {
    for (int32_t i = 1; i <= n; ++i)
        for (int32_t i2 = i + 1; i2 <= n; ++i2) {
            const size_t p = ix(l, i, ENT_MAXLEV);
            const size_t q = ix(l, i2, ENT_MAXLEV);
            if (a.INCCOL[p] > a.INCCOL[q]) {
                std::swap(a.INCCOL[p], a.INCCOL[q]);
                std::swap(a.INCROW[p], a.INCROW[q]);
                std::swap(a.DINC[p], a.DINC[q]);
            }
        }
}

void echo_increments(DecompState& s, const Args& a, int32_t l) {
    for (int32_t i = 1; i <= a.NINC[l - 1]; ++i) {
        const size_t p = ix(l, i, ENT_MAXLEV);
        s.pnt.write(fmt::lines::status_line(), {a.INCCOL[p], a.INCROW[p]});
        s.pnt.write(fmt::lines::values8(), {a.DINC[p]});
    }
}

// ---- hand-off records ---------------------------------------------------------

void write_par3(EntryState& e, const Args& a) {
    const int32_t nl = *a.NLEVEL + 1;
    handoff::Out out{e.par3};
    for (int32_t j = 1; j <= *a.NCRES; ++j)
        for (int32_t l = 1; l <= nl; ++l)
            handoff::put(out, handoff::LevelCaps{a.RRL1[ix(j, l, ENT_LDR)], a.RRL2[ix(j, l, ENT_LDR)]});
    for (int32_t l = 1; l <= nl; ++l) out.put(a.NINC[l - 1]);
    for (int32_t l = 1; l <= nl; ++l)
        for (int32_t i = 1; i <= a.NINC[l - 1]; ++i) {
            const size_t p = ix(l, i, ENT_MAXLEV);
            handoff::put(out, handoff::Increment{a.INCCOL[p], a.INCROW[p], a.DINC[p]});
        }
}

void write_par2(EntryState& e, const Args& a, int16_t k) {
    const int32_t kk = k - 1;
    handoff::Out out{e.par2};
    for (int32_t j = 0; j < *a.NCRES; ++j)
        handoff::put(out, handoff::ResourceCaps{a.RRK1[j], a.RRK2[j], a.RRK3[j], a.RRK4[j]});
    for (int32_t j = 0; j < *a.NCRES; ++j)
        handoff::put(out, handoff::ResourcePlaces{a.IRK1[j], a.IRK2[j], a.IRK3[j], a.IRK4[j], a.IRK5[j], a.IRK6[j]});
    handoff::ProblemRecord r{};
    r.KR01 = a.KR01[kk];
    r.KR02 = a.KR02[kk];
    r.KR03 = a.KR03[kk];
    r.KCODE = e.KCODE[kk];
    r.KR05 = a.KR05[kk];
    r.KR06 = a.KR06[kk];
    r.KR07 = a.KR07[kk];
    r.KR08 = a.KR08[kk];
    r.KR09 = a.KR09[kk];
    r.NROW = e.NROW[kk];
    r.NCOL = e.NCOL[kk];
    r.NZO = e.NZO[kk];
    r.mat = handoff::MatrixCounts{e.MNNZ, e.MNZERO, e.MNIXB};
    r.KR16 = a.KR16[kk];
    r.KR17 = a.KR17[kk];
    r.KR18 = a.KR18[kk];
    r.KR19 = a.KR19[kk];
    r.KR20 = a.KR20[kk];
    r.KR21 = a.KR21[kk];
    r.KFLAG = e.KFLAG[kk];
    handoff::put(out, r);
    for (int32_t i = 1; i <= handoff::NCLASS; ++i)
        handoff::put(out, handoff::RowClass{a.IKA[ix(k, i, ENT_LDR)], a.IKB[ix(k, i, ENT_LDR)]});
    out.put_n(a.ITYPE, e.NROW[kk]);
    out.put_n(e.ICOL, e.NCOL[kk]);
}

void write_par1_and_flag(DecompState& s, const Args& a) {
    EntryState& e = s.ent;
    const int32_t nsub = *a.NSUB;
    const int32_t nl = *a.NLEVEL + 1;
    handoff::Out out{e.par1};
    handoff::put(out, handoff::Header{*a.NSUB, *a.NCRES, *a.NLEVEL, *a.NCROW, e.NZOTOT, e.PRSW});
    for (int32_t k = 0; k < nsub; ++k) handoff::put(out, handoff::MatrixCounts{e.NNZ[k], e.NZER[k], e.NIXB[k]});
    for (int32_t k = 1; k <= nsub; ++k)
        for (int32_t j = 1; j <= *a.NCRES; ++j) out.put(a.IKR[ix(k, j, ENT_LDR)]);
    for (int32_t j = 1; j <= *a.NCRES; ++j)
        for (int32_t l = 1; l <= nl; ++l)
            handoff::put(out, handoff::ResourceLevel{a.IRL1[ix(j, l, ENT_LDR)], a.IRL2[ix(j, l, ENT_LDR)],
                                                     a.IRL3[ix(j, l, ENT_LDR)]});
    for (int32_t d = 0; d <= e.NZOTOT && d < ENT_MAXZO; ++d) {
        handoff::put(out, handoff::ZEntry{e.ZPRB[d], e.ZLAB[d], {e.IZA[d][0], e.IZA[d][1], e.IZA[d][2], e.IZA[d][3]}});
        for (int32_t l = 0; l < nl; ++l) handoff::put(out, handoff::ZLevel{e.ZOVD[d][l], e.ZOVR[d][l]});
    }
    e.par5.put(*a.IFLAG);
}

// ---- completing steps -----------------------------------------------------------

// The completion: header records and flag word, close of the hand-off files, the
// solve hand-over and the end lines.
void complete(DecompState& s, const Args& a, bool rerun) {
    EntryState& e = s.ent;
    if (e.run_ok) {
        write_par1_and_flag(s, a);
        if (!rerun) e.run_made = true;
    }
    e.tab0.close();
    e.itab0.close();
    e.tab20.close();
    e.itab20.close();
    e.par1.close();
    e.par2.close();
    e.par3.close();
    e.par5.close();
    e.next_kprob = 0;
    e.next_rerun = 0;
    e.IERR = 0;
    solve_handover(s, a.IFLAG, a.RESV, a.XRES);
    end_lines(s);
}

// The common-resources step (echo, coupling rows into every slot, compaction), then the completion.
void common_resources(DecompState& s, const Args& a) {
    EntryState& e = s.ent;
    const int32_t nsub = *a.NSUB;
    const int32_t rmax = static_cast<int32_t>(e.RMAX);
    *a.NCROW = static_cast<int16_t>(rmax);
    e.IOFFV[0] = 0;
    e.IOFFI[0] = 0;

    s.pnt.write(f_common_header(), {int32_t{rmax - 1}});
    std::vector<Item> items;
    for (int32_t i = 2; i <= rmax; ++i) items.emplace_back(a.CRVAL[i - 1]);
    s.pnt.write(fmt::lines::matrix_row(), items);
    s.pnt.write(fmt::lines::types(), {});
    items.clear();
    for (int32_t i = 2; i <= rmax; ++i) items.emplace_back(a.ITYPCR[i - 1]);
    s.pnt.write(fmt::lines::type_list(), items);

    if (e.run_ok) {
        double* c = e.CPL;
        for (int32_t k = 1; k <= nsub; ++k) {
            *a.KPROB = static_cast<int16_t>(k);
            e.KPROB = *a.KPROB;
            const int32_t ncol = e.NCOL[k - 1];
            if (rdtab(s, 2, e.KPROB, 0, *a.NCROW, c, ENT_LDC) != 0) return error_exit(s);
            for (int32_t i = 2; i <= rmax - 1; ++i) {
                c[ix(i, 1, ENT_LDC)] = a.CRVAL[i - 1];
                c[ix(i, ncol, ENT_LDC)] = static_cast<double>(a.ITYPCR[i - 1]);
            }
            s.pnt.write(f_common_sub(), {int32_t{k}});
            fmt::write_matrix_rows(s.pnt, fmt::lines::matrix_row(), c, ENT_LDC, rmax, ncol);
            if (wrtab(s, 4, e.KPROB, 0, *a.NCROW, c, ENT_LDC) != 0) return error_exit(s);
        }
    }
    *a.KPROB = static_cast<int16_t>(nsub + 1);
    e.KPROB = *a.KPROB;
    complete(s, a, false);
}

// ---- subproblem steps -----------------------------------------------------------

// K's coupling matrix into its slot, all slots kept at RMAX rows.  The
// host's ACPL is only read; other problems' slots pass through the scratch
// matrix.
bool store_coupling(DecompState& s, const Args& a, int16_t k) {
    EntryState& e = s.ent;
    double* c = e.CPL;
    const int32_t ncrow = *a.NCROW;
    const int32_t ncol = e.NCOL[k - 1];
    for (int32_t j = 1; j <= ncol; ++j)
        for (int32_t i = 1; i <= ncrow; ++i) c[ix(i, j, ENT_LDC)] = a.ACPL[ix(i, j, ENT_LDC)];
    const int32_t rmax = static_cast<int32_t>(e.RMAX);
    if (ncrow >= e.RMAX) {
        if (wrtab(s, 1, k, 0, *a.NCROW, c, ENT_LDC) != 0) return false;
        if (ncrow == e.RMAX) return true;
        if (k == 1) {
            e.RMAX = ncrow;
            return true;
        }
        for (int16_t j = 1; j < k; ++j) {
            if (rdtab(s, 1, k, j, *a.NCROW, c, ENT_LDC) != 0) return false;
            for (int32_t col = 1; col <= e.NCOL[j - 1]; ++col) {
                c[ix(ncrow, col, ENT_LDC)] = c[ix(rmax, col, ENT_LDC)];
                for (int32_t i = rmax; i <= ncrow - 1; ++i) c[ix(i, col, ENT_LDC)] = 0.0;
            }
            if (wrtab(s, 2, k, j, *a.NCROW, c, ENT_LDC) != 0) return false;
        }
        e.RMAX = ncrow;
        return true;
    }
    for (int32_t col = 1; col <= ncol; ++col) {
        c[ix(rmax, col, ENT_LDC)] = c[ix(ncrow, col, ENT_LDC)];
        for (int32_t i = ncrow; i <= rmax - 1; ++i) c[ix(i, col, ENT_LDC)] = 0.0;
    }
    return wrtab(s, 3, k, 0, *a.NCROW, c, ENT_LDC) == 0;
}

void subproblem(DecompState& s, const Args& a, bool first) {
    EntryState& e = s.ent;
    const int16_t k = *a.KPROB;
    if (const int16_t st = subproblem_limits(e, a, k, first)) return stop(s, st);
    const int32_t kk = k - 1;
    const int32_t nrow = *a.NROW;
    const int32_t ncol = *a.NCOL;
    const int32_t nsub = *a.NSUB;
    const int32_t nl = *a.NLEVEL + 1;

    // Extents and the slot offset of the next subproblem.
    e.NROW[kk] = *a.NROW;
    e.NCOL[kk] = *a.NCOL;
    if (k < nsub) e.ISLOT[k] = e.ISLOT[kk] + 8 * static_cast<int64_t>(nrow) * ncol;
    if (!nzo_fits(a)) return stop(s, STOP_NZO);
    e.NZO[kk] = *a.NZO;
    const int32_t nzo = *a.NZO;

    // Kind of the subproblem and its pricing switch (a time value in the last row).
    e.KCODE[kk] = *a.KCODE;
    e.PRSW = 0;
    for (int32_t j = 2; j <= ncol - 1; ++j)
        if (a.AMAT[ix(nrow, j, ENT_LDA)] != 0.0) e.PRSW = 1;

    // Echo of the extents and the constraint types.
    s.pnt.write(f_sub_header(), {k, *a.NROW, *a.NCOL, *a.NZO});
    s.pnt.write(fmt::lines::types(), {});
    std::vector<Item> items;
    for (int32_t i = 2; i <= nrow; ++i) items.emplace_back(a.ITYPE[i - 1]);
    s.pnt.write(fmt::lines::type_list(), items);

    // Row and column labels: the types become slack labels.
    a.ITYPE[0] = 0;
    for (int32_t i = 2; i <= nrow; ++i)
        a.ITYPE[i - 1] = static_cast<int16_t>(a.ITYPE[i - 1] != 0 ? -(i - 1) : -(i - 1) - lbl::EQ);
    e.ICOL[0] = 0;
    for (int32_t j = 2; j <= ncol; ++j)
        e.ICOL[j - 1] = static_cast<int16_t>(j - 1 <= nzo ? lbl::ZO + (j - 1) : j - 1);

    // Echo of the matrix.
    s.pnt.write(f_echo_matrix(), {k});
    fmt::write_matrix_rows(s.pnt, fmt::lines::matrix_row(), a.AMAT, ENT_LDA, nrow, ncol);

    // A -1 in row 3 of the weight column flags a first phase for K's convexity row.
    e.KFLAG[kk] = (a.AMAT[ix(3, ncol, ENT_LDA)] == -1.0 && e.KCODE[kk] <= solver::KCODE_CHAIN) ? 1 : 0;

    // The packed matrix and the coupling slot: nothing more goes to the files of a run that is already incomplete.
    if (e.run_ok) {
        packed::FileValueSink vs{e.tab0};
        packed::FileRunSink rs{e.itab0};
        const packed::PackResult r =
            packed::pack(a.AMAT, ENT_LDA, nrow, ncol, vs, rs, 2 * static_cast<int64_t>(ncol));
        e.MNNZ = r.counts.nnz;
        e.MNZERO = r.counts.nzero;
        e.MNIXB = r.counts.nixb;
        if (r.status == packed::PackStatus::run_limit) {
            e.IERR = err::SIMPLEX_FAIL;
            return error_exit(s);
        }
        if (r.status != packed::PackStatus::ok) {
            e.IERR = err::COUNTS_WRITE;
            return error_exit(s);
        }
        if (!store_coupling(s, a, k)) return error_exit(s);
    }

    // Increments: sorted by column code and moved up one level.
    if (e.KCODE[kk] <= solver::KCODE_CHAIN) {
        for (int32_t l = 1; l <= *a.NLEVEL; ++l) {
            if (a.NINC[l - 1] > ENT_MAXINC) return stop(s, STOP_NINC);
            sort_level(a, l, a.NINC[l - 1]);
        }
        for (int32_t l = nl; l >= 2; --l) {
            a.NINC[l - 1] = a.NINC[l - 2];
            for (int32_t i = 1; i <= a.NINC[l - 2]; ++i) {
                a.INCCOL[ix(l, i, ENT_MAXLEV)] = a.INCCOL[ix(l - 1, i, ENT_MAXLEV)];
                a.INCROW[ix(l, i, ENT_MAXLEV)] = a.INCROW[ix(l - 1, i, ENT_MAXLEV)];
                a.DINC[ix(l, i, ENT_MAXLEV)] = a.DINC[ix(l - 1, i, ENT_MAXLEV)];
            }
        }
        s.pnt.write(f_echo_matrix(), {k});
        for (int32_t l = 2; l <= nl; ++l) echo_increments(s, a, l);
    }

    // K's 0-Z variables join the entry list.
    int32_t total = 0;
    for (int32_t j = 0; j < k; ++j) total += e.NZO[j];
    e.NZOTOT = static_cast<int16_t>(total);
    for (int32_t v = 1; v <= nzo; ++v) {
        const int32_t col = v + 1;
        const int32_t d = total - nzo + col;
        e.ZPRB[d - 1] = k;
        e.ZLAB[d - 1] = static_cast<int16_t>(lbl::ZO + v);
        e.IZA[d - 1][0] = a.IZA1[col - 1];
        e.IZA[d - 1][1] = a.IZA2[col - 1];
        e.IZA[d - 1][2] = a.IZA3[col - 1];
        e.IZA[d - 1][3] = a.IZA4[col - 1];
        for (int32_t l = 1; l <= nl; ++l) {
            e.ZOVD[d - 1][l - 1] = a.ZOVD[ix(col, l, ENT_LDZ)];
            e.ZOVR[d - 1][l - 1] = a.ZOVR[ix(col, l, ENT_LDZ)];
        }
    }

    // PAR2 and PAR3 records.
    if (e.run_ok) {
        write_par2(e, a, k);
        write_par3(e, a);
    }

    // The last subproblem also brings the common resources.
    if (k == nsub) common_resources(s, a);
}

void first_call(DecompState& s, const Args& a) {
    EntryState& e = s.ent;
    e.run_ok = true;
    e.run_made = false;
    e.fail_kprob = e.fail_ierr = e.fail_stop = 0;
    e.next_rerun = 0;

    s.pnt.open(data_path("C:\\KAV\\KAV.PNT"));
    s.pnt.write(fmt::lines::banner3(), {int32_t{mark::START}});
    s.pnt.write(fmt::lines::input_header(), {*a.NSUB, *a.NLEVEL});

    using M = BinUnit::Mode;
    if (!open_unit(s, e.tab0, "C:\\KAV\\TAB0.DAT", M::sequential, err::OPEN_TAB0) ||
        !open_unit(s, e.itab0, "C:\\KAV\\1TAB0.DAT", M::sequential, err::OPEN_1TAB0) ||
        !open_unit(s, e.tab20, "C:\\KAV\\TAB20.DAT", M::positioned, err::OPEN_TAB20) ||
        !open_unit(s, e.itab20, "C:\\KAV\\1TAB20.DAT", M::positioned, err::OPEN_1TAB20) ||
        !open_unit(s, e.par1, "C:\\KAV\\PAR1.DAT", M::sequential, err::OPEN_PAR1) ||
        !open_unit(s, e.par2, "C:\\KAV\\PAR2.DAT", M::sequential, err::OPEN_PAR2) ||
        !open_unit(s, e.par3, "C:\\KAV\\PAR3.DAT", M::sequential, err::OPEN_PAR3) ||
        !open_unit(s, e.par5, "C:\\KAV\\PAR5.DAT", M::sequential, err::OPEN_PAR5)) {
        // The run goes on call by call; its completing call does not solve.
        e.next_kprob = *a.NSUB > 1 ? 2 : 0;
        return error_exit(s);
    }
    e.ISLOT[0] = 0;
    subproblem(s, a, true);
}

void common_call(DecompState& s, const Args& a) {
    EntryState& e = s.ent;
    const int16_t k = *a.KPROB;
    const bool in_seq = e.next_kprob != 0 && k == e.next_kprob && k == *a.NSUB + 1;
    if (in_seq) e.next_kprob = 0;
    if (const int16_t st = common_limits(a)) return stop(s, st);
    if (!in_seq) return stop(s, STOP_KPROB);
    common_resources(s, a);
}

void rerun_call(DecompState& s, const Args& a) {
    EntryState& e = s.ent;
    const int16_t k = *a.KPROB;
    if (k == 1) {
        e.run_ok = true;
        e.fail_kprob = e.fail_ierr = e.fail_stop = 0;
    }
    if (!e.run_made) return stop(s, STOP_NORUN);
    const bool in_seq = k == 1 || (e.next_rerun != 0 && k == e.next_rerun);
    const bool kprob_ok = in_seq && k >= 1 && k <= *a.NSUB && k <= ENT_MAXSUB;
    if (kprob_ok) e.next_rerun = k < *a.NSUB ? static_cast<int16_t>(k + 1) : 0;
    if (const int16_t st = common_limits(a)) return stop(s, st);
    if (!kprob_ok) return stop(s, STOP_KPROB);

    // The rerun's increments of level 1, sorted and echoed.
    if (a.NINC[0] > ENT_MAXINC) return stop(s, STOP_NINC_RERUN);
    sort_level(a, 1, a.NINC[0]);
    s.pnt.write(f_echo_matrix(), {k});
    echo_increments(s, a, 1);

    // The rerun's 0-Z values replace those of level 1.
    const int32_t nzo = e.NZO[k - 1];
    for (int32_t col = 2; col <= nzo + 1; ++col)
        for (int32_t d = 2; d <= e.NZOTOT + 1 && d <= ENT_MAXZO; ++d)
            if (e.ZPRB[d - 1] == k && e.ZLAB[d - 1] == lbl::ZO + (col - 1)) {
                e.ZOVD[d - 1][0] = a.ZOVD[ix(col, 2, ENT_LDZ)];
                e.ZOVR[d - 1][0] = a.ZOVR[ix(col, 2, ENT_LDZ)];
                break;
            }

    // Rerun call 1 opens the parameter files again.
    if (k == 1) {
        using M = BinUnit::Mode;
        if (!open_unit(s, e.par1, "C:\\KAV\\PAR1.DAT", M::sequential, err::OPEN_PAR1) ||
            // A rerun keeps PAR2.DAT as the run left it: it is only read.
            !open_unit(s, e.par2, "C:\\KAV\\PAR2.DAT", M::sequential, err::OPEN_PAR2, BinUnit::Access::read) ||
            !open_unit(s, e.par3, "C:\\KAV\\PAR3.DAT", M::sequential, err::OPEN_PAR3) ||
            !open_unit(s, e.par5, "C:\\KAV\\PAR5.DAT", M::sequential, err::OPEN_PAR5))
            return error_exit(s);
    }

    // PAR3 written anew; the last call completes.
    if (e.run_ok) write_par3(e, a);
    if (k == *a.NSUB) complete(s, a, true);
}

}  // namespace

void tarvexo(DecompState& s, const Args& a) {
    EntryState& e = s.ent;
    e.wait_ms = ENT_WAIT_MS;
    set_time(e.tstart);
    fpu_full_precision();
    if (*a.NLEVEL == -1) *a.NLEVEL = 0;
    e.IOMODE = 0;
    e.IERR = 0;
    e.NSUB = *a.NSUB;
    e.KPROB = *a.KPROB;
    e.NLEVEL = *a.NLEVEL;

    if (*a.IFLAG == 1)
        rerun_call(s, a);
    else if (*a.KPROB == 1)
        first_call(s, a);
    else if (*a.KPROB > *a.NSUB)
        common_call(s, a);
    else
        subproblem(s, a, false);
}

}  // namespace kav::decomp
