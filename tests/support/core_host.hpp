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
#include "decomp_state.hpp"

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

// The state a CoreHost's calls run on (the entry function is a plain
// function pointer, so it finds its state here).
inline decomp::DecompState*& core_state() {
    static decomp::DecompState* s = nullptr;
    return s;
}

// The exported entry's 59 arguments gathered into Args in their order and
// passed to the core's entry, like the library's exported symbol does.
template <typename... P>
void core_entry(P*... args) {
    decomp::tarvexo(*core_state(), decomp::Args{args...});
}

// A Host whose calls go to the statically linked core on the given state
// (no library load), so tests can reach the core's platform hooks.
class CoreHost : public Host {
public:
    explicit CoreHost(decomp::DecompState& s) : Host(static_cast<TarvexoFn>(&core_entry)), s_(s) {}

    void call() override {
        core_state() = &s_;
        Host::call();
    }

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

// Every variable from `first` (0-based) on gets a row that bounds it: one
// with a positive entry in its column, else a 1 in the first row.
inline void bound_by_a_row(PlainSub& s, int first) {
    for (int v = first; v < static_cast<int>(s.c.size()); ++v) {
        bool covered = false;
        for (const auto& row : s.a) covered = covered || row[v] > 0.0;
        if (!covered) s.a[0][v] = 1.0;
    }
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
        bound_by_a_row(s, s.nz);  // every continuous variable
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
