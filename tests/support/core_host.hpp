// Test helpers of the driver tests: a host that calls the decomposition
// entry of the statically linked core on a fresh library state of its own,
// with the waits replaced by a no-op, and the checks of a result against
// the plain form of a problem.
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
#include "plain_problem.hpp"
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
