// The proposal of a subproblem at the optimum of SIMPLX, and the 0-Z tail
// that follows the chosen 0-Z variables through their chain of resources.
//
// A proposal is the solution per unit of the weight variable; 0-Z values
// within TOLPIV of 0 or 1 are stored as exactly 0 or 1.  When every 0-Z
// value is 0 or 1 and the problem is of the first kind (KCODE <= 500), the
// chosen variables must form one chain: a start, members and closing legs
// matched by their attribute words, within the capacities of the resources
// they pass.  A proposal that fails is rejected (IREJ = 1).
//
// The tail takes positions and resource numbers from the hand-off data;
// a position outside the proposal is not stored, and a leg whose resource
// is outside 1..NCRES rejects the proposal.
#include <cmath>
#include <vector>

#include "errcodes.hpp"
#include "fmt.hpp"
#include "labels.hpp"
#include "lines.hpp"
#include "simplx.hpp"
#include "simplx_impl.hpp"

namespace kav::solver {

namespace sx {

namespace {

// The tail of one proposal: slot s of problem k with its objective z.
class Tail {
public:
    Tail(Run& x, int32_t slot, double z) : x_(x), s_(x.s), pb_(x.pb), k_(x.k), slot_(slot), z_(z) {}

    // Returns true when the proposal is accepted; z() is the objective.
    bool run();
    double z() const { return z_; }

private:
    Run& x_;
    SolverState& s_;
    const Problem& pb_;
    int32_t k_, slot_;
    double z_;

    double& prop(int32_t v) { return s_.PROPX[k_][slot_][v]; }
    // Stores a value at a proposal position named by the hand-off data.
    void put(int32_t v, double val) {
        if (v >= 1 && v <= x_.nck() - 1) prop(v) = val;
    }
    int32_t nzk() const { return pb_.NZK[k_]; }
    // First and last variable of a group, clamped to 1..NZK.
    void group(int32_t first, int32_t count, int32_t& lo, int32_t& hi) const {
        lo = first < 1 ? 1 : first;
        hi = first + count - 1;
        if (hi > nzk()) hi = nzk();
    }
};

bool Tail::run() {
    const int32_t l = s_.LEVEL;
    const int32_t nck = x_.nck();
    const int32_t kr17 = pb_.KR17[k_] < 0 ? 0 : pb_.KR17[k_];
    const int32_t kr18 = pb_.KR18[k_] < 0 ? 0 : pb_.KR18[k_];
    const int32_t kr19 = pb_.KR19[k_] < 0 ? 0 : pb_.KR19[k_];
    if (l < 1 || l > NLEV) return false;  // no values for this level
    const double acpl_t = s_.acpl(x_.ncrow(), nck);  // time offset of the coupling matrix

    // The first start with value 1.
    int32_t v = 0;
    {
        int32_t lo, hi;
        group(1, kr17, lo, hi);
        for (int32_t q = lo; q <= hi; ++q)
            if (s_.ZVAL[q] == 1.0) {
                v = q;
                break;
            }
    }
    if (v == 0) {
        // No start: only the last 0-Z variable may carry the proposal.
        const int32_t vl = nzk();
        if (vl < 1 || s_.ZVAL[vl] != 1.0) return false;
        const int32_t d = s_.ZENT[vl];
        if (!(pb_.IZA1[d] == 0 && pb_.IZA3[d] == 1 && pb_.IZA2[d] == 0 && pb_.IZA4[d] == 4)) return false;
        s_.ZVAL[vl] = 0.0;
        const float tp = static_cast<float>(static_cast<double>(pb_.ZOVR[d][l]) + acpl_t);
        put(nck - 2, tp);
        double z = pb_.ZOVD[d][l] - s_.PS[vl] + s_.acpl(1, nck) + static_cast<double>(tp) * s_.acpl(1, nck - 1);
        if (tp > 0.01f && pb_.PRSW == 1) z = z / static_cast<double>(tp);
        z_ = z;
        return true;
    }
    s_.ZVAL[v] = 0.0;
    int32_t d = s_.ZENT[v];
    double b = pb_.ZOVD[d][l] - s_.PS[v];
    float t = pb_.ZOVR[d][l];
    float wait = 0.0f;
    bool chain = false;
    int32_t d1 = 0, d2 = 0;  // the last two differences stored

    // Follow the legs: members, then closing legs.
    while (pb_.IZA4[d] == 2 || pb_.IZA4[d] == 3) {
        const bool member = pb_.IZA4[d] == 2;
        int32_t lo, hi;
        if (member)
            group(kr17 + 1, kr18, lo, hi);
        else
            group(kr17 + kr18 + 1, kr19, lo, hi);
        int32_t nv = 0, nd = 0;
        for (int32_t q = lo; q <= hi; ++q) {
            if (s_.ZVAL[q] != 1.0) continue;
            const int32_t e = s_.ZENT[q];
            if (pb_.IZA1[e] == pb_.IZA2[d] && pb_.IZA3[e] == pb_.IZA4[d]) {
                nv = q;
                nd = e;
                break;
            }
        }
        if (nv == 0) return false;
        s_.ZVAL[nv] = 0.0;
        const int32_t j = pb_.IZA1[nd];
        if (j < 1 || j > pb_.NCRES || j > MAXCRES) return false;
        if (pb_.IKR[k_][j] == 0) {
            const float cap = member ? pb_.RRK1[k_][j] : pb_.RRK4[k_][j];
            if (cap < 0.99f * t) return false;
        }
        const float e = member ? pb_.RRK3[k_][j] : pb_.RRK2[k_][j];
        const int32_t tpos = (member ? pb_.IRK5[k_][j] : pb_.IRK6[k_][j]) - 1;
        if (t >= e) {
            put(tpos, t);
        } else {
            put(tpos, e);
            wait = wait + (e - t);
            t = e;
        }
        t = t + pb_.ZOVR[nd][l];
        b = b + (pb_.ZOVD[nd][l] - s_.PS[nv]);
        // The two counts of the leg's resource at this level, as differences
        // from the problem's own base counts.
        // 32-bit differences, wrapping as 32-bit integers do.
        d1 = static_cast<int32_t>(static_cast<uint32_t>(pb_.IRL1[j][l]) - static_cast<uint32_t>(pb_.KR07[k_]));
        d2 = static_cast<int32_t>(static_cast<uint32_t>(pb_.IRL2[j][l]) - static_cast<uint32_t>(pb_.KR08[k_]));
        put((member ? pb_.IRK1[k_][j] : pb_.IRK2[k_][j]) - 1, static_cast<double>(d1));
        put((member ? pb_.IRK3[k_][j] : pb_.IRK4[k_][j]) - 1, static_cast<double>(d2));
        chain = true;
        d = nd;
    }
    // The chain is complete; other chosen variables are dropped.
    if (chain) {
        for (int32_t q = 1; q <= nzk(); ++q)
            if (s_.ZVAL[q] == 1.0) prop(q) = 0.0;
    }
    // Closing checks of time and counts.
    const float tp = static_cast<float>(static_cast<double>(t) + acpl_t);
    if (pb_.KR06[k_] < 0.99f * tp) return false;
    if (chain) {
        if (static_cast<double>(pb_.KR01[k_]) < (1.0 - s_.TOLPIV) * d1) return false;
        if (static_cast<double>(pb_.KR02[k_]) < (1.0 - s_.TOLPIV) * d2) return false;
    }
    put(nck - 2, tp);
    if (chain) put(nck - 3, wait);
    double z = b + s_.acpl(1, nck) + static_cast<double>(tp) * s_.acpl(1, nck - 1);
    if (chain) {
        const int32_t p0 = pb_.KR20[k_] - 1, p1 = pb_.KR20[k_] + pb_.KR21[k_] - 2;
        for (int32_t p = p0 < 1 ? 1 : p0; p <= p1 && p <= nck - 1; ++p)
            if (prop(p) != 0.0) z = z + prop(p) * s_.acpl(1, p + 1);
    }
    if (tp > 0.01f && pb_.PRSW == 1) z = z / static_cast<double>(tp);
    z_ = z;
    return true;
}

}  // namespace

void form_proposal(Run& x) {
    SolverState& s = x.s;
    const Problem& pb = x.pb;
    const int32_t k = x.k, nck = x.nck();
    s.IPHASE = -1;
    x.find_weight();
    const int32_t w = x.w;
    const double xw = w != 0 ? x.t(w, 1) : 0.0;
    if (xw == 0.0) {
        fail6(x, 0);
        return;
    }
    const int32_t slot = s.NPROP[k] + 1;
    if (slot < 1 || slot > NSLOT) {  // no free slot: nothing to offer
        s.IREJ = 1;
        return;
    }
    double* px = s.PROPX[k][slot];
    const double wscl = s.WSCL;
    for (int32_t v = 1; v <= nck - 1; ++v) px[v] = 0.0;
    for (int32_t i = 2; i <= s.M; ++i) {
        const int32_t l = s.IROW[i];
        if (i == w || l < 1) continue;
        const int32_t v = l >= lbl::ZC ? l - lbl::ZC : (l >= lbl::ZO ? l - lbl::ZO : l);
        if (v < 1 || v > nck - 1) continue;
        const double q = x.t(i, 1) * wscl / (xw * s.CSCL[k][v + 1]);
        if (l < lbl::ZC) {
            px[v] = std::fabs(q) <= s.TOLPIV ? 0.0 : (std::fabs(q - 1.0) <= s.TOLPIV ? 1.0 : q);
        } else {
            px[v] = std::fabs(q) <= s.TOLPIV ? 1.0 : (std::fabs(q - 1.0) <= s.TOLPIV ? 0.0 : 1.0 - q);
        }
    }
    px[nck - 1] = xw / wscl;
    for (int32_t j = 2; j <= s.N; ++j) {
        const int32_t v = s.ICOL[j] - lbl::ZC;
        if (s.ICOL[j] >= lbl::ZC && v >= 1 && v <= nck - 1) px[v] = 1.0;
    }
    double z = x.t(1, 1) * s.RSCL[k][1];
    for (int32_t n = 2; n <= s.NBRPT && n <= BPMAX; ++n) {
        const int32_t v = s.IBPVAR[n] - lbl::ZO;
        if (s.IBPPRB[n] == k && (s.IBOTH[n] == 1 || s.IBOTH[n] == 2) && v >= 1 && v <= nck - 1) px[v] = 1.0;
    }
    const int32_t nzk = pb.NZK[k] < MAXNZ ? pb.NZK[k] : MAXNZ;
    for (int32_t v = 1; v <= nzk; ++v) {
        double sum = 0.0;
        for (int32_t r = 2; r <= x.ncrow() - 1; ++r) sum += s.acpl(r, v + 1) * s.PIM[r];
        double p = s.OBJSCL * sum;
        if (pb.PRSW == 1) p = p * static_cast<double>(s.SFAC);
        s.PS[v] = p;
    }
    bool integral = true, anyone = false;
    for (int32_t v = 1; v <= nzk; ++v) {
        if (px[v] != 0.0 && px[v] != 1.0) {
            integral = false;
            break;
        }
        if (px[v] == 1.0) {
            int32_t d = 0;
            const int32_t last = pb.last_zentry();
            for (int32_t e = 2; e <= last; ++e)
                if (pb.ZPRB[e] == k && pb.ZLAB[e] == lbl::ZO + v) {
                    d = e;
                    break;
                }
            if (d == 0) {
                fail6(x, lbl::ZO + v);
                return;
            }
            s.ZENT[v] = static_cast<int16_t>(d);
            anyone = true;
        }
    }
    bool accepted = true;
    if (integral) {
        for (int32_t v = 1; v <= nzk; ++v) s.ZVAL[v] = px[v];
        if (anyone && pb.first_kind(k)) {
            Tail tail(x, slot, z);
            accepted = tail.run();
            z = tail.z();
        }
    }
    s.PROPZ[k][slot] = z;
    fmt::PrintUnit& p = x.ds.pnt;
    if (!accepted) {
        s.IREJ = 1;
        p.write(x.ds.pf.error_line(), {static_cast<int16_t>(k), err::LINE_TAIL_REJECTED});
        return;
    }
    if (s.PRTSW != 0) {
        if (x.ds.pf.proposal_level_line) p.write(fmt::lines::sens_level(), {static_cast<int16_t>(s.LEVEL - 1)});
        p.write(fmt::lines::optimal(), {static_cast<int16_t>(k)});
        p.write(fmt::lines::objective(), {z, s.NITER});
        p.write(fmt::lines::structural(), std::span<const fmt::Item>{});
        std::vector<fmt::Item> it;
        for (int32_t v = 1; v <= nck - 1; ++v) it.emplace_back(v);
        p.write(fmt::lines::index_list(), it);
        it.clear();
        for (int32_t v = 1; v <= nck - 1; ++v) it.emplace_back(px[v]);
        p.write(fmt::lines::value_list(), it);
    }
}

}  // namespace sx

void proposal(State& ds) {
    sx::Run x(ds, ds.sv.KCUR);
    ds.sv.IREJ = 0;
    ds.sv.IERR = 0;
    if (x.k < 1 || x.k > NPROB || x.nck() < 2 || x.nck() > ds.sv.ext.cols) {
        ds.sv.IERR = err::NOT_IN_ICOLSV;
        return;
    }
    ds.sv.WSCL = ds.sv.CSCL[x.k][x.nck()];
    sx::form_proposal(x);
}

}  // namespace kav::solver
