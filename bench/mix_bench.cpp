// The allocation library's search on a random problem of 60 rows (objective
// included), 400 integer columns and 20 items, through the entry of the
// statically linked core.  Demands are 0 and group limits never bind, so the
// result is the integer optimum, which GLPK's MIP solver finds for the same
// rows in the same run (the benchmark stops with an error if the two
// differ).  Wrappers around SIMPLX and PIVOT (see bench/CMakeLists.txt) count
// the nodes solved and the pivots; PIVOT+COLRNG on a tableau of the same
// shape is the floor of one iteration.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <vector>

#include "kernel.hpp"
#include "lp_oracle.hpp"
#include "mix_state.hpp"

namespace {

int64_t g_nodes = 0, g_pivots = 0;

}  // namespace

extern "C" {
void __real__ZN3kav3mix6simplxERNS0_8MixStateERKNS0_4ArgsERsS6_(kav::mix::MixState&,
                                                                const kav::mix::Args&, int16_t&,
                                                                int16_t&);
void __wrap__ZN3kav3mix6simplxERNS0_8MixStateERKNS0_4ArgsERsS6_(kav::mix::MixState& s,
                                                                const kav::mix::Args& a,
                                                                int16_t& m, int16_t& n) {
    ++g_nodes;
    __real__ZN3kav3mix6simplxERNS0_8MixStateERKNS0_4ArgsERsS6_(s, a, m, n);
}
void __real__ZN3kav6kernel5pivotERNS0_7TableauEii(kav::kernel::Tableau&, int, int);
void __wrap__ZN3kav6kernel5pivotERNS0_7TableauEii(kav::kernel::Tableau& t, int r, int c) {
    ++g_pivots;
    __real__ZN3kav6kernel5pivotERNS0_7TableauEii(t, r, c);
}
}

namespace {

constexpr int LD = 100, ROWS = 60, VARS = 400, ITEMS = 20, GROUPS = 4;
constexpr int COLS = 1 + VARS + ITEMS;

// The host's arrays of one call, and the same rows for GLPK.
struct Problem {
    std::vector<int16_t> itype, iitem, igroup, igrpv, iitmv, ipen, idem, igcap;
    std::vector<double> amat, valvar;
    std::vector<float> rqty;
    kav::test::LpProblem lp;
};

// "<=" rows over integer columns of values 5 to 40; every column is in a
// row of unit coefficients, so the relaxation is bounded.  The seed gives a
// search of 217 nodes that ends normally (within the 40 branch rows left).
Problem make_problem(uint32_t seed) {
    std::mt19937 rng(seed);
    auto uni = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
    Problem p;
    p.itype.assign(ROWS, 1);
    p.amat.assign(static_cast<size_t>(LD) * COLS, 0.0);
    auto at = [&](int i, int j) -> double& { return p.amat[(j - 1) * LD + (i - 1)]; };
    p.valvar.assign(COLS, 0.0);
    p.rqty.assign(COLS, 1.0f);
    p.igrpv.assign(COLS, 1);
    p.iitmv.assign(COLS, 1);
    // Rows 2..ROWS-K share the columns out with unit coefficients and whole
    // right-hand sides (integral on their own); the last K rows couple
    // columns with larger coefficients and make the relaxation fractional.
    constexpr int K = 4;
    for (int v = 1; v <= VARS; ++v) {
        p.valvar[v] = uni(5, 40);
        at(1, v + 1) = -p.valvar[v];
        p.igrpv[v] = static_cast<int16_t>(uni(1, GROUPS));
        p.iitmv[v] = static_cast<int16_t>(uni(1, ITEMS));
        at(2 + (v - 1) % (ROWS - 1 - K), v + 1) = 1.0;
    }
    for (int i = 2; i <= ROWS - K; ++i) at(i, 1) = uni(1, 4);
    for (int i = ROWS - K + 1; i <= ROWS; ++i) {
        at(i, 1) = uni(20, 50) + 0.5;
        for (int e = 0; e < 40; ++e) at(i, uni(2, VARS + 1)) = uni(1, 9);
    }
    for (int m = 1; m <= ITEMS; ++m) p.iitem.push_back(static_cast<int16_t>(m));
    p.ipen.assign(ITEMS, 0);
    p.idem.assign(ITEMS, 0);
    for (int g = 1; g <= GROUPS; ++g) p.igroup.push_back(static_cast<int16_t>(g));
    p.igcap.assign(GROUPS, 32767);

    p.lp.c.assign(p.valvar.begin() + 1, p.valvar.begin() + 1 + VARS);
    for (int i = 2; i <= ROWS; ++i) {
        kav::test::LpRow row{std::vector<double>(VARS), 'L', at(i, 1)};
        for (int v = 1; v <= VARS; ++v) row.a[v - 1] = at(i, v + 1);
        p.lp.rows.push_back(row);
    }
    p.lp.integer.assign(VARS, true);
    return p;
}

Problem& problem() {
    static Problem p = make_problem(5);
    return p;
}

// One call on fresh copies of the arrays the entry changes.
double solve(Problem& p) {
    std::vector<int16_t> itype = p.itype;
    std::vector<double> amat = p.amat;
    std::vector<float> xout(COLS - 1, 0.0f);
    int16_t nrow = ROWS, ncol = COLS, nitem = ITEMS, ngroup = GROUPS;
    double status = 0.0;
    float best0 = 0.0f;
    const kav::mix::Args a{&nrow, &ncol, itype.data(), amat.data(), p.iitem.data(), &nitem,
                           p.igroup.data(), &ngroup, p.igrpv.data(), p.iitmv.data(), &status,
                           xout.data(), &best0, p.valvar.data(), p.rqty.data(), p.ipen.data(),
                           p.idem.data(), p.igcap.data()};
    kav::mix::tarvexo1(kav::mix::state(), a);
    return status;
}

void set_data_dir() {
    static const std::filesystem::path dir = std::filesystem::temp_directory_path() / "kav-mix-bench";
    std::filesystem::create_directories(dir);
    setenv("KAV_DATA_DIR", dir.c_str(), 1);
}

void BM_MixSearch(benchmark::State& state) {
    set_data_dir();
    Problem& p = problem();
    const double ref = kav::test::solve_lp(p.lp).obj;
    g_nodes = g_pivots = 0;
    double status = 0.0;
    for (auto _ : state) status = solve(p);
    if (std::fabs(status - ref) > 1e-6 * std::fabs(ref)) {
        state.SkipWithError("STATUS differs from GLPK's integer optimum");
        return;
    }
    const double calls = static_cast<double>(state.iterations());
    state.counters["nodes"] = static_cast<double>(g_nodes) / calls;
    state.counters["pivots"] = static_cast<double>(g_pivots) / calls;
    // Seconds per node and per pivot (shown inverted as rates).
    state.counters["node_us"] = benchmark::Counter(static_cast<double>(g_nodes) * 1e-6,
                                                   benchmark::Counter::kIsRate |
                                                       benchmark::Counter::kInvert);
    state.counters["pivot_us"] = benchmark::Counter(static_cast<double>(g_pivots) * 1e-6,
                                                    benchmark::Counter::kIsRate |
                                                        benchmark::Counter::kInvert);
    state.counters["status"] = status;
}

void BM_GlpkMip(benchmark::State& state) {
    const Problem& p = problem();
    double obj = 0.0;
    for (auto _ : state) obj = kav::test::solve_lp(p.lp).obj;
    state.counters["status"] = obj;
}

// PIVOT+COLRNG on the search's root tableau (60 x 421 at leading dimension
// 100); pivoting twice on one entry brings the tableau back.
void BM_PivotColrngSameShape(benchmark::State& state) {
    Problem p = problem();
    std::vector<int16_t> irow(LD), icol(COLS);
    for (int i = 0; i < ROWS; ++i) irow[i] = static_cast<int16_t>(-i);
    for (int j = 1; j < COLS; ++j) icol[j] = static_cast<int16_t>(5000 + j);
    std::vector<double> rs(LD), cs(COLS), cn(COLS), rn(LD);
    kav::kernel::Tableau tb{p.amat.data(), LD, ROWS, COLS, irow.data(), icol.data()};
    kav::kernel::Scales sc{rs.data(), cs.data(), cn.data(), rn.data()};
    int32_t c = 2;
    while (p.amat[(c - 1) * LD + 1] == 0.0) ++c;
    for (auto _ : state) {
        kav::kernel::pivot(tb, 2, c);
        kav::kernel::colrng(kav::kernel::MIX_CONSTS, tb, sc);
        benchmark::ClobberMemory();
    }
}

BENCHMARK(BM_MixSearch)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GlpkMip)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PivotColrngSameShape)->Unit(benchmark::kMicrosecond);

}  // namespace
