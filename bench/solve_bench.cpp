// A whole decomposition solve: 20 subproblems of 100 x 150 and 10 common
// rows, handed in call by call through the entry of the statically linked
// core (the 500 ms waits replaced by nothing).
//
// BM_WholeLp compares the library's compute time (the waits left out) on
// continuous generated problems with GLPK's simplex on the whole LP, in the
// same run: an iteration times both.  The ratio is given only when the
// library reached the LP optimum; when it stopped short (all 7 proposal
// slots of a subproblem used, or a simplex at its pivot limit, banner 37)
// the label says so and the times are not compared.  Besides the time of the
// solve it reports the pivots of the subproblems and of the master and the
// time spent in COLRNG, PIVOT, the tableau store (PACKTB and UNPKTB) and the
// reads of the hand-off files, taken by wrappers around those routines, and
// counts the decomposition cycles, master solves and subproblem solves
// (fresh, and re-solves after a price change).  RESV is the objective of the
// best mixed 0-Z solution (37 would mean none was found).

#include <benchmark/benchmark.h>
#include <glpk.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <fstream>
#include <iterator>
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
    double colrng = 0, pivot = 0, pack = 0, unpack = 0, read = 0, driver = 0;
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
void __real__ZN3kav6decomp6decompERNS0_11DecompStateE(kav::decomp::DecompState&);
void __wrap__ZN3kav6decomp6decompERNS0_11DecompStateE(kav::decomp::DecompState& ds) {
    Scope sc{g_t.driver};
    __real__ZN3kav6decomp6decompERNS0_11DecompStateE(ds);
}
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

// A fresh data directory for the library's files, and the waits answered
// at once; empty (with the benchmark skipped) when no folder can be made.
std::string data_dir(benchmark::State& st) {
    std::string dir = (std::filesystem::temp_directory_path() / "kavbench-XXXXXX").string();
    if (mkdtemp(dir.data()) == nullptr) {
        st.SkipWithError("mkdtemp failed");
        return "";
    }
    setenv("KAV_DATA_DIR", dir.c_str(), 1);
    kav::set_sleep_function(&no_sleep);
    return dir;
}

void BM_WholeSolve(benchmark::State& st) {
    const std::string dir = data_dir(st);
    if (dir.empty()) return;
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

// The whole LP of a generated problem: every subproblem's rows 2..NROW (the
// weight row an equality) and the common rows over columns 2..NCOL of every
// subproblem, maximised, columns at least 0.
struct WholeLp {
    glp_prob* lp = glp_create_prob();
    WholeLp(const kav::bench::Data& d) {
        using kav::bench::LDA;
        using kav::bench::LDC;
        const kav::bench::Shape& sh = d.sh;
        const int nv = sh.ncol - 1, nr = sh.nrow - 1;
        glp_term_out(GLP_OFF);
        glp_set_obj_dir(lp, GLP_MAX);
        glp_add_rows(lp, sh.nsub * nr + sh.ncr);
        glp_add_cols(lp, sh.nsub * nv);
        std::vector<int> ia{0}, ja{0};
        std::vector<double> ar{0.0};
        for (int k = 0; k < sh.nsub; ++k) {
            const std::vector<double>& a = d.amat[static_cast<size_t>(k)];
            const std::vector<double>& c = d.acpl[static_cast<size_t>(k)];
            auto A = [&](int i, int j) { return a[static_cast<size_t>(j - 1) * LDA + (i - 1)]; };
            auto C = [&](int i, int j) { return c[static_cast<size_t>(j - 1) * LDC + (i - 1)]; };
            for (int i = 2; i <= sh.nrow; ++i)
                glp_set_row_bnds(lp, k * nr + i - 1, d.itype[static_cast<size_t>(i) - 1] == 0 ? GLP_FX : GLP_UP,
                                 A(i, 1), A(i, 1));
            for (int j = 2; j <= sh.ncol; ++j) {
                const int col = k * nv + j - 1;
                glp_set_col_bnds(lp, col, GLP_LO, 0.0, 0.0);
                glp_set_obj_coef(lp, col, A(1, j));
                for (int i = 2; i <= sh.nrow; ++i)
                    if (A(i, j) != 0.0) ia.push_back(k * nr + i - 1), ja.push_back(col), ar.push_back(A(i, j));
                for (int r = 2; r <= sh.ncr + 1; ++r)
                    if (C(r, j) != 0.0) ia.push_back(sh.nsub * nr + r - 1), ja.push_back(col), ar.push_back(C(r, j));
            }
        }
        for (int r = 2; r <= sh.ncr + 1; ++r)
            glp_set_row_bnds(lp, sh.nsub * nr + r - 1, GLP_UP, 0.0, d.crval[static_cast<size_t>(r) - 1]);
        glp_load_matrix(lp, static_cast<int>(ia.size()) - 1, ia.data(), ja.data(), ar.data());
    }
    ~WholeLp() { glp_delete_prob(lp); }
    WholeLp(const WholeLp&) = delete;
    WholeLp& operator=(const WholeLp&) = delete;
    // Seconds of one solve from the slack basis; the optimum by reference.
    double solve(double& obj) {
        glp_std_basis(lp);
        glp_smcp p;
        glp_init_smcp(&p);
        p.msg_lev = GLP_MSG_OFF;
        const auto t0 = Clock::now();
        const int rc = glp_simplex(lp, &p);
        const double secs = std::chrono::duration<double>(Clock::now() - t0).count();
        obj = rc == 0 && glp_get_status(lp) == GLP_OPT ? glp_get_obj_val(lp) : std::nan("");
        return secs;
    }
};

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Arguments: NSUB, NROW, NCOL, NCR of a continuous problem (no 0-Z variable,
// so RESV is the continuous solution).
void BM_WholeLp(benchmark::State& st) {
    const kav::bench::Shape sh{static_cast<int>(st.range(0)), static_cast<int>(st.range(1)),
                               static_cast<int>(st.range(2)), static_cast<int>(st.range(3)), 0};
    if (const char* why = kav::bench::fits(sh)) {
        st.SkipWithError(why);
        return;
    }
    const std::string dir = data_dir(st);
    if (dir.empty()) return;
    const kav::bench::Data d = kav::bench::make_problem(sh);
    WholeLp glpk(d);
    Outcome o{};
    double lib = 0, glp = 0, obj = 0;
    g_t = Timer{};
    for (auto _ : st) {
        const auto t0 = Clock::now();
        o = kav::bench::solve(d);
        const double secs = std::chrono::duration<double>(Clock::now() - t0).count();
        glp += glpk.solve(obj);
        lib += secs;
        st.SetIterationTime(secs);
    }
    const double n = static_cast<double>(st.iterations());
    const bool limit37 = read_text(dir + "/KAV100.PNT").find("BESM ELLAH EL RAHMAN EL RAHIM   37") != std::string::npos;
    // The cycle may also end by its own tolerance a little below the
    // optimum (the gap counter shows by how much): that is a full solve.
    const double gap = obj - o.resv;
    const bool reached = !(gap > 1e-6 * std::max(1.0, std::fabs(obj))) || (!o.proposals_full && !limit37);
    st.counters["lp_rows"] = 1 + sh.nsub * (sh.nrow - 1) + sh.ncr;
    st.counters["lp_cols"] = sh.nsub * (sh.ncol - 1);
    st.counters["RESV"] = o.resv;
    st.counters["glpk_value"] = obj;
    st.counters["gap"] = gap;
    st.counters["lib_ms"] = 1e3 * lib / n;
    st.counters["glpk_ms"] = 1e3 * glp / n;
    st.counters["sub_pivots"] = static_cast<double>(o.sub_pivots);
    // Where the library's time goes (per solve).
    st.counters["colrng_ms"] = 1e3 * g_t.colrng / n;
    st.counters["pivot_ms"] = 1e3 * g_t.pivot / n;
    st.counters["store_ms"] = 1e3 * (g_t.pack + g_t.unpack) / n;
    st.counters["read_ms"] = 1e3 * g_t.read / n;
    st.counters["driver_ms"] = 1e3 * g_t.driver / n;  // the solve; the rest of lib_ms is the calls before it
    if (reached) {
        st.counters["ratio_to_glpk"] = lib / glp;
    } else {
        std::string why = o.proposals_full ? "all 7 proposal slots of a subproblem used" : "";
        if (limit37) why += std::string(why.empty() ? "" : ", ") + "banner 37";
        st.SetLabel("stopped short of the LP optimum (" + why + "): times not compared");
    }
    if (std::getenv("KAV_KEEP") == nullptr) std::filesystem::remove_all(dir);
}
// The whole LPs: 1991 x 2980, 1601 x 480 and 3201 x 240 (rows with the
// objective, columns without the right-hand side).
BENCHMARK(BM_WholeLp)->Args({20, 100, 150, 10})->Args({4, 400, 121, 4})->Args({4, 800, 61, 4})
    ->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
