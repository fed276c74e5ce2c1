// Depth-first branch and bound of one level.  Every node is solved by the
// simplex from the level's saved tableau with the branch decisions of the
// stack; at a branch point both branches are solved, the better one is
// followed and the other kept on the stack for the way back.
#include <cmath>
#include <cstring>
#include <vector>

#include "errcodes.hpp"
#include "single_lines.hpp"
#include "single_state.hpp"

namespace kav::single {

void restore_level(State& s, const Args& a) {
    *a.NROW = s.m0;
    *a.NCOL = s.n0;
    for (int i = 1; i <= s.m0; ++i) a.ITYPE[i - 1] = s.IROW0[i];
    std::memcpy(&s.ICOL[1], &s.ICOL0[1], sizeof(int16_t) * static_cast<size_t>(s.n0));
    std::memcpy(&s.ICOLSV[1], &s.ICOLSV0[1], sizeof(int16_t) * static_cast<size_t>(s.n0));
    for (int k = 1; k <= s.n0; ++k)
        std::memcpy(&a.a(1, k), &s.t0(1, k), sizeof(double) * static_cast<size_t>(s.m0));
    s.IERR = 0;
}

namespace {

// Which solve a selection follows: its skip test and its error codes.
enum class Copy { root, first, second };

class Search {
public:
    Search(State& st, const Args& ar) : s(st), a(ar), l(st.level) {}
    bool run();

private:
    State& s;
    const Args& a;
    const int l;

    bool solve();
    bool select(Copy copy, int16_t& label, int16_t& empty);
    int16_t select_after_rejection(int16_t& empty);
    bool branch_point();
    bool backtrack();  // true: a saved branch is taken up; false: the level ends
    bool fixing_restart();
    void write_stack();
};

// One node from the saved tableau; false when the call ends.
bool Search::solve() {
    restore_level(s, a);
    simplx(s, a);
    if (s.IERR == err::NOT_IN_ICOLSV) {
        s.pnt.write(sl::not_found(), {s.NFLAB});
        s.quiet_end = true;
        return false;
    }
    return s.IERR != err::SIMPLEX_FAIL;
}

// The branching variable after a solve that was not integral: the basic
// integer variable with a fractional value and the largest value per unit.
// label = 0 when a rejected solution leaves nothing to branch on; empty = 1
// when the label comes from the empty-column lists.
bool Search::select(Copy copy, int16_t& label, int16_t& empty) {
    label = 0;
    empty = 0;
    if (s.rejected) {
        label = select_after_rejection(empty);
        return true;
    }
    static constexpr int16_t not_found[] = {code::NOT_FOUND_1, code::NOT_FOUND_2, code::NOT_FOUND_3},
                             none[] = {code::NONE_1, code::NONE_2, code::NONE_3};
    const int ci = static_cast<int>(copy);
    double best = -KC.big;
    for (int i = 2; i <= *a.NROW; ++i) {
        const int L = a.ITYPE[i - 1];
        if (L <= ZLAB) continue;
        const double x = a.a(i, 1);
        const int v = var_of(L);
        const double q = x / s.CFACT[v + 1];
        const bool whole = copy == Copy::root ? (std::fabs(x) <= s.tolel(i, 1) || q >= 1.0 - TOLPIV)
                                              : (std::fabs(q) <= TOLPIV || std::fabs(q - 1.0) <= TOLPIV);
        if (whole) continue;
        const int k = v + 1;
        if (k > s.K || s.KLAB[k] != ZLAB + v) {
            s.IERR = not_found[ci];
            return false;
        }
        if (s.KNOBRAN[k] == 1) continue;
        const double val = a.VALCOL[Args::pl(k, l)];
        if (val > best) {
            best = val;
            label = s.KLAB[k];
        }
    }
    if (label == 0) {
        if (copy == Copy::first) write_stack();
        s.IERR = none[ci];
        return false;
    }
    return true;
}

// Below a solution that failed the resource test every basic value is
// whole: branch on the free integer variable (not fixed by the stack, NOBRAN
// 0) with the largest value per unit, the lowest on a tie.  Variables of
// empty columns come last: their usage may be what the test rejects, and
// only a branch on them can try their other end.  0 when there is none.
int16_t Search::select_after_rejection(int16_t& empty) {
    enum : char { free_var, on_stack, in_empty };
    std::vector<char> kind(static_cast<size_t>(s.K) + 1, free_var);
    for (int n = 1; n <= s.NEMPTY; ++n) {
        const int v = var_of(s.IEMPTY[n]);
        if (v >= 1 && v < s.K) kind[v] = in_empty;
    }
    for (int n = 1; n <= s.NDROP; ++n) {
        const int v = var_of(s.IDROP[n]);
        if (v >= 1 && v < s.K) kind[v] = in_empty;
    }
    for (int d = 2; d <= s.IDEPTH; ++d) {
        const int v = var_of(s.IBRLAB[d]);
        if (v >= 1 && v < s.K) kind[v] = on_stack;
    }
    for (const char want : {free_var, in_empty}) {
        int16_t label = 0;
        double best = 0.0;
        for (int v = 1; v <= s.K - 1; ++v) {
            if (kind[v] != want || s.KNOBRAN[v + 1] != 0) continue;
            const double val = a.VALCOL[Args::pl(v + 1, l)];
            if (label == 0 || val > best) {
                best = val;
                label = static_cast<int16_t>(ZLAB + v);
            }
        }
        if (label != 0) {
            empty = want == in_empty ? 1 : 0;
            return label;
        }
    }
    return 0;
}

// The stack before the code of a first branch without a candidate.
void Search::write_stack() {
    for (int d = 2; d <= s.IDEPTH; ++d)
        s.pnt.write(fmt::lines::status_line(), {static_cast<int16_t>(d - 1), printed(s.IBRLAB[d]), s.IBOTH[d],
                                                s.ISVCOD[d], s.BPINT[d], printed(s.ALTV[d - 1])});
    s.pnt.write(fmt::lines::status_line(), {printed(s.ALTV[s.IDEPTH])});
}

// Solves both branches of the point at the current depth and goes on with
// the better; false when the call ends.
bool Search::branch_point() {
    const int D = s.IDEPTH;
    Branch* side[2] = {&s.b1, &s.b2};
    for (int j = 0; j < 2; ++j) {
        Branch& b = *side[j];
        s.IBOTH[D] = static_cast<int16_t>(1 - j);
        if (j == 0) s.b1.label = s.b2.label = 0;
        if (!solve()) return false;
        b.code = s.IERR;
        b.intfl = s.INTFL[l];
        b.value = s.OBJL[l];
        b.label = 0;
        b.empty = 0;
        if (b.code != err::NODE_INFEASIBLE && b.intfl == 0) {
            if (!select(j == 0 ? Copy::first : Copy::second, b.label, b.empty)) return false;
            // A rejected solution with nothing left to branch on needs no search.
            if (b.label == 0) b.code = err::NODE_INFEASIBLE;
        }
    }
    const Branch &b1 = s.b1, &b2 = s.b2;
    bool first = true, closed = false;
    if (b1.code == 0 && b2.code == 0) first = b1.value > b2.value;
    else if (b1.code == err::NODE_INFEASIBLE && b2.code == 0) first = false;
    else if (!(b1.code == 0 && b2.code == err::NODE_INFEASIBLE)) closed = true;  // neither branch can be searched
    const Branch& go = first ? b1 : b2;
    const Branch& other = first ? b2 : b1;
    s.INTFL[l] = go.intfl;
    s.OBJL[l] = go.value;
    s.IBOTH[D] = first ? 1 : 0;
    if (other.code == 0) {
        s.ISVCOD[D] = other.code;
        s.BPINT[D] = other.intfl;
        s.BPOBJ[D] = other.value;
        s.ALTV[D] = other.label;
        s.ALTEMP[D] = other.empty;
    } else {
        s.ISVCOD[D] = 7;
        s.BPINT[D] = 0;
        s.BPOBJ[D] = 0.0;
        s.ALTV[D] = 0;
        s.ALTEMP[D] = 0;
    }
    s.IBRLAB[D + 1] = go.label;
    s.IBREMP[D + 1] = go.empty;
    if (closed) s.DONEL[l] = 1.0f;
    s.pnt.write(fmt::lines::banner3(), {});
    s.pnt.write(sl::bp_increased(), {static_cast<int16_t>(D - 1), printed(s.IBRLAB[D]), s.IBOTH[D]});
    return true;
}

bool Search::backtrack() {
    for (;;) {
        int D = s.IDEPTH;
        if (D == 1) return false;
        s.pnt.write(sl::caused(), {s.NITER});
        s.DONEL[l] = 0.0f;
        while (s.IBOTH[D] >= 2) {
            s.IDEPTH = static_cast<int16_t>(--D);
            s.pnt.write(sl::bp_decreased(), {static_cast<int16_t>(D - 1), printed(s.IBRLAB[D])});
            if (s.IBRLAB[D] == 0) return false;
        }
        s.IBOTH[D] = static_cast<int16_t>(s.IBOTH[D] + 2);
        s.pnt.write(sl::bp_changed(), {static_cast<int16_t>(D - 1), printed(s.IBRLAB[D]), s.IBOTH[D]});
        if (s.ISVCOD[D] == 0 && s.BPINT[D] == 0) {
            s.INTFL[l] = 0;
            s.OBJL[l] = s.BPOBJ[D];
            s.IBRLAB[D + 1] = s.ALTV[D];
            s.IBREMP[D + 1] = s.ALTEMP[D];
            return true;
        }
        s.DONEL[l] = 1.0f;
    }
}

// After a branch point whose solution is the level's best, the 0-1
// variables whose root reduced value shows that the other end of their
// range cannot improve on it are fixed there, and the level is solved again
// as a root under these fixings.
bool Search::fixing_restart() {
    if (s.K < s.n0) return false;
    const double best = s.BESTL[l];
    if (!((s.b1.intfl == 1 && s.b1.value == best) || (s.b2.intfl == 1 && s.b2.value == best))) return false;
    const double gap = best - s.ROOTV;
    std::vector<char> empty(static_cast<size_t>(s.n0) + 1, 0);
    for (int n = 1; n <= s.NEMPTY; ++n) {
        const int v = var_of(s.IEMPTY[n]);
        if (v >= 1 && v < s.n0) empty[v] = 1;
    }
    int n = 1;
    bool changed = false;
    for (int v = 1; v <= s.n0 - 1; ++v) {
        // A variable that is never branched on may end between 0 and its
        // bound, which the reduced value at the bound does not rule out.
        if (s.KNOBRAN[v + 1] != 0) continue;
        int16_t both = 0;
        if (s.X[v] == 0.0 && gap > s.DVAL[v]) both = 3;
        if (s.X[v] == 1.0 && !empty[v] && gap > -s.DVAL[v]) both = 2;
        if (both == 0) continue;
        ++n;
        s.IFXLAB[n] = static_cast<int16_t>(ZLAB + v);
        s.IFXBTH[n] = both;
        if (s.IBRLAB[n] != s.IFXLAB[n] || s.IBOTH[n] != both) changed = true;
    }
    if (!changed || !(n - 1 > 0.1 * (s.n0 - 1))) return false;
    for (int d = 2; d <= n; ++d) {
        s.IBRLAB[d] = s.IFXLAB[d];
        s.IBOTH[d] = s.IFXBTH[d];
        s.IBREMP[d] = 0;  // an empty column fixed here is removed as empty, as before
    }
    s.IDEPTH = static_cast<int16_t>(n);
    s.DONEL[l] = 0.0f;
    return true;
}

bool Search::run() {
    enum class At { root, node, push, back };
    s.IDEPTH = 1;
    s.IBRLAB[1] = 0;
    s.NBRPT = 0;
    At at = At::root;
    for (;;) {
        switch (at) {
        case At::root: {
            if (!solve()) return false;
            at = At::node;
            if (s.IERR == err::NODE_INFEASIBLE) {
                s.DONEL[l] = 1.0f;
                at = At::back;
            } else if (s.INTFL[l] == 0) {
                int16_t label = 0, empty = 0;
                if (!select(Copy::root, label, empty)) return false;
                if (label == 0) {
                    s.DONEL[l] = 1.0f;
                    at = At::back;
                } else {
                    s.IBRLAB[s.IDEPTH + 1] = label;
                    s.IBREMP[s.IDEPTH + 1] = empty;
                }
            }
            break;
        }
        case At::node:
            if (s.INTFL[l] == 1 || s.BESTL[l] >= s.OBJL[l]) s.DONEL[l] = 1.0f;
            if (fixing_restart()) at = At::root;
            else at = s.DONEL[l] == 0.0f ? At::push : At::back;
            break;
        case At::push:
            if (s.IDEPTH + 1 > MAX_DEPTH - 1) {
                s.DONEL[l] = 1.0f;
                at = At::back;
                break;
            }
            if (s.NBRPT >= MAXBP) {
                // The level ends with what it has found; the code is
                // printed here, since the next level follows.
                s.pnt.write(fmt::lines::banner3(), {mark::LIMIT});
                s.pnt.write(sl::error(), {code::BP_LIMIT});
                return true;
            }
            ++s.NBRPT;
            ++s.IDEPTH;
            s.IBOTH[s.IDEPTH] = 1;
            if (!branch_point()) return false;
            at = At::node;
            break;
        case At::back:
            if (!backtrack()) return true;
            at = At::node;
            break;
        }
    }
}

}  // namespace

bool search_level(State& s, const Args& a) {
    Search x(s, a);
    return x.run();
}

}  // namespace kav::single
