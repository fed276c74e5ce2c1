// The single-problem entry: argument checks, echo and the end lines of
// every call.
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "errcodes.hpp"
#include "single_lines.hpp"
#include "platform.hpp"
#include "single_state.hpp"

namespace kav::single {

State& state() {
    static State s;
    return s;
}

namespace {

void set_time(char (&t)[9]) {
    const std::string now = time_of_day();
    std::memset(t, ' ', 8);
    std::memcpy(t, now.data(), now.size() < 8 ? now.size() : 8);
    t[8] = '\0';
}

// Increments of level l (1-based, as the host numbers them) must name a
// column and a row of the problem.
bool increments_in_problem(const Args& a, int l) {
    const int n = a.NINC[l - 1];
    for (int i = 1; i <= n; ++i) {
        const int16_t c = a.INCCOL[(l - 1) + MAX_LEV * (i - 1)];
        const int16_t r = a.INCROW[(l - 1) + MAX_LEV * (i - 1)];
        const bool col_ok = c == 0 || (c > lbl::ZO && c - lbl::ZO + 1 <= *a.NCOL);
        const bool row_ok = r <= 0 && 1 - r <= *a.NROW;
        if (!col_ok || !row_ok) return false;
    }
    return true;
}

int ix(int l, int i) { return (l - 1) + MAX_LEV * (i - 1); }

// Sorts the increments of level l ascending by column code, exchanging whole
// triples, and writes the 9999 end mark behind them.
void sort_level(const Args& a, int l) {
    const int n = a.NINC[l - 1];
    for (int p = 1; p < n; ++p)
        for (int q = p + 1; q <= n; ++q)
            if (a.INCCOL[ix(l, q)] < a.INCCOL[ix(l, p)]) {
                std::swap(a.INCCOL[ix(l, p)], a.INCCOL[ix(l, q)]);
                std::swap(a.INCROW[ix(l, p)], a.INCROW[ix(l, q)]);
                std::swap(a.DINC[ix(l, p)], a.DINC[ix(l, q)]);
            }
}

void echo_increments(State& s, const Args& a, int l) {
    for (int i = 1; i <= a.NINC[l - 1]; ++i) {
        s.pnt.write(fmt::lines::status_line(), {a.INCCOL[ix(l, i)], a.INCROW[ix(l, i)]});
        s.pnt.write(sl::values8(), {a.DINC[ix(l, i)]});
    }
}

void echo_matrix(State& s, const Args& a) {
    s.pnt.write(sl::echo(), {});
    fmt::write_matrix_rows(s.pnt, sl::matrix_row(), a.AMAT, LD_A, *a.NROW, *a.NCOL);
}

// Ends every call: error line, totals, times, NCOL at entry, 100 banners.
void end_call(State& s, const Args& a, int16_t ncol_entry, bool labels) {
    if (s.IERR != 0 && !s.quiet_end) s.pnt.write(sl::error(), {s.IERR});
    s.pnt.write(sl::iterations(), {s.NITTOT});
    set_time(s.tend);
    s.pnt.write(fmt::lines::time_lines(), {std::string_view(s.tstart, 8), std::string_view(s.tend, 8)});
    // Levels the call did not get to report no solution, never a stale value.
    for (int l = s.level + 1; l <= s.nlev; ++l) a.STATUS[l - 1] = err::STNONE;
    // The row labels go back to the host in their printed form.
    if (labels)
        for (int i = 1; i <= *a.NROW; ++i) a.ITYPE[i - 1] = printed(a.ITYPE[i - 1]);
    *a.NCOL = ncol_entry;
    // The packed files stay open between calls; positioning them where they
    // are hands what was written to the file, so a host sees the stored matrix.
    if (s.tab.is_open()) s.tab.seek(s.tab.tell());
    if (s.itab.is_open()) s.itab.seek(s.itab.tell());
    for (int16_t n = 1; n <= 100; ++n) s.pnt.write(fmt::lines::banner3(), {n});
}

// Adds the increments of level l to AMAT; sets the level offset.
void apply_increments(State& s, const Args& a, int l) {
    s.LOFF[l] = s.OBJOFF;
    for (int i = 1; i <= a.NINC[l - 1]; ++i) {
        const int c = a.INCCOL[ix(l, i)] == 0 ? 1 : a.INCCOL[ix(l, i)] - lbl::ZO + 1;
        const double d = a.DINC[ix(l, i)];
        if (a.INCROW[ix(l, i)] == 0) {
            a.a(1, c) -= d / (s.CFACT[c] * s.RFACT[1]);
            if (c == 1) s.LOFF[l] += d;
        } else {
            const int r = 1 - a.INCROW[ix(l, i)];
            a.a(r, c) += d / (s.CFACT[c] * s.RFACT[r]);
        }
    }
}

// Makes AMAT the level's saved start and clears the words of the level, so
// that nothing of an earlier level or call steers this one.
void start_level(State& s, const Args& a, int l) {
    s.level = static_cast<int16_t>(l);
    for (int k = 1; k <= s.n0; ++k)
        std::memcpy(&s.t0(1, k), &a.a(1, k), sizeof(double) * static_cast<size_t>(s.m0));
    s.NITTOT = 0;
    a.NINC[l - 1] = 0;
    s.DONEL[l] = 0.0f;
    s.BESTL[l] = s.BASEL[l];
    a.STATUS[l - 1] = err::STNONE;
    s.once = 0.0f;
    s.ROOTV = 0.0;
    s.RPRICE.fill(0.0);
    s.DVAL.fill(0.0);
    s.X.fill(0.0);
    s.b1 = s.b2 = Branch{};
}

// The levels of one call, each searched from its root.
void solve_levels(State& s, const Args& a) {
    const bool rerun = *a.IFLAG == 1;
    for (int l = 1;; ++l) {
        if (!search_level(s, a)) return;
        s.IERR = 0;  // the last node's code ends nothing but its node
        if (s.BESTL[l] == s.BASEL[l]) {
            s.pnt.write(sl::no_solution(), {});
            a.STATUS[l - 1] = err::STNONE;
        }
        if (rerun || l > *a.NLEVEL) return;
        s.pnt.write(sl::sens_level(), {static_cast<int16_t>(l)});
        s.IERR = 0;
        *a.NROW = s.m0;
        *a.NCOL = s.n0;
        if (!read_back(s, a.AMAT)) return;
        apply_increments(s, a, l + 1);
        start_level(s, a, l + 1);
        echo_matrix(s, a);
    }
}

// What a first call keeps for its reruns.
void keep_arguments(State& s, const Args& a) {
    s.K = static_cast<int16_t>(*a.NCOL - *a.NCONT);
    for (int k = 2; k <= s.K; ++k) {
        s.KLAB[k] = static_cast<int16_t>(ZLAB + k - 1);
        s.KNOBRAN[k] = a.NOBRAN[k - 1];
        s.KIRESP[k] = a.IRESP[k - 1];
        s.KIRESM[k] = a.IRESM[k - 1];
    }
    s.OBJOFF = *a.OBJOFF;
    s.IMPROV = *a.IMPROV;
    s.ICONF = *a.ICONF;
    s.NRES = *a.NRES;
    for (int j = 1; j <= s.NRES; ++j) {
        s.ICAP1[j] = a.ICAP1[j - 1];
        s.ICAP2[j] = a.ICAP2[j - 1];
    }
}

// Labels and factors of the problem as handed in: the start of every node.
void save_start(State& s, const Args& a) {
    const int nrow = *a.NROW, ncol = *a.NCOL;
    s.m0 = static_cast<int16_t>(nrow);
    s.n0 = static_cast<int16_t>(ncol);
    for (int i = 1; i <= nrow; ++i) {
        s.IROW0[i] = a.ITYPE[i - 1];
        s.RFACT[i] = 1.0;
    }
    for (int k = 1; k <= ncol; ++k) {
        s.ICOL0[k] = static_cast<int16_t>(k == 1 ? 0 : (k <= s.K ? ZLAB + k - 1 : k - 1));
        s.ICOLSV0[k] = s.ICOL0[k];
        s.CFACT[k] = 1.0;
    }
}

}  // namespace

// Refills AMAT from the packed files; false (IERR set) when they do not
// give back the stored matrix.
bool read_back(State& s, double* amat) {
    if (s.tab.seek(0) != 0 || s.itab.seek(0) != 0) {
        s.IERR = err::STORE_OR_SEEK;
        return false;
    }
    packed::FileValueSource vs{s.tab};
    packed::FileRunSource rs{s.itab};
    const packed::UnpackResult r = packed::unpack(amat, LD_A, s.m0, s.n0, vs, rs, s.counts.nixb);
    if (r.status == packed::UnpackStatus::run_read_failed) s.IERR = err::READ_ZRUN;
    else if (r.status != packed::UnpackStatus::ok) s.IERR = err::READ_VALUE;
    if (s.IERR != 0) return false;
    const int32_t cells = int32_t{s.m0} * s.n0;
    if (r.values != s.counts.nnz || r.zeros != s.counts.nzero || r.values + r.zeros != cells) {
        s.pnt.write(fmt::lines::status_line(), {s.counts.nnz, r.values, s.counts.nzero, r.zeros,
                                                int32_t{s.m0}, int32_t{s.n0}, cells});
        s.pnt.write(fmt::lines::banner3(), {mark::TABLEAU_REBUILD});
        s.IERR = err::COUNTS_READ;
        return false;
    }
    return true;
}

int16_t check_extents(const State& s, const Args& a) {
    const int nrow = *a.NROW, ncol = *a.NCOL;
    if (nrow < 1 || nrow > LD_A) return code::NROW;
    if (ncol < 2 || ncol > MAX_COL) return code::NCOL;
    const bool rerun = *a.IFLAG == 1;
    if (!rerun) {
        if (*a.NCONT < 0 || *a.NCONT > ncol - 1) return code::NCONT;
        if (*a.NRES < 0 || *a.NRES > MAX_RES) return code::NRES;
    } else if (s.K < 2 || ncol < s.K) {
        return code::NCONT;  // no first call, or fewer columns than its integer variables
    }
    const int nlevel = *a.NLEVEL;
    if (nlevel < -1 || nlevel > MAX_LEV - 1) return code::NLEVEL;
    const int last = rerun ? 1 : nlevel;
    for (int l = 1; l <= last; ++l)
        if (a.NINC[l - 1] < 0) return code::NINC;
    for (int l = 1; l <= last; ++l)
        if (!increments_in_problem(a, l)) return code::INC_CODE;
    for (int i = 2; i <= nrow; ++i)
        if (a.ITYPE[i - 1] == 0) return code::TYPE0;
    return err::NONE;
}

int16_t check_numbers(const State& s, const Args& a) {
    const bool rerun = *a.IFLAG == 1;
    const int nrow = *a.NROW, ncol = *a.NCOL;
    const int levels = rerun ? 1 : (*a.NLEVEL < 0 ? 1 : *a.NLEVEL + 1);
    // A rerun reads no OBJOFF and works with the resources and the integer
    // columns of its first call.
    const int nres = rerun ? s.NRES : *a.NRES;
    const int K = rerun ? s.K : ncol - *a.NCONT;
    auto finite = [](double x) { return std::isfinite(x); };
    bool ok = rerun || finite(*a.OBJOFF);
    // AMAT(1, 1) is not read: it is replaced by the objective offset.
    for (int k = 1; k <= ncol && ok; ++k)
        for (int i = k == 1 ? 2 : 1; i <= nrow && ok; ++i) ok = finite(a.a(i, k));
    for (int l = 1; l <= (rerun ? 1 : *a.NLEVEL) && ok; ++l)
        for (int i = 1; i <= a.NINC[l - 1] && ok; ++i) ok = finite(a.DINC[(l - 1) + MAX_LEV * (i - 1)]);
    int transfers = 0;
    for (int j = 1; j <= nres && ok; ++j) {
        ok = finite(a.TRCOST[j - 1]);
        if (a.TRCOST[j - 1] > 0.0f) ++transfers;
        for (int l = 1; l <= levels && ok; ++l) ok = finite(a.RCAP[(j - 1) + MAX_RES * (l - 1)]);
    }
    // VALCOL of the integer columns and of the continuous columns that are
    // no transfer variables; the others are not read.
    for (int l = 1; l <= levels && ok; ++l)
        for (int k = 2; k <= ncol && ok; ++k)
            if (k <= K || k > K + transfers) ok = finite(a.VALCOL[Args::pl(k, l)]);
    return ok ? err::NONE : code::NOT_FINITE;
}

void tarvexo(State& s, const Args& a) {
    const int16_t ncol_entry = *a.NCOL;
    set_time(s.tstart);
    fpu_full_precision();
    s.NITTOT = 0;
    s.NITER = 0;
    s.IERR = 0;
    s.quiet_end = false;
    s.level = 0;
    s.nlev = 0;
    s.IDEPTH = 1;
    s.BESTL.fill(0.0);
    s.BASEL.fill(0.0);
    s.DONEL.fill(0.0f);
    s.pnt.open(data_path("KAV.PNT"));
    s.pnt.write(fmt::lines::banner3(), {mark::START});

    // Levels the call is asked to solve, known before any test can end it.
    const int nlevel = *a.NLEVEL;
    const bool rerun = *a.IFLAG == 1;
    if (rerun) s.nlev = 1;
    else if (nlevel >= -1 && nlevel <= MAX_LEV - 1) s.nlev = static_cast<int16_t>(nlevel < 0 ? 1 : nlevel + 1);
    s.IERR = check_extents(s, a);
    if (s.IERR == 0) s.IERR = check_numbers(s, a);
    if (s.IERR != 0) {
        end_call(s, a, ncol_entry, false);
        return;
    }
    if (*a.NLEVEL == -1) *a.NLEVEL = 0;
    if (!rerun) {
        keep_arguments(s, a);
        s.pnt.write(fmt::lines::banner3(), {});
        s.pnt.write(sl::levels(), {*a.NLEVEL});
        // Both packed files are opened afresh by a first call and rewritten from byte 0.
        const int st70 = s.tab.open(data_path("TAB1.DAT"), BinUnit::Mode::positioned);
        if (st70 != 0) {
            s.pnt.write(fmt::lines::status_line(), {int32_t{st70}});
            s.IERR = err::OPEN_TAB0;
        } else if (const int st90 = s.itab.open(data_path("1TAB1.DAT"), BinUnit::Mode::positioned); st90 != 0) {
            s.pnt.write(fmt::lines::status_line(), {int32_t{st90}});
            s.IERR = err::OPEN_1TAB0;
        }
        if (s.IERR != 0) {
            end_call(s, a, ncol_entry, false);
            return;
        }
    }
    // The objective constant: a rerun keeps that of the last first call.
    a.a(1, 1) = -s.OBJOFF;
    s.LOFF[1] = s.OBJOFF;
    const int nrow = *a.NROW, ncol = *a.NCOL;
    s.pnt.write(sl::dims(), {*a.NROW, *a.NCOL});
    s.pnt.write(sl::types(), {});
    std::vector<fmt::Item> items;
    for (int i = 2; i <= nrow; ++i) items.emplace_back(a.ITYPE[i - 1]);
    s.pnt.write(sl::type_list(), items);
    echo_matrix(s, a);

    // Every row needs a coefficient of some magnitude.
    for (int i = 1; i <= nrow && s.IERR == 0; ++i) {
        bool any = false;
        for (int k = 1; k <= ncol; ++k)
            if (std::abs(a.a(i, k)) > kernel::ATINY) any = true;
        if (!any) s.IERR = err::NO_MAGNITUDE;
        if (i == 1 && any) {
            // The simplex minimises: the objective row holds the negated profits.
            a.ITYPE[0] = 0;
            for (int k = 2; k <= ncol; ++k) a.a(1, k) = -a.a(1, k);
        } else if (any) {
            a.ITYPE[i - 1] = static_cast<int16_t>(-(i - 1));  // row label of the slack
        }
    }
    if (s.IERR != 0) {
        end_call(s, a, ncol_entry, false);
        return;
    }
    save_start(s, a);
    // The stored matrix every level starts from.  A first call writes at
    // byte 0; a rerun writes behind the stored copy, which nothing reads.
    if (!rerun && (s.tab.seek(0) != 0 || s.itab.seek(0) != 0)) s.IERR = err::STORE_OR_SEEK;
    if (s.IERR == 0) {
        packed::FileValueSink vs{s.tab};
        packed::FileRunSink rs{s.itab};
        const packed::PackResult r = packed::pack(a.AMAT, LD_A, nrow, ncol, vs, rs);
        if (!rerun) s.counts = r.counts;
        if (r.status != packed::PackStatus::ok) s.IERR = err::COUNTS_WRITE;
    }
    if (s.IERR == 0 && !rerun) {
        // Level 1 is the problem itself; the host's level l becomes level l+1.
        const int nl = *a.NLEVEL;
        for (int l = 1; l <= nl; ++l) sort_level(a, l);
        for (int l = nl; l >= 1; --l) {
            a.NINC[l] = a.NINC[l - 1];
            for (int i = 1; i <= a.NINC[l - 1]; ++i) {
                a.INCCOL[ix(l + 1, i)] = a.INCCOL[ix(l, i)];
                a.INCROW[ix(l + 1, i)] = a.INCROW[ix(l, i)];
                a.DINC[ix(l + 1, i)] = a.DINC[ix(l, i)];
            }
            a.INCCOL[ix(l + 1, a.NINC[l] + 1)] = 9999;
        }
        a.NINC[0] = 0;
        s.pnt.write(sl::echo(), {});
        for (int l = 2; l <= nl + 1; ++l) echo_increments(s, a, l);
        for (int l = 1; l <= nl + 1; ++l) {
            s.BESTL[l] += s.IMPROV;
            s.BASEL[l] += s.IMPROV;
        }
        *a.IFLAG = 0;
        start_level(s, a, 1);
        solve_levels(s, a);
    } else if (s.IERR == 0) {
        // A rerun solves its matrix plus its level-1 increments, once.
        if (a.NINC[0] == 0) {
            s.IERR = code::RERUN_EMPTY;
        } else {
            sort_level(a, 1);
            a.INCCOL[ix(1, a.NINC[0] + 1)] = 9999;
            s.pnt.write(sl::echo(), {});
            echo_increments(s, a, 1);
            apply_increments(s, a, 1);
            start_level(s, a, 1);
            echo_matrix(s, a);
            solve_levels(s, a);
        }
    }
    end_call(s, a, ncol_entry, true);
}

}  // namespace kav::single
