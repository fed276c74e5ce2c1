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
#include "state.hpp"

namespace kav::decomp {

namespace {

constexpr double FRLOW = 0.1;
constexpr double FRHIGH = 0.9;

bool is_point(const SolverState& sv, int32_t k, int32_t lab) {
    for (int32_t j = 2; j <= sv.NBRPT; ++j)
        if (sv.IBPPRB[j] == k && sv.IBPVAR[j] == lab) return true;
    return false;
}

bool fixed_at_one(const SolverState& sv, int32_t j) {
    int32_t p = sv.IBPPRB[j];
    if (p < 1 || p > sv.NSUB) return false;
    return sv.IBPVAR[j] - 5000 <= sv.NZK[p] && (sv.IBOTH[j] == 1 || sv.IBOTH[j] == 2);
}

// Fill `excl` (indexed by 0-Z variable v of problem k) with the variables of
// k linked to a point fixed at 1.  False with IERR 5 when a point has no entry.
bool build_exclusions(DecompState& ds, int32_t k, std::vector<char>& excl) {
    SolverState& sv = ds.sv;
    const int32_t last = sv.NZOTOT + 1 > MAXZENT ? MAXZENT : sv.NZOTOT + 1;
    auto add = [&](int32_t lab) {
        int32_t v = lab - 5000;
        if (v >= 1 && v < static_cast<int32_t>(excl.size())) excl[v] = 1;
    };
    // Points of k itself: same-subproblem links.
    for (int32_t j = 2; j <= sv.NBRPT; ++j) {
        if (sv.IBPPRB[j] != k || !fixed_at_one(sv, j)) continue;
        int32_t f = find_zentry(ds, k, sv.IBPVAR[j]);
        if (f == 0) {
            sv.IERR = 5;
            return false;
        }
        for (int32_t g = 2; g <= last; ++g) {
            if (g == f || sv.ZPRB[g] != k) continue;
            bool linked = (sv.IZA1[f] == sv.IZA1[g] && sv.IZA3[f] == sv.IZA3[g]) ||
                          (sv.IZA2[f] == sv.IZA2[g] && sv.IZA4[f] == sv.IZA4[g]) ||
                          (sv.IZA1[f] == sv.IZA2[g] && sv.IZA3[f] == sv.IZA4[g] && sv.IZA1[g] == sv.IZA2[f] &&
                           sv.IZA4[f] == sv.IZA3[g]);
            if (linked) add(sv.ZLAB[g]);
        }
    }
    // Points of other problems: resource links.
    for (int32_t j = 2; j <= sv.NBRPT; ++j) {
        if (sv.IBPPRB[j] == k || !fixed_at_one(sv, j)) continue;
        int32_t f = find_zentry(ds, sv.IBPPRB[j], sv.IBPVAR[j]);
        if (f == 0) {
            sv.IERR = 5;
            return false;
        }
        const int16_t f1 = sv.IZA1[f], f2 = sv.IZA2[f];
        for (int32_t g = 2; g <= last; ++g) {
            if (sv.ZPRB[g] != k) continue;
            const int16_t g1 = sv.IZA1[g], g2 = sv.IZA2[g];
            bool linked = (f1 == g1 && f1 != 0) || (f1 == g2 && f1 != 0) || (f2 == g1 && f2 != 0) ||
                          (f2 == g2 && f2 != 0) || (f1 == 0 && f2 == 0 && g1 == 0 && g2 == 0);
            if (linked) add(sv.ZLAB[g]);
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

void select_branch(DecompState& ds) {
    SolverState& sv = ds.sv;
    DriverState& dv = ds.dv;
    const int32_t l = sv.LEVEL;
    if (sv.NBRPT < 1 || sv.NBRPT + 1 > BPMAX) {
        sv.IERR = 73;
        return;
    }
    for (int sweep = 1; sweep <= 2; ++sweep) {
        int32_t best_k = 0, best_lab = 0;
        double best = -sv.BIG;
        int32_t pos = 0;  // p(K)
        for (int32_t k = 1; k <= sv.NSUB; ++k) {
            const int32_t nz = sv.NZK[k];
            std::vector<char> excl(static_cast<size_t>(nz) + 1, 0);
            if (sweep == 1 && !build_exclusions(ds, k, excl)) return;
            for (int32_t v = 1; v <= nz; ++v) {
                const int32_t lab = 5000 + v;
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
                    sv.IERR = 65;
                    return;
                }
                double score = sv.ZOVD[d][l];
                float w = sv.ZOVR[d][l];
                if (sv.PRSW == 1 && w != 0.0f) score = sv.ZOVD[d][l] / w;
                score = score * x;
                if (score > best) {
                    best = score;
                    best_k = k;
                    best_lab = lab;
                }
            }
            pos += sv.NCK[k] - 2;
        }
        if (best_k != 0) {
            take(sv, best_k, best_lab);
            return;
        }
    }
    sv.IERR = 73;
}

}  // namespace kav::decomp
