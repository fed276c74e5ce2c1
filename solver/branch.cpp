// BRANCH: linked-pair and chain tests of a new branch point, and the reset
// of the master program that starts the decomposition of the node afresh.

#include "branch.hpp"

#include "errcodes.hpp"
#include "family.hpp"

namespace kav::solver {

namespace {

// Node words name common resources 1..NCRES; 0 (none) and anything outside
// that range take no part in the load and count tests.
bool node_ok(const State& ds, int32_t j) { return j >= 1 && j <= ds.pb.NCRES && j <= MAXCRES; }

int64_t irl(const int32_t (&a)[MAXCRES + 1][NLEV + 1], const State& ds, int32_t j) {
    return node_ok(ds, j) ? a[j][ds.sv.LEVEL] : 0;
}

struct Words {
    int16_t a1, a2, a3, a4;
};

Words words_of(const Problem& pb, int32_t d) { return {pb.IZA1[d], pb.IZA2[d], pb.IZA3[d], pb.IZA4[d]}; }

// Pair tests of two entries U (the new point) and W (an earlier point).
bool conflict(const Words& u, const Words& w, bool same) {
    if (same) {
        return (u.a1 == w.a1 && u.a3 == w.a3) || (u.a2 == w.a2 && u.a4 == w.a4) ||
               (w.a2 == u.a1 && u.a3 == w.a4 && u.a2 == w.a1 && u.a4 == w.a3);
    }
    return (w.a1 == u.a1 && u.a1 != 0) || (w.a2 == u.a1 && u.a1 != 0) || (u.a2 == w.a2 && u.a2 != 0) ||
           (u.a2 == w.a1 && (u.a2 != 0 || w.a2 == u.a1));
}

// Chain of two linked legs of problem p: load and count limits.
bool chain_conflict(const State& ds, int32_t p, int32_t du, int32_t dw) {
    const Problem& pb = ds.pb;
    const SolverState& sv = ds.sv;
    const Words u = words_of(pb, du), w = words_of(pb, dw);
    int32_t f, m, b, x, y, z;
    if (u.a2 == w.a1 && u.a4 == w.a3) {
        f = u.a1, m = u.a2, b = w.a2, x = u.a3, y = u.a4, z = w.a4;
    } else if (w.a2 == u.a1 && u.a3 == w.a4) {
        f = w.a1, m = w.a2, b = u.a2, x = w.a3, y = w.a4, z = u.a4;
    } else {
        return false;
    }
    const int32_t l = sv.LEVEL;
    float s = pb.ZOVR[du][l] + pb.ZOVR[dw][l];
    if (node_ok(ds, f)) {
        if (x == 2) s = s + pb.RRL1[p][f][l];
        else if (x == 3) s = s + pb.RRL2[p][f][l];
    }
    if (b == 0) {
        if (s > pb.KR06[p]) return true;
    } else if (node_ok(ds, b)) {
        if (z == 2 && pb.IKR[p][b] == 0 && s > pb.RRK3[p][b]) return true;
        if (z == 3 && pb.IKR[p][b] == 0 && s > pb.RRK4[p][b]) return true;
    }
    int64_t dd, ee;
    if ((x == 2 && y == 2 && z == 2) || (x == 3 && y == 3 && z == 3)) {
        dd = irl(pb.IRL1, ds, m) + irl(pb.IRL1, ds, f) + irl(pb.IRL1, ds, b);
        ee = irl(pb.IRL2, ds, m) + irl(pb.IRL2, ds, f) + irl(pb.IRL2, ds, b);
    } else if (x == 2 && y == 3 && z == 2) {
        int64_t f1 = irl(pb.IRL1, ds, f), m1 = irl(pb.IRL1, ds, m);
        int64_t f2 = irl(pb.IRL2, ds, f), m2 = irl(pb.IRL2, ds, m);
        dd = f1 > m1 ? f1 - m1 + irl(pb.IRL1, ds, b) : 0;
        ee = f2 > m2 ? f2 - m2 + irl(pb.IRL2, ds, b) : 0;
    } else {
        return false;
    }
    return dd > pb.KR01[p] || ee > pb.KR02[p];
}

}  // namespace

int32_t find_zentry(const State& ds, int32_t k, int32_t lab) {
    const Problem& pb = ds.pb;
    const int32_t last = pb.last_zentry();
    for (int32_t d = 2; d <= last; ++d)
        if (pb.ZPRB[d] == k && pb.ZLAB[d] == lab) return d;
    return 0;
}

void reset_master(State& ds) {
    const Problem& pb = ds.pb;
    SolverState& sv = ds.sv;
    MasterState& dv = ds.dv;
    for (int32_t k = 1; k <= NPROB; ++k) {
        sv.NPROP[k] = 0;
        sv.PIC[k] = 0.0;
        for (int32_t n = 0; n <= NSLOT; ++n) sv.LAMBDA[k][n] = 0.0;
    }
    for (int32_t i = 0; i <= LDC; ++i) sv.PIM[i] = 0.0;
    dv.tm(1, 1) = 0.0;
    for (int32_t i = 2; i <= pb.NSUB + 1; ++i) dv.tm(i, 1) = 1.0;
    for (int32_t i = pb.NSUB + 2; i <= dv.NROWM; ++i) dv.tm(i, 1) = sv.RHSC[i - pb.NSUB];
    for (int32_t i = 2; i <= dv.NROWM; ++i) dv.IROWM[i] = dv.IROWMS[i];
    dv.NCOLM = 1;
}

void branch(State& ds) {
    SolverState& sv = ds.sv;
    MasterState& dv = ds.dv;
    const int32_t o = sv.NBRPT;
    const int32_t p = sv.IBPPRB[o];
    sv.KCUR = static_cast<int16_t>(p);
    if (o > 2) {
        int32_t du = find_zentry(ds, p, sv.IBPVAR[o]);
        if (du == 0) {
            sv.IERR = err::BRANCH_NOT_IN_LIST;
            return;
        }
        for (int32_t k = 2; k <= o - 1; ++k) {
            if (sv.IBOTH[o] != 1 || (sv.IBOTH[k] != 1 && sv.IBOTH[k] != 2)) continue;
            int32_t dw = find_zentry(ds, sv.IBPPRB[k], sv.IBPVAR[k]);
            if (dw == 0) {
                sv.IERR = err::BRANCH_NOT_IN_LIST;
                return;
            }
            bool same = sv.IBPPRB[k] == p;
            if (conflict(words_of(ds.pb, du), words_of(ds.pb, dw), same) || (same && chain_conflict(ds, p, du, dw))) {
                dv.RCODE = RC_INFEASIBLE;
                return;
            }
        }
    }
    reset_master(ds);
    sv.IERR = 0;
}

}  // namespace kav::solver
