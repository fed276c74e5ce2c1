// SELECT: the next branching variable.  A 0-Z value at or beyond 0.1/0.9 is
// taken at once, otherwise the best score ZOVD (per ZOVR when PRSW = 1)
// times the value.  The first sweep leaves out variables already branched
// on, integral values and variables linked to a point fixed at 1; the
// second sweep leaves out only the variables already branched on.
//
// The exclusion list of the first sweep is kept in a list of its own, never
// in the branch-point slots behind NBRPT.

#include "select.hpp"

#include <vector>

#include "branch.hpp"
#include "errcodes.hpp"
#include "labels.hpp"
#include "family.hpp"

namespace kav::solver {

namespace {

constexpr double FRLOW = 0.1;
constexpr double FRHIGH = 0.9;

bool is_point(const SolverState& sv, int32_t k, int32_t lab) {
    for (int32_t j = 2; j <= sv.NBRPT; ++j)
        if (sv.IBPPRB[j] == k && sv.IBPVAR[j] == lab) return true;
    return false;
}

bool fixed_at_one(const State& ds, int32_t j) {
    const Problem& pb = ds.pb;
    const SolverState& sv = ds.sv;
    int32_t p = sv.IBPPRB[j];
    if (p < 1 || p > pb.NSUB) return false;
    return sv.IBPVAR[j] - lbl::ZO <= pb.NZK[p] && (sv.IBOTH[j] == 1 || sv.IBOTH[j] == 2);
}

// Fill `excl` (indexed by 0-Z variable v of problem k) with the variables of
// k linked to a point fixed at 1.  False with IERR 5 when a point has no entry.
bool build_exclusions(State& ds, int32_t k, std::vector<char>& excl) {
    const Problem& pb = ds.pb;
    SolverState& sv = ds.sv;
    const int32_t last = pb.last_zentry();
    auto add = [&](int32_t lab) {
        int32_t v = lab - lbl::ZO;
        if (v >= 1 && v < static_cast<int32_t>(excl.size())) excl[v] = 1;
    };
    // Points of k itself: same-subproblem links.
    for (int32_t j = 2; j <= sv.NBRPT; ++j) {
        if (sv.IBPPRB[j] != k || !fixed_at_one(ds, j)) continue;
        int32_t f = find_zentry(ds, k, sv.IBPVAR[j]);
        if (f == 0) {
            sv.IERR = err::SIMPLEX_FAIL;
            return false;
        }
        for (int32_t g = 2; g <= last; ++g) {
            if (g == f || pb.ZPRB[g] != k) continue;
            bool linked = (pb.IZA1[f] == pb.IZA1[g] && pb.IZA3[f] == pb.IZA3[g]) ||
                          (pb.IZA2[f] == pb.IZA2[g] && pb.IZA4[f] == pb.IZA4[g]) ||
                          (pb.IZA1[f] == pb.IZA2[g] && pb.IZA3[f] == pb.IZA4[g] && pb.IZA1[g] == pb.IZA2[f] &&
                           pb.IZA4[f] == pb.IZA3[g]);
            if (linked) add(pb.ZLAB[g]);
        }
    }
    // Points of other problems: resource links.
    for (int32_t j = 2; j <= sv.NBRPT; ++j) {
        if (sv.IBPPRB[j] == k || !fixed_at_one(ds, j)) continue;
        int32_t f = find_zentry(ds, sv.IBPPRB[j], sv.IBPVAR[j]);
        if (f == 0) {
            sv.IERR = err::SIMPLEX_FAIL;
            return false;
        }
        const int16_t f1 = pb.IZA1[f], f2 = pb.IZA2[f];
        for (int32_t g = 2; g <= last; ++g) {
            if (pb.ZPRB[g] != k) continue;
            const int16_t g1 = pb.IZA1[g], g2 = pb.IZA2[g];
            bool linked = (f1 == g1 && f1 != 0) || (f1 == g2 && f1 != 0) || (f2 == g1 && f2 != 0) ||
                          (f2 == g2 && f2 != 0) || (f1 == 0 && f2 == 0 && g1 == 0 && g2 == 0);
            if (linked) add(pb.ZLAB[g]);
        }
    }
    return true;
}

void take(SolverState& sv, int32_t k, int32_t lab) {
    int32_t s = sv.NBRPT + 1;
    sv.IBPPRB[s] = static_cast<int16_t>(k);
    sv.IBPVAR[s] = static_cast<int16_t>(lab);
    sv.IBOTH[s] = 1;
}

}  // namespace

void select_branch(State& ds) {
    const Problem& pb = ds.pb;
    SolverState& sv = ds.sv;
    MasterState& dv = ds.dv;
    const int32_t l = sv.LEVEL;
    if (sv.NBRPT < 1 || sv.NBRPT + 1 > BPMAX) {
        sv.IERR = err::NO_MAGNITUDE;
        return;
    }
    for (int sweep = 1; sweep <= 2; ++sweep) {
        int32_t best_k = 0, best_lab = 0;
        double best = -sv.BIG;
        int32_t pos = 0;  // p(K)
        for (int32_t k = 1; k <= pb.NSUB; ++k) {
            const int32_t nz = pb.NZK[k];
            std::vector<char> excl(static_cast<size_t>(nz) + 1, 0);
            if (sweep == 1 && !build_exclusions(ds, k, excl)) return;
            for (int32_t v = 1; v <= nz; ++v) {
                const int32_t lab = lbl::ZO + v;
                const double x = dv.xcur(l, pos + v);
                if (sweep == 1) {
                    if (x == 0.0 || x == 1.0 || excl[v] || is_point(sv, k, lab)) continue;
                } else if (is_point(sv, k, lab)) {
                    continue;
                }
                if (x >= FRHIGH || x <= FRLOW) {
                    take(sv, k, lab);
                    return;
                }
                int32_t d = find_zentry(ds, k, lab);
                if (d == 0) {
                    sv.IERR = err::SELECT_NOT_IN_LIST;
                    return;
                }
                double score = pb.ZOVD[d][l];
                float w = pb.ZOVR[d][l];
                if (pb.PRSW == 1 && w != 0.0f) score = pb.ZOVD[d][l] / w;
                score = score * x;
                if (score > best) {
                    best = score;
                    best_k = k;
                    best_lab = lab;
                }
            }
            pos += pb.NCK[k] - 2;
        }
        if (best_k != 0) {
            take(sv, best_k, best_lab);
            return;
        }
    }
    sv.IERR = err::NO_MAGNITUDE;
}

}  // namespace kav::solver
