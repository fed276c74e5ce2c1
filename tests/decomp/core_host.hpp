// Test helpers of the driver tests: a host that calls the decomposition
// entry of the statically linked core on a fresh library state of its own,
// with the waits replaced by a no-op, and a generator of decomposition
// problems written by the host rules.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <random>
#include <string>
#include <vector>

#include "datadir.hpp"
#include "entry.hpp"
#include "host.hpp"
#include "lp_oracle.hpp"
#include "platform.hpp"
#include "state.hpp"

namespace kav::test {

// A fresh, zero-initialised library state (the store alone is ~420 MB of
// address space; only the pages a problem touches are ever backed).
class FreshState {
public:
    FreshState() {
        mem_ = std::calloc(1, sizeof(decomp::DecompState));
        if (mem_ == nullptr) std::abort();
        s_ = new (mem_) decomp::DecompState;
    }
    ~FreshState() {
        s_->~DecompState();
        std::free(mem_);
    }
    FreshState(const FreshState&) = delete;
    FreshState& operator=(const FreshState&) = delete;
    decomp::DecompState& operator*() { return *s_; }
    decomp::DecompState* operator->() { return s_; }

private:
    void* mem_;
    decomp::DecompState* s_;
};

inline void no_sleep(int32_t) {}

// Waits replaced by nothing while the object lives.
class NoSleep {
public:
    NoSleep() : old_(set_sleep_function(&no_sleep)) {}
    ~NoSleep() { set_sleep_function(old_); }

private:
    SleepFn old_;
};

// The argument arrays of the entry, filled from Problem/Sub like Host does,
// calling the core's entry directly.
class CoreHost {
public:
    explicit CoreHost(decomp::DecompState& s) : s_(s) {
        ITYPCR.assign(N_CROWS, 0);
        CRVAL.assign(N_CROWS, 0.0);
        RESV.assign(LD_LEV, 0.0);
        XRES.assign(static_cast<size_t>(LD_LEV) * XRES_COLS, 0.0);
        for (auto* v : {&KR16, &KR01, &KR02, &KR03, &KR07, &KR08, &KR09}) v->assign(N_PROB, 0);
        for (auto* v : {&KR17, &KR18, &KR19, &KR21, &KR20, &KR05}) v->assign(N_PROB, 0);
        KR06.assign(N_PROB, 0.0f);
        for (auto* v : {&IRL1, &IRL2, &IRL3}) v->assign(static_cast<size_t>(LD_60) * LD_LEV, 0);
        IKR.assign(static_cast<size_t>(LD_60) * LD_60, 0);
        IKA.assign(static_cast<size_t>(LD_60) * 6, 0);
        IKB.assign(static_cast<size_t>(LD_60) * 6, 0);
    }

    int16_t NSUB = 0, NCROW = 0, KPROB = 0, NROW = 0, NCOL = 0, NZO = 0, NLEVEL = 0;
    int16_t IFLAG = 0, KCODE = 0, NCRES = 0;
    std::vector<int16_t> ITYPCR, ITYPE, NINC, INCCOL, INCROW, IZA1, IZA2, IZA3, IZA4;
    std::vector<double> CRVAL, AMAT, ACPL, DINC, RESV, XRES, ZOVD;
    std::vector<int32_t> KR16, IRL1, IRL2, IRL3, KR01, KR02, KR03, KR07, KR08, KR09;
    std::vector<float> RRL1, RRL2, RRK1, RRK2, RRK3, RRK4, ZOVR, KR06;
    std::vector<int16_t> KR17, KR18, KR19, KR21, IRK1, IRK2, IRK3, IRK4, IRK5, IRK6, KR20, IKR, KR05, IKA, IKB;

    void call() {
        const decomp::Args a{&NSUB, &NCROW, ITYPCR.data(), CRVAL.data(), &KPROB, &NROW, &NCOL, &NZO,
                             ITYPE.data(), AMAT.data(), ACPL.data(), NINC.data(), &NLEVEL, INCCOL.data(),
                             INCROW.data(), DINC.data(), RESV.data(), XRES.data(), ZOVD.data(), IZA1.data(),
                             IZA2.data(), IZA3.data(), IZA4.data(), KR16.data(), &IFLAG, &KCODE, &NCRES,
                             IRL1.data(), IRL2.data(), IRL3.data(), RRL1.data(), RRL2.data(), KR17.data(),
                             KR18.data(), KR19.data(), KR21.data(), RRK1.data(), RRK2.data(), RRK3.data(),
                             RRK4.data(), IRK1.data(), IRK2.data(), IRK3.data(), IRK4.data(), IRK5.data(),
                             IRK6.data(), KR20.data(), IKR.data(), ZOVR.data(), KR01.data(), KR02.data(),
                             KR03.data(), KR05.data(), KR06.data(), KR07.data(), KR08.data(), KR09.data(),
                             IKA.data(), IKB.data()};
        decomp::tarvexo(s_, a);
    }

    void set_common(const Problem& p) {
        NSUB = p.nsub;
        NCRES = p.ncres;
        NLEVEL = p.nlevel;
        auto put = [](auto& dst, const auto& src) {
            for (size_t k = 0; k < src.size() && k < dst.size(); ++k) dst[k] = src[k];
        };
        put(KR01, p.kr01); put(KR02, p.kr02); put(KR03, p.kr03); put(KR05, p.kr05);
        put(KR06, p.kr06); put(KR07, p.kr07); put(KR08, p.kr08); put(KR09, p.kr09);
        put(KR16, p.kr16); put(KR17, p.kr17); put(KR18, p.kr18); put(KR19, p.kr19);
        put(KR20, p.kr20); put(KR21, p.kr21);
        for (size_t k = 0; k < p.ikr.size() && k < static_cast<size_t>(LD_60); ++k)
            for (size_t j = 0; j < 60; ++j) IKR[j * LD_60 + k] = p.ikr[k][j];
        for (size_t k = 0; k < p.ika.size() && k < static_cast<size_t>(LD_60); ++k)
            for (size_t i = 0; i < 6; ++i) IKA[i * LD_60 + k] = p.ika[k][i];
        for (size_t k = 0; k < p.ikb.size() && k < static_cast<size_t>(LD_60); ++k)
            for (size_t i = 0; i < 6; ++i) IKB[i * LD_60 + k] = p.ikb[k][i];
        for (size_t j = 0; j < p.irl1.size() && j < static_cast<size_t>(LD_60); ++j)
            for (size_t l = 0; l < 6; ++l) {
                IRL1[l * LD_60 + j] = p.irl1[j][l];
                if (j < p.irl2.size()) IRL2[l * LD_60 + j] = p.irl2[j][l];
                if (j < p.irl3.size()) IRL3[l * LD_60 + j] = p.irl3[j][l];
            }
        ITYPCR.assign(N_CROWS, 0);
        CRVAL.assign(N_CROWS, 0.0);
        for (size_t i = 0; i < p.itypcr.size() && i < ITYPCR.size(); ++i) ITYPCR[i] = p.itypcr[i];
        for (size_t i = 0; i < p.crval.size() && i < CRVAL.size(); ++i) CRVAL[i] = p.crval[i];
    }

    void set_sub(const Sub& s) {
        NROW = s.nrow;
        NCOL = s.ncol;
        NZO = s.nzo;
        NCROW = s.ncrow;
        KCODE = s.kcode;
        const size_t nr = static_cast<size_t>(s.nrow > 1 ? s.nrow : 1);
        const size_t nc = static_cast<size_t>(s.ncol > 1 ? s.ncol : 1);
        ITYPE.assign(nr, 0);
        for (size_t i = 0; i < s.type.size() && i < nr; ++i) ITYPE[i] = s.type[i];
        AMAT.assign(LD_AMAT * nc, 0.0);
        for (int i = 1; i <= s.nrow; ++i)
            for (int k = 1; k <= s.ncol; ++k)
                AMAT[(k - 1) * static_cast<size_t>(LD_AMAT) + (i - 1)] = s.a[(i - 1) * s.ncol + (k - 1)];
        ACPL.assign(LD_ACPL * nc, 0.0);
        for (int i = 1; i <= s.ncrow; ++i)
            for (int k = 1; k <= s.ncol; ++k)
                ACPL[(k - 1) * static_cast<size_t>(LD_ACPL) + (i - 1)] = s.cpl[(i - 1) * s.ncol + (k - 1)];
        for (auto* v : {&IZA1, &IZA2, &IZA3, &IZA4}) v->assign(nc, 0);
        ZOVD.assign(static_cast<size_t>(LD_ZO) * LD_LEV, 0.0);
        ZOVR.assign(static_cast<size_t>(LD_ZO) * LD_LEV, 0.0f);
        for (size_t k = 0; k < s.iza.size() && k < nc; ++k) {
            IZA1[k] = s.iza[k][0];
            IZA2[k] = s.iza[k][1];
            IZA3[k] = s.iza[k][2];
            IZA4[k] = s.iza[k][3];
        }
        for (size_t k = 0; k < s.zovd.size() && k < static_cast<size_t>(LD_ZO); ++k)
            for (size_t l = 0; l < 6; ++l) {
                ZOVD[l * LD_ZO + k] = s.zovd[k][l];
                if (k < s.zovr.size()) ZOVR[l * LD_ZO + k] = s.zovr[k][l];
            }
        size_t ninc_max = 1;
        for (const auto& v : s.inc) ninc_max = std::max(ninc_max, v.size());
        NINC.assign(LD_LEV, 0);
        INCCOL.assign(LD_LEV * ninc_max, 0);
        INCROW.assign(LD_LEV * ninc_max, 0);
        DINC.assign(LD_LEV * ninc_max, 0.0);
        for (size_t l = 0; l < 6; ++l) {
            NINC[l] = static_cast<int16_t>(s.inc[l].size());
            for (size_t i = 0; i < s.inc[l].size(); ++i) {
                INCCOL[i * LD_LEV + l] = s.inc[l][i].col;
                INCROW[i * LD_LEV + l] = s.inc[l][i].row;
                DINC[i * LD_LEV + l] = s.inc[l][i].d;
            }
        }
        std::vector<float>* rrk[4] = {&RRK1, &RRK2, &RRK3, &RRK4};
        std::vector<int16_t>* irk[6] = {&IRK1, &IRK2, &IRK3, &IRK4, &IRK5, &IRK6};
        for (int q = 0; q < 4; ++q) {
            rrk[q]->assign(N_RES, 0.0f);
            for (size_t j = 0; j < s.rrk[q].size() && j < static_cast<size_t>(N_RES); ++j) (*rrk[q])[j] = s.rrk[q][j];
        }
        for (int q = 0; q < 6; ++q) {
            irk[q]->assign(N_RES, 0);
            for (size_t j = 0; j < s.irk[q].size() && j < static_cast<size_t>(N_RES); ++j) (*irk[q])[j] = s.irk[q][j];
        }
        RRL1.assign(static_cast<size_t>(LD_60) * LD_LEV, 0.0f);
        RRL2.assign(static_cast<size_t>(LD_60) * LD_LEV, 0.0f);
        for (size_t j = 0; j < s.rrl1.size() && j < static_cast<size_t>(LD_60); ++j)
            for (size_t l = 0; l < 6; ++l) {
                RRL1[l * LD_60 + j] = s.rrl1[j][l];
                if (j < s.rrl2.size()) RRL2[l * LD_60 + j] = s.rrl2[j][l];
            }
    }

    // IFLAG 0 (or 1 for a rerun), KPROB 1..NSUB; the last call completes.
    void run(const Problem& p, int16_t iflag = 0) {
        set_common(p);
        for (int k = 1; k <= p.nsub; ++k) {
            set_sub(p.subs[k - 1]);
            NLEVEL = p.nlevel;
            IFLAG = iflag;
            KPROB = static_cast<int16_t>(k);
            call();
        }
    }

    double xres(int l, int j) const { return XRES[static_cast<size_t>(j - 1) * LD_LEV + (l - 1)]; }

private:
    decomp::DecompState& s_;
};

// ---- problems written by the host rules --------------------------------------

// One subproblem in plain form: maximise c.x subject to rows a.x <= b;
// variables 1..nz are 0-Z (bounded by the weight), the rest continuous.
struct PlainSub {
    int nz = 0;
    std::vector<double> c;                // per variable
    std::vector<std::vector<double>> a;   // own rows
    std::vector<double> b;
};

struct PlainProblem {
    std::vector<PlainSub> subs;
    std::vector<std::vector<std::vector<double>>> cpl;  // [row][sub][variable]
    std::vector<double> rhs;                            // per common row
    int16_t kcode = 501;
};

// Writes the plain problem as the host rules ask: columns (rhs, variables,
// weight), rows (profits, own rows, weight row of type 0), coupling rows
// (profits, common rows, a last row of zeros).
inline Problem to_host(const PlainProblem& pp, int seed) {
    Problem p;
    p.nsub = static_cast<int16_t>(pp.subs.size());
    p.ncres = 0;
    p.nlevel = 0;
    const int nc = static_cast<int>(pp.rhs.size());
    const int16_t ncrow = static_cast<int16_t>(nc + 2);
    for (size_t k = 0; k < pp.subs.size(); ++k) {
        const PlainSub& ps = pp.subs[k];
        const int nv = static_cast<int>(ps.c.size());
        const int16_t ncol = static_cast<int16_t>(nv + 2);
        const int16_t nrow = static_cast<int16_t>(ps.a.size() + 2);
        Sub s = Sub::sized(nrow, ncol, static_cast<int16_t>(ps.nz), ncrow, 0);
        s.kcode = pp.kcode;
        for (int v = 1; v <= nv; ++v) {
            s.A(1, v + 1) = ps.c[v - 1];
            s.C(1, v + 1) = ps.c[v - 1];
        }
        s.type[0] = 0;
        for (size_t r = 0; r < ps.a.size(); ++r) {
            const int i = static_cast<int>(r) + 2;
            s.type[i - 1] = 1;
            s.A(i, 1) = ps.b[r];
            for (int v = 1; v <= nv; ++v) s.A(i, v + 1) = ps.a[r][v - 1];
        }
        s.type[nrow - 1] = 0;
        s.A(nrow, 1) = 1.0;
        s.A(nrow, ncol) = 1.0;
        for (int r = 0; r < nc; ++r)
            for (int v = 1; v <= nv; ++v) s.C(r + 2, v + 1) = pp.cpl[r][k][v - 1];
        p.subs.push_back(std::move(s));
    }
    p.itypcr.assign(static_cast<size_t>(ncrow), 0);
    p.crval.assign(static_cast<size_t>(ncrow), 0.0);
    for (int r = 0; r < nc; ++r) {
        p.itypcr[r + 1] = 1;
        p.crval[r + 1] = pp.rhs[r];
    }
    p.fill_passthrough(seed);
    return p;
}

// The whole problem as one LP (integer = the 0-Z variables as binaries).
inline LpProblem to_lp(const PlainProblem& pp, bool integer) {
    LpProblem lp;
    std::vector<size_t> off;
    size_t n = 0;
    for (const auto& s : pp.subs) {
        off.push_back(n);
        n += s.c.size();
    }
    lp.c.assign(n, 0.0);
    lp.lb.assign(n, 0.0);
    lp.ub.assign(n, LP_INF);
    lp.integer.assign(n, false);
    for (size_t k = 0; k < pp.subs.size(); ++k) {
        const PlainSub& s = pp.subs[k];
        for (size_t v = 0; v < s.c.size(); ++v) {
            lp.c[off[k] + v] = s.c[v];
            if (static_cast<int>(v) < s.nz) {
                lp.ub[off[k] + v] = 1.0;
                lp.integer[off[k] + v] = integer;
            }
        }
        for (size_t r = 0; r < s.a.size(); ++r) {
            LpRow row{std::vector<double>(n, 0.0), 'L', s.b[r]};
            for (size_t v = 0; v < s.c.size(); ++v) row.a[off[k] + v] = s.a[r][v];
            lp.rows.push_back(std::move(row));
        }
    }
    for (size_t r = 0; r < pp.rhs.size(); ++r) {
        LpRow row{std::vector<double>(n, 0.0), 'L', pp.rhs[r]};
        for (size_t k = 0; k < pp.subs.size(); ++k)
            for (size_t v = 0; v < pp.subs[k].c.size(); ++v) row.a[off[k] + v] = pp.cpl[r][k][v];
        lp.rows.push_back(std::move(row));
    }
    return lp;
}

// A random problem: 2..6 subproblems, 1..4 common rows, 0-Z and continuous
// variables, nonnegative data (so every subproblem contains 0 and is bounded).
inline PlainProblem random_problem(std::mt19937& g) {
    auto uni = [&](int a, int b) { return std::uniform_int_distribution<int>(a, b)(g); };
    auto real = [&](double a, double b) { return std::uniform_real_distribution<double>(a, b)(g); };
    PlainProblem pp;
    const int nsub = uni(2, 6), nc = uni(1, 4);
    for (int k = 0; k < nsub; ++k) {
        PlainSub s;
        s.nz = uni(0, 3);
        const int nv = s.nz + uni(1, 3);
        for (int v = 0; v < nv; ++v) s.c.push_back(std::round(real(1.0, 10.0) * 4.0) / 4.0);
        // A subproblem has at least as many rows as the coupling matrix.
        const int nr = uni(nc, std::max(nc, 3));
        for (int r = 0; r < nr; ++r) {
            std::vector<double> row(nv);
            double sum = 0.0;
            for (int v = 0; v < nv; ++v) {
                row[v] = uni(0, 3) == 0 ? 0.0 : std::round(real(0.5, 5.0) * 4.0) / 4.0;
                sum += row[v];
            }
            s.a.push_back(row);
            s.b.push_back(std::round(real(0.3, 0.8) * (sum + 1.0) * 4.0) / 4.0 + 0.25);
        }
        // Every continuous variable bounded by some row.
        for (int v = s.nz; v < nv; ++v) {
            bool covered = false;
            for (const auto& row : s.a) covered = covered || row[v] > 0.0;
            if (!covered) s.a[0][v] = 1.0;
        }
        pp.subs.push_back(std::move(s));
    }
    pp.cpl.assign(nc, {});
    for (int r = 0; r < nc; ++r) {
        double sum = 0.0;
        for (int k = 0; k < nsub; ++k) {
            std::vector<double> row(pp.subs[k].c.size());
            for (auto& x : row) {
                x = uni(0, 2) == 0 ? 0.0 : std::round(real(0.5, 4.0) * 4.0) / 4.0;
                sum += x;
            }
            pp.cpl[r].push_back(row);
        }
        pp.rhs.push_back(std::round(real(0.15, 0.45) * (sum + 1.0) * 4.0) / 4.0 + 0.5);
    }
    return pp;
}

// Objective of a combined result vector and its largest row violation.
inline double objective_of(const LpProblem& lp, const std::vector<double>& x) {
    double z = 0.0;
    for (size_t j = 0; j < x.size(); ++j) z += lp.c[j] * x[j];
    return z;
}
inline double max_violation(const LpProblem& lp, const std::vector<double>& x) {
    double worst = 0.0;
    for (const auto& r : lp.rows) {
        double s = 0.0;
        for (size_t j = 0; j < x.size(); ++j) s += r.a[j] * x[j];
        worst = std::max(worst, s - r.rhs);
    }
    for (size_t j = 0; j < x.size(); ++j) {
        worst = std::max(worst, lp.lb[j] - x[j]);
        worst = std::max(worst, x[j] - lp.ub[j]);
    }
    return worst;
}

// The objective printed after the first "CONTINUOUS TOTAL SOLUTION COMPLETE".
inline bool continuous_objective(const std::string& pnt, double& obj) {
    size_t p = pnt.find("CONTINUOUS TOTAL SOLUTION COMPLETE");
    if (p == std::string::npos) return false;
    p = pnt.find("OBJECTIVE FUNCTION =", p);
    if (p == std::string::npos) return false;
    obj = std::strtod(pnt.c_str() + p + 20, nullptr);
    return true;
}

inline size_t count_of(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

}  // namespace kav::test
