// Simplex of one node: removal of empty and fixed integer columns, a
// bounded primal simplex with dual steps for infeasible rows on the dense
// tableau AMAT, and the solution step with the resource test and the
// valuation of an integral solution.
//
// Tableau conventions: the value of the basic variable of row i is
// T(i,1) - sum_k T(i,k) x_k; row 1 holds the reduced costs (negative =
// improving) and T(1,1) the objective.  Every variable has the bound of its
// column factor; an integer variable at its bound is carried as its
// complement (bound minus value) with its label moved by FLIP.
#include <climits>
#include <cmath>
#include <vector>

#include "errcodes.hpp"
#include "single_lines.hpp"
#include "single_state.hpp"

namespace kav::single {

namespace {

constexpr double BIG = KC.big;  // start of the minimum searches
// ICONF's table: the code of each configuration 1..6; the code USE3_CODE
// counts IUSE3 in place of IUSE2.
constexpr int16_t USE3_CODE = 320;
constexpr int16_t CONF_CODES[6] = {110, USE3_CODE, 110, 610, 610, 610};

// Adds a term to a 32-bit running sum, cut towards zero, held at the limits.
int32_t add_trunc(int32_t s, double term) {
    const double v = std::trunc(static_cast<double>(s) + term);
    if (!(v == v)) return s;
    if (v >= 2147483647.0) return INT32_MAX;
    if (v <= -2147483648.0) return INT32_MIN;
    return static_cast<int32_t>(v);
}

// The second usage list counts IUSE3 under configuration code 320: ICONF
// 1..6 names an entry of the code table, any other value is the code itself.
bool uses_third(int16_t iconf) {
    const int16_t code = (iconf >= 1 && iconf <= 6) ? CONF_CODES[iconf - 1] : iconf;
    return code == USE3_CODE;
}

enum class Step { pivoted, flipped, dual_pivoted, to_dual, to_primal, solution, fail, stop };

class Simplex {
public:
    Simplex(State& st, const Args& ar) : s(st), a(ar), l(st.level), M(*ar.NROW), N(*ar.NCOL), N0(*ar.NCOL) {}
    void run();

private:
    State& s;
    const Args& a;
    const int l;
    int M, N;
    const int N0;
    bool primal_gave_up = false, dual_gave_up = false;
    // Work lists of the steps, kept for the whole call.
    struct Rec {
        int i, kind;
        double exact, size;
    };
    std::vector<char> in_range;
    std::vector<Rec> rec, kept;
    std::vector<int> cols, kept_cols;

    double& t(int i, int k) { return a.a(i, k); }
    int16_t& irow(int i) { return a.ITYPE[i - 1]; }
    int16_t& icol(int k) { return s.ICOL[k]; }
    double tol(int i, int k) { return s.tolel(i, k); }
    // Bound of the variable with positive label L.
    double ub(int L) { return s.CFACT[var_of(L) + 1]; }
    bool above_bound(int i) { return irow(i) > ZLAB && t(i, 1) / ub(irow(i)) > tol(i, 1) + 1.0; }
    bool infeasible_row(int i) { return t(i, 1) < -tol(i, 1) || above_bound(i); }
    bool any_infeasible() {
        for (int i = 2; i <= M; ++i)
            if (infeasible_row(i)) return true;
        return false;
    }

    void colrng() {
        kernel::Tableau tb{a.AMAT, LD_A, static_cast<int16_t>(M), static_cast<int16_t>(N), a.ITYPE, s.ICOL.data() + 1};
        kernel::Scales sc = s.scales();
        kernel::colrng(KC, tb, sc);
        s.scaled = true;
    }
    void pivot(int r, int c) {
        kernel::Tableau tb{a.AMAT, LD_A, static_cast<int16_t>(M), static_cast<int16_t>(N), a.ITYPE, s.ICOL.data() + 1};
        kernel::pivot(tb, r, c);
    }
    void remove_column(int k) {
        if (k != N) {
            for (int i = 1; i <= M; ++i) t(i, k) = t(i, N);
            icol(k) = icol(N);
            s.CNORM[k] = s.CNORM[N];
        }
        --N;
    }
    // Replaces an integer label by its partner, in the list of integer
    // labels too; false (code 6) when the list does not hold it.
    bool flip(int16_t& L) {
        const int p = var_of(L) + 1;
        if (L <= ZLAB || p > s.K || s.ICOLSV[p] != L) {
            s.NFLAB = printed(L);
            s.IERR = err::NOT_IN_ICOLSV;
            return false;
        }
        const int16_t d = L < CLAB ? FLIP : static_cast<int16_t>(-FLIP);
        L = static_cast<int16_t>(L + d);
        s.ICOLSV[p] = static_cast<int16_t>(s.ICOLSV[p] + d);
        return true;
    }

    // The first branch decision on label L was taken on an empty column.
    bool branched_empty(int L) const {
        for (int d = 2; d <= s.IDEPTH; ++d)
            if (s.IBRLAB[d] == L) return s.IBREMP[d] != 0;
        return false;
    }
    void remove_empty_columns();
    void reduced_values();
    void apply_branches();
    Step primal(bool noted);
    Step dual();
    Step bound_flip(int r, int c);
    bool count();
    void fail();
    void solution();
    bool resource_test(double z);
    void value();
    void print_values(double z, bool best);
};

// Integer columns without an entry in the constraint rows: the variable
// goes to its bound when its value is positive (a negative reduced cost),
// and stays at 0 otherwise, since taking it would gain nothing.  A column
// whose variable the search branches on because a rejected solution needed
// it (marked on the stack) stays for the branch decisions to fix.
// Tolerances are those of the last COLRNG call.
void Simplex::remove_empty_columns() {
    s.NITER = 0;
    s.NEMPTY = 0;
    s.NDROP = 0;
    s.rejected = false;
    double offset = 0.0;
    bool removed = false;
    for (int k = 2; k <= N;) {
        bool empty = icol(k) > ZLAB;
        for (int i = 2; i <= M && empty; ++i) empty = std::fabs(t(i, k)) <= tol(i, k);
        if (!empty || branched_empty(icol(k))) {
            ++k;
            continue;
        }
        if (!(t(1, k) < 0.0)) {
            s.IDROP[++s.NDROP] = icol(k);
        } else {
            s.IEMPTY[++s.NEMPTY] = icol(k);
            offset -= t(1, k) * s.CFACT[var_of(icol(k)) + 1];
        }
        remove_column(k);
        removed = true;
    }
    if (removed) {
        *a.NCOL = static_cast<int16_t>(N);
        t(1, 1) += offset;
    }
}

// Once per level, below the root of an all-integer problem: the reduced
// value of every variable against the root's row prices, for fixing.
void Simplex::reduced_values() {
    if (s.IDEPTH <= 1 || s.once != 0.0f || s.K < N0) return;
    s.once = 1.0f;
    for (int k = 2; k <= N; ++k) {
        const int v = var_of(icol(k));
        double sum = 0.0;
        for (int i = 2; i <= M; ++i) sum += t(i, k) * s.RFACT[i] * s.RPRICE[i];
        s.DVAL[v] = -s.CFACT[v + 1] * (t(1, k) * s.RFACT[1] + sum);
    }
}

// The branch decisions of the stack fix their variables at the bound
// (IBOTH 1, 2) or at 0 (IBOTH 0, 3); their columns leave the tableau.
void Simplex::apply_branches() {
    for (int d = s.IDEPTH; d >= 2; --d) {
        const int v = var_of(s.IBRLAB[d]);
        if (v >= 1 && v <= MAX_COL) s.FIXD[v] = static_cast<int16_t>(d);
    }
    for (int i = 1; i <= M; ++i) s.W[i] = 0.0;
    bool removed = false;
    for (int k = 2; k <= N;) {
        const int L = icol(k);
        const int d = L > ZLAB ? s.FIXD[var_of(L)] : 0;
        if (d == 0 || s.IBRLAB[d] != L) {
            ++k;
            continue;
        }
        if (s.IBOTH[d] == 1 || s.IBOTH[d] == 2) {
            const double u = s.CFACT[var_of(L) + 1];
            for (int i = 1; i <= M; ++i) s.W[i] += t(i, k) * u;
        }
        remove_column(k);
        removed = true;
    }
    if (removed) {
        for (int i = 1; i <= M; ++i) t(i, 1) -= s.W[i];
        *a.NCOL = static_cast<int16_t>(N);
    }
    for (int d = 2; d <= s.IDEPTH; ++d) {
        const int v = var_of(s.IBRLAB[d]);
        if (v >= 1 && v <= MAX_COL) s.FIXD[v] = 0;
    }
}

// One primal step: pricing, ratio test, bound flip or pivot.  `noted`: an
// infeasible row is known to stand in the tableau.
Step Simplex::primal(bool noted) {
    in_range.assign(M + 1, 0);
    bool any_in_range = false;
    for (int i = 2; i <= M; ++i) {
        in_range[i] = t(i, 1) >= -tol(i, 1) && (irow(i) <= ZLAB || t(i, 1) / ub(irow(i)) <= tol(i, 1) + 1.0);
        any_in_range = any_in_range || in_range[i];
    }
    int c = 0;
    double best = BIG;
    bool improving = false;
    for (int k = 2; k <= N; ++k) {
        if (!(t(1, k) < -tol(1, k))) continue;
        improving = true;
        bool eligible = false, blocked = false;
        for (int i = 2; i <= M && !eligible; ++i) {
            if (!in_range[i]) continue;
            const double p = t(i, k), b = t(i, 1);
            if (p > tol(i, k)) {
                blocked = true;
                eligible = p > TOLPIV || b < TOLPIV;
            } else if (irow(i) > ZLAB && -p > tol(i, k)) {
                blocked = true;
                eligible = -p > TOLPIV || ub(irow(i)) - b < TOLPIV;
            }
        }
        // An integer column that no row blocks goes to its bound.
        if (!blocked && icol(k) > ZLAB) eligible = true;
        if (eligible && t(1, k) / s.CNORM[k] < best) {
            best = t(1, k) / s.CNORM[k];
            c = k;
        }
    }
    if (c == 0) {
        if (improving && !any_in_range) {
            if (!noted || dual_gave_up) return Step::fail;
        } else if (!noted) {
            return Step::solution;
        } else if (dual_gave_up) {
            return Step::fail;
        }
        primal_gave_up = true;
        return Step::to_dual;
    }

    // Ratio test, first pass with relaxed ratios: rows that set a new
    // minimum of their kind are recorded in order.
    rec.clear();
    double min1 = BIG, min2 = BIG;
    for (int i = 2; i <= M; ++i) {
        if (!in_range[i]) continue;
        const double p = t(i, c), b = t(i, 1);
        if (p > tol(i, c) && (p > TOLPIV || b < TOLPIV)) {
            const double q = std::fabs((b + tol(i, 1)) / p);
            if (q < min1) min1 = q, rec.push_back({i, 1, 0.0, 0.0});
        } else if (irow(i) > ZLAB && -p > tol(i, c)) {
            const double u = ub(irow(i));
            if (-p > TOLPIV || u - b < TOLPIV) {
                const double q = std::fabs((tol(i, 1) + u - b) / (-p));
                if (q < min2) min2 = q, rec.push_back({i, 2, 0.0, 0.0});
            }
        }
    }
    if (rec.empty()) {
        if (icol(c) > ZLAB) return bound_flip(0, c);
        s.IERR = err::SIMPLEX_FAIL;
        return Step::stop;
    }
    // Second pass: exact ratios; third pass: the largest pivot among the
    // rows of nearly the largest scaled size.
    double smax[3] = {0.0, -BIG, -BIG};
    kept.clear();
    for (Rec r : rec) {
        const double p = t(r.i, c), b = t(r.i, 1);
        if (r.kind == 1) {
            r.exact = std::fabs(b / p);
            if (!(r.exact < min1)) continue;
            r.size = p / s.RNORM[r.i];
        } else {
            const double u = ub(irow(r.i));
            r.exact = std::fabs((u - b) / p);
            if (!(r.exact <= min2)) continue;
            r.size = std::fabs(u - p) / s.RNORM[r.i];
        }
        smax[r.kind] = std::max(smax[r.kind], r.size);
        kept.push_back(r);
    }
    const Rec* choice[3] = {nullptr, nullptr, nullptr};
    double amax[3] = {0.0, -BIG, -BIG};
    for (const Rec& r : kept) {
        if (!(r.size >= smax[r.kind] - tol(r.i, 1))) continue;
        const double p = t(r.i, c);
        const double mag = r.kind == 1 ? p : std::fabs(ub(irow(r.i)) - p);
        if (mag > amax[r.kind]) amax[r.kind] = mag, choice[r.kind] = &r;
    }
    Rec chosen;
    if (choice[1] && (!choice[2] || choice[1]->exact <= choice[2]->exact)) {
        chosen = *choice[1];
    } else if (choice[2]) {
        chosen = *choice[2];
    } else {
        // No exact ratio stayed below the relaxed minimum: the row that set it.
        chosen = rec.back();
        const double u = chosen.kind == 2 ? ub(irow(chosen.i)) : 0.0;
        chosen.exact = std::fabs((chosen.kind == 1 ? t(chosen.i, 1) : u - t(chosen.i, 1)) / t(chosen.i, c));
    }
    const int r = chosen.i;
    if (icol(c) > ZLAB && chosen.exact / ub(icol(c)) >= 1.0 - tol(r, 1)) return bound_flip(r, c);

    // The leaving variable goes to 0, or to its bound as its complement.
    const double b = std::max(t(r, 1), 0.0);
    if (chosen.kind == 1) {
        t(r, 1) = b;
    } else {
        t(r, 1) = b - ub(irow(r));
        for (int k = 1; k <= N; ++k) t(r, k) = -t(r, k);
        if (!flip(irow(r))) return Step::stop;
    }
    pivot(r, c);
    return Step::pivoted;
}

// The entering variable reaches its own bound first: it is replaced by its
// complement without a pivot (r = 0: no row limits it).
Step Simplex::bound_flip(int r, int c) {
    if (r > 0) t(r, 1) = std::max(t(r, 1), 0.0);
    const double u = ub(icol(c));
    for (int i = 1; i <= M; ++i) {
        t(i, 1) -= t(i, c) * u;
        t(i, c) = -t(i, c);
    }
    return flip(icol(c)) ? Step::flipped : Step::stop;
}

Step Simplex::dual() {
    bool dual_feasible = true;
    for (int k = 2; k <= N && dual_feasible; ++k)
        if (icol(k) >= -lbl::EQ && t(1, k) < -tol(1, k)) dual_feasible = false;
    // Basic integer variables above their bound become their complements.
    bool changed = false;
    for (int i = 2; i <= M; ++i) {
        if (!above_bound(i)) continue;
        t(i, 1) -= ub(irow(i));
        for (int k = 1; k <= N; ++k) t(i, k) = -t(i, k);
        if (!flip(irow(i))) return Step::stop;
        changed = true;
    }
    if (changed) colrng();
    // Leaving row: the most negative scaled value among rows with a usable pivot.
    int r = 0;
    bool proof = false;
    double best = BIG;
    for (int i = 2; i <= M; ++i) {
        if (!(t(i, 1) < -tol(i, 1))) continue;
        bool below = false, usable = false;
        for (int k = 2; k <= N && !usable; ++k) {
            if (t(i, k) < -tol(i, k)) {
                below = true;
                usable = t(i, k) < -TOLPIV;
            }
        }
        if (!below) {
            proof = true;
        } else if (usable && t(i, 1) / s.RNORM[i] < best) {
            best = t(i, 1) / s.RNORM[i];
            r = i;
        }
    }
    if (r == 0) {
        if (!proof && dual_feasible) return Step::solution;
        if (proof && dual_feasible) return Step::fail;
        if (primal_gave_up) return Step::fail;
        dual_gave_up = true;
        return Step::to_primal;
    }
    // Dual ratio test: relaxed, then exact, then the largest pivot.
    cols.clear();
    double rmax = -BIG;
    for (int k = 2; k <= N; ++k) {
        if (!(t(r, k) < -tol(r, k))) continue;
        const double q = (t(1, k) + tol(1, k)) / t(r, k);
        if (q > rmax) rmax = q, cols.push_back(k);
    }
    if (cols.empty()) {
        s.IERR = err::SIMPLEX_FAIL;
        return Step::stop;
    }
    double smax = -BIG;
    kept_cols.clear();
    for (int k : cols) {
        if (!(t(1, k) / t(r, k) > rmax)) continue;
        kept_cols.push_back(k);
        smax = std::max(smax, std::fabs(t(r, k)) / s.CNORM[k]);
    }
    int c = 0;
    double amax = -BIG;
    for (int k : kept_cols)
        if (std::fabs(t(r, k)) / s.CNORM[k] > smax - tol(r, k) && std::fabs(t(r, k)) > amax)
            amax = std::fabs(t(r, k)), c = k;
    if (c == 0) c = cols.back();
    pivot(r, c);
    return Step::dual_pivoted;
}

// Counts a pivot or bound flip; false at the iteration limit.
bool Simplex::count() {
    if (++s.NITER >= MAXIT) {
        s.pnt.write(fmt::lines::banner3(), {mark::LIMIT});
        s.IERR = err::NODE_INFEASIBLE;
        return false;
    }
    if (s.NITTOT < INT32_MAX) ++s.NITTOT;
    colrng();
    primal_gave_up = dual_gave_up = false;
    return true;
}

// No solution: below the root the branch is closed, at the root the level fails.
void Simplex::fail() {
    if (s.IDEPTH > 1) {
        s.IERR = err::NODE_INFEASIBLE;
        return;
    }
    s.pnt.write(fmt::lines::banner3(), {mark::NO_PIVOT});
    a.STATUS[l - 1] = err::STNONE;
    s.IERR = err::SIMPLEX_FAIL;
}

void Simplex::run() {
    remove_empty_columns();
    reduced_values();
    apply_branches();
    colrng();
    bool check = true, noted = false;
    for (;;) {
        Step st;
        if (check && any_infeasible()) {
            noted = true;
            st = dual();
        } else {
            st = primal(noted && !check);
        }
        // A hand-over runs the other side at once.
        if (st == Step::to_dual) st = dual();
        else if (st == Step::to_primal) st = primal(true);
        if (st == Step::to_dual || st == Step::to_primal) st = Step::fail;
        switch (st) {
        case Step::pivoted:
        case Step::flipped:
            if (!count()) return;
            check = true;
            break;
        case Step::dual_pivoted:
            if (!count()) return;
            check = false;
            noted = any_infeasible();
            break;
        case Step::solution: return solution();
        case Step::fail: return fail();
        default: return;  // IERR set
        }
    }
}

void Simplex::print_values(double z, bool best) {
    if (best) {
        s.pnt.write(sl::best(), {static_cast<int16_t>(l - 1)});
    } else {
        s.pnt.write(sl::optimal(), {});
    }
    s.pnt.write(sl::objective(), {z, s.NITER});
    s.pnt.write(sl::structural(), {});
    s.pnt.write(sl::index_list(), sl::count_list(1, N0 - 1));
    std::vector<fmt::Item> xs;
    for (int v = 1; v <= N0 - 1; ++v) xs.emplace_back(s.xlev(l, v));
    s.pnt.write(sl::value_list(), xs);
}

void Simplex::solution() {
    constexpr double e = TOLPIV;
    for (int v = 1; v <= N0 - 1; ++v) s.xlev(l, v) = 0.0;
    for (int i = 2; i <= M; ++i) {
        const int L = irow(i);
        if (L <= 0) continue;
        const double u = ub(L), b = t(i, 1);
        double x;
        if (L < CLAB) {
            x = std::fabs(b) / u - e > 0.0 ? b / u : 0.0;
            if (std::fabs(x - 1.0) - e <= 0.0) x = 1.0;
        } else {
            x = 1.0;
            if (std::fabs(b) / u - e > 0.0) {
                x = 1.0 - b / u;
                if (!(std::fabs(x) - e > 0.0)) x = 0.0;
            }
        }
        const int v = var_of(L);
        if (v >= 1 && v <= N0 - 1) s.xlev(l, v) = x;
    }
    for (int k = 2; k <= N; ++k)
        if (icol(k) > CLAB) s.xlev(l, icol(k) - CLAB) = 1.0;
    const double z = t(1, 1) * s.RFACT[1];
    if (s.IDEPTH == 1) {
        // Row prices of the root, for the reduced values below it.
        if (s.K >= N0)
            for (int k = 2; k <= N; ++k) {
                const int L = icol(k);
                if (L >= 0) continue;
                const int i = L > -lbl::EQ ? 1 - L : 1 - (L + lbl::EQ);
                if (i >= 1 && i <= LD_A) s.RPRICE[i] = t(1, k) * s.RFACT[1] * s.RFACT[i];
            }
        for (int v = 1; v <= N0 - 1; ++v) s.X[v] = s.xlev(l, v);
        s.ROOTV = z;
    }
    // Variables fixed outside the tableau.
    for (int n = 1; n <= s.NEMPTY; ++n) s.xlev(l, var_of(s.IEMPTY[n])) = 1.0;
    for (int d = 2; d <= s.IDEPTH; ++d) {
        const int L = s.IBRLAB[d], v = var_of(L);
        const bool at_bound = L < CLAB ? (s.IBOTH[d] == 1 || s.IBOTH[d] == 2) : (s.IBOTH[d] == 0 || s.IBOTH[d] == 3);
        if (at_bound && v >= 1 && v <= N0 - 1) s.xlev(l, v) = 1.0;
    }
    // Integrality of the variables that may be branched on.
    for (int v = 1; v <= s.K - 1; ++v) {
        const int p = v + 1;
        if (p > MAX_COL || s.KLAB[p] != ZLAB + v) {
            s.INTFL[l] = 0;
            s.OBJL[l] = z;
            s.pnt.write(fmt::lines::banner3(), {smark::LABEL_MISSING});
            s.IERR = err::SIMPLEX_FAIL;
            return;
        }
        const double x = s.xlev(l, v);
        if (s.KNOBRAN[p] == 0 && x != 0.0 && x != 1.0) {
            s.INTFL[l] = 0;
            s.OBJL[l] = z;
            print_values(z, false);
            return;
        }
    }
    if (s.NRES >= 1 && !resource_test(z)) return;
    value();
}

// Resource test of an integral solution; false when it is rejected (the
// rejection lines and the closing lines are then written).
bool Simplex::resource_test(double z) {
    const int K = s.K, nres = s.NRES;
    int u = 0;
    for (int j = 1; j <= nres; ++j) {
        if (a.TRCOST[j - 1] <= 0.0f) {
            s.RSHIFT[j] = 0.0f;
            continue;
        }
        ++u;
        const int v = K - 1 + u;
        const float tv = static_cast<float>(v <= N0 - 1 ? s.xlev(l, v) : 0.0);
        s.RSHIFT[j] = -tv;
        if (j > 1) s.RSHIFT[j - 1] += tv;
    }
    constexpr double f = 1.0 - TOLPIV;
    const bool third = uses_third(s.ICONF);
    int32_t s1 = 0, s2 = 0, s320 = 0;
    for (int j = 1; j <= nres; ++j) {
        float s3 = 0.0f;
        for (int v = 1; v <= K - 1; ++v) {
            const double x = s.xlev(l, v);
            if (x == 0.0) continue;
            const int p = v + 1;
            const int64_t at = Args::pl(p, l);
            double sign;
            float r;
            if (s.KIRESP[p] == j) {
                sign = 1.0;
                r = a.RUSE1[at];
            } else if (s.KIRESM[p] == j) {
                sign = -1.0;
                r = a.RUSE2[at];
            } else {
                continue;
            }
            s1 = add_trunc(s1, sign * (a.IUSE1[at] * f * x));
            s2 = add_trunc(s2, sign * (a.IUSE2[at] * f * x));
            s320 = add_trunc(s320, sign * (a.IUSE3[at] * f * x));
            s3 = static_cast<float>(s3 + r * f * x);
        }
        const float lim = a.RCAP[(j - 1) + MAX_RES * (l - 1)] + s.RSHIFT[j];
        const bool reject = s1 > s.ICAP1[j] || (lim <= 0.0f && s3 > 0.0f) || (lim > 0.0f && s3 > lim) ||
                            (third ? s320 : s2) > s.ICAP2[j];
        if (!reject) continue;
        s.INTFL[l] = 0;
        s.OBJL[l] = z;
        s.xlev(l, 1) = 0.37;
        s.rejected = true;
        s.pnt.write(fmt::lines::banner3(), {smark::REJECTED});
        s.pnt.write(sl::index_list(), sl::count_list(1, N0 - 1));
        std::vector<fmt::Item> xs;
        for (int v = 1; v <= N0 - 1; ++v) xs.emplace_back(s.xlev(l, v));
        s.pnt.write(sl::value_list(), xs);
        s.pnt.write(fmt::lines::status_line(), {static_cast<int16_t>(j), static_cast<int16_t>(l - 1), CONF_CODES[0],
                                                CONF_CODES[1], CONF_CODES[2], CONF_CODES[3], CONF_CODES[4],
                                                CONF_CODES[5]});
        s.pnt.write(fmt::lines::status_line(), {s1, s.ICAP1[j]});
        s.pnt.write(fmt::lines::status_line(), {s320, s.ICAP2[j]});
        s.pnt.write(sl::values8(), {static_cast<double>(s3), static_cast<double>(lim)});
        print_values(z, false);
        return false;
    }
    return true;
}

// Value of an integral solution that passed the test, by the host's values
// per unit; the u-th transfer variable is worth the transfer cost of the
// resource it serves, and a continuous column that serves none is valued
// like an integer column, so that the value is what the solution is worth
// in the same terms the simplex optimised.  A strictly better value is the
// level's new best.
void Simplex::value() {
    const int K = s.K;
    double sum = 0.0;
    for (int v = 1; v <= N0 - 1; ++v) {
        const double x = s.xlev(l, v);
        if (x == 0.0) continue;
        double per_unit = a.VALCOL[Args::pl(v + 1, l)];
        if (v >= K) {
            for (int j = 1, u = 0; j <= s.NRES; ++j) {
                if (a.TRCOST[j - 1] > 0.0f && ++u == v - K + 1) {
                    per_unit = a.TRCOST[j - 1];
                    break;
                }
            }
        }
        sum += x * per_unit;
    }
    const double zv = sum - s.LOFF[l];
    s.INTFL[l] = 1;
    s.OBJL[l] = zv;
    s.IERR = 0;
    const bool best = zv > s.BESTL[l];
    if (best) {
        s.BESTL[l] = zv;
        a.STATUS[l - 1] = zv;
        for (int v = 1; v <= N0 - 1; ++v) a.XBEST[(l - 1) + MAX_LEV * (v - 1)] = s.xlev(l, v);
    }
    print_values(zv, best);
}

}  // namespace

void simplx(State& s, const Args& a) {
    Simplex x(s, a);
    x.run();
}

}  // namespace kav::single
