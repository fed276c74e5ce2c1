// A whole decomposition solve: 20 subproblems of 100 x 150 and 10 common
// rows, handed in call by call through the entry of the statically linked
// core (the 500 ms waits replaced by nothing).  Besides the time of the
// solve it reports the pivots of the subproblems and of the master and the
// time spent in COLRNG, PIVOT, the tableau store (PACKTB/UNPKTB) and the
// reads of the hand-off files, taken by wrappers around those routines.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "entry.hpp"
#include "kernel.hpp"
#include "platform.hpp"
#include "state.hpp"
#include "store.hpp"

namespace {

using Clock = std::chrono::steady_clock;

struct Timer {
    double colrng = 0, pivot = 0, store = 0, read = 0;
    int64_t ncolrng = 0, npivot = 0;
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
    Scope sc{g_t.store};
    return __real__ZN3kav6decomp6packtbERNS0_12TableauStoreERNS0_9StoreWorkEssRNS_3fmt9PrintUnitE(st, w, m, k, p);
}
int16_t __real__ZN3kav6decomp6unpktbERNS0_12TableauStoreERNS0_9StoreWorkEssRNS_3fmt9PrintUnitE(
    kav::decomp::TableauStore&, kav::decomp::StoreWork&, int16_t, int16_t, kav::fmt::PrintUnit&);
int16_t __wrap__ZN3kav6decomp6unpktbERNS0_12TableauStoreERNS0_9StoreWorkEssRNS_3fmt9PrintUnitE(
    kav::decomp::TableauStore& st, kav::decomp::StoreWork& w, int16_t m, int16_t k, kav::fmt::PrintUnit& p) {
    Scope sc{g_t.store};
    return __real__ZN3kav6decomp6unpktbERNS0_12TableauStoreERNS0_9StoreWorkEssRNS_3fmt9PrintUnitE(st, w, m, k, p);
}
int __real__ZN3kav7BinUnit4readEPvm(kav::BinUnit*, void*, std::size_t);
int __wrap__ZN3kav7BinUnit4readEPvm(kav::BinUnit* u, void* p, std::size_t n) {
    Scope sc{g_t.read};
    return __real__ZN3kav7BinUnit4readEPvm(u, p, n);
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

// Subproblem: maximise positive profits; rows 2..99 sparse "<=" rows with
// nonnegative data; row 100 holds the weight variable at 1; the first NZ
// variables are 0-Z.  Coupling rows 2..11 share 10 common resources.
Data make_problem() {
    std::mt19937 g(7);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    Data d;
    d.itype.assign(NROW, 1);
    d.itype[0] = 0;
    d.itype[NROW - 1] = 0;
    std::vector<double> load(NCR + 2, 0.0);
    for (int k = 0; k < NSUB; ++k) {
        std::vector<double> a(static_cast<size_t>(LDA) * NCOL, 0.0), c(static_cast<size_t>(LDC) * NCOL, 0.0);
        auto A = [&](int i, int j) -> double& { return a[static_cast<size_t>(j - 1) * LDA + (i - 1)]; };
        auto C = [&](int i, int j) -> double& { return c[static_cast<size_t>(j - 1) * LDC + (i - 1)]; };
        for (int j = 2; j <= NCOL - 1; ++j) {
            const double p = 1.0 + std::round(9.0 * u(g) * 4.0) / 4.0;
            A(1, j) = p;
            C(1, j) = p;
        }
        for (int i = 2; i <= NROW - 1; ++i) {
            double sum = 0.0;
            for (int j = 2; j <= NCOL - 1; ++j)
                if (u(g) < 0.08 || j - 2 == (i - 2) % (NCOL - 2)) {
                    A(i, j) = 0.5 + std::round(4.0 * u(g) * 4.0) / 4.0;
                    sum += A(i, j);
                }
            A(i, 1) = std::round((0.2 + 0.3 * u(g)) * sum * 4.0) / 4.0 + 1.0;
        }
        A(NROW, 1) = 1.0;
        A(NROW, NCOL) = 1.0;
        for (int r = 2; r <= NCR + 1; ++r)
            for (int j = 2; j <= NCOL - 1; ++j)
                if (u(g) < 0.2) {
                    C(r, j) = 0.5 + std::round(2.0 * u(g) * 4.0) / 4.0;
                    load[r] += C(r, j);
                }
        d.amat.push_back(std::move(a));
        d.acpl.push_back(std::move(c));
    }
    d.crval.assign(LDC, 0.0);
    d.itypcr.assign(LDC, 0);
    for (int r = 2; r <= NCR + 1; ++r) {
        d.crval[r - 1] = std::round(0.02 * load[r]);
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
    st.counters["store_s"] = g_t.store / static_cast<double>(runs);
    st.counters["fileread_s"] = g_t.read / static_cast<double>(runs);
    if (std::getenv("KAV_KEEP") == nullptr) std::filesystem::remove_all(dir);
}
BENCHMARK(BM_WholeSolve)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
