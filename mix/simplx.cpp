// Allocation simplex: branch rows, two-phase bounded simplex on the dense
// tableau, solution read and the allocation step that values a solution.
#include <algorithm>
#include <climits>
#include <cmath>
#include <vector>

#include "kernel.hpp"
#include "lines.hpp"
#include "mix_state.hpp"

namespace kav::mix {

namespace {

using fmt::Format;
using fmt::Item;

constexpr double TOLPIV = 5e-5;
constexpr double TOLELM = 1e-7;
constexpr double INTTOL = 0.007;
constexpr double BIG = 1e300;
constexpr int32_t MAXIT = 500;
// A basic integer value this close to its rounding is integral also when a
// rounded solution broke a row: its rounding moves no row by more than the
// row's own round-off.
constexpr double ROUNDEPS = 1e-9;

const Format F_OPT("(/33HPROBLEM OPTIMAL SOLUTION COMPLETE/)");
const Format F_OBJ("(/20HOBJECTIVE FUNCTION =,F20.7,13H AT ITERATION,I6/)");
const Format F_XHDR("(/26HSTRUCTURAL VARIABLES: X(I)/)");
const Format F_IDX("(/3HI =,(7I10))");
const Format F_XV("(/3X,(7D10.3))");
const Format F_BEST("(/39HBEST MIXED 0-Z SOLUTION OBTAINED SO FAR/)");

int32_t sat32(int64_t v) {
    return static_cast<int32_t>(v > INT32_MAX ? INT32_MAX : (v < INT32_MIN ? INT32_MIN : v));
}

struct Solve {
    MixState& s;
    const Args& a;
    int16_t& m;
    int16_t& n;
    kernel::Tableau tb;
    kernel::Scales sc;
    // Magnitude of the phase-one objective's data: its largest coefficient
    // and the largest right-hand side of an equation row.  Its end value
    // carries round-off in proportion to them, so the feasibility test at
    // the end of phase one is relative to this scale (at least 1: problems
    // of small numbers keep the absolute test).
    double p1scale = 0.0;

    Solve(MixState& st, const Args& ar, int16_t& mm, int16_t& nn) : s(st), a(ar), m(mm), n(nn) {
        sc.rscale = s.RSCL.data();
        sc.cscale = s.CSCL.data();
        sc.cnorm = s.CNORM.data();
        sc.rnorm = s.RNORM.data();
    }
    double& t(int32_t i, int32_t j) { return s.t(i, j); }
    // TOLEL(i, j): the same value as kernel::tolel_of (the larger scale's
    // tolerance; equal scales have the same one).
    double tol(int32_t i, int32_t j) const {
        return s.RSCL[i - 1] > s.CSCL[j - 1] ? s.TOLR[i - 1] : s.TOLC[j - 1];
    }
    kernel::Tableau& view() {
        tb = kernel::Tableau{s.T.data(), LD, m, n, s.IROW.data(), s.ICOL.data()};
        return tb;
    }
    void colrng() {
        kernel::colrng(kernel::MIX_CONSTS, view(), sc);
        for (int32_t i = 1; i <= m; ++i) s.TOLR[i - 1] = kernel::tolerance_of(kernel::MIX_CONSTS, s.RSCL[i - 1]);
        for (int32_t j = 1; j <= n; ++j) s.TOLC[j - 1] = kernel::tolerance_of(kernel::MIX_CONSTS, s.CSCL[j - 1]);
    }
    void banner(int32_t k) { s.unit8.write(fmt::lines::banner3(), {k}); }

    void print_solution(const Format& head, double z, const float* x, int32_t nv) {
        s.unit8.write(head, {});
        s.unit8.write(F_OBJ, {z, s.NITER});
        s.unit8.write(F_XHDR, {});
        std::vector<Item> items;
        for (int32_t v = 1; v <= nv; ++v) items.emplace_back(v);
        s.unit8.write(F_IDX, items);
        items.clear();
        for (int32_t v = 1; v <= nv; ++v) items.emplace_back(static_cast<double>(x[v - 1]));
        s.unit8.write(F_XV, items);
    }

    // Infeasible end: below the root the branch is closed, at the root the
    // call ends.  A root made infeasible by group rows has no solution
    // within the limits: it closes like a branch, and the search ends
    // without one.
    void infeasible() {
        if (s.IDEPTH >= 2 || !s.GRPLST.empty()) {
            s.IERR = mcode::CLOSED;
        } else {
            banner(mmark::NO_PIVOT);
            s.IERR = mcode::FAILED;
        }
    }

    bool add_branch_rows();
    int32_t new_row();
    double group_coef(int32_t g, int32_t j) const;
    double demand_coef(int32_t d, int32_t j) const;
    bool add_group_rows();
    bool add_demand_rows();
    bool rounding_breaks_rows(const std::vector<double>& q);
    int dual_step(int32_t& r, int32_t& k);
    int primal_step(int32_t& r, int32_t& k);
    bool end_phase_one();
    void phase_two_objective(int16_t nset);
    void end_phase_two();
    void allocate(int32_t n0);
};

// One row per branch point; an upper branch also gets a surplus column.
bool Solve::add_branch_rows() {
    const int16_t ncol0 = n;
    for (int32_t k = 2; k <= ncol0; ++k) {
        for (int32_t d = 2; d <= s.IDEPTH; ++d) {
            if (s.IBRLAB[d] != s.ICOL[k - 1]) continue;
            const bool upper = s.IBOTH[d] == 1 || s.IBOTH[d] == 2;
            if (upper && n + 1 > MAXLAB) return false;
            const int32_t r = new_row();
            if (r == 0) return false;
            t(r, k) = 1.0;
            const int32_t bnd = s.IBRBND[d];
            if (!upper) {
                t(r, 1) = bnd;
            } else {
                t(r, 1) = bnd + 1.0;
                s.IROW[r - 1] = static_cast<int16_t>(-(r - 1) - lbl::EQ);
                const int32_t c = n + 1;
                n = static_cast<int16_t>(c);
                for (int32_t i = 1; i < r; ++i) t(i, c) = 0.0;
                t(r, c) = -1.0;
                s.ICOL[c - 1] = s.ICOLSV[c - 1] = static_cast<int16_t>(-(r - 1));
                s.COBJ[c - 1] = 0.0;
            }
        }
    }
    return true;
}

// A new "<=" row r = NROW + 1 that starts with its slack: zeros in columns
// 2..NCOL.  0 when the tableau has no row left.
int32_t Solve::new_row() {
    const int32_t r = m + 1;
    if (r > LD) return 0;
    m = static_cast<int16_t>(r);
    for (int32_t j = 2; j <= n; ++j) t(r, j) = 0.0;
    s.IROW[r - 1] = static_cast<int16_t>(-(r - 1));
    return r;
}

// Coefficient in host column j (2..N0) of group g's limit row: the sum of
// the group's variables is at most IGCAP.  Every integral solution the
// allocation step can take satisfies it, so it cuts off no solution.
double Solve::group_coef(int32_t g, int32_t j) const {
    return j <= s.n0 - *a.NITEM && s.GRPOF[j - 1] == g ? 1.0 : 0.0;
}

// Coefficient in host column j (2..N0) of item d's demand row: the
// deliveries plus the item's shortage column cover IDEM, written as the
// "<=" row -sum(RQTY x) - shortage <= -IDEM; the shortage column costs IPEN
// per unit (its phase-two cost is set when the row is made).  At integral
// values of whole-number quantities the row-1 value is then the value the
// allocation step gives.
double Solve::demand_coef(int32_t d, int32_t j) const {
    const int32_t last = s.n0 - *a.NITEM;
    if (j <= last) return s.ITMOF[j - 1] == d ? -static_cast<double>(a.RQTY[j - 1]) : 0.0;
    return j == last + 1 + d ? -1.0 : 0.0;
}

// One row per group whose limit a refused solution exceeded.
bool Solve::add_group_rows() {
    for (const int16_t g : s.GRPLST) {
        const int32_t r = new_row();
        if (r == 0) return false;
        for (int32_t k = 2; k <= s.n0; ++k) t(r, k) = group_coef(g, k);
        t(r, 1) = a.IGCAP[g];
    }
    return true;
}

// One row per item whose demand the search made a row.
bool Solve::add_demand_rows() {
    for (const int16_t d : s.ITMLST) {
        const int32_t r = new_row();
        if (r == 0) return false;
        for (int32_t k = 2; k <= s.n0; ++k) t(r, k) = demand_coef(d, k);
        t(r, 1) = -static_cast<double>(a.IDEM[d]);
    }
    return true;
}

// Returns 1 with (r, k) chosen, 0 when no dual step applies, -1 infeasible, -2 no column.
int Solve::dual_step(int32_t& r, int32_t& k) {
    bool any_neg = false, blocked = false;
    double best = BIG;
    r = 0;
    for (int32_t i = 2; i <= m; ++i) {
        if (!(t(i, 1) < -tol(i, 1))) continue;
        any_neg = true;
        // Once a row is chosen, a row that cannot beat it changes nothing:
        // whether a row is blocked matters only when none is chosen.
        const double q = t(i, 1) / s.RNORM[i - 1];
        if (r != 0 && !(q < best)) continue;
        // A usable pivot is an entry below its tolerance too, so the scan
        // ends at the first one.
        bool below = false, piv = false;
        for (int32_t j = 2; j <= n && !piv; ++j) {
            if (t(i, j) < -tol(i, j)) {
                below = true;
                if (t(i, j) < -TOLPIV) piv = true;
            }
        }
        if (!below) blocked = true;
        if (below && piv) best = q, r = i;
    }
    if (!any_neg) return 0;
    if (r == 0) return blocked ? -1 : 0;  // no usable row: try a primal step
    double rmax = -BIG;
    std::vector<int32_t> cols;
    for (int32_t j = 2; j <= n; ++j) {
        if (!(t(r, j) < -tol(r, j))) continue;
        const double q = (t(1, j) + tol(1, j)) / t(r, j);
        if (q > rmax) rmax = q, cols.push_back(j);
    }
    if (cols.empty()) return -2;
    double smax = -BIG;
    std::vector<int32_t> keep;
    for (int32_t j : cols)
        if (t(1, j) / t(r, j) >= rmax) keep.push_back(j), smax = std::max(smax, std::fabs(t(r, j)) / s.CNORM[j - 1]);
    k = 0;
    double amax = -1.0;
    for (int32_t j : keep) {
        if (std::fabs(t(r, j)) / s.CNORM[j - 1] >= smax - tol(r, j) && std::fabs(t(r, j)) > amax)
            amax = std::fabs(t(r, j)), k = j;
    }
    return k == 0 ? -2 : 1;
}

// Returns 1 with (r, k), 0 phase complete, -1 unbounded, -2 no leaving row.
int Solve::primal_step(int32_t& r, int32_t& k) {
    auto row_ok = [&](int32_t i, int32_t j) {
        return t(i, 1) >= -tol(i, 1) && t(i, j) > tol(i, j) && (t(i, j) > TOLPIV || t(i, 1) < TOLPIV);
    };
    k = 0;
    double best = BIG;
    bool unbounded = false;
    for (int32_t j = 2; j <= n; ++j) {
        if (!(t(1, j) < -tol(1, j))) continue;
        // Once a column is chosen, a column that cannot beat it changes
        // nothing: unboundedness matters only when none is chosen.
        const double q = t(1, j) / s.CNORM[j - 1];
        if (k != 0 && !(q < best)) continue;
        // A row that passes the test also blocks, so the scan ends at the
        // first one.
        bool ok = false, any = false;
        for (int32_t i = 2; i <= m && !ok; ++i) {
            if (t(i, 1) >= -tol(i, 1) && t(i, j) > tol(i, j)) any = true;
            if (row_ok(i, j)) ok = true;
        }
        if (!any) unbounded = true;
        if (ok) best = q, k = j;
    }
    if (k == 0) return unbounded ? -1 : 0;
    double rmin = BIG;
    std::vector<int32_t> rows;
    for (int32_t i = 2; i <= m; ++i) {
        if (!row_ok(i, k)) continue;
        const double q = std::fabs((t(i, 1) + tol(i, 1)) / t(i, k));
        if (q <= rmin) rmin = q, rows.push_back(i);
    }
    std::vector<int32_t> keep;
    double smax = -BIG;
    for (int32_t i : rows)
        if (std::fabs(t(i, 1) / t(i, k)) <= rmin) keep.push_back(i), smax = std::max(smax, t(i, k) / s.RNORM[i - 1]);
    // A row whose value lies within its tolerance below 0 can have the
    // smallest relaxed ratio and a larger plain one, so that no row is kept:
    // the rows of the smallest relaxed ratio are kept instead (the step then
    // leaves such a row at 0) rather than stopping with a feasible basis.
    if (keep.empty())
        for (int32_t i : rows)
            if (std::fabs((t(i, 1) + tol(i, 1)) / t(i, k)) <= rmin)
                keep.push_back(i), smax = std::max(smax, t(i, k) / s.RNORM[i - 1]);
    r = 0;
    double amax = -BIG;
    for (int32_t i : keep)
        if (t(i, k) / s.RNORM[i - 1] >= smax - tol(i, 1) && t(i, k) > amax) amax = t(i, k), r = i;
    // A leaving value slightly below 0 (within its tolerance) leaves at 0, so
    // the round-off does not carry into the next basis.
    if (r != 0 && t(r, 1) < 0.0) t(r, 1) = 0.0;
    return r == 0 ? -2 : 1;
}

// Drives out the artificial variables and removes their columns.  False when
// the call ended (IERR set).
bool Solve::end_phase_one() {
    bool bad = std::fabs(t(1, 1)) > TOLELM * std::max(1.0, p1scale);
    for (int32_t i = 2; i <= m && !bad; ++i)
        if (t(i, 1) < -tol(i, 1)) bad = true;
    if (bad) {
        infeasible();
        return false;
    }
    for (int32_t i = 2; i <= m; ++i) {
        if (s.IROW[i - 1] > -lbl::EQ) continue;
        if (std::fabs(t(i, 1)) > TOLPIV) {
            // Below the root the branch has no solution at this accuracy:
            // it is closed and the search goes on.
            if (s.IDEPTH >= 2) {
                s.IERR = mcode::CLOSED;
                return false;
            }
            banner(mmark::ARTIFICIAL_STAYS);
            s.IERR = mcode::FAILED;
            return false;
        }
        t(i, 1) = 0.0;
        int32_t kp = 0, kn = 0;
        double pmax = 0.0, nmax = 0.0;
        for (int32_t j = 2; j <= n; ++j) {
            if (s.ICOL[j - 1] < -lbl::EQ || !(std::fabs(t(i, j)) > tol(i, j))) continue;
            if (t(i, j) > pmax) pmax = t(i, j), kp = j;
            if (t(i, j) < 0.0 && -t(i, j) > nmax) nmax = -t(i, j), kn = j;
        }
        const int32_t k = kp != 0 ? kp : kn;
        if (k != 0) {
            kernel::pivot(view(), i, k);
            colrng();
        }
    }
    for (int32_t j = 2; j <= n;) {
        if (s.ICOL[j - 1] < -lbl::EQ) {
            for (int32_t i = 1; i <= m; ++i) t(i, j) = t(i, n);
            s.ICOL[j - 1] = s.ICOL[n - 1];
            --n;
        } else {
            ++j;
        }
    }
    return true;
}

// Row 1 from the phase-two costs: every nonbasic cost is placed first, then
// the basic columns' rows are subtracted, so no assignment undoes a subtraction.
void Solve::phase_two_objective(int16_t nset) {
    for (int32_t j = 1; j <= n; ++j) t(1, j) = 0.0;
    for (int32_t c = 2; c <= nset; ++c)
        for (int32_t k = 2; k <= n; ++k)
            if (s.ICOL[k - 1] == s.ICOLSV[c - 1]) {
                t(1, k) = s.COBJ[c - 1];
                break;
            }
    for (int32_t c = 2; c <= nset; ++c)
        for (int32_t i = 2; i <= m; ++i)
            if (s.IROW[i - 1] == s.ICOLSV[c - 1]) {
                const double f = s.COBJ[c - 1];
                for (int32_t j = 1; j <= n; ++j) t(1, j) -= f * t(i, j);
                break;
            }
}

void Solve::allocate(int32_t n0) {
    const int32_t p = *a.NITEM, g = *a.NGROUP;
    s.IGTOT.assign(static_cast<size_t>(g), 0);
    s.QDEL.assign(static_cast<size_t>(p), 0.0f);
    double z = 0.0;
    for (int32_t v = 1; v <= n0 - p - 1; ++v) {
        const float x = s.XVAL[v - 1];
        int32_t k = 0;
        for (int32_t kk = 2; kk <= n0 - p; ++kk)
            if (s.IVAR[kk - 2] == lbl::ZO + v) {
                k = kk;
                break;
            }
        if (k == 0) return banner(mmark::LABEL_MISSING), void(s.IERR = mcode::FAILED);
        z += x * a.VALVAR[k - 1];
        // No groups means no limits, no items no deliveries; the entry has
        // checked that every code is in its list.
        if (g > 0) {
            const int32_t gi = s.GRPOF[k - 1];
            if (gi < 0) return banner(mmark::GROUP_MISSING), void(s.IERR = mcode::FAILED);
            s.IGTOT[gi] = trunc16(static_cast<float>(static_cast<float>(s.IGTOT[gi]) + x));
        }
        if (p > 0) {
            const int32_t mi = s.ITMOF[k - 1];
            if (mi < 0) return banner(mmark::ITEM_MISSING), void(s.IERR = mcode::FAILED);
            s.QDEL[mi] = s.QDEL[mi] + x * a.RQTY[k - 1];
        }
    }
    for (int32_t q = 0; q < g; ++q)
        if (s.IGTOT[q] > a.IGCAP[q]) {
            banner(mmark::GROUP_LIMIT);
            s.INTFL = 0;
            // The limit becomes a row of every later solve and the node is
            // solved again: the search goes on below the refused solution
            // instead of closing the node.  A group that has its row
            // already (its rounded total can exceed the row only by the
            // rounding) closes the branch.
            if (!s.GRPROW[q]) {
                s.GRPROW[q] = 1;
                s.GRPLST.push_back(static_cast<int16_t>(q));
                s.IERR = mcode::AGAIN;
            } else {
                s.IERR = mcode::CLOSED;
            }
            return;
        }
    for (int32_t q = 0; q < p; ++q) {
        const float qd = s.QDEL[q];
        const int32_t am = qd >= 2147483647.0f ? INT32_MAX
                           : qd <= -2147483648.0f ? INT32_MIN
                           : qd != qd ? 0 : static_cast<int32_t>(std::lround(qd));
        float& xs = s.XVAL[n0 - p - 1 + q];
        if (am < a.IDEM[q]) {
            const int64_t sh = static_cast<int64_t>(a.IDEM[q]) - am;
            xs = static_cast<float>(sh);
            z -= sat32(a.IPEN[q] * sh);
        } else {
            xs = 0.0f;
        }
    }
    // A penalty the solve did not see: the item's demand becomes a row of
    // every later solve (room permitting) and the node is solved again, so
    // the search's bounds count the shortages of the solutions below it.
    int32_t added = 0;
    for (int32_t q = 0; q < p; ++q)
        if (s.ITMROW[q] == 1 && a.IPEN[q] > 0 && s.XVAL[n0 - p - 1 + q] > 0.0f && m + added < LD) {
            s.ITMROW[q] = 2;
            s.ITMLST.push_back(static_cast<int16_t>(q));
            s.COBJ[n0 - p + q] = a.IPEN[q];
            ++added;
        }
    s.OBJL = z;
    s.IERR = added > 0 ? mcode::AGAIN : 0;
    // The solve compared its row-1 value with the value to beat; penalties
    // (or the round-off of that value) can leave the solution's own value
    // at or below it.  Such a solution is reported, not taken, and the best
    // one taken so far stays the result.
    if (!(z > s.BESTZ)) {
        print_solution(F_OPT, z, s.XVAL.data(), n0 - 1);
        return;
    }
    s.BESTZ = *a.STATUS = z;
    for (int32_t v = 1; v <= n0 - 1; ++v) a.XOUT[v - 1] = s.XVAL[v - 1];
    s.taken = true;
    print_solution(F_BEST, z, a.XOUT, n0 - 1);
}

// The rounded values against the host's rows, the group rows and the
// demand rows: true when rounding moves some row past its bound by more
// than the row's round-off (TOLELM times the row's magnitude) beyond what
// the solve itself left; ROUNDC then marks the variables of such rows whose
// rounding moved them.
bool Solve::rounding_breaks_rows(const std::vector<double>& q) {
    const int32_t n0 = s.n0, last = n0 - *a.NITEM;
    const auto is_int = [&](int32_t j) { return j <= last; };  // host column j
    const auto rounded = [&](int32_t j) { return is_int(j) ? double(s.XVAL[j - 2]) : q[j - 2]; };
    const auto moved = [&](int32_t j) { return is_int(j) && std::fabs(q[j - 2] - s.XVAL[j - 2]) > ROUNDEPS; };
    std::fill(s.ROUNDC.begin(), s.ROUNDC.begin() + n0, 0);
    bool any = false;
    const auto check = [&](auto coef, double rhs, bool equation) {
        double lr = 0.0, lq = 0.0, mag = std::max(1.0, std::fabs(rhs));
        for (int32_t j = 2; j <= n0; ++j) {
            const double c = coef(j);
            if (c == 0.0) continue;
            lr += c * rounded(j);
            lq += c * q[j - 2];
            mag = std::max(mag, std::fabs(c * rounded(j)));
        }
        const double vr = equation ? std::fabs(lr - rhs) : lr - rhs;
        const double vq = equation ? std::fabs(lq - rhs) : lq - rhs;
        if (!(vr > std::max(vq, 0.0) + TOLELM * mag)) return;
        for (int32_t j = 2; j <= n0; ++j)
            if (coef(j) != 0.0 && moved(j)) s.ROUNDC[j - 2] = 1, any = true;
    };
    for (int32_t i = 2; i <= s.m0; ++i) {
        const auto coef = [&](int32_t j) { return s.T0[(j - 1) * static_cast<size_t>(LD) + (i - 1)]; };
        check(coef, coef(1), s.IROW0[i - 1] <= -lbl::EQ);
    }
    for (const int16_t g : s.GRPLST)
        check([&](int32_t j) { return group_coef(g, j); }, a.IGCAP[g], false);
    // The demands made rows: rounding a variable of a large quantity moves
    // its delivery by whole units, which the solved shortage does not cover.
    for (const int16_t d : s.ITMLST)
        check([&](int32_t j) { return demand_coef(d, j); }, -static_cast<double>(a.IDEM[d]), false);
    return any;
}

void Solve::end_phase_two() {
    const int32_t n0 = s.n0;
    for (int32_t v = 1; v <= n0 - 1; ++v) s.XVAL[v - 1] = 0.0f;
    std::vector<double> lp(static_cast<size_t>(n0 - 1), 0.0);  // the solve's own values
    bool integral = true;
    for (int32_t i = 2; i <= m; ++i) {
        const int32_t l = s.IROW[i - 1];
        if (l <= 0) continue;
        const double q = t(i, 1);
        if (l <= lbl::ZO) {
            if (l <= n0 - 1) s.XVAL[l - 1] = static_cast<float>(q), lp[l - 1] = q;
            continue;
        }
        const int32_t v = l - lbl::ZO;
        if (v > n0 - 1) continue;
        lp[v - 1] = q;
        const int16_t nn = trunc16(q);
        if (std::fabs(q - nn) <= INTTOL) s.XVAL[v - 1] = nn;
        else if (std::fabs(q - 1 - nn) <= INTTOL) s.XVAL[v - 1] = nn + 1.0f;
        else s.XVAL[v - 1] = static_cast<float>(q), integral = false;
    }
    s.INTFL = integral ? 1 : 0;
    // The values come from the solution alone: the branch rows hold the bounds.
    s.OBJL = t(1, 1);
    s.IERR = 0;
    if (!integral || s.OBJL <= s.BESTZ) {
        print_solution(F_OPT, s.OBJL, s.XVAL.data(), n0 - 1);
        return;
    }
    // Values within the integrality tolerance are rounded; with a large
    // coefficient the rounding alone can break a row.  Such a solution is
    // not integral: the search branches on the variables whose rounding
    // broke the row.
    if (rounding_breaks_rows(lp)) {
        s.INTFL = 0;
        s.ROUNDX = true;
        print_solution(F_OPT, s.OBJL, s.XVAL.data(), n0 - 1);
        return;
    }
    allocate(n0);
}

}  // namespace

void simplx(MixState& s, const Args& a, int16_t& m, int16_t& n) {
    Solve x(s, a, m, n);
    s.NITER = 0;
    s.ROUNDX = false;
    if (!x.add_branch_rows() || !x.add_group_rows() || !x.add_demand_rows()) {
        s.IERR = ERR_EXTENT;
        return;
    }
    const int16_t nset = n;
    for (int32_t j = 1; j <= n; ++j) x.t(1, j) = 0.0;
    for (int32_t i = 2; i <= m; ++i)
        if (s.IROW[i - 1] <= -lbl::EQ)
            for (int32_t j = 1; j <= n; ++j) x.t(1, j) -= x.t(i, j);
    for (int32_t j = 2; j <= n; ++j) x.p1scale = std::max(x.p1scale, std::fabs(x.t(1, j)));
    for (int32_t i = 2; i <= m; ++i)
        if (s.IROW[i - 1] <= -lbl::EQ) x.p1scale = std::max(x.p1scale, std::fabs(x.t(i, 1)));
    x.colrng();
    bool phase1 = true;
    for (;;) {
        int32_t r = 0, k = 0;
        int st = x.dual_step(r, k);
        if (st == -1) return x.infeasible();
        if (st == -2) return void(s.IERR = mcode::FAILED);
        if (st == 0) {
            st = x.primal_step(r, k);
            // Phase one's objective is bounded by its artificial variables;
            // a phase-two objective without bound ends the call.
            if (st == -1 && !phase1) return void(s.IERR = ERR_UNBOUNDED);
            if (st == -1) return x.infeasible();
            if (st == -2) return void(s.IERR = mcode::FAILED);
            if (st == 0) {
                if (!phase1) return x.end_phase_two();
                if (!x.end_phase_one()) return;
                x.phase_two_objective(nset);
                x.colrng();
                phase1 = false;
                continue;
            }
        }
        kernel::pivot(x.view(), r, k);
        ++s.NITER;
        if (s.NITER >= MAXIT) {
            x.banner(37);
            s.IERR = mcode::FAILED;
            return;
        }
        x.colrng();
    }
}

}  // namespace kav::mix
