// PIVOT and PIVOT+COLRNG on dense square tableaux, against the floor of a
// plain rank-1 update of the same matrix (one read and one write of every
// entry, written as simply as possible).
#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

#include "kernel.hpp"

namespace {

using namespace kav::kernel;

struct Dense {
    int16_t n;
    int32_t ld;
    std::vector<double> t;
    std::vector<int16_t> irow, icol;
    std::vector<double> rscale, cscale, cnorm, rnorm;

    explicit Dense(int16_t n_)
        : n(n_), ld(n_ + 1), t(static_cast<size_t>(ld) * n_), irow(n_), icol(n_), rscale(n_),
          cscale(n_), cnorm(n_), rnorm(n_) {
        std::mt19937_64 g(1);
        std::uniform_real_distribution<double> u(1.0, 2.0);
        for (auto& x : t) x = u(g);
        for (int i = 0; i < n; ++i) {
            irow[i] = static_cast<int16_t>(i % 2 ? i : -i);
            icol[i] = static_cast<int16_t>(i % 3 ? -i : i);
        }
    }
    Tableau view() { return Tableau{t.data(), ld, n, n, irow.data(), icol.data()}; }
    Scales scales() { return Scales{rscale.data(), cscale.data(), cnorm.data(), rnorm.data()}; }
};

// Pivoting twice on the same entry brings the tableau back (to rounding),
// so the loop can run on one tableau indefinitely.
void BM_Pivot(benchmark::State& state) {
    Dense d(static_cast<int16_t>(state.range(0)));
    Tableau tb = d.view();
    const int32_t r = d.n / 3, c = d.n / 2;
    for (auto _ : state) {
        pivot(tb, r, c);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * d.n * d.n);
}

void BM_PivotColrng(benchmark::State& state) {
    Dense d(static_cast<int16_t>(state.range(0)));
    Tableau tb = d.view();
    Scales s = d.scales();
    const int32_t r = d.n / 3, c = d.n / 2;
    for (auto _ : state) {
        pivot(tb, r, c);
        colrng(DECOMP_CONSTS, tb, s);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * d.n * d.n);
}

void BM_Colrng(benchmark::State& state) {
    Dense d(static_cast<int16_t>(state.range(0)));
    Tableau tb = d.view();
    Scales s = d.scales();
    for (auto _ : state) {
        colrng(DECOMP_CONSTS, tb, s);
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * d.n * d.n);
}

// The floor: A(i,j) -= x(i) * y(j) over the whole matrix.
__attribute__((noinline)) void rank1(double* a, int32_t ld, int32_t m, int32_t n, const double* x,
                                     const double* y) {
    for (int32_t j = 0; j < n; ++j)
        for (int32_t i = 0; i < m; ++i) a[j * ld + i] -= x[i] * y[j];
}

void BM_Rank1Floor(benchmark::State& state) {
    Dense d(static_cast<int16_t>(state.range(0)));
    std::vector<double> x(d.n, 1e-9), y(d.n, 1e-9);
    for (auto _ : state) {
        rank1(d.t.data(), d.ld, d.n, d.n, x.data(), y.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations() * d.n * d.n);
}

BENCHMARK(BM_Rank1Floor)->Arg(400)->Arg(2400)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Pivot)->Arg(400)->Arg(2400)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Colrng)->Arg(400)->Arg(2400)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PivotColrng)->Arg(400)->Arg(2400)->Unit(benchmark::kMicrosecond);

}  // namespace
