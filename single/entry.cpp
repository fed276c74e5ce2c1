// The single-problem entry: argument checks, echo and the end lines of
// every call.
#include <cmath>
#include <cstring>
#include <utility>
#include <vector>

#include "errcodes.hpp"
#include "platform.hpp"
#include "state.hpp"

namespace kav::single {

State& state() {
    static State s;
    return s;
}

namespace {

const fmt::Format& f_levels() {
    static const fmt::Format f("(/24HNO OF SENSITIVITY LEVELS/I17/)");
    return f;
}
const fmt::Format& f_banner_text() {
    static const fmt::Format f("(/29HBESM ELLAH EL RAHMAN EL RAHIM)");
    return f;
}
const fmt::Format& f_error() {
    static const fmt::Format f("(/18HPROBLEM ERROR CODE,I3,/)");
    return f;
}
const fmt::Format& f_iters() {
    static const fmt::Format f("(/39HTOTAL NUMBER OF ITERATIONS OF PROBLEM =,I7/)");
    return f;
}
const fmt::Format& f_echo() {
    static const fmt::Format f("(/57HINPUT ECHO OF MATRIX OR INCREMENTS OF OBJ AND CONSTRAINTS/)");
    return f;
}
const fmt::Format& f_types() {
    static const fmt::Format f("(/16HCONSTRAINT TYPES/)");
    return f;
}
const fmt::Format& f_type_list() {
    static const fmt::Format f("(24I3)");
    return f;
}
const fmt::Format& f_row() {
    static const fmt::Format f("(10D13.3/(1H , 10D13.3))");
    return f;
}
const fmt::Format& f_dims() {
    static const fmt::Format f("(/19HNO OF ROWS, COLUMNS/I4,2H X, I4/)");
    return f;
}

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
        const bool col_ok = c == 0 || (c >= 5001 && c - 4999 <= *a.NCOL);
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
    static const fmt::Format f_codes("(I13, 7I13)");
    static const fmt::Format f_amount("(8D13.5/(1H , 8D13.5))");
    for (int i = 1; i <= a.NINC[l - 1]; ++i) {
        s.pnt.write(f_codes, {a.INCCOL[ix(l, i)], a.INCROW[ix(l, i)]});
        s.pnt.write(f_amount, {a.DINC[ix(l, i)]});
    }
}

// Ends every call: error line, totals, times, NCOL at entry, 100 banners.
void end_call(State& s, const Args& a, int16_t ncol_entry) {
    if (s.IERR != 0) s.pnt.write(f_error(), {s.IERR});
    s.pnt.write(f_iters(), {s.NITTOT});
    set_time(s.tend);
    s.pnt.write(fmt::lines::time_lines(), {std::string_view(s.tstart, 8), std::string_view(s.tend, 8)});
    // Levels the call did not get to report no solution, never a stale value.
    for (int l = s.level + 1; l <= s.nlev; ++l) a.STATUS[l - 1] = err::STNONE;
    *a.NCOL = ncol_entry;
    // The packed files stay open between calls; positioning them where they
    // are hands what was written to the file, so a host sees the stored matrix.
    if (s.tab.is_open()) s.tab.seek(s.tab.tell());
    if (s.itab.is_open()) s.itab.seek(s.itab.tell());
    for (int16_t n = 1; n <= 100; ++n) s.pnt.write(fmt::lines::banner3(), {n});
}

}  // namespace

int16_t check_extents(const Args& a) {
    const int nrow = *a.NROW, ncol = *a.NCOL;
    if (nrow < 1 || nrow > LD_A) return err::S_NROW;
    if (ncol < 2 || ncol > MAX_COL) return err::S_NCOL;
    const bool rerun = *a.IFLAG == 1;
    if (!rerun) {
        if (*a.NCONT < 0 || *a.NCONT > ncol - 1) return err::S_NCONT;
        if (*a.NRES < 0 || *a.NRES > MAX_RES) return err::S_NRES;
    }
    const int nlevel = *a.NLEVEL;
    if (nlevel < -1 || nlevel > MAX_LEV - 1) return err::S_NLEVEL;
    const int last = rerun ? 1 : nlevel;
    for (int l = 1; l <= last; ++l)
        if (a.NINC[l - 1] < 0) return err::S_NINC;
    for (int l = 1; l <= last; ++l)
        if (!increments_in_problem(a, l)) return err::S_INC_CODE;
    for (int i = 2; i <= nrow; ++i)
        if (a.ITYPE[i - 1] == 0) return err::S_TYPE0;
    return err::NONE;
}

void tarvexo(State& s, const Args& a) {
    const int16_t ncol_entry = *a.NCOL;
    set_time(s.tstart);
    fpu_full_precision();
    s.NITTOT = 0;
    s.IERR = 0;
    s.level = 0;
    s.nlev = 0;
    s.pnt.open(data_path("KAV.PNT"));
    s.pnt.write(fmt::lines::banner3(), {int16_t{1}});

    // Levels the call is asked to solve, known before any test can end it.
    const int nlevel = *a.NLEVEL;
    if (*a.IFLAG == 1) s.nlev = 1;
    else if (nlevel >= -1 && nlevel <= MAX_LEV - 1) s.nlev = static_cast<int16_t>(nlevel < 0 ? 1 : nlevel + 1);
    s.IERR = check_extents(a);
    if (s.IERR != 0) {
        end_call(s, a, ncol_entry);
        return;
    }
    if (*a.NLEVEL == -1) *a.NLEVEL = 0;
    if (*a.IFLAG != 1) {
        s.pnt.write(f_banner_text(), {});
        s.pnt.write(f_levels(), {*a.NLEVEL});
    }
    if (*a.IFLAG != 1) {
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
            end_call(s, a, ncol_entry);
            return;
        }
        a.AMAT[0] = -*a.OBJOFF;
    }
    const int nrow = *a.NROW, ncol = *a.NCOL;
    s.pnt.write(f_dims(), {*a.NROW, *a.NCOL});
    s.pnt.write(f_types(), {});
    std::vector<fmt::Item> items;
    for (int i = 2; i <= nrow; ++i) items.emplace_back(a.ITYPE[i - 1]);
    s.pnt.write(f_type_list(), items);
    s.pnt.write(f_echo(), {});
    for (int i = 1; i <= nrow; ++i) {
        items.clear();
        for (int k = 1; k <= ncol; ++k) items.emplace_back(a.AMAT[(i - 1) + LD_A * (k - 1)]);
        s.pnt.write(f_row(), items);
    }

    // Every row needs a coefficient of some magnitude.
    for (int i = 1; i <= nrow && s.IERR == 0; ++i) {
        bool any = false;
        for (int k = 1; k <= ncol; ++k)
            if (std::abs(a.AMAT[(i - 1) + LD_A * (k - 1)]) > 0.001) any = true;
        if (!any) s.IERR = err::NO_MAGNITUDE;
        if (i == 1 && any) {
            // The simplex minimises: the objective row holds the negated profits.
            a.ITYPE[0] = 0;
            for (int k = 2; k <= ncol; ++k) a.AMAT[LD_A * (k - 1)] = -a.AMAT[LD_A * (k - 1)];
        } else if (any) {
            a.ITYPE[i - 1] = static_cast<int16_t>(-(i - 1));  // row label of the slack
        }
    }
    if (s.IERR == 0) {
        // The stored matrix every level starts from.  A first call writes at
        // byte 0; a rerun writes behind the stored copy, which nothing reads.
        if (*a.IFLAG != 1 && (s.tab.seek(0) != 0 || s.itab.seek(0) != 0)) s.IERR = err::STORE_OR_SEEK;
    }
    if (s.IERR == 0) {
        packed::FileValueSink vs{s.tab};
        packed::FileRunSink rs{s.itab};
        const packed::PackResult r = packed::pack(a.AMAT, LD_A, nrow, ncol, vs, rs);
        s.counts = r.counts;
        if (r.status != packed::PackStatus::ok) s.IERR = err::COUNTS_WRITE;
    }
    if (s.IERR == 0 && *a.IFLAG != 1) {
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
        s.pnt.write(f_echo(), {});
        for (int l = 2; l <= nl + 1; ++l) echo_increments(s, a, l);
    }
    end_call(s, a, ncol_entry);
}

}  // namespace kav::single
