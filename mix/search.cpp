// Depth-first branch and bound over the integer variables of the allocation
// problem.  Every node is solved afresh from the saved start state.
#include <cmath>

#include "lines.hpp"
#include "mix_state.hpp"

namespace kav::mix {

namespace {

using fmt::Format;

constexpr double INTTOL = 0.007;
constexpr double BIG = 1e300;

const Format F_INC("(/25HBRANCH POINT INCREASED TO,I6,17H PROBLEM VARIABLE,I6,6H BOUND,I6,6H IBOTH,I3/)");
const Format F_CLOSED(
    "(/20HPROBLEM AT ITERATION,I6,58H CAUSED TOTAL SOLUTION TO BE INTEGER, < BIG, OR INFEASIBLE/)");
const Format F_DEC("(/25HBRANCH POINT DECREASED TO,I6,17H PROBLEM VARIABLE,I6/)");
const Format F_CHG("(/12HBRANCH POINT,I6,28H CHANGED TO PROBLEM VARIABLE,I6,6H BOUND,I6,6H IBOTH,I6/)");
const Format F_NONE("(/21HNO 0-1 SOLUTION FOUND/)");


struct Search {
    MixState& s;
    const Args& a;
    int16_t m = 0, n = 0;

    // Every node starts from the saved tableau and labels.
    int16_t solve() {
        m = s.m0;
        n = s.n0;
        for (int32_t j = 1; j <= n; ++j)
            for (int32_t i = 1; i <= m; ++i) s.t(i, j) = s.T0[(j - 1) * static_cast<size_t>(LD) + (i - 1)];
        s.IROW = s.IROW0;
        s.ICOL = s.ICOL0;
        s.ICOLSV = s.ICOL0;
        s.IERR = 0;
        simplx(s, a, m, n);
        return s.IERR;
    }

    // Solves the node; a solution refused for a group limit adds the
    // group's row and the node is solved again (once per group at most).
    int16_t solve_node() {
        int16_t c;
        while ((c = solve()) == mcode::AGAIN) {
        }
        return c;
    }

    // Codes that end the call (anything but a solve and a closed branch).
    static bool ends(int16_t c) { return c != 0 && c != mcode::CLOSED; }

    // Chooses the fractional integer variable of highest value; 0 or the code.
    int16_t select(int16_t notfound, int16_t nocand, int16_t& lab, int16_t& bnd) {
        double best = -BIG;
        const int32_t last = s.n0 - *a.NITEM;
        for (int32_t i = 2; i <= m; ++i) {
            const int16_t l = s.IROW[i - 1];
            if (l < lbl::ZO) continue;
            const double q = s.t(i, 1);
            const int16_t nn = trunc16(q);
            // After a rounding that broke a row only the variables that
            // broke it are candidates, however close to integral they are.
            if (s.ROUNDX ? !s.ROUNDC[l - lbl::ZO - 1]
                         : std::abs(q - nn) <= INTTOL || std::abs(q - 1 - nn) <= INTTOL)
                continue;
            int32_t k = 0;
            for (int32_t kk = 2; kk <= last; ++kk)
                if (s.IVAR[kk - 2] == l) {
                    k = kk;
                    break;
                }
            if (k == 0) return notfound;
            if (a.VALVAR[k - 1] > best) best = a.VALVAR[k - 1], lab = l, bnd = nn;
        }
        return best == -BIG ? nocand : 0;
    }

    int16_t run();
};

int16_t Search::run() {
    double donel = 0.0;
    s.IDEPTH = 1;
    s.IBRLAB[1] = 0;
    int16_t c = solve_node();
    if (ends(c)) return c;
    if (c == mcode::CLOSED) donel = 1.0;
    else if (s.INTFL == 0 && (c = select(mcode::NOT_FOUND_ROOT, mcode::NONE_ROOT, s.IBRLAB[2], s.IBRBND[2])) != 0)
        return c;
    bool backtrack = donel == 1.0;
    for (;;) {
        if (!backtrack) {
            // Node step.
            if (s.INTFL == 1 || s.BESTZ >= s.OBJL) donel = 1.0;
            if (donel == 0.0) {
                if (s.IDEPTH + 1 > MAXLAB) return ERR_EXTENT;
                const int32_t d = ++s.IDEPTH;
                int16_t l1 = 0, b1 = 0, l2 = 0, b2 = 0;
                s.IBOTH[d] = 1;
                const int16_t c1 = solve_node();
                if (ends(c1)) return c1;
                if (c1 != mcode::CLOSED && s.INTFL == 0 && (c = select(mcode::NOT_FOUND_UP, mcode::NONE_UP, l1, b1)) != 0)
                    return c;
                const int16_t f1 = s.INTFL;
                const double v1 = s.OBJL;
                s.IBOTH[d] = 0;
                const int16_t c2 = solve_node();
                if (ends(c2)) return c2;
                if (c2 != mcode::CLOSED && s.INTFL == 0 && (c = select(mcode::NOT_FOUND_DOWN, mcode::NONE_DOWN, l2, b2)) != 0)
                    return c;
                const int16_t f2 = s.INTFL;
                const double v2 = s.OBJL;
                if (c1 == 0 && (c2 != 0 || v1 > v2)) {
                    s.INTFL = f1, s.OBJL = v1, s.IBOTH[d] = 1;
                    s.ISVCOD[d] = c2, s.BPINT[d] = c2 == 0 ? f2 : 0, s.BPOBJ[d] = c2 == 0 ? v2 : 0.0;
                    s.ALTV[d] = c2 == 0 ? l2 : 0, s.ISVBND[d] = c2 == 0 ? b2 : 0;
                    s.IBRLAB[d + 1] = l1, s.IBRBND[d + 1] = b1;
                } else if (c2 == 0) {
                    s.INTFL = f2, s.OBJL = v2, s.IBOTH[d] = 0;
                    s.ISVCOD[d] = c1, s.BPINT[d] = c1 == 0 ? f1 : 0, s.BPOBJ[d] = c1 == 0 ? v1 : 0.0;
                    s.ALTV[d] = c1 == 0 ? l1 : 0, s.ISVBND[d] = c1 == 0 ? b1 : 0;
                    s.IBRLAB[d + 1] = l2, s.IBRBND[d + 1] = b2;
                } else {
                    // Neither branch offers a solution: the node is closed.
                    s.IBOTH[d] = 1;
                    s.ISVCOD[d] = 6, s.BPINT[d] = 0, s.BPOBJ[d] = 0.0, s.ALTV[d] = 0, s.ISVBND[d] = 0;
                    s.unit8.write(fmt::lines::banner3(), {});
                    s.unit8.write(F_INC, {int32_t{d - 1}, s.IBRLAB[d], s.IBRBND[d], s.IBOTH[d]});
                    backtrack = true;
                    continue;
                }
                s.unit8.write(fmt::lines::banner3(), {});
                s.unit8.write(F_INC, {int32_t{d - 1}, s.IBRLAB[d], s.IBRBND[d], s.IBOTH[d]});
                continue;
            }
        }
        // Backtracking.
        backtrack = false;
        int32_t d = s.IDEPTH;
        if (d == 1) return 0;
        s.unit8.write(F_CLOSED, {s.NITER});
        donel = 0.0;
        while (s.IBOTH[d] >= 2) {
            s.IDEPTH = static_cast<int16_t>(--d);
            s.unit8.write(F_DEC, {int32_t{d - 1}, s.IBRLAB[d]});
            if (s.IBRLAB[d] == 0) return 0;
        }
        s.IBOTH[d] = static_cast<int16_t>(s.IBOTH[d] + 2);
        s.unit8.write(F_CHG, {int32_t{d - 1}, s.IBRLAB[d], s.IBRBND[d], s.IBOTH[d]});
        if (s.ISVCOD[d] == 0 && s.BPINT[d] == 0) {
            s.INTFL = 0;
            s.OBJL = s.BPOBJ[d];
            s.IBRLAB[d + 1] = s.ALTV[d];
            s.IBRBND[d + 1] = s.ISVBND[d];
        } else {
            donel = 1.0;
            backtrack = true;
        }
    }
}

}  // namespace

int16_t search(MixState& s, const Args& a) {
    Search x{s, a};
    const int16_t code = x.run();
    if (code == 0 && !s.taken) s.unit8.write(F_NONE, {});
    return code;
}

}  // namespace kav::mix
