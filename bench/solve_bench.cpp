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

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "entry.hpp"
#include "cycle.hpp"
#include "kernel.hpp"
#include "master.hpp"
#include "simplx.hpp"
#include "platform.hpp"
#include "state.hpp"
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
void __real__ZN3kav6decomp6masterERNS0_11DecompStateERs(kav::decomp::DecompState&, int16_t&);
void __wrap__ZN3kav6decomp6masterERNS0_11DecompStateERs(kav::decomp::DecompState& ds, int16_t& mode) {
    ++g_t.nmaster;
    __real__ZN3kav6decomp6masterERNS0_11DecompStateERs(ds, mode);
}
void __real__ZN3kav6decomp6simplxERNS0_11DecompStateEs(kav::decomp::DecompState&, int16_t);
void __wrap__ZN3kav6decomp6simplxERNS0_11DecompStateEs(kav::decomp::DecompState& ds, int16_t mode) {
    ++(mode == 2 ? g_t.nresolve : g_t.nfresh);
    __real__ZN3kav6decomp6simplxERNS0_11DecompStateEs(ds, mode);
}
}

namespace {

void no_sleep(int32_t) {}

constexpr int NSUB = 20, NROW = 100, NCOL = 150, NCR = 10, NZ = 4;
constexpr int LDA = 2400, LDC = 400, LDL = 6, LDZ = 860, LD60 = 60;

struct Data {
    std::vector<std::vector<double>> amat, acpl;  // per subproblem, column-major
    std::vector<int16_t> itype;
    std::vector<double> crval;
    std::vector<int16_t> itypcr;
};

// The simplex iteration limit (1000) counts the last fresh subproblem solve
// of a decomposition cycle together with every re-solve after a price change
// that follows it, of whatever subproblem.  The generated problem therefore
// keeps re-solves cheap: each subproblem is a set of small independent
// blocks, and the common rows reach it through a few columns only, so a new
// set of prices moves at most a few block solutions by one pivot each.
//
// Subproblem (maximised, profits 1..10 in steps of 1/4 in row 1 of both
// matrices):
//   rows 2..51    pair rows a*x(p) + b*x(q) <= c over columns 2..101; the
//                 first two hold the 0-Z variables (columns 2..5) as
//                 z1 + z2 <= 1, whose vertices are all integral;
//   rows 52..99   single-column bounds a*x(j) <= c on columns 102..149;
//   row 100       type 0: weight variable (column 150) fixed to 1.
// Coupling: 3 continuous columns per subproblem each use one of the 10
// common resources; each resource gets about 40 % of what its users would
// take at zero prices, so the master prices are positive.
Data make_problem() {
    std::mt19937 g(7);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    auto pick = [&](int lo, int hi) { return lo + static_cast<int>(u(g) * (hi - lo + 1)) % (hi - lo + 1); };
    auto quarter = [&](double lo, double hi) { return lo + std::round((hi - lo) * u(g) * 4.0) / 4.0; };
    Data d;
    d.itype.assign(NROW, 1);
    d.itype[0] = 0;
    d.itype[NROW - 1] = 0;
    constexpr int NPAIR = 50, NCPLCOL = 3;
    std::vector<double> load(NCR + 2, 0.0);
    for (int k = 0; k < NSUB; ++k) {
        std::vector<double> a(static_cast<size_t>(LDA) * NCOL, 0.0), c(static_cast<size_t>(LDC) * NCOL, 0.0);
        auto A = [&](int i, int j) -> double& { return a[static_cast<size_t>(j - 1) * LDA + (i - 1)]; };
        auto C = [&](int i, int j) -> double& { return c[static_cast<size_t>(j - 1) * LDC + (i - 1)]; };
        std::vector<double> reach(NCOL + 1, 0.0);  // largest value of column j in its block
        for (int j = 2; j <= NCOL - 1; ++j) {
            const double p = quarter(1.0, 10.0);
            A(1, j) = p;
            C(1, j) = p;
        }
        for (int t = 0; t < NPAIR; ++t) {
            const int i = 2 + t, jp = 2 + 2 * t, jq = jp + 1;
            if (jq <= NZ + 1) {
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
        for (int i = 2 + NPAIR; i <= NROW - 1; ++i) {
            const int j = 2 * NPAIR + 2 + (i - 2 - NPAIR);
            A(i, j) = quarter(1.0, 2.0);
            A(i, 1) = quarter(2.0, 8.0);
            reach[j] = A(i, 1) / A(i, j);
        }
        A(NROW, 1) = 1.0;
        A(NROW, NCOL) = 1.0;
        std::vector<int> used;
        while (static_cast<int>(used.size()) < NCPLCOL) {
            const int j = pick(NZ + 2, NCOL - 1);
            if (std::find(used.begin(), used.end(), j) != used.end()) continue;
            used.push_back(j);
            const int r = pick(2, NCR + 1);
            C(r, j) = quarter(1.0, 2.0);
            load[r] += C(r, j) * reach[j];
        }
        d.amat.push_back(std::move(a));
        d.acpl.push_back(std::move(c));
    }
    d.crval.assign(LDC, 0.0);
    d.itypcr.assign(LDC, 0);
    for (int r = 2; r <= NCR + 1; ++r) {
        d.crval[r - 1] = std::round(0.4 * load[r] * 4.0) / 4.0;
        d.itypcr[r - 1] = 1;
    }
    return d;
}

struct Outcome {
    double resv;
    int64_t sub_pivots, master_pivots;
};

Outcome solve(const Data& d) {
    using namespace kav::decomp;
    DecompState& s = state();
    int16_t nsub = NSUB, ncrow = NCR + 2, kprob = 0, nrow = NROW, ncol = NCOL, nzo = NZ, nlevel = 0;
    int16_t iflag = 0, kcode = 501, ncres = 0;
    std::vector<int16_t> itype, itypcr = d.itypcr, ninc(LDL, 0), inccol(LDL, 0), incrow(LDL, 0);
    std::vector<double> crval = d.crval, amat, acpl, dinc(LDL, 0.0), resv(LDL, 0.0), xres(LDL * NSUB * NCOL, 0.0);
    std::vector<double> zovd(LDZ * LDL, 1.0);
    std::vector<float> zovr(LDZ * LDL, 1.0f), rrl(LD60 * LDL), rrk(LD60), kr06(61);
    std::vector<int16_t> iza(NCOL, 0), kr2(61), ikr(LD60 * LD60), ika(LD60 * 6), irk(LD60);
    std::vector<int32_t> kr4(61), irl(LD60 * LDL);
    for (int k = 1; k <= NSUB; ++k) {
        itype = d.itype;
        amat = d.amat[k - 1];
        acpl = d.acpl[k - 1];
        kprob = static_cast<int16_t>(k);
        ncrow = NCR + 2;
        const Args a{&nsub, &ncrow, itypcr.data(), crval.data(), &kprob, &nrow, &ncol, &nzo, itype.data(),
                     amat.data(), acpl.data(), ninc.data(), &nlevel, inccol.data(), incrow.data(), dinc.data(),
                     resv.data(), xres.data(), zovd.data(), iza.data(), iza.data(), iza.data(), iza.data(),
                     kr4.data(), &iflag, &kcode, &ncres, irl.data(), irl.data(), irl.data(), rrl.data(),
                     rrl.data(), kr2.data(), kr2.data(), kr2.data(), kr2.data(), rrk.data(), rrk.data(),
                     rrk.data(), rrk.data(), irk.data(), irk.data(), irk.data(), irk.data(), irk.data(),
                     irk.data(), kr2.data(), ikr.data(), zovr.data(), kr4.data(), kr4.data(), kr4.data(),
                     kr2.data(), kr06.data(), kr4.data(), kr4.data(), kr4.data(), ika.data(), ika.data()};
        tarvexo(s, a);
    }
    Outcome o{resv[0], 0, s.dv.NITMAS};
    for (int k = 1; k <= NSUB; ++k) o.sub_pivots += s.sv.ITERK[k];
    return o;
}

void BM_WholeSolve(benchmark::State& st) {
    std::string dir = (std::filesystem::temp_directory_path() / "kavbench-XXXXXX").string();
    if (mkdtemp(dir.data()) == nullptr) {
        st.SkipWithError("mkdtemp failed");
        return;
    }
    setenv("KAV_DATA_DIR", dir.c_str(), 1);
    kav::set_sleep_function(&no_sleep);
    const Data d = make_problem();
    Outcome o{};
    int64_t runs = 0;
    g_t = Timer{};
    for (auto _ : st) {
        o = solve(d);
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
