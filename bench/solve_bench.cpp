// A whole decomposition solve: 20 subproblems of 100 x 150 and 10 common
// rows, handed in call by call through the entry of the statically linked
// core (the 500 ms waits replaced by nothing).  Besides the time of the
// solve it reports the pivots of the subproblems and of the master and the
// time spent in COLRNG, PIVOT, the tableau store (PACKTB and UNPKTB) and the
// reads of the hand-off files, taken by wrappers around those routines, and
// counts the decomposition cycles, master solves and subproblem solves
// (fresh, and re-solves after a price change).  RESV is the objective of the
// best mixed 0-Z solution (37 would mean none was found).

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cycle.hpp"
#include "generated_problem.hpp"
#include "kernel.hpp"
#include "master.hpp"
#include "simplx.hpp"
#include "platform.hpp"
#include "decomp_state.hpp"
#include "store.hpp"

namespace {

using Clock = std::chrono::steady_clock;

struct Timer {
    double colrng = 0, pivot = 0, pack = 0, unpack = 0, read = 0;
    int64_t ncolrng = 0, npivot = 0, ncycle = 0, nmaster = 0, nfresh = 0, nresolve = 0;
} g_t;

struct Scope {
    double& acc;
    Clock::time_point t0 = Clock::now();
    ~Scope() { acc += std::chrono::duration<double>(Clock::now() - t0).count(); }
};

}  // namespace

// Link-time wrappers (see bench/CMakeLists.txt).
extern "C" {
void __real__ZN3kav6kernel6colrngERKNS0_6ConstsERNS0_7TableauERNS0_6ScalesE(const kav::kernel::Consts&,
                                                                          kav::kernel::Tableau&,
                                                                          kav::kernel::Scales&);
void __wrap__ZN3kav6kernel6colrngERKNS0_6ConstsERNS0_7TableauERNS0_6ScalesE(const kav::kernel::Consts& k,
                                                                          kav::kernel::Tableau& t,
                                                                          kav::kernel::Scales& s) {
    Scope sc{g_t.colrng};
    ++g_t.ncolrng;
    __real__ZN3kav6kernel6colrngERKNS0_6ConstsERNS0_7TableauERNS0_6ScalesE(k, t, s);
}
void __real__ZN3kav6kernel5pivotERNS0_7TableauEii(kav::kernel::Tableau&, int, int);
void __wrap__ZN3kav6kernel5pivotERNS0_7TableauEii(kav::kernel::Tableau& t, int r, int c) {
    Scope sc{g_t.pivot};
    ++g_t.npivot;
    __real__ZN3kav6kernel5pivotERNS0_7TableauEii(t, r, c);
}
int16_t __real__ZN3kav6decomp6packtbERNS0_12TableauStoreERNS0_9StoreWorkEssRNS_3fmt9PrintUnitE(
    kav::decomp::TableauStore&, kav::decomp::StoreWork&, int16_t, int16_t, kav::fmt::PrintUnit&);
int16_t __wrap__ZN3kav6decomp6packtbERNS0_12TableauStoreERNS0_9StoreWorkEssRNS_3fmt9PrintUnitE(
    kav::decomp::TableauStore& st, kav::decomp::StoreWork& w, int16_t m, int16_t k, kav::fmt::PrintUnit& p) {
    Scope sc{g_t.pack};
    return __real__ZN3kav6decomp6packtbERNS0_12TableauStoreERNS0_9StoreWorkEssRNS_3fmt9PrintUnitE(st, w, m, k, p);
}
int16_t __real__ZN3kav6decomp6unpktbERNS0_12TableauStoreERNS0_9StoreWorkEssRNS_3fmt9PrintUnitE(
    kav::decomp::TableauStore&, kav::decomp::StoreWork&, int16_t, int16_t, kav::fmt::PrintUnit&);
int16_t __wrap__ZN3kav6decomp6unpktbERNS0_12TableauStoreERNS0_9StoreWorkEssRNS_3fmt9PrintUnitE(
    kav::decomp::TableauStore& st, kav::decomp::StoreWork& w, int16_t m, int16_t k, kav::fmt::PrintUnit& p) {
    Scope sc{g_t.unpack};
    return __real__ZN3kav6decomp6unpktbERNS0_12TableauStoreERNS0_9StoreWorkEssRNS_3fmt9PrintUnitE(st, w, m, k, p);
}
int __real__ZN3kav7BinUnit4readEPvm(kav::BinUnit*, void*, std::size_t);
int __wrap__ZN3kav7BinUnit4readEPvm(kav::BinUnit* u, void* p, std::size_t n) {
    Scope sc{g_t.read};
    return __real__ZN3kav7BinUnit4readEPvm(u, p, n);
}
// Counters only: decomposition cycles (one per node), master solves (one per
// pass that added a proposal) and subproblem solves, fresh or after a price
// change.
void __real__ZN3kav6decomp5cycleERNS0_11DecompStateE(kav::decomp::DecompState&);
void __wrap__ZN3kav6decomp5cycleERNS0_11DecompStateE(kav::decomp::DecompState& ds) {
    ++g_t.ncycle;
    __real__ZN3kav6decomp5cycleERNS0_11DecompStateE(ds);
}
void __real__ZN3kav6solver6masterERNS0_5StateERs(kav::solver::State&, int16_t&);
void __wrap__ZN3kav6solver6masterERNS0_5StateERs(kav::solver::State& ds, int16_t& mode) {
    ++g_t.nmaster;
    __real__ZN3kav6solver6masterERNS0_5StateERs(ds, mode);
}
void __real__ZN3kav6solver6simplxERNS0_5StateEs(kav::solver::State&, int16_t);
void __wrap__ZN3kav6solver6simplxERNS0_5StateEs(kav::solver::State& ds, int16_t mode) {
    ++(mode == kav::solver::SX_CONTINUE ? g_t.nresolve : g_t.nfresh);
    __real__ZN3kav6solver6simplxERNS0_5StateEs(ds, mode);
}
}

namespace {

void no_sleep(int32_t) {}

using kav::bench::Outcome;

void BM_WholeSolve(benchmark::State& st) {
    std::string dir = (std::filesystem::temp_directory_path() / "kavbench-XXXXXX").string();
    if (mkdtemp(dir.data()) == nullptr) {
        st.SkipWithError("mkdtemp failed");
        return;
    }
    setenv("KAV_DATA_DIR", dir.c_str(), 1);
    kav::set_sleep_function(&no_sleep);
    // 20 subproblems of 100 x 150 with 4 0-Z variables, 10 common rows.
    const kav::bench::Data d = kav::bench::make_problem({20, 100, 150, 10, 4});
    Outcome o{};
    int64_t runs = 0;
    g_t = Timer{};
    for (auto _ : st) {
        o = kav::bench::solve(d);
        ++runs;
    }
    st.counters["RESV"] = o.resv;
    st.counters["sub_pivots"] = static_cast<double>(o.sub_pivots);
    st.counters["master_pivots"] = static_cast<double>(o.master_pivots);
    st.counters["colrng_s"] = g_t.colrng / static_cast<double>(runs);
    st.counters["colrng_calls"] = static_cast<double>(g_t.ncolrng) / static_cast<double>(runs);
    st.counters["pivot_s"] = g_t.pivot / static_cast<double>(runs);
    st.counters["pivot_calls"] = static_cast<double>(g_t.npivot) / static_cast<double>(runs);
    st.counters["pack_s"] = g_t.pack / static_cast<double>(runs);
    st.counters["unpack_s"] = g_t.unpack / static_cast<double>(runs);
    st.counters["cycle_calls"] = static_cast<double>(g_t.ncycle) / static_cast<double>(runs);
    st.counters["master_calls"] = static_cast<double>(g_t.nmaster) / static_cast<double>(runs);
    st.counters["sub_fresh"] = static_cast<double>(g_t.nfresh) / static_cast<double>(runs);
    st.counters["sub_resolves"] = static_cast<double>(g_t.nresolve) / static_cast<double>(runs);
    st.counters["fileread_s"] = g_t.read / static_cast<double>(runs);
    if (std::getenv("KAV_KEEP") == nullptr) std::filesystem::remove_all(dir);
}
BENCHMARK(BM_WholeSolve)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
