// Entry of the allocation library: print file, echo, checks of the tableau,
// labels and the saved start state.
#include <cmath>
#include <vector>

#include "fmt.hpp"
#include "lines.hpp"
#include "platform.hpp"
#include "mix_state.hpp"

namespace kav::mix {

namespace {

using fmt::Format;
using fmt::Item;

constexpr double ATINY = 0.001;

const Format F_DIMS("(/19HNO OF ROWS, COLUMNS/I4,2H X, I4/)");
const Format F_TYPES_HDR("(/16HCONSTRAINT TYPES/)");
const Format F_TYPES("(24I3)");
const Format F_ECHO_HDR("(/57HINPUT ECHO OF MATRIX OR INCREMENTS OF OBJ AND CONSTRAINTS/)");
const Format F_ERROR("(/18HPROBLEM ERROR CODE,I3,/)");
const Format F_ITER("(/39HTOTAL NUMBER OF ITERATIONS OF PROBLEM =,I7/)");

double host_at(const Args& a, int32_t i, int32_t j) {
    return a.AMAT[(j - 1) * static_cast<int64_t>(LD) + (i - 1)];
}

bool row_has_entry(const Args& a, int32_t i, int32_t n) {
    for (int32_t j = 1; j <= n; ++j)
        if (std::fabs(host_at(a, i, j)) > ATINY) return true;
    return false;
}

bool finite(double v) { return std::isfinite(v); }

// Index (0-based) of the first entry of `list` equal to `code`, -1 when none.
int16_t index_in(const int16_t* list, int32_t count, int16_t code) {
    for (int32_t q = 0; q < count; ++q)
        if (list[q] == code) return static_cast<int16_t>(q);
    return -1;
}

// Numbers and codes the search reads, checked before anything is solved: a
// NaN or an infinity would make every comparison of the simplex fail
// silently, and a variable whose group or item is not in the lists could
// only be found out at the first integral solution.  No groups (or no items)
// means no limits (or no deliveries) and no codes to look up.  Fills each
// column's group and item index.
int16_t check_input(MixState& s, const Args& a) {
    const int32_t m = *a.NROW, n = *a.NCOL, p = *a.NITEM, g = *a.NGROUP;
    if (!finite(*a.BEST0)) return ERR_NONFINITE;
    for (int32_t j = 1; j <= n; ++j)
        for (int32_t i = 1; i <= m; ++i)
            if (!finite(host_at(a, i, j))) return ERR_NONFINITE;
    for (int32_t k = 2; k <= n - p; ++k)
        if (!finite(a.VALVAR[k - 1]) || !finite(a.RQTY[k - 1])) return ERR_NONFINITE;
    for (int32_t k = 2; k <= n - p; ++k) {
        s.GRPOF[k - 1] = g > 0 ? index_in(a.IGROUP, g, a.IGRPV[k - 1]) : -1;
        s.ITMOF[k - 1] = p > 0 ? index_in(a.IITEM, p, a.IITMV[k - 1]) : -1;
        if (g > 0 && s.GRPOF[k - 1] < 0) return ERR_GROUP_CODE;
        if (p > 0 && s.ITMOF[k - 1] < 0) return ERR_ITEM_CODE;
    }
    return 0;
}

// Echo, checks, labels and saved state.  Returns 0 or the error code.
int16_t set_up(MixState& s, const Args& a) {
    const int32_t m = *a.NROW, n = *a.NCOL, p = *a.NITEM;
    s.unit8.write(F_DIMS, {*a.NROW, *a.NCOL});
    s.unit8.write(F_TYPES_HDR, {});
    std::vector<Item> items;
    for (int32_t i = 2; i <= m; ++i) items.emplace_back(a.ITYPE[i - 1]);
    s.unit8.write(F_TYPES, items);
    s.unit8.write(F_ECHO_HDR, {});
    fmt::write_matrix_rows(s.unit8, fmt::lines::matrix_row(), a.AMAT, LD, m, n);
    if (!row_has_entry(a, 1, n)) return err::NO_MAGNITUDE;
    for (int32_t i = 2; i <= m; ++i) {
        if (!row_has_entry(a, i, n)) return err::NO_MAGNITUDE;
        const int16_t base = static_cast<int16_t>(-(i - 1));
        a.ITYPE[i - 1] = a.ITYPE[i - 1] != 0 ? base : static_cast<int16_t>(base - lbl::EQ);
    }
    a.ITYPE[0] = 0;
    s.ICOL[0] = 0;
    for (int32_t k = 2; k <= n; ++k)
        s.ICOL[k - 1] = static_cast<int16_t>(k <= n - p ? lbl::ZO + (k - 1) : k - 1);
    for (int32_t j = 1; j <= n - p - 1; ++j) s.IVAR[j - 1] = static_cast<int16_t>(lbl::ZO + j);
    s.ICOLSV = s.ICOL;
    s.m0 = *a.NROW;
    s.n0 = *a.NCOL;
    for (int32_t i = 1; i <= m; ++i) s.IROW0[i - 1] = a.ITYPE[i - 1];
    s.ICOL0 = s.ICOL;
    for (int32_t j = 1; j <= n; ++j)
        for (int32_t i = 1; i <= m; ++i)
            s.T0[(j - 1) * static_cast<size_t>(LD) + (i - 1)] = host_at(a, i, j);
    // Phase-two costs: row 1 as the host passed it.
    for (int32_t j = 1; j <= n; ++j) s.COBJ[j - 1] = host_at(a, 1, j);
    // An item whose shortage column is empty in every row can have its
    // demand made a row by the search.
    s.ITMROW.assign(static_cast<size_t>(p), 0);
    for (int32_t q = 0; q < p; ++q) {
        const int32_t c = n - p + 1 + q;
        bool empty = true;
        for (int32_t i = 1; i <= m && empty; ++i) empty = host_at(a, i, c) == 0.0;
        s.ITMROW[q] = empty ? 1 : 0;
    }
    s.BESTZ = static_cast<double>(*a.BEST0);
    return 0;
}

}  // namespace

MixState& state() {
    static MixState s;
    return s;
}

void tarvexo1(MixState& s, const Args& a) {
    const std::string tstart = time_of_day();
    fpu_full_precision();
    s.NITER = 0;
    s.IDEPTH = 1;
    s.IERR = 0;
    s.taken = false;
    s.ROUNDX = false;
    s.GRPLST.clear();
    s.ITMLST.clear();
    s.unit8.open(data_path("C:\\KAV\\KAV1.PNT"));
    s.unit8.write(fmt::lines::banner3(), {});
    // Counts the library's storage cannot hold are refused before any use.
    if (*a.NROW < 1 || *a.NROW > LD || *a.NCOL < 2 || *a.NCOL > MAXLAB || *a.NITEM < 0 ||
        *a.NITEM > *a.NCOL - 1 || *a.NGROUP < 0) {
        s.IERR = ERR_COUNTS;
    } else if ((s.IERR = check_input(s, a)) == 0) {
        s.GRPROW.assign(static_cast<size_t>(*a.NGROUP), 0);
        s.IERR = set_up(s, a);
    }
    if (s.IERR == 0) {
        s.IERR = search(s, a);
        // The host sees the last solve only within the extents it passed.
        for (int32_t j = 1; j <= s.n0; ++j)
            for (int32_t i = 1; i <= s.m0; ++i)
                a.AMAT[(j - 1) * static_cast<int64_t>(LD) + (i - 1)] = s.t(i, j);
        for (int32_t i = 1; i <= s.m0; ++i) a.ITYPE[i - 1] = s.IROW[i - 1];
    }
    // A value is reported only when a solution was taken in this call.
    if (!s.taken) *a.STATUS = 37.0;
    if (s.IERR != 0) s.unit8.write(F_ERROR, {s.IERR});
    s.unit8.write(F_ITER, {s.NITER});
    s.unit8.write(fmt::lines::time_lines(), {tstart, time_of_day()});
}

}  // namespace kav::mix
