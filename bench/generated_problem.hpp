// Generated decomposition problems of the benchmarks, and their solve
// through the entry of the statically linked core (call by call, as a host
// does).
//
// The simplex iteration limit counts the last fresh subproblem solve of a
// decomposition cycle together with every re-solve after a price change
// that follows it, of whatever subproblem.  The generated problem therefore
// keeps re-solves cheap: each subproblem is a set of small independent
// blocks, and the common rows reach it through a few columns only, so a new
// set of prices moves at most a few block solutions by one pivot each.
//
// Subproblem of NROW x NCOL with P = max(NCOL - NROW, 0) pair rows
// (maximised, profits 1..10 in steps of 1/4 in row 1 of both matrices):
//   rows 2..P+1   pair rows a*x(p) + b*x(q) <= c over columns 2..2P+1; the
//                 first two hold the 0-Z variables (columns 2..NZ+1) as
//                 z1 + z2 <= 1, whose vertices are all integral;
//   rows P+2..NROW-1  single-column bounds a*x(j) <= c on the columns
//                 2P+2..NCOL-1, taken in turn (with more rows than columns
//                 a column gets several bounds);
//   row NROW      type 0: weight variable (column NCOL) fixed to 1.
// The pair rows must fit in the rows (NCOL at most 2 NROW - 2), and three
// continuous columns are needed for the coupling; fits() tells.
// Coupling: 3 continuous columns per subproblem each use one of the NCR
// common resources; each resource gets about 40 % of what its users would
// take at zero prices, so the master prices are positive.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "entry.hpp"
#include "decomp_state.hpp"

namespace kav::bench {

constexpr int LDA = 2400, LDC = 400, LDL = 6, LDZ = 860, LD60 = 60;

struct Shape {
    int nsub, nrow, ncol, ncr, nz;
};

struct Data {
    Shape sh;
    std::vector<std::vector<double>> amat, acpl;  // per subproblem, column-major
    std::vector<int16_t> itype;
    std::vector<double> crval;
    std::vector<int16_t> itypcr;
};

// Null when the generator fits the shape and the library takes it, else
// what is wrong with it.
inline const char* fits(const Shape& sh) {
    if (sh.nsub < 1 || sh.nsub > 60) return "NSUB outside 1..60";
    if (sh.nrow < 3 || sh.nrow > LDA) return "NROW outside 3..2400";
    if (sh.ncr < 1 || sh.ncr + 2 > LDC) return "NCR outside 1..398";
    if (sh.ncr + 2 > sh.nrow) return "more coupling rows (NCR + 2) than NROW";
    if (sh.ncol > 2 * sh.nrow - 2) return "NCOL above 2 NROW - 2: the pair rows do not fit";
    const int npair = std::max(sh.ncol - sh.nrow, 0);
    if (sh.nz < 0 || sh.nz > 2 * npair || sh.nz >= LDZ) return "NZ outside 0..2 (NCOL - NROW) or above 859";
    if (sh.ncol < sh.nz + 5) return "NCOL below NZ + 5: three continuous columns are needed for the coupling";
    if (sh.nsub * sh.nz > 32767) return "more than 32767 0-Z variables";
    if (sh.nsub * (sh.ncol - 2) > 32767) return "more than 32767 result positions";
    return nullptr;
}

// The problem of a shape that fits() (an empty Data, sh.nsub 0, otherwise).
inline Data make_problem(const Shape& sh, unsigned seed = 7) {
    if (fits(sh) != nullptr) return Data{Shape{}, {}, {}, {}, {}, {}};
    std::mt19937 g(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    auto pick = [&](int lo, int hi) { return lo + static_cast<int>(u(g) * (hi - lo + 1)) % (hi - lo + 1); };
    auto quarter = [&](double lo, double hi) { return lo + std::round((hi - lo) * u(g) * 4.0) / 4.0; };
    Data d;
    d.sh = sh;
    const int nrow = sh.nrow, ncol = sh.ncol, npair = std::max(ncol - nrow, 0);
    const int nsingle = ncol - 2 - 2 * npair;  // columns with single-column bounds
    d.itype.assign(static_cast<size_t>(nrow), 1);
    d.itype[0] = 0;
    d.itype[static_cast<size_t>(nrow) - 1] = 0;
    constexpr int NCPLCOL = 3;
    std::vector<double> load(static_cast<size_t>(sh.ncr) + 2, 0.0);
    for (int k = 0; k < sh.nsub; ++k) {
        std::vector<double> a(static_cast<size_t>(LDA) * ncol, 0.0), c(static_cast<size_t>(LDC) * ncol, 0.0);
        auto A = [&](int i, int j) -> double& { return a[static_cast<size_t>(j - 1) * LDA + (i - 1)]; };
        auto C = [&](int i, int j) -> double& { return c[static_cast<size_t>(j - 1) * LDC + (i - 1)]; };
        std::vector<double> reach(static_cast<size_t>(ncol) + 1, 0.0);  // largest value of column j in its block
        for (int j = 2; j <= ncol - 1; ++j) {
            const double p = quarter(1.0, 10.0);
            A(1, j) = p;
            C(1, j) = p;
        }
        for (int t = 0; t < npair; ++t) {
            const int i = 2 + t, jp = 2 + 2 * t, jq = jp + 1;
            if (jq <= sh.nz + 1) {
                A(i, jp) = A(i, jq) = 1.0;
                A(i, 1) = 1.0;
            } else {
                A(i, jp) = quarter(1.0, 2.0);
                A(i, jq) = quarter(1.0, 2.0);
                A(i, 1) = quarter(4.0, 10.0);
            }
            reach[jp] = A(i, 1) / A(i, jp);
            reach[jq] = A(i, 1) / A(i, jq);
        }
        for (int i = 2 + npair; i <= nrow - 1; ++i) {
            const int j = 2 * npair + 2 + (i - 2 - npair) % nsingle;
            A(i, j) = quarter(1.0, 2.0);
            A(i, 1) = quarter(2.0, 8.0);
            const double r = A(i, 1) / A(i, j);
            if (reach[j] == 0.0 || r < reach[j]) reach[j] = r;
        }
        A(nrow, 1) = 1.0;
        A(nrow, ncol) = 1.0;
        std::vector<int> used;
        while (static_cast<int>(used.size()) < NCPLCOL) {
            const int j = pick(sh.nz + 2, ncol - 1);
            if (std::find(used.begin(), used.end(), j) != used.end()) continue;
            used.push_back(j);
            const int r = pick(2, sh.ncr + 1);
            C(r, j) = quarter(1.0, 2.0);
            load[static_cast<size_t>(r)] += C(r, j) * reach[j];
        }
        d.amat.push_back(std::move(a));
        d.acpl.push_back(std::move(c));
    }
    d.crval.assign(LDC, 0.0);
    d.itypcr.assign(LDC, 0);
    for (int r = 2; r <= sh.ncr + 1; ++r) {
        d.crval[static_cast<size_t>(r) - 1] = std::round(0.4 * load[static_cast<size_t>(r)] * 4.0) / 4.0;
        d.itypcr[static_cast<size_t>(r) - 1] = 1;
    }
    return d;
}

struct Outcome {
    double resv;
    int64_t sub_pivots, master_pivots;
    std::vector<int32_t> pivots_of;  // per subproblem (index K-1)
    bool proposals_full = false;     // some subproblem used all its proposal slots
};

// Hands the problem in call by call; the last call solves.  The hand-off
// files are written to the data directory ($KAV_DATA_DIR).
inline Outcome solve(const Data& d) {
    using namespace kav::decomp;
    const Shape& sh = d.sh;
    DecompState& s = state();
    int16_t nsub = static_cast<int16_t>(sh.nsub), ncrow = static_cast<int16_t>(sh.ncr + 2), kprob = 0;
    int16_t nrow = static_cast<int16_t>(sh.nrow), ncol = static_cast<int16_t>(sh.ncol);
    int16_t nzo = static_cast<int16_t>(sh.nz), nlevel = 0, iflag = 0, kcode = 501, ncres = 0;
    std::vector<int16_t> itype, itypcr = d.itypcr, ninc(LDL, 0), inccol(LDL, 0), incrow(LDL, 0);
    std::vector<double> crval = d.crval, dinc(LDL, 0.0), resv(LDL, 0.0),
                        xres(static_cast<size_t>(LDL) * sh.nsub * sh.ncol, 0.0);
    std::vector<double> zovd(LDZ * LDL, 1.0);
    std::vector<float> zovr(LDZ * LDL, 1.0f), rrl(LD60 * LDL), rrk(LD60), kr06(61);
    std::vector<int16_t> iza(static_cast<size_t>(sh.ncol), 0), kr2(61), ikr(LD60 * LD60), ika(LD60 * 6), irk(LD60);
    std::vector<int32_t> kr4(61), irl(LD60 * LDL);
    for (int k = 1; k <= sh.nsub; ++k) {
        itype = d.itype;
        // The entry only reads AMAT and ACPL: the host's arrays are passed as
        // they are (a copy would be the host's work, not the library's).
        double* amat = const_cast<double*>(d.amat[static_cast<size_t>(k) - 1].data());
        double* acpl = const_cast<double*>(d.acpl[static_cast<size_t>(k) - 1].data());
        kprob = static_cast<int16_t>(k);
        ncrow = static_cast<int16_t>(sh.ncr + 2);
        const Args a{&nsub, &ncrow, itypcr.data(), crval.data(), &kprob, &nrow, &ncol, &nzo, itype.data(),
                     amat, acpl, ninc.data(), &nlevel, inccol.data(), incrow.data(), dinc.data(),
                     resv.data(), xres.data(), zovd.data(), iza.data(), iza.data(), iza.data(), iza.data(),
                     kr4.data(), &iflag, &kcode, &ncres, irl.data(), irl.data(), irl.data(), rrl.data(),
                     rrl.data(), kr2.data(), kr2.data(), kr2.data(), kr2.data(), rrk.data(), rrk.data(),
                     rrk.data(), rrk.data(), irk.data(), irk.data(), irk.data(), irk.data(), irk.data(),
                     irk.data(), kr2.data(), ikr.data(), zovr.data(), kr4.data(), kr4.data(), kr4.data(),
                     kr2.data(), kr06.data(), kr4.data(), kr4.data(), kr4.data(), ika.data(), ika.data()};
        tarvexo(s, a);
    }
    Outcome o{resv[0], 0, s.ms.NITMAS, {}};
    for (int k = 1; k <= sh.nsub; ++k) {
        o.sub_pivots += s.sv.ITERK[k];
        o.pivots_of.push_back(s.sv.ITERK[k]);
        o.proposals_full = o.proposals_full || s.sv.NPROP[k] >= NSLOT;
    }
    return o;
}

}  // namespace kav::bench
